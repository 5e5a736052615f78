#include "app/gui/PortfolioWindow.h"
#include "app/gui/LedgerTabs.h"
#include "canvas/Gbk.h"
#include "text/CodePage.h"

#include <QAbstractTableModel>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QShortcut>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

namespace fw {

namespace {

enum Column { Name, Code, Shares, Cost, UnitValue, Amount, Profit, ProfitRate, TodayChange, TodayProfit, ColumnCount };

QVariant gainBrush(Colour colour)
{
    return colour == kDefaultColour ? QVariant() : QVariant(toQColor(colour));
}

} // namespace

class PortfolioTableModel : public QAbstractTableModel {
public:
    explicit PortfolioTableModel(PortfolioWindow& window) : QAbstractTableModel(&window), m_window(window) {}

    // The figures again, once, from the holdings and quotes as they stand.
    void reload()
    {
        beginResetModel();
        m_figures = m_window.figures();
        endResetModel();
    }
    int rowCount(const QModelIndex& parent = {}) const override
    {
        return parent.isValid() ? 0 : int(m_figures.rows.size()) + 1;
    }
    int columnCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : ColumnCount; }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < ColumnCount)
            return gbkToQString(portfolioHeader().at(size_t(section)));
        return QAbstractTableModel::headerData(section, orientation, role);
    }

    Qt::ItemFlags flags(const QModelIndex& index) const override
    {
        Qt::ItemFlags f = QAbstractTableModel::flags(index);
        if (index.row() < 0 || index.row() >= int(m_figures.rows.size()))
            return f;
        // The amount held too, once the unit value that turns it into shares is known.
        const PortfolioRow& row = m_figures.rows[size_t(index.row())];
        if (!m_window.holdingsWritable())
            return f;
        if (index.column() == Shares || index.column() == Cost || (index.column() == Amount && row.figures.valued))
            f |= Qt::ItemIsEditable;
        return f;
    }

    QVariant data(const QModelIndex& index, int role) const override
    {
        if (role != Qt::DisplayRole && role != Qt::EditRole && role != Qt::ForegroundRole)
            return {};
        if (role == Qt::ForegroundRole)
            return gainBrush(colour(index.row(), index.column()));
        return gbkToQString(cell(index.row(), index.column()));
    }

    bool setData(const QModelIndex& index, const QVariant& value, int role) override
    {
        if (role != Qt::EditRole || !m_window.editHolding(index.row(), index.column(), value.toString()))
            return false;
        PortfolioFigures figures = m_window.figures();
        if (figures.rows.size() != m_figures.rows.size()) {
            // Another process changed which funds are held: the rows are laid
            // out again once the edit has ended.
            QMetaObject::invokeMethod(this, [this] { reload(); }, Qt::QueuedConnection);
            return true;
        }
        m_figures = std::move(figures);
        emit dataChanged(this->index(index.row(), 0), this->index(rowCount() - 1, ColumnCount - 1));
        return true;
    }

    // The totals row is the last.
    Text cell(int row, int column) const
    {
        const TextList* texts = rowTexts(row);
        return texts && column >= 0 && column < kPortfolioColumns ? texts->at(size_t(column)) : Text();
    }

    // Figures are coloured by their values, never by the text shown.
    Colour colour(int row, int column) const
    {
        if (column < 0 || column >= kPortfolioColumns || row < 0 || row > int(m_figures.rows.size()))
            return kDefaultColour;
        return row == int(m_figures.rows.size()) ? m_figures.totalsColours.at(size_t(column))
                                                 : m_figures.rows[size_t(row)].colours.at(size_t(column));
    }

private:
    const TextList* rowTexts(int row) const
    {
        if (row < 0 || row > int(m_figures.rows.size()))
            return nullptr;
        return row == int(m_figures.rows.size()) ? &m_figures.totalsTexts : &m_figures.rows[size_t(row)].texts;
    }

    PortfolioWindow& m_window;
    PortfolioFigures m_figures;
};

PortfolioWindow::PortfolioWindow(FeatureContext& context, ledger::LedgerBook* ledger, QWidget* parent)
    : QWidget(parent, Qt::Window), m_context(context), m_ledger(ledger), m_portfolio(context), m_refresh(context)
{
    setObjectName(QStringLiteral("持仓窗口"));
    setWindowTitle(QStringLiteral("持仓"));
    setAttribute(Qt::WA_DeleteOnClose);
    resize(1240, 520);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);

    // By itself only while the market trades: outside those hours nothing moves.
    m_timer = new QTimer(this);
    m_timer->setInterval(kAutoRefreshMs);
    connect(m_timer, &QTimer::timeout, this, [this] {
        if (m_portfolio.isTradingNow())
            refresh();
    });
    // F5 refreshes whichever body the window shows: the ledger's tabs or [持仓]'s table.
    auto* f5 = new QShortcut(QKeySequence(Qt::Key_F5), this);
    connect(f5, &QShortcut::activated, this, [this] { refresh(); });
    buildBody();
    m_timer->start();
}

bool PortfolioWindow::holdingsWritable() const { return !m_ledger || !m_ledger->started(); }

void PortfolioWindow::buildBody()
{
    if (m_body)
        m_body->deleteLater();
    m_tabs = nullptr;
    m_table = nullptr;
    m_body = new QWidget(this);
    layout()->addWidget(m_body);
    auto* layout = new QVBoxLayout(m_body);
    if (m_ledger && m_ledger->isOpen()) {
        m_tabs = new LedgerTabs(*m_ledger, m_body, &m_context);
        layout->addWidget(m_tabs);
        layout->addWidget(m_tabs->noteLabel());
        return;
    }
    if (m_ledger && !m_ledger->failureText().empty())
        layout->addWidget(makeRestoreBar(*m_ledger, m_body, [this] {
            QMetaObject::invokeMethod(this, [this] { buildBody(); }, Qt::QueuedConnection);
        }));
    buildHoldings(layout);
    showRows();
    refresh();
}

void PortfolioWindow::buildHoldings(QVBoxLayout* layout)
{
    QWidget* body = m_body;
    m_model = new PortfolioTableModel(*this);
    m_table = new QTableView(body);
    m_table->setObjectName(qtName(Control::PortfolioTable));
    m_table->setModel(m_model);
    m_table->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed
                             | QAbstractItemView::AnyKeyPressed);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->verticalHeader()->hide(); // the totals row is no numbered row
    m_table->setWordWrap(false);
    m_table->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_table, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        const QModelIndex index = m_table->indexAt(at);
        if (!holdingsWritable() || !index.isValid() || index.row() >= int(m_portfolio.holdings().size()))
            return;
        QMenu menu(this);
        QAction* remove = menu.addAction(QStringLiteral("删除持仓"));
        if (menu.exec(m_table->viewport()->mapToGlobal(at)) == remove)
            removeRow(index.row());
    });

    auto makeBox = [body](Control control, const char* hint) {
        auto* box = new QLineEdit(body);
        box->setObjectName(qtName(control));
        box->setPlaceholderText(QString::fromUtf8(hint));
        return box;
    };
    m_code = makeBox(Control::PortfolioCode, "基金代码");
    m_shares = makeBox(Control::PortfolioShares, "份额");
    m_cost = makeBox(Control::PortfolioCost, "成本价");
    auto* add = new QPushButton(QStringLiteral("添加"), body);
    add->setObjectName(qtName(Control::PortfolioAdd));
    add->setEnabled(holdingsWritable());
    auto* refreshButton = new QPushButton(QStringLiteral("刷新"), body);
    refreshButton->setObjectName(qtName(Control::PortfolioRefresh));
    m_note = new QLabel(body);
    m_note->setObjectName(qtName(Control::PortfolioNote));

    auto* bar = new QHBoxLayout;
    for (QWidget* w : {static_cast<QWidget*>(m_code), static_cast<QWidget*>(m_shares), static_cast<QWidget*>(m_cost),
                       static_cast<QWidget*>(add), static_cast<QWidget*>(refreshButton)})
        bar->addWidget(w);
    bar->addStretch();
    layout->addLayout(bar);
    layout->addWidget(m_table);
    layout->addWidget(m_note);

    connect(add, &QPushButton::clicked, this, [this] { addFromBoxes(); });
    connect(refreshButton, &QPushButton::clicked, this, [this] { refresh(); });
}

PortfolioWindow::~PortfolioWindow()
{
    // Closed mid-refresh: no quotes come back to a window that is gone, and
    // the requests in flight are abandoned. No worker is waited for here.
    m_refresh.cancel();
}

void PortfolioWindow::setAutoRefreshInterval(std::chrono::milliseconds interval)
{
    m_timer->setInterval(int(interval.count()));
}

void PortfolioWindow::openOn(const Text& code)
{
    if (!m_table)
        return;
    const auto& holdings = m_portfolio.holdings();
    for (size_t i = 0; i < holdings.size(); ++i)
        if (holdings[i].code == code) {
            m_table->selectRow(int(i));
            m_table->setFocus();
            return;
        }
    m_code->setText(gbkToQString(code));
    m_shares->setFocus();
}

void PortfolioWindow::refresh()
{
    if (m_tabs) {
        m_tabs->refresh();
        return;
    }
    std::vector<Text> codes;
    for (const Holding& h : m_portfolio.holdings())
        codes.push_back(h.code);
    // One still running: a second follows it, so a fund added meanwhile is fetched too.
    m_refreshAgain = !m_refresh.start(std::move(codes), [this](std::map<Text, FundQuote> quotes) {
        // On a worker thread: the quotes go to the window's own thread.
        QMetaObject::invokeMethod(
            this, [this, quotes = std::move(quotes)]() mutable { quotesArrived(std::move(quotes)); },
            Qt::QueuedConnection);
    });
}

void PortfolioWindow::quotesArrived(std::map<Text, FundQuote> quotes)
{
    for (auto& [code, quote] : quotes)
        m_quotes[code] = std::move(quote);
    if (!m_table)
        return;
    showRows();
    if (std::exchange(m_refreshAgain, false))
        refresh();
}

void PortfolioWindow::showRows()
{
    m_model->reload();
    // Names, the value's date and the estimate's coverage shown whole.
    m_table->resizeColumnsToContents();
}

QString PortfolioWindow::note() const { return m_tabs ? m_tabs->note() : m_note->text(); }

PortfolioFigures PortfolioWindow::figures() const { return portfolioFigures(m_portfolio.holdings(), m_quotes); }

const FundQuote* PortfolioWindow::quote(const Text& code) const
{
    auto it = m_quotes.find(code);
    return it == m_quotes.end() ? nullptr : &it->second;
}

bool PortfolioWindow::editHolding(int row, int column, const QString& text)
{
    const auto& holdings = m_portfolio.holdings();
    if (!holdingsWritable() || row < 0 || row >= int(holdings.size()))
        return false;
    const Holding h = holdings[size_t(row)];
    const Text value = qStringToGbk(text);
    const FundQuote* q = quote(h.code);
    const Text error = column == Shares ? m_portfolio.set(h.code, value, h.cost)
                     : column == Cost   ? m_portfolio.set(h.code, h.shares, value)
                     : column == Amount ? m_portfolio.setAmount(h.code, value, h.cost, q ? q->unitValue : 0)
                                        : gbk("此栏不能修改");
    showNote(error);
    return error.empty();
}

void PortfolioWindow::addFromBoxes()
{
    if (!holdingsWritable())
        return;
    const Text code = qStringToGbk(m_code->text().trimmed());
    const Text error = m_portfolio.set(code, qStringToGbk(m_shares->text()), qStringToGbk(m_cost->text()));
    showNote(error);
    if (!error.empty())
        return;
    m_code->clear();
    m_shares->clear();
    m_cost->clear();
    showRows();
    refresh();
}

void PortfolioWindow::removeRow(int row)
{
    const auto& holdings = m_portfolio.holdings();
    if (!holdingsWritable() || row < 0 || row >= int(holdings.size()))
        return;
    m_portfolio.remove(Text(holdings[size_t(row)].code));
    showRows();
}

void PortfolioWindow::showNote(const Text& gbkText) { m_note->setText(gbkToQString(gbkText)); }

} // namespace fw
