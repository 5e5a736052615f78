// The portfolio window's ledger tabs against the sample service, its NAV
// history fetched over real sockets. The figures below are worked out by hand
// from the sample's NAV rows (written beside each), with the clock at Friday
// 4 December 2026, 20:00 China time.
#include "app/gui/LedgerTabs.h"
#include "app/gui/LedgerWidgets.h"
#include "app/gui/ChartPanel.h"
#include "app/gui/PortfolioWindow.h"
#include "canvas/Gbk.h"
#include "app/gui/TextFit.h"
#include "funds/PortfolioRefresh.h"
#include "sample/Market.h"
#include "store/LedgerDatabase.h"
#include "tests/gui/GuiTests.h"
#include "tests/gui/WindowWorld.h"
#include "text/CodePage.h"
#include "text/NumberText.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDir>
#include <QFontMetricsF>
#include <QStyle>
#include <QElapsedTimer>
#include <QPointer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QTabWidget>
#include <QTableView>
#include <QTest>

#include <atomic>
#include <chrono>
#include <thread>

using namespace fw;
using namespace fw::ledger;
using fw::test::WindowWorld;

namespace {

// 2026-12-04 20:00 China time (12:00 UTC).
std::time_t fridayEvening() { return 1796385600; }

QString cell(QTableView* table, int row, int column) { return table->model()->index(row, column).data().toString(); }

template <class W>
W* child(QWidget* w, Control control)
{
    return w->findChild<W*>(qtName(control));
}

Trade trade(const char* account, const char* code, TradeKind kind, const char* date, int minute, int64_t amount,
            int64_t shares, std::optional<int64_t> feeRate = std::nullopt)
{
    Trade t;
    t.account = account;
    t.code = code;
    t.kind = kind;
    t.date = *parseDay(date);
    t.minute = minute;
    t.amount = amount;
    t.shares = shares;
    t.feeRate = feeRate;
    return t;
}

PortfolioWindow* openWindow(WindowWorld& f)
{
    f.window.findChild<QAbstractButton*>(qtName(Control::PortfolioButton))->click();
    return f.window.portfolioWindow();
}

// Waits for the snapshot of the refresh started last.
bool settle(LedgerTabs* tabs, int shownBefore)
{
    return QTest::qWaitFor([&] { return tabs->shownCount() > shownBefore; }, 15000);
}

// The cell's room inside the style's text margins holds the text's advance,
// fractions of a pixel included (the delegate cuts a text a fraction too wide).
bool drawnWhole(QTableView* table, int row, int column)
{
    const QModelIndex index = table->model()->index(row, column);
    const int margin = table->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, table) + 1;
    const qreal room = table->visualRect(index).width() - 2 * margin;
    return QFontMetricsF(table->font()).horizontalAdvance(index.data().toString()) <= room;
}

} // namespace

void LedgerWindowTest::tabsShowHandWorkedFigures()
{
    QVERIFY(fridayEvening() == 1796385600); // 2026-12-04T12:00:00Z
    WindowWorld f(WindowWorld::market(200), fridayEvening);
    f.controller.onCreated();
    LedgerBook& book = f.controller.ledger();
    QVERIFY(book.isOpen());
    // 010781 (默认), NAV rows: 11-06 0.8059; 11-09 0.7647 paying 0.0406 a share;
    // 11-20 0.7975; 11-30 0.8703; 12-03 0.8894; 12-04 0.8838.
    //  B  500.00 at 15:30 on 11-06 counts for 11-07, confirms on 11-09:
    //     500 / 0.7647 = 653.85 shares, no part in that row's dividend.
    //  C  200 shares sold on 11-20 at 0.5 %: gross 159.50, fee 0.80, proceeds 158.70.
    //  D  100.00 at 16:00 on 12-04 counts for 12-05: no row yet, 待确认.
    // 164246 (券商): E 300.00 on 12-01 at 0.9755 = 307.53 shares; 12-03 0.9935, 12-04 0.9868.
    QVERIFY(book.addTrade(trade("默认", "010781", TradeKind::Buy, "2026-11-06", 15 * 60 + 30, 50000, 0)));
    QVERIFY(book.addTrade(trade("默认", "010781", TradeKind::Sell, "2026-11-20", 10 * 60, 0, 20000, 5000)));
    QVERIFY(book.addTrade(trade("默认", "010781", TradeKind::Buy, "2026-12-04", 16 * 60, 10000, 0)));
    QVERIFY(book.addTrade(trade("券商", "164246", TradeKind::Buy, "2026-12-01", 10 * 60, 30000, 0)));

    PortfolioWindow* w = openWindow(f);
    QVERIFY(w && w->ledgerTabs());
    LedgerTabs* tabs = w->ledgerTabs();
    QVERIFY(settle(tabs, 0));

    // A  1000.00 at 14:00 on 11-06, 0.15 %, entered in the 交易 tab: confirms on
    //    11-06: net 1000 / 1.0015 = 998.50, fee 1.50, 998.50 / 0.8059 = 1238.99 shares;
    //    the 11-09 dividend pays 1238.99 × 0.0406 = 50.30.
    child<QComboBox>(tabs, Control::TradeKind)->setCurrentIndex(0);
    child<QLineEdit>(tabs, Control::TradeCode)->setText(QStringLiteral("010781"));
    child<QLineEdit>(tabs, Control::TradeAmount)->setText(QStringLiteral("1000"));
    child<QLineEdit>(tabs, Control::TradeDate)->setText(QStringLiteral("2026-11-06"));
    child<QLineEdit>(tabs, Control::TradeTime)->setText(QStringLiteral("14:00"));
    child<QLineEdit>(tabs, Control::TradeFeeRate)->setText(QStringLiteral("0.15"));
    int shown = tabs->shownCount();
    child<QAbstractButton>(tabs, Control::TradeAdd)->click();
    QVERIFY2(tabs->note().isEmpty(), qPrintable(tabs->note()));
    QVERIFY(settle(tabs, shown));

    // 交易: each trade as it was confirmed.
    QTableView* trades = child<QTableView>(tabs, Control::LedgerTrades);
    QCOMPARE(trades->model()->rowCount(), 5);
    struct TradeRow { int row; const char* state; const char* confirm; const char* unit; const char* amount;
                      const char* shares; const char* fee; };
    const TradeRow expectTrades[] = {
        {0, "已确认", "2026-11-09", "0.7647", "500.00", "653.85", "0.00"},
        {1, "已确认", "2026-11-20", "0.7975", "158.70", "200.00", "0.80"},
        {2, "待确认", "", "", "100.00", "", ""},
        {3, "已确认", "2026-12-01", "0.9755", "300.00", "307.53", "0.00"},
        {4, "已确认", "2026-11-06", "0.8059", "1000.00", "1238.99", "1.50"},
    };
    for (const TradeRow& e : expectTrades) {
        QCOMPARE(cell(trades, e.row, TState), QString::fromUtf8(e.state));
        QCOMPARE(cell(trades, e.row, TConfirmDay), QString::fromUtf8(e.confirm));
        QCOMPARE(cell(trades, e.row, TUnitValue), QString::fromUtf8(e.unit));
        QCOMPARE(cell(trades, e.row, TAmount), QString::fromUtf8(e.amount));
        QCOMPARE(cell(trades, e.row, TShares), QString::fromUtf8(e.shares));
        QCOMPARE(cell(trades, e.row, TFee), QString::fromUtf8(e.fee));
    }

    // 持仓, 全部: 010781 holds 1238.99 + 653.85 − 200 = 1692.84 shares; its cost
    // 1500.00 falls by 1500 × 200 / 1892.84 = 158.49 to 1341.51; 市值
    // 1692.84 × 0.8838 = 1496.13; 持有收益 154.62 (11.53 %); 累计收益
    // 1496.13 + 158.70 + 50.30 − 1500 = 205.13 (13.68 %); realised 50.51.
    // 164246: 307.53 × 0.9868 = 303.47, profit 3.47 (1.16 %). 全部: 1799.60,
    // cost 1641.51, 158.09 (9.63 %), 208.60 of 1800.00 bought (11.59 %).
    QTableView* holdings = child<QTableView>(tabs, Control::LedgerHoldings);
    QCOMPARE(holdings->model()->rowCount(), 3);
    struct HoldingRow { int row; const char* account; const char* shares; const char* cost; const char* value;
                        const char* profit; const char* rate; const char* total; const char* totalRate;
                        const char* realised; const char* state; };
    const HoldingRow expectAll[] = {
        {0, "券商", "307.53", "300.00", "303.47", "3.47", "1.16%", "3.47", "1.16%", "0.00", ""},
        {1, "默认", "1692.84", "1341.51", "1496.13", "154.62", "11.53%", "205.13", "13.68%", "50.51", "待确认 100.00元"},
        {2, "全部", "", "1641.51", "1799.60", "158.09", "9.63%", "208.60", "11.59%", "50.51", "待确认 100.00元"},
    };
    auto checkHoldings = [&](const HoldingRow* rows, size_t count) {
        for (size_t i = 0; i < count; ++i) {
            const HoldingRow& e = rows[i];
            QCOMPARE(cell(holdings, e.row, HAccount), QString::fromUtf8(e.account));
            QCOMPARE(cell(holdings, e.row, HShares), QString::fromUtf8(e.shares));
            QCOMPARE(cell(holdings, e.row, HHeldCost), QString::fromUtf8(e.cost));
            QCOMPARE(cell(holdings, e.row, HMarketValue), QString::fromUtf8(e.value));
            QCOMPARE(cell(holdings, e.row, HHoldingProfit), QString::fromUtf8(e.profit));
            QCOMPARE(cell(holdings, e.row, HHoldingRate), QString::fromUtf8(e.rate));
            QCOMPARE(cell(holdings, e.row, HTotalProfit), QString::fromUtf8(e.total));
            QCOMPARE(cell(holdings, e.row, HTotalRate), QString::fromUtf8(e.totalRate));
            QCOMPARE(cell(holdings, e.row, HRealised), QString::fromUtf8(e.realised));
            QCOMPARE(cell(holdings, e.row, HState), QString::fromUtf8(e.state));
        }
    };
    checkHoldings(expectAll, std::size(expectAll));
    QCOMPARE(cell(holdings, 1, HUnitValue), QStringLiteral("0.8838 (12-04)"));
    // Gains red, the table's own colour for the rest.
    QCOMPARE(holdings->model()->index(1, HTotalProfit).data(Qt::ForegroundRole).value<QColor>(), toQColor(kRed));
    // Each holding's fund name and 今日估算收益 from the estimate the portfolio
    // fetches: 市值 × today's estimated change, to the cent, halves away from
    // zero; 全部 sums the holdings' cents.
    const FundQuote quoteA = fetchFundQuote(HttpRequestOptions {}, "010781");
    const FundQuote quoteB = fetchFundQuote(HttpRequestOptions {}, "164246");
    QVERIFY(!quoteA.name.empty() && quoteA.estimatePercent && quoteB.estimatePercent);
    QCOMPARE(cell(holdings, 1, HName), gbkToQString(quoteA.name));
    QCOMPARE(cell(holdings, 0, HName), gbkToQString(quoteB.name));
    QCOMPARE(cell(holdings, 2, HName), QString());
    const qint64 gainA = qRound64(149613 * *quoteA.estimatePercent / 100); // 1496.13 × the change
    const qint64 gainB = qRound64(30347 * *quoteB.estimatePercent / 100);  // 303.47 × the change
    auto yuan = [](qint64 cents) { return QString::number(double(cents) / 100, 'f', 2); };
    QCOMPARE(cell(holdings, 1, HTodayGain), yuan(gainA));
    QCOMPARE(cell(holdings, 0, HTodayGain), yuan(gainB));
    QCOMPARE(cell(holdings, 2, HTodayGain), yuan(gainA + gainB));
    // Every text shown whole; the window is wide enough for the names too.
    w->resize(1600, 520);
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    for (int row = 0; row < 3; ++row)
        for (int column = 0; column < kHoldingColumns; ++column)
            QVERIFY2(drawnWhole(holdings, row, column), qPrintable(cell(holdings, row, column)));
    // Too narrow for them all: the names give, cut with "…" and whole in their tooltips.
    w->resize(700, 520);
    QTRY_VERIFY(WholeTextTips::isCut(*holdings, holdings->model()->index(1, HName)));
    QVERIFY(!WholeTextTips::isCut(*holdings, holdings->model()->index(1, HMarketValue)));
    QVERIFY(!WholeTextTips::isCut(*holdings, holdings->model()->index(1, HTodayGain)));

    // One account: its own holding and its own totals.
    QComboBox* account = child<QComboBox>(tabs, Control::LedgerAccount);
    account->setCurrentText(QStringLiteral("默认"));
    QCOMPARE(holdings->model()->rowCount(), 2);
    const HoldingRow expectOne[] = {
        {1, "默认", "", "1341.51", "1496.13", "154.62", "11.53%", "205.13", "13.68%", "50.51", "待确认 100.00元"},
    };
    checkHoldings(expectOne, std::size(expectOne));
    QCOMPARE(cell(holdings, 1, HTodayGain), yuan(gainA));

    // 收益日历 of the whole ledger: at 11-30 010781's 累计收益 was
    // 1692.84 × 0.8703 = 1473.28 + 209.00 − 1500 = 182.28 (券商 held nothing), so
    // November sums to 182.28, December to 208.60 − 182.28 = 26.32, the year to
    // 208.60 = 累计收益. 12-04: 010781 1505.61 → 1496.13 (−9.48), 164246
    // 305.53 → 303.47 (−2.06): −11.54.
    account->setCurrentIndex(0);
    QComboBox* month = child<QComboBox>(tabs, Control::CalendarMonth);
    QCOMPARE(month->count(), 2);
    QCOMPARE(month->currentText(), QStringLiteral("2026年12月"));
    QLabel* sums = child<QLabel>(tabs, Control::CalendarSums);
    QCOMPARE(sums->text(), QStringLiteral("本月 26.32  本年 208.60"));
    QTableView* calendar = child<QTableView>(tabs, Control::LedgerCalendar);
    // December 2026 begins on a Tuesday: the 4th is the first row's Friday.
    QCOMPARE(cell(calendar, 0, 0), QString());
    QCOMPARE(cell(calendar, 0, 4), QStringLiteral("4\n-11.54"));
    QCOMPARE(calendar->model()->index(0, 4).data(Qt::ForegroundRole).value<QColor>(), toQColor(kGreen));
    QCOMPARE(cell(calendar, 0, 5), QStringLiteral("5")); // Saturday: no close
    month->setCurrentIndex(1);
    QCOMPARE(sums->text(), QStringLiteral("本月 182.28  本年 208.60"));

    // 走势: the four confirmed buys and sales marked, the pending buy not.
    auto* trend = child<LedgerTrendView>(tabs, Control::LedgerTrend);
    QCOMPARE(int(trend->trend().marks.size()), 4);
    QCOMPARE(trend->trend().totalProfit.back(), int64_t(20860));
    QCOMPARE(trend->trend().marketValue.back(), int64_t(179960));
}

void LedgerWindowTest::startUpCarriesHoldingsInAndCellEditsReconcile()
{
    WindowWorld f(WindowWorld::market(200), fridayEvening);
    f.config.write(gbk("持仓"), "010781", "100|0.8");
    f.controller.onCreated();
    const QString db = f.dir.filePath(QStringLiteral("fundwatch.db"));
    QVERIFY(QFile::exists(db));
    QVERIFY(QFile::exists(db + QStringLiteral(".2026-12-04"))); // today's copy
    PortfolioWindow* w = openWindow(f);
    LedgerTabs* tabs = w->ledgerTabs();
    QVERIFY(tabs);
    QVERIFY(settle(tabs, 0));
    // 期初 100 shares at 0.8: cost 80.00, dated today, confirmed on 12-04 at 0.8838:
    // 市值 88.38, 持有收益 8.38 (10.475 → 10.48 %).
    QTableView* trades = child<QTableView>(tabs, Control::LedgerTrades);
    QCOMPARE(trades->model()->rowCount(), 1);
    QCOMPARE(cell(trades, 0, TKind), QStringLiteral("期初"));
    QTableView* holdings = child<QTableView>(tabs, Control::LedgerHoldings);
    QCOMPARE(cell(holdings, 0, HMarketValue), QStringLiteral("88.38"));
    QCOMPARE(cell(holdings, 0, HHoldingProfit), QStringLiteral("8.38"));
    QCOMPARE(cell(holdings, 0, HHoldingRate), QStringLiteral("10.48%"));

    // Today's edit of 份额 books a 对账 of 150 shares at the same cost; [持仓] stays.
    const int shown = tabs->shownCount();
    QVERIFY(holdings->model()->setData(holdings->model()->index(0, HShares), QStringLiteral("150"), Qt::EditRole));
    QVERIFY(settle(tabs, shown));
    QCOMPARE(trades->model()->rowCount(), 2);
    QCOMPARE(cell(trades, 1, TKind), QStringLiteral("对账"));
    // 150 × 0.8838 = 132.57, against the unchanged 80.00.
    QCOMPARE(cell(holdings, 0, HShares), QStringLiteral("150.00"));
    QCOMPARE(cell(holdings, 0, HMarketValue), QStringLiteral("132.57"));
    QCOMPARE(cell(holdings, 0, HHoldingProfit), QStringLiteral("52.57"));
    QCOMPARE(f.config.read(gbk("持仓"), "010781"), "100|0.8");
    // A refused edit books nothing and says why.
    QVERIFY(!holdings->model()->setData(holdings->model()->index(0, HHeldCost), QStringLiteral("-1"), Qt::EditRole));
    QVERIFY(!tabs->note().isEmpty());
}

void LedgerWindowTest::databaseThatCannotBeOpenedIsKeptAndACopyRestores()
{
    WindowWorld f(WindowWorld::market(200), fridayEvening);
    const QString path = f.dir.filePath(QStringLiteral("fundwatch.db"));
    {
        // Yesterday's copy: a sound ledger of one trade.
        LedgerDatabase copy;
        QVERIFY(copy.open((path + QStringLiteral(".2026-12-03")).toStdString()));
        QVERIFY(copy.addTrade(trade("默认", "010781", TradeKind::Buy, "2026-12-01", 600, 10000, 0)));
    }
    const QByteArray damaged("this is no database, and it must stay as it is\n");
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(damaged);
    }
    f.config.write(gbk("持仓"), "010781", "100|0.8");
    f.controller.onCreated();
    QVERIFY(!f.controller.ledger().isOpen());

    PortfolioWindow* w = openWindow(f);
    QVERIFY(w && !w->ledgerTabs());
    auto* failure = child<QLabel>(w, Control::LedgerFailure);
    QVERIFY(failure);
    QVERIFY2(failure->text().startsWith(QStringLiteral("持仓数据库无法打开：")), qPrintable(failure->text()));
    QVERIFY(failure->text().size() > QStringLiteral("持仓数据库无法打开：").size()); // with the reason
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), damaged);
    }
    // The ledger is off: [持仓] is shown, never written.
    QVERIFY(!child<QAbstractButton>(w, Control::PortfolioAdd)->isEnabled());
    QTableView* legacy = child<QTableView>(w, Control::PortfolioTable);
    QVERIFY(!(legacy->model()->flags(legacy->model()->index(0, 2)) & Qt::ItemIsEditable));

    // The copy put back: the tabs come, with its trade.
    auto* copies = child<QComboBox>(w, Control::LedgerCopies);
    QCOMPARE(copies->count(), 1);
    QCOMPARE(copies->currentText(), QStringLiteral("2026-12-03"));
    child<QAbstractButton>(w, Control::LedgerRestore)->click();
    QTRY_VERIFY(w->ledgerTabs());
    QVERIFY(settle(w->ledgerTabs(), 0));
    QCOMPARE(child<QTableView>(w->ledgerTabs(), Control::LedgerTrades)->model()->rowCount(), 1);
    QVERIFY(QFile::exists(path + QStringLiteral(".before-restore")));
}

void LedgerWindowTest::onlyTheNewestRefreshIsShown()
{
    // A stalled NAV page holds the first refresh; the second one's snapshot is
    // shown and the first's never is.
    WindowWorld f(WindowWorld::market(200), fridayEvening);
    f.controller.onCreated();
    LedgerBook& book = f.controller.ledger();
    QVERIFY(book.addTrade(trade("默认", "010781", TradeKind::Buy, "2026-12-01", 600, 10000, 0)));
    std::atomic<int> calls {0};
    std::atomic<bool> release {false};
    book.setNavUpdate([&](const HttpRequestOptions& request, NavCache& cache, const std::string& code, Day from) {
        if (calls.fetch_add(1) == 0)
            while (!release && !request.load.cancelled())
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return fetchNavHistory(request, cache, code, from);
    });
    PortfolioWindow* w = openWindow(f); // the first refresh stalls
    LedgerTabs* tabs = w->ledgerTabs();
    QTRY_VERIFY(calls.load() >= 1);
    QVERIFY(book.addTrade(trade("默认", "010781", TradeKind::Buy, "2026-12-02", 600, 10000, 0)));
    tabs->refresh(); // cancels the stalled one
    QVERIFY(settle(tabs, 0));
    release = true;
    QTest::qWait(200);
    QCOMPARE(tabs->shownCount(), 1);
    QCOMPARE(child<QTableView>(tabs, Control::LedgerTrades)->model()->rowCount(), 2);
    delete w; // closed: waits for no worker
    book.wait(); // the stalled worker reads this test's counters
    book.setNavUpdate(fetchNavHistory);
}

void LedgerWindowTest::tradeFormRefusesEachBadFieldAndBooksNothing()
{
    WindowWorld f(WindowWorld::market(200), fridayEvening);
    f.controller.onCreated();
    PortfolioWindow* w = openWindow(f);
    LedgerTabs* tabs = w->ledgerTabs();
    QVERIFY(settle(tabs, 0));
    struct Case { int kind; const char* code; const char* amount; const char* shares; const char* date;
                  const char* time; const char* fee; const char* note; };
    const Case cases[] = {
        {0, "01078", "100", "", "", "", "", "基金代码应为6位数字"},
        {0, "01078a", "100", "", "", "", "", "基金代码应为6位数字"},
        {0, "010781", "0", "", "", "", "", "金额应为正数，至多两位小数"},
        {0, "010781", "1.005", "", "", "", "", "金额应为正数，至多两位小数"},
        {1, "010781", "", "", "", "", "", "份额应为正数，至多两位小数"},
        {2, "010781", "100", "-1", "", "", "", "份额应为正数，至多两位小数"},
        {0, "010781", "100", "", "2026-02-30", "", "", "日期应为YYYY-MM-DD"},
        {0, "010781", "100", "", "", "24:00", "", "时间应为HH:MM"},
        {0, "010781", "100", "", "", "9:30", "", "时间应为HH:MM"},
        {0, "010781", "100", "", "", "", "100", "费率应为0到100之间的百分数"},
    };
    for (const Case& c : cases) {
        child<QComboBox>(tabs, Control::TradeKind)->setCurrentIndex(c.kind);
        child<QLineEdit>(tabs, Control::TradeCode)->setText(QString::fromUtf8(c.code));
        child<QLineEdit>(tabs, Control::TradeAmount)->setText(QString::fromUtf8(c.amount));
        child<QLineEdit>(tabs, Control::TradeShares)->setText(QString::fromUtf8(c.shares));
        child<QLineEdit>(tabs, Control::TradeDate)->setText(QString::fromUtf8(c.date));
        child<QLineEdit>(tabs, Control::TradeTime)->setText(QString::fromUtf8(c.time));
        child<QLineEdit>(tabs, Control::TradeFeeRate)->setText(QString::fromUtf8(c.fee));
        child<QAbstractButton>(tabs, Control::TradeAdd)->click();
        QCOMPARE(tabs->note(), QString::fromUtf8(c.note));
    }
    QVERIFY(f.controller.ledger().addTrade(trade("默认", "010781", TradeKind::Buy, "2026-12-01", 600, 100, 0)));
    LedgerDatabase db;
    QVERIFY(db.open(f.dir.filePath(QStringLiteral("fundwatch.db")).toStdString()));
    QCOMPARE(int(db.trades().size()), 1); // only the one added here
}

void LedgerWindowTest::aPlanBooksItsDueOrdersOnce()
{
    WindowWorld f(WindowWorld::market(200), fridayEvening);
    f.controller.onCreated();
    PortfolioWindow* w = openWindow(f);
    LedgerTabs* tabs = w->ledgerTabs();
    QVERIFY(settle(tabs, 0));
    // 每月10日 from 2026-11-01: by 4 December only 10 November is due, booked at
    // 14:59 and confirmed on that day's row at 0.7777: 100 / 0.7777 = 128.58 shares.
    child<QLineEdit>(tabs, Control::PlanCode)->setText(QStringLiteral("010781"));
    child<QLineEdit>(tabs, Control::PlanAmount)->setText(QStringLiteral("100"));
    child<QComboBox>(tabs, Control::PlanCycle)->setCurrentIndex(3);
    child<QLineEdit>(tabs, Control::PlanDay)->setText(QStringLiteral("10"));
    child<QLineEdit>(tabs, Control::PlanStart)->setText(QStringLiteral("2026-11-01"));
    int shown = tabs->shownCount();
    child<QAbstractButton>(tabs, Control::PlanAdd)->click();
    QVERIFY2(tabs->note().isEmpty(), qPrintable(tabs->note()));
    QVERIFY(settle(tabs, shown));
    QTableView* plans = child<QTableView>(tabs, Control::LedgerPlans);
    QCOMPARE(plans->model()->rowCount(), 1);
    QCOMPARE(cell(plans, 0, 5), QStringLiteral("每月10日"));
    QCOMPARE(cell(plans, 0, 7), QStringLiteral("1次"));
    QTableView* trades = child<QTableView>(tabs, Control::LedgerTrades);
    QCOMPARE(trades->model()->rowCount(), 1);
    QCOMPARE(cell(trades, 0, TDate), QStringLiteral("2026-11-10"));
    QCOMPARE(cell(trades, 0, TTime), QStringLiteral("14:59"));
    QCOMPARE(cell(trades, 0, TShares), QStringLiteral("128.58"));

    // The order deleted, a refresh books it no more.
    trades->setCurrentIndex(trades->model()->index(0, 0));
    shown = tabs->shownCount();
    child<QAbstractButton>(tabs, Control::TradeRemove)->click();
    QVERIFY(settle(tabs, shown));
    QCOMPARE(trades->model()->rowCount(), 0);
    QCOMPARE(cell(plans, 0, 7), QStringLiteral("1次"));
}

void LedgerWindowTest::theUserPicksTheBenchmark()
{
    WindowWorld f(WindowWorld::market(200), fridayEvening);
    f.controller.onCreated();
    QVERIFY(f.controller.ledger().addTrade(trade("默认", "010781", TradeKind::Buy, "2026-12-01", 600, 10000, 0)));
    PortfolioWindow* w = openWindow(f);
    LedgerTabs* tabs = w->ledgerTabs();
    QVERIFY(settle(tabs, 0));
    auto* trend = child<LedgerTrendView>(tabs, Control::LedgerTrend);
    QVERIFY(!trend->trend().hasBenchmark); // the sample has no 110020
    auto* box = child<QLineEdit>(tabs, Control::BenchmarkCode);
    for (const char* refused : {"16424", "16424x"}) {
        box->setText(QString::fromUtf8(refused));
        emit box->editingFinished();
        QCOMPARE(f.controller.ledger().benchmarkCode(), std::string("110020"));
    }
    // 164246 over the closes after 12-01: 12-02 +1.76 %, 12-03 +0.09 %, 12-04 −0.68 %:
    // 1.0176 × 1.0009 × 0.9932 − 1 = 0.011589932288.
    const int shown = tabs->shownCount();
    box->setText(QStringLiteral("164246"));
    emit box->editingFinished();
    QVERIFY(settle(tabs, shown));
    QVERIFY(trend->trend().hasBenchmark);
    QVERIFY(qAbs(trend->trend().benchmark.back() - 0.011589932288) < 1e-9);
    QCOMPARE(trend->trend().benchmark.front(), 0.0);

    // The pick is kept in 配置.ini: the next start begins with it.
    QCOMPARE(f.config.read(gbk("持仓走势"), gbk("基准基金")), Text("164246"));
    {
        LedgerBook next(f.controller.context(), f.dir.path().toStdString(), fridayEvening);
        QVERIFY(next.start(f.config));
        QCOMPARE(next.benchmarkCode(), std::string("164246"));
    }
    // F5 in the window refreshes the tabs.
    w->show();
    QVERIFY(QTest::qWaitForWindowActive(w));
    int before = tabs->shownCount();
    QTest::keyClick(w, Qt::Key_F5);
    QVERIFY(settle(tabs, before));

    // A settings file that will not take the pick: the user is told, the pick holds for this run.
    const QString ini = f.dir.filePath(QStringLiteral("配置.ini"));
    QVERIFY(QFile::remove(ini));
    QVERIFY(QDir().mkdir(ini));
    before = tabs->shownCount();
    box->setText(QStringLiteral("010781"));
    emit box->editingFinished();
    QVERIFY2(tabs->note().startsWith(QStringLiteral("基准未能保存：")), qPrintable(tabs->note()));
    QCOMPARE(f.controller.ledger().benchmarkCode(), std::string("010781"));
    QVERIFY(settle(tabs, before));
    QVERIFY(QDir().rmdir(ini));
}

namespace {

bool settleToday(LedgerTabs* tabs, int shownBefore)
{
    return QTest::qWaitFor([&] { return tabs->todayShown() > shownBefore; }, 15000);
}

QWidget* todayTab(LedgerTabs* tabs)
{
    return child<QComboBox>(tabs, Control::TodayPick)->parentWidget();
}

} // namespace

// The 今日 tab: the two held funds' 当日收益 with each fund's share in the
// read-out, then one fund's day with its published change of 12-04 (a fall)
// as a dot at the close, in the falling colour.
void LedgerWindowTest::todayTabDrawsThePortfolioAndAFundWithItsDot()
{
    WindowWorld f(WindowWorld::market(200), fridayEvening);
    f.controller.onCreated();
    QVERIFY(f.controller.ledger().addTrade(trade("默认", "010781", TradeKind::Buy, "2026-11-06", 600, 50000, 0)));
    QVERIFY(f.controller.ledger().addTrade(trade("券商", "164246", TradeKind::Buy, "2026-12-01", 600, 30000, 0)));
    PortfolioWindow* w = openWindow(f);
    LedgerTabs* tabs = w->ledgerTabs();
    QVERIFY(settle(tabs, 0));
    auto* pick = child<QComboBox>(tabs, Control::TodayPick);
    QCOMPARE(pick->count(), 3); // 组合 and the two funds
    QCOMPARE(pick->itemText(0), QStringLiteral("组合"));

    tabs->setCurrentWidget(todayTab(tabs));
    QVERIFY(settleToday(tabs, 0));
    const auto* portfolio = std::get_if<PortfolioDay>(tabs->today());
    QVERIFY(portfolio);
    TextList codes = portfolio->codes;
    std::sort(codes.begin(), codes.end());
    QCOMPARE(codes, (TextList {"010781", "164246"}));
    const std::vector<TextList>& readOut = tabs->todayRenderer().hoverTable();
    QCOMPARE(int(readOut.size()), 4); // the minutes, 当日收益, each fund's share
    QCOMPARE(readOut[1][0], gbk("当日收益"));
    QCOMPARE(readOut[2][0], portfolio->codes[0]);
    QCOMPARE(readOut[3][0], portfolio->codes[1]);
    QVERIFY(child<QLabel>(tabs, Control::TodayNote)->text().startsWith(QStringLiteral("当日收益 ")));

    const int shown = tabs->todayShown();
    pick->setCurrentIndex(pick->findText(QStringLiteral("010781")));
    QVERIFY(settleToday(tabs, shown));
    const auto* fund = std::get_if<FundCurve>(tabs->today());
    QVERIFY(fund && fund->ok());
    QVERIFY(fund->navChange);
    const int32_t published = f.service.market().navHistory(*f.service.market().fund("010781")).back().change;
    QVERIFY(published < 0);
    QCOMPARE(roundedUnits(*fund->navChange, 2), (long long)published);
    QCOMPARE(fund->curve.points.front().minute, 9 * 60 + 30);
    // The dot at the close: x = the plot's right edge, y on the scale.
    const ChartRenderer& r = tabs->todayRenderer();
    const double y = r.plotRect().y1 - double(r.plotRect().y1 - r.plotRect().y0) / (r.maximum() - r.minimum())
                                           * (*fund->navChange - r.minimum());
    const QImage image = child<ChartPanel>(tabs, Control::TodayChart)->image();
    const QColor dot = image.pixelColor(QPoint(r.plotRect().x1, int(y)) * image.devicePixelRatio());
    QVERIFY2(dot.green() > dot.red() && dot.green() > dot.blue(), qPrintable(dot.name()));
    QVERIFY(child<QLabel>(tabs, Control::TodayNote)->text().contains(QStringLiteral("（净值 -")));
}

// Nothing held: the tab says so rather than only that there is no curve.
void LedgerWindowTest::todayTabOfAnEmptyLedgerSaysWhy()
{
    WindowWorld f(WindowWorld::market(200), fridayEvening);
    f.controller.onCreated();
    PortfolioWindow* w = openWindow(f);
    LedgerTabs* tabs = w->ledgerTabs();
    QVERIFY(settle(tabs, 0));
    tabs->setCurrentWidget(todayTab(tabs));
    QVERIFY(settleToday(tabs, 0));
    QCOMPARE(child<QLabel>(tabs, Control::TodayNote)->text(), QStringLiteral("今日走势无法取得：没有持仓基金"));
}

// Two picks in a row: only the second one's day is shown. A pick whose bars
// stall leaves the window free to close at once.
void LedgerWindowTest::todayTabShowsOnlyTheNewestLoadAndClosesDuringAStall()
{
    WindowWorld f(WindowWorld::market(200), fridayEvening);
    f.controller.onCreated();
    QVERIFY(f.controller.ledger().addTrade(trade("默认", "010781", TradeKind::Buy, "2026-11-06", 600, 50000, 0)));
    QVERIFY(f.controller.ledger().addTrade(trade("券商", "164246", TradeKind::Buy, "2026-12-01", 600, 30000, 0)));
    QPointer<PortfolioWindow> w = openWindow(f);
    LedgerTabs* tabs = w->ledgerTabs();
    QVERIFY(settle(tabs, 0));
    auto* pick = child<QComboBox>(tabs, Control::TodayPick);
    pick->setCurrentIndex(pick->findText(QStringLiteral("010781")));
    tabs->setCurrentWidget(todayTab(tabs));
    pick->setCurrentIndex(pick->findText(QStringLiteral("164246")));
    QVERIFY(settleToday(tabs, 0));
    QTest::qWait(500);
    QCOMPARE(tabs->todayShown(), 1);
    const auto* fund = std::get_if<FundCurve>(tabs->today());
    QVERIFY(fund);
    QCOMPARE(fund->code, Text("164246"));

    auto barRequests = [&f] {
        int n = 0;
        for (const sample::LoggedRequest& r : f.service.requests())
            n += r.target.find("trends2") != std::string::npos;
        return n;
    };
    const int before = barRequests();
    f.service.addFault({sample::Fault::Stall, "trends2", 10000});
    pick->setCurrentIndex(pick->findText(QStringLiteral("010781")));
    QTRY_VERIFY_WITH_TIMEOUT(barRequests() > before, 5000); // the load is inside a stalled request
    QElapsedTimer clock;
    clock.start();
    w->close();
    QTRY_VERIFY_WITH_TIMEOUT(!w, 12000);
    QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
}
