#include "app/gui/LedgerTabs.h"
#include "app/gui/EstimateAccuracyTab.h"
#include "app/gui/LedgerWidgets.h"
#include "app/gui/TextFit.h"
#include "app/gui/ChartPanel.h"
#include "canvas/Gbk.h"
#include "canvas/QtCanvas.h"
#include "chart/IntradayChart.h"
#include "funds/HoldingsEstimate.h"
#include "funds/LedgerStart.h"
#include "funds/Portfolio.h"
#include "text/CodePage.h"
#include "text/NumberText.h"

#include <QComboBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include <ctime>

namespace fw {

using namespace ledger;

namespace {

// Every column of a table as wide as its header and its widest text, as the
// main window's grids are; when the table is too narrow for them all, the
// `giver` column's texts end in "…" and show whole in their tooltips. The
// widest texts are measured when the rows change, the widths set again
// whenever the table's width changes.
class ColumnFit : public QObject {
public:
    ColumnFit(QTableView* view, int giver) : QObject(view), m_view(view), m_giver(giver)
    {
        view->installEventFilter(this);
    }
    void rowsChanged()
    {
        const QAbstractItemModel* model = m_view->model();
        const QFontMetrics metrics = m_view->fontMetrics();
        m_widest.clear();
        for (int c = 0; c < model->columnCount(); ++c) {
            QString text;
            int width = -1;
            for (int r = 0; r < model->rowCount(); ++r) {
                const QString cellText = model->index(r, c).data().toString();
                if (const int w = metrics.horizontalAdvance(cellText); w > width) {
                    width = w;
                    text = cellText;
                }
            }
            m_widest << text;
        }
        apply();
    }
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == m_view && event->type() == QEvent::Resize && !m_widest.isEmpty())
            apply();
        return false;
    }

private:
    void apply()
    {
        // The giver asks for its widest name and gives it up first, down to its header.
        std::vector<int> designed(size_t(m_widest.size()), 0);
        QStringList widest = m_widest;
        designed[size_t(m_giver)] = widest[m_giver].isEmpty() ? 0 : cellWidthFor(*m_view, widest[m_giver]);
        widest[m_giver].clear();
        fitColumns(*m_view, designed, widest, m_giver, true);
    }

    QTableView* m_view;
    int m_giver;
    QStringList m_widest;
};

// `giver`: the column whose texts end in "…" when the table is too narrow; none (-1): the table fits its columns itself.
QTableView* makeTable(QWidget* parent, Control control, TextTableModel* model, int giver = -1)
{
    auto* view = new QTableView(parent);
    view->setObjectName(qtName(control));
    view->setModel(model);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setWordWrap(false);
    view->verticalHeader()->hide();
    view->horizontalHeader()->setStretchLastSection(true);
    view->setItemDelegate(new WholeTextTips(view));
    if (giver >= 0)
        new ColumnFit(view, giver);
    return view;
}

QLineEdit* makeBox(QWidget* parent, Control control, const char* hint)
{
    auto* box = new QLineEdit(parent);
    box->setObjectName(qtName(control));
    box->setPlaceholderText(QString::fromUtf8(hint));
    return box;
}

QPushButton* makeButton(QWidget* parent, Control control, const char* text)
{
    auto* button = new QPushButton(QString::fromUtf8(text), parent);
    button->setObjectName(qtName(control));
    return button;
}

QHBoxLayout* row(std::initializer_list<QWidget*> widgets)
{
    auto* bar = new QHBoxLayout;
    for (QWidget* w : widgets)
        bar->addWidget(w);
    bar->addStretch();
    return bar;
}

void fit(QTableView* view)
{
    for (QObject* child : view->children()) // ColumnFit has no meta-object of its own to find it by
        if (auto* columns = dynamic_cast<ColumnFit*>(child))
            columns->rowsChanged();
}

// A label whose text ends in "…" when wider than the label, whole in its
// tooltip, elided again whenever the label's width changes.
class ElidedLabel : public QLabel {
public:
    using QLabel::QLabel;
    void setWholeText(const QString& text)
    {
        m_whole = text;
        setElidedText(*this, text);
    }
    const QString& wholeText() const { return m_whole; }
    QSize minimumSizeHint() const override { return {0, QLabel::minimumSizeHint().height()}; }

protected:
    void resizeEvent(QResizeEvent* event) override
    {
        QLabel::resizeEvent(event);
        setElidedText(*this, m_whole);
    }

private:
    QString m_whole;
};

} // namespace

LedgerTabs::LedgerTabs(LedgerBook& book, QWidget* parent, FeatureContext* context) : QTabWidget(parent), m_book(book)
{
    if (context)
        m_todayLoad = std::make_unique<IntradayLoad>(*context);
    setObjectName(qtName(Control::LedgerTabs));
    m_note = new ElidedLabel(this);
    m_note->setObjectName(qtName(Control::LedgerNote));
    addTab(makeHoldingsTab(), QStringLiteral("持仓"));
    addTab(makeTradesTab(), QStringLiteral("交易"));
    addTab(makeCalendarTab(), QStringLiteral("收益日历"));
    addTab(makeTrendTab(), QStringLiteral("走势"));
    addTab(makePlansTab(), QStringLiteral("定投"));
    addTab(new EstimateAccuracyTab(m_book.dataDir(), this), QStringLiteral("准确度"));
    if (m_todayLoad)
        addTab(makeTodayTab(), QStringLiteral("今日"));
    refresh();
}

LedgerTabs::~LedgerTabs()
{
    // No snapshot or day comes back to tabs that are gone; no worker is waited for.
    m_book.cancel();
    if (m_todayLoad)
        m_todayLoad->cancel();
}

QString LedgerTabs::note() const { return static_cast<ElidedLabel*>(m_note)->wholeText(); }
void LedgerTabs::showNote(const Text& gbkText) { static_cast<ElidedLabel*>(m_note)->setWholeText(gbkToQString(gbkText)); }

void LedgerTabs::refresh()
{
    m_book.refresh([this](std::shared_ptr<const LedgerSnapshot> snap, LoadTicket ticket) {
        // On the worker: the snapshot goes to the window's thread, and only
        // the newest refresh's is shown.
        QMetaObject::invokeMethod(
            this,
            [this, snap = std::move(snap), ticket] {
                if (m_book.isCurrent(ticket))
                    show(snap);
            },
            Qt::QueuedConnection);
    });
}

void LedgerTabs::show(std::shared_ptr<const LedgerSnapshot> snap)
{
    m_snap = std::move(snap);
    ++m_shown;
    fillTodayPicks();
    if (!m_snap->failure.empty())
        showNote(utf8ToGbk(m_snap->failure));
    else if (!m_snap->navFailure.empty())
        showNote(gbk("净值历史未能更新：") + m_snap->navFailure);
    // The accounts as the snapshot has them, the pick kept.
    const QString picked = m_account->currentText();
    m_account->blockSignals(true);
    m_account->clear();
    m_account->addItem(QStringLiteral("全部"));
    for (const Aggregate& a : m_snap->result.accounts)
        m_account->addItem(QString::fromStdString(a.account));
    const int at = m_account->findText(picked);
    m_account->setCurrentIndex(at < 0 ? 0 : at);
    m_account->blockSignals(false);
    showHoldings();
    showTrades();
    showCalendar();
    showPlans();
}

std::string LedgerTabs::pickedAccount() const
{
    return m_account->currentIndex() <= 0 ? std::string() : m_account->currentText().toStdString();
}

const Aggregate* LedgerTabs::pickedAggregate() const
{
    if (!m_snap)
        return nullptr;
    const std::string account = pickedAccount();
    if (account.empty())
        return &m_snap->result.ledger;
    for (const Aggregate& a : m_snap->result.accounts)
        if (a.account == account)
            return &a;
    return nullptr;
}

// ---- 持仓

QWidget* LedgerTabs::makeHoldingsTab()
{
    auto* tab = new QWidget(this);
    m_account = new QComboBox(tab);
    m_account->setObjectName(qtName(Control::LedgerAccount));
    m_account->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    m_account->addItem(QStringLiteral("全部"));
    auto* refreshButton = makeButton(tab, Control::LedgerRefresh, "刷新");
    m_holdings = new TextTableModel(holdingHeader(), this);
    m_holdings->setEdit(
        [this](int r, int c) { return r < int(m_rows.size()) && (c == HShares || c == HHeldCost); },
        [this](int r, int c, const QString& text) { return editHolding(r, c, text); });
    m_holdingsView = makeTable(tab, Control::LedgerHoldings, m_holdings, HName);
    auto* layout = new QVBoxLayout(tab);
    layout->addLayout(row({m_account, refreshButton}));
    layout->addWidget(m_holdingsView);
    connect(m_account, &QComboBox::currentIndexChanged, this, [this] {
        showHoldings();
        showCalendar();
    });
    connect(refreshButton, &QPushButton::clicked, this, [this] { refresh(); });
    return tab;
}

void LedgerTabs::showHoldings()
{
    m_rows.clear();
    std::vector<std::vector<Text>> rows;
    std::vector<std::vector<Colour>> colours;
    if (const Aggregate* total = pickedAggregate()) {
        const std::string account = pickedAccount();
        const auto& positions = m_snap->result.positions;
        auto gainOf = [&](const Position& p) {
            const size_t i = size_t(&p - positions.data());
            return i < m_snap->todayGains.size() ? m_snap->todayGains[i] : std::nullopt;
        };
        for (const Position& p : positions) {
            // A holding sold out long ago stays in the figures, not in the table.
            if ((!account.empty() && p.account != account)
                || (p.figures.shares == 0 && p.figures.pendingBuys == 0 && p.figures.sellingShares == 0))
                continue;
            m_rows.push_back(&p);
            const auto fund = m_snap->funds.find(p.code);
            rows.push_back(positionTexts(p, fund != m_snap->funds.end() ? fund->second.name : Text(), gainOf(p)));
            colours.push_back(figureColours(p.figures, gainOf(p)));
        }
        const auto sum = m_snap->todayTotals.find(account);
        const std::optional<int64_t> todayTotal = sum != m_snap->todayTotals.end() ? sum->second : std::nullopt;
        rows.push_back(aggregateTexts(*total, todayTotal));
        if (account.empty())
            rows.back()[HAccount] = gbk("全部");
        colours.push_back(figureColours(total->figures, todayTotal));
    }
    m_holdings->setRows(std::move(rows), std::move(colours));
    fit(m_holdingsView);
}

bool LedgerTabs::editHolding(int r, int column, const QString& text)
{
    if (r < 0 || r >= int(m_rows.size()))
        return false;
    const Position& p = *m_rows[size_t(r)];
    const Text value = qStringToGbk(text.trimmed());
    const auto units = parseUnits(value, 2);
    if (!units || *units < 0) {
        showNote(column == HShares ? gbk("份额应为非负数，至多两位小数") : gbk("持有成本应为非负数，至多两位小数"));
        return false;
    }
    // Today's holding set as given: a 对账, never a rewrite of the past.
    const int64_t shares = column == HShares ? *units : p.figures.shares;
    const int64_t cost = column == HHeldCost ? *units : p.figures.heldCost;
    if (!m_book.reconcile(p.account, p.code, shares, cost)) {
        showNote(gbk("未能保存：") + utf8ToGbk(m_book.writeFailure()));
        return false;
    }
    showNote({});
    refresh();
    return true;
}

// ---- 交易

QWidget* LedgerTabs::makeTradesTab()
{
    auto* tab = new QWidget(this);
    m_trades = new TextTableModel(tradeHeader(), this);
    m_tradesView = makeTable(tab, Control::LedgerTrades, m_trades, TNote);
    m_kind = new QComboBox(tab);
    m_kind->setObjectName(qtName(Control::TradeKind));
    for (TradeKind k : {TradeKind::Buy, TradeKind::Sell, TradeKind::Reconcile})
        m_kind->addItem(gbkToQString(kindText(k)));
    m_code = makeBox(tab, Control::TradeCode, "基金代码");
    m_amount = makeBox(tab, Control::TradeAmount, "金额");
    m_shares = makeBox(tab, Control::TradeShares, "份额");
    m_date = makeBox(tab, Control::TradeDate, "日期 YYYY-MM-DD");
    m_time = makeBox(tab, Control::TradeTime, "时间 HH:MM");
    m_feeRate = makeBox(tab, Control::TradeFeeRate, "费率%");
    m_tradeAccount = makeBox(tab, Control::TradeAccount, "账户");
    m_tradeNote = makeBox(tab, Control::TradeNote, "备注");
    auto* add = makeButton(tab, Control::TradeAdd, "添加");
    auto* edit = makeButton(tab, Control::TradeEdit, "修改");
    auto* remove = makeButton(tab, Control::TradeRemove, "删除");
    auto* layout = new QVBoxLayout(tab);
    layout->addLayout(row({m_kind, m_code, m_amount, m_shares, m_date, m_time}));
    layout->addLayout(row({m_feeRate, m_tradeAccount, m_tradeNote, add, edit, remove}));
    layout->addWidget(m_tradesView);
    connect(add, &QPushButton::clicked, this, [this] { formToTrade(false); });
    connect(edit, &QPushButton::clicked, this, [this] { formToTrade(true); });
    connect(remove, &QPushButton::clicked, this, [this] { removeTrade(); });
    connect(m_tradesView, &QTableView::clicked, this, [this](const QModelIndex& index) { tradeToForm(index.row()); });
    return tab;
}

void LedgerTabs::showTrades()
{
    std::vector<std::vector<Text>> rows;
    const auto& outcomes = m_snap->result.trades;
    for (size_t i = 0; i < m_snap->trades.size(); ++i)
        rows.push_back(tradeTexts(m_snap->trades[i], i < outcomes.size() ? &outcomes[i] : nullptr));
    m_trades->setRows(std::move(rows));
    fit(m_tradesView);
}

void LedgerTabs::tradeToForm(int r)
{
    if (!m_snap || r < 0 || r >= int(m_snap->trades.size()))
        return;
    const Trade& t = m_snap->trades[size_t(r)];
    const std::vector<Text> texts = tradeTexts(t, nullptr);
    m_kind->setCurrentText(gbkToQString(texts[TKind]));
    m_code->setText(gbkToQString(texts[TCode]));
    m_amount->setText(gbkToQString(texts[TAmount]));
    m_shares->setText(gbkToQString(texts[TShares]));
    m_date->setText(gbkToQString(texts[TDate]));
    m_time->setText(gbkToQString(texts[TTime]));
    m_feeRate->setText(gbkToQString(texts[TFeeRate]));
    m_tradeAccount->setText(gbkToQString(texts[TAccount]));
    m_tradeNote->setText(gbkToQString(texts[TNote]));
}

void LedgerTabs::formToTrade(bool edit)
{
    Trade t;
    if (edit) {
        const int r = m_tradesView->currentIndex().row();
        if (!m_snap || r < 0 || r >= int(m_snap->trades.size())) {
            showNote(gbk("请先选择一笔交易"));
            return;
        }
        t = m_snap->trades[size_t(r)];
    }
    TradeForm form {qStringToGbk(m_kind->currentText()), qStringToGbk(m_code->text().trimmed()),
                    qStringToGbk(m_amount->text().trimmed()), qStringToGbk(m_shares->text().trimmed()),
                    qStringToGbk(m_date->text().trimmed()), qStringToGbk(m_time->text().trimmed()),
                    qStringToGbk(m_feeRate->text().trimmed()), qStringToGbk(m_tradeAccount->text().trimmed()),
                    qStringToGbk(m_tradeNote->text())};
    const Text refusal = tradeFromForm(form, m_book.now(), t);
    if (!refusal.empty()) {
        showNote(refusal);
        return;
    }
    const bool stored = edit ? m_book.updateTrade(t) : m_book.addTrade(t).has_value();
    if (!stored) {
        showNote(gbk("未能保存：") + utf8ToGbk(m_book.writeFailure()));
        return;
    }
    showNote({});
    refresh();
}

void LedgerTabs::removeTrade()
{
    const int r = m_tradesView->currentIndex().row();
    if (!m_snap || r < 0 || r >= int(m_snap->trades.size())) {
        showNote(gbk("请先选择一笔交易"));
        return;
    }
    if (!m_book.removeTrade(m_snap->trades[size_t(r)].id)) {
        showNote(gbk("未能删除：") + utf8ToGbk(m_book.writeFailure()));
        return;
    }
    showNote({});
    refresh();
}

// ---- 收益日历

QWidget* LedgerTabs::makeCalendarTab()
{
    auto* tab = new QWidget(this);
    m_month = new QComboBox(tab);
    m_month->setObjectName(qtName(Control::CalendarMonth));
    m_month->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    m_sums = new QLabel(tab);
    m_sums->setObjectName(qtName(Control::CalendarSums));
    static const char* const weekdays[] = {"一", "二", "三", "四", "五", "六", "日"};
    std::vector<Text> header;
    for (const char* d : weekdays)
        header.push_back(gbk(d));
    m_calendar = new TextTableModel(header, this);
    m_calendarView = makeTable(tab, Control::LedgerCalendar, m_calendar);
    m_calendarView->setSelectionMode(QAbstractItemView::NoSelection);
    m_calendarView->horizontalHeader()->setStretchLastSection(false);
    m_calendarView->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    auto* layout = new QVBoxLayout(tab);
    layout->addLayout(row({m_month, m_sums}));
    layout->addWidget(m_calendarView);
    connect(m_month, &QComboBox::currentIndexChanged, this, [this] { showCalendar(); });
    return tab;
}

void LedgerTabs::showCalendar()
{
    const Aggregate* a = pickedAggregate();
    const auto months = a ? historyMonths(a->history) : std::vector<std::pair<int, int>> {};
    // The months offered, the pick kept (the newest at first).
    const QVariant picked = m_month->currentData();
    m_month->blockSignals(true);
    m_month->clear();
    for (auto it = months.rbegin(); it != months.rend(); ++it)
        m_month->addItem(gbkToQString(monthTitle(it->first, it->second)), it->first * 100 + it->second);
    const int at = picked.isValid() ? m_month->findData(picked) : -1;
    m_month->setCurrentIndex(at < 0 ? 0 : at);
    m_month->blockSignals(false);
    if (!a || months.empty()) {
        m_calendar->setRows({});
        m_sums->clear();
        return;
    }
    const int code = m_month->currentData().toInt();
    const CalendarMonth month = calendarMonth(a->history, code / 100, code % 100);
    std::vector<std::vector<Text>> rows;
    std::vector<std::vector<Colour>> colours;
    for (size_t i = 0; i < month.cells.size(); ++i) {
        if (i % 7 == 0) {
            rows.emplace_back();
            colours.emplace_back();
        }
        const CalendarCell& c = month.cells[i];
        Text text = c.dayOfMonth ? intText(c.dayOfMonth) : Text();
        if (c.profit)
            text += "\n" + moneyText(*c.profit);
        rows.back().push_back(text);
        colours.back().push_back(c.profit ? profitColour(*c.profit) : kDefaultColour);
    }
    m_calendar->setRows(std::move(rows), std::move(colours));
    m_calendarView->resizeRowsToContents();
    m_sums->setText(gbkToQString(calendarSumsText(month)));
}

// ---- 走势

QWidget* LedgerTabs::makeTrendTab()
{
    auto* tab = new QWidget(this);
    m_benchmark = makeBox(tab, Control::BenchmarkCode, "基准基金代码");
    m_benchmark->setText(QString::fromStdString(m_book.benchmarkCode()));
    m_trend = new LedgerTrendView(tab);
    m_trend->setObjectName(qtName(Control::LedgerTrend));
    auto* layout = new QVBoxLayout(tab);
    layout->addLayout(row({new QLabel(QStringLiteral("基准"), tab), m_benchmark}));
    layout->addWidget(m_trend, 1);
    connect(m_benchmark, &QLineEdit::editingFinished, this, [this] {
        const std::string code = m_benchmark->text().trimmed().toStdString();
        if (code.size() != 6 || code.find_first_not_of("0123456789") != std::string::npos || code == m_book.benchmarkCode())
            return;
        // Kept for this run even when 配置.ini would not take it.
        if (!m_book.setBenchmarkCode(code))
            showNote(gbk("基准未能保存：") + utf8ToGbk(m_book.settingFailure()));
        refresh();
    });
    connect(m_account, &QComboBox::currentIndexChanged, this, [this] {
        if (m_snap)
            showPlans(); // the trend follows the account too
    });
    return tab;
}

// ---- 定投

QWidget* LedgerTabs::makePlansTab()
{
    auto* tab = new QWidget(this);
    m_plans = new TextTableModel(planHeader(), this);
    m_plansView = makeTable(tab, Control::LedgerPlans, m_plans, 1);
    m_planCode = makeBox(tab, Control::PlanCode, "基金代码");
    m_planAmount = makeBox(tab, Control::PlanAmount, "每期金额");
    m_planFee = makeBox(tab, Control::PlanFeeRate, "费率%");
    m_planAccount = makeBox(tab, Control::PlanAccount, "账户");
    m_planCycle = new QComboBox(tab);
    m_planCycle->setObjectName(qtName(Control::PlanCycle));
    for (const Text& name : cycleNames())
        m_planCycle->addItem(gbkToQString(name));
    m_planCycle->setCurrentIndex(3);
    m_planDay = makeBox(tab, Control::PlanDay, "周几(1-5)或几日(1-28)");
    m_planStart = makeBox(tab, Control::PlanStart, "开始 YYYY-MM-DD");
    auto* add = makeButton(tab, Control::PlanAdd, "添加定投");
    auto* remove = makeButton(tab, Control::PlanRemove, "删除定投");
    auto* layout = new QVBoxLayout(tab);
    layout->addLayout(row({m_planCode, m_planAmount, m_planFee, m_planAccount}));
    layout->addLayout(row({m_planCycle, m_planDay, m_planStart, add, remove}));
    layout->addWidget(m_plansView);
    connect(add, &QPushButton::clicked, this, [this] { addPlan(); });
    connect(remove, &QPushButton::clicked, this, [this] { removePlan(); });
    return tab;
}

void LedgerTabs::showPlans()
{
    std::vector<std::vector<Text>> rows;
    for (const Plan& p : m_snap->plans)
        rows.push_back(planTexts(p));
    m_plans->setRows(std::move(rows));
    fit(m_plansView);
    const auto it = m_snap->trends.find(pickedAccount());
    m_trend->setTrend(it == m_snap->trends.end() ? Trend {} : it->second,
                      QString::fromStdString(m_snap->benchmarkCode));
}

void LedgerTabs::addPlan()
{
    PlanForm form {qStringToGbk(m_planCode->text().trimmed()), qStringToGbk(m_planAmount->text().trimmed()),
                   qStringToGbk(m_planFee->text().trimmed()), qStringToGbk(m_planAccount->text().trimmed()),
                   qStringToGbk(m_planDay->text().trimmed()), qStringToGbk(m_planStart->text().trimmed()),
                   m_planCycle->currentIndex()};
    Plan plan;
    const Text refusal = planFromForm(form, m_book.now().day, plan);
    if (!refusal.empty()) {
        showNote(refusal);
        return;
    }
    if (!m_book.addPlan(plan)) {
        showNote(gbk("未能保存：") + utf8ToGbk(m_book.writeFailure()));
        return;
    }
    showNote({});
    refresh(); // books its due orders
}

void LedgerTabs::removePlan()
{
    const int r = m_plansView->currentIndex().row();
    if (!m_snap || r < 0 || r >= int(m_snap->plans.size())) {
        showNote(gbk("请先选择一个定投"));
        return;
    }
    if (!m_book.removePlan(m_snap->plans[size_t(r)].id)) {
        showNote(gbk("未能删除：") + utf8ToGbk(m_book.writeFailure()));
        return;
    }
    showNote({});
    refresh();
}

QWidget* makeRestoreBar(LedgerBook& book, QWidget* parent, std::function<void()> restored)
{
    auto* bar = new QWidget(parent);
    auto* failure = new QLabel(gbkToQString(book.failureText()), bar);
    failure->setObjectName(qtName(Control::LedgerFailure));
    failure->setWordWrap(true);
    failure->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* copies = new QComboBox(bar);
    copies->setObjectName(qtName(Control::LedgerCopies));
    copies->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    for (Day d : book.copies())
        copies->addItem(QString::fromStdString(dayText(d)), d);
    auto* restore = makeButton(bar, Control::LedgerRestore, "恢复备份");
    restore->setEnabled(copies->count() > 0);
    auto* layout = new QVBoxLayout(bar);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(failure);
    layout->addLayout(row({copies, restore}));
    QObject::connect(restore, &QPushButton::clicked, bar, [&book, copies, failure, restored] {
        if (copies->currentIndex() < 0)
            return;
        std::string why;
        if (!book.restore(Day(copies->currentData().toInt()), why)) {
            failure->setText(gbkToQString(ledgerOpenFailureText(why)));
            return;
        }
        restored(); // may delete the bar
    });
    return bar;
}

// ---- 今日

QWidget* LedgerTabs::makeTodayTab()
{
    m_todayTab = new QWidget(this);
    m_todayPick = new QComboBox(m_todayTab);
    m_todayPick->setObjectName(qtName(Control::TodayPick));
    m_todayPick->addItem(QStringLiteral("组合"));
    m_todayPanel = new ChartPanel(QSize(608, 320), m_todayTab);
    m_todayPanel->setObjectName(qtName(Control::TodayChart));
    m_todayPanel->setFixedSize(608, 320);
    m_todayPanel->onMouseMoved = [this](int x, int y) { m_todayRenderer.trackPointer(x, y); };
    m_todayNote = new QLabel(m_todayTab);
    m_todayNote->setObjectName(qtName(Control::TodayNote));
    m_todayNote->setWordWrap(true); // a failure names each fund and why
    auto* layout = new QVBoxLayout(m_todayTab);
    layout->addLayout(row({m_todayPick}));
    layout->addWidget(m_todayPanel);
    layout->addWidget(m_todayNote);
    layout->addStretch(1);
    connect(m_todayPick, &QComboBox::currentIndexChanged, this, [this] {
        if (currentWidget() == m_todayTab)
            loadToday();
    });
    connect(this, &QTabWidget::currentChanged, this, [this] {
        if (currentWidget() == m_todayTab)
            loadToday();
    });
    m_todayTimer = new QTimer(this);
    m_todayTimer->setInterval(60 * 1000);
    connect(m_todayTimer, &QTimer::timeout, this, [this] {
        if (currentWidget() == m_todayTab && isTradingTime(std::time(nullptr)))
            extendToday();
    });
    m_todayTimer->start();
    return m_todayTab;
}

void LedgerTabs::fillTodayPicks()
{
    if (!m_todayPick || !m_snap)
        return;
    std::vector<std::string> codes;
    for (const Position& p : m_snap->result.positions)
        if (p.figures.shares > 0 && std::find(codes.begin(), codes.end(), p.code) == codes.end())
            codes.push_back(p.code);
    const QString picked = m_todayPick->currentText();
    m_todayPick->blockSignals(true);
    while (m_todayPick->count() > 1)
        m_todayPick->removeItem(1);
    for (const std::string& code : codes)
        m_todayPick->addItem(QString::fromStdString(code));
    m_todayPick->setCurrentIndex(std::max(0, m_todayPick->findText(picked)));
    m_todayPick->blockSignals(false);
}

void LedgerTabs::loadToday()
{
    if (!m_todayLoad)
        return;
    auto done = [this](std::shared_ptr<const IntradayDay> day) {
        // On the worker, under the load's lock: the day goes to this thread.
        QMetaObject::invokeMethod(this, [this, day = std::move(day)] { showToday(day); }, Qt::QueuedConnection);
    };
    m_todayNote->setText(QString());
    if (m_todayPick->currentIndex() > 0) {
        m_todayLoad->loadFund(m_todayPick->currentText().toStdString(), Text(), done);
        return;
    }
    // The held funds of the account picked on the 持仓 tab (全部: every account).
    std::vector<HeldFund> held;
    const std::string account = pickedAccount();
    if (m_snap)
        for (const Position& p : m_snap->result.positions)
            if (p.figures.shares > 0 && (account.empty() || p.account == account)) {
                auto same = std::find_if(held.begin(), held.end(), [&](const HeldFund& h) { return h.code == p.code; });
                if (same == held.end())
                    held.push_back({p.code, unitsValue(p.figures.shares, 2)});
                else
                    same->shares += unitsValue(p.figures.shares, 2);
            }
    m_todayLoad->loadPortfolio(std::move(held), done);
}

void LedgerTabs::extendToday()
{
    if (m_todayLoad && m_today && !m_todayLoad->running())
        m_todayLoad->extend(m_today, m_book.now().minute, [this](std::shared_ptr<const IntradayDay> day) {
            QMetaObject::invokeMethod(this, [this, day = std::move(day)] { showToday(day); }, Qt::QueuedConnection);
        });
}

void LedgerTabs::showToday(std::shared_ptr<const IntradayDay> day)
{
    m_today = std::move(day);
    ++m_todayShown;
    Text note;
    IntradayChartData data;
    if (const FundCurve* fund = std::get_if<FundCurve>(m_today.get())) {
        if (!fund->ok()) {
            note = gbk("今日走势无法取得：") + fund->failure;
        } else {
            data = fundChartData(fund->code, fund->curve, fund->navChange);
            note = fund->code + " " + fund->name + " " + estimateChangeText(fund->curve.points.back().change);
            if (fund->navChange)
                note += gbk("（净值 ") + estimateChangeText(*fund->navChange) + gbk("）");
        }
    } else {
        const PortfolioDay& portfolio = std::get<PortfolioDay>(*m_today);
        if (portfolio.points.empty())
            note = gbk("今日走势无法取得：") + portfolioDayFailure(portfolio);
        else {
            data = portfolioChartData(portfolio.points, portfolio.codes);
            note = gbk("当日收益 ") + formatMoney(portfolio.points.back().profit);
        }
    }
    QtCanvas& canvas = m_todayPanel->canvas();
    // Texts keep to the part of the panel the tab shows.
    canvas.setVisibleWidth(QRect(m_todayPanel->pos(), m_todayPanel->size()).intersected(m_todayTab->rect()).width());
    drawIntraday(m_todayRenderer, canvas, data);
    canvas.flush();
    m_todayNote->setText(gbkToQString(note));
}

} // namespace fw
