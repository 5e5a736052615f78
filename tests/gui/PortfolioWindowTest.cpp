// The portfolio window against the sample service: a fund added from the
// boxes, its shares edited in place, the totals following; a refused edit
// changes nothing; the refresh by itself during trading hours only; 编辑持仓…
// in 菜单3 opening the window on the watchlist's fund.
#include "app/gui/PortfolioWindow.h"
#include "funds/Portfolio.h"
#include "sample/Market.h"
#include "tests/gui/GuiTests.h"
#include "tests/gui/WindowWorld.h"
#include "text/CodePage.h"

#include <QAbstractButton>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QElapsedTimer>
#include <QMenu>
#include <QPointer>
#include <QTableView>
#include <QTest>
#include <QTimer>

#include <ctime>

using namespace fw;
using fw::test::WindowWorld;

namespace {

QString cell(QTableView* table, int row, int column)
{
    return table->model()->index(row, column).data().toString();
}

QTableView* tableOf(PortfolioWindow* w) { return w->findChild<QTableView*>(QStringLiteral("持仓表格")); }

// China time on Monday 7 December 2026 plus `days`.
std::time_t chinaTime(int days, int hour, int minute)
{
    std::tm monday {};
    monday.tm_year = 2026 - 1900;
    monday.tm_mon = 11;
    monday.tm_mday = 7;
    return timegm(&monday) + days * 86400 + (hour - 8) * 3600 + minute * 60;
}

} // namespace

void PortfolioWindowTest::addEditAndTotals()
{
    WindowWorld f(WindowWorld::market(200));
    auto* open = f.window.findChild<QAbstractButton*>(QStringLiteral("持仓钮"));
    QVERIFY(open);
    open->click();
    PortfolioWindow* w = f.window.portfolioWindow();
    QVERIFY(w && w->isVisible());

    const sample::Fund& fund = f.service.market().funds().front();
    const double nav = double(fund.navTenThousandths) / 10000.0;
    w->findChild<QLineEdit*>(QStringLiteral("持仓代码框"))->setText(QString::fromStdString(fund.code));
    w->findChild<QLineEdit*>(QStringLiteral("持仓份额框"))->setText(QStringLiteral("100"));
    w->findChild<QLineEdit*>(QStringLiteral("持仓成本价框"))->setText(QStringLiteral("1"));
    w->findChild<QAbstractButton*>(QStringLiteral("添加持仓钮"))->click();

    QTableView* table = tableOf(w);
    QCOMPARE(table->model()->rowCount(), 2); // the fund and the totals
    QTRY_COMPARE(cell(table, 0, 0), QString::fromStdString(fund.name));
    for (const int column : {0, 4, 8}) // the name, the value with its date, the estimate with its coverage
        QVERIFY2(table->columnWidth(column) > table->fontMetrics().horizontalAdvance(cell(table, 0, column)),
                 qPrintable(cell(table, 0, column)));
    QCOMPARE(cell(table, 1, 5), QString::fromStdString(formatMoney(100 * nav)));
    QCOMPARE(cell(table, 1, 6), QString::fromStdString(formatMoney(100 * (nav - 1))));

    // Shares edited in place: stored at once, the totals follow.
    QVERIFY(table->model()->setData(table->model()->index(0, 2), QStringLiteral("250.5"), Qt::EditRole));
    QCOMPARE(cell(table, 1, 5), QString::fromStdString(formatMoney(250.5 * nav)));
    QCOMPARE(f.config.read(gbk("持仓"), fund.code), "250.5|1");
    QVERIFY(w->note().isEmpty());

    // The amount held, edited in place, is stored as shares at the unit value.
    QVERIFY(table->model()->flags(table->model()->index(0, 5)) & Qt::ItemIsEditable);
    QVERIFY(table->model()->setData(table->model()->index(0, 5), QString::number(nav * 300, 'f', 2), Qt::EditRole));
    QCOMPARE(f.config.read(gbk("持仓"), fund.code), "300.00|1");
    QCOMPARE(cell(table, 0, 2), QStringLiteral("300.00"));
    QVERIFY(!(table->model()->flags(table->model()->index(1, 5)) & Qt::ItemIsEditable)); // not the totals
}

// A refused edit names its field under the table and changes nothing stored
// or shown; the next good edit clears the note.
void PortfolioWindowTest::refusedEditNamesTheFieldAndChangesNothing()
{
    WindowWorld f(WindowWorld::market(50));
    const std::string code = f.service.market().funds().front().code;
    f.config.write(gbk("持仓"), code, "100|1.5");
    f.window.openPortfolio();
    PortfolioWindow* w = f.window.portfolioWindow();
    QTableView* table = tableOf(w);
    QCOMPARE(table->model()->rowCount(), 2);

    const struct {
        int column;
        const char* text;
        const char* field;
    } refusals[] = {{2, "0", "份额"}, {2, "1.234", "份额"}, {2, "abc", "份额"},
                    {3, "1.23456", "成本价"}, {3, "-1", "成本价"}, {3, "", "成本价"},
                    {5, "12.345", "持仓金额"}};
    for (const auto& r : refusals) {
        QVERIFY2(!table->model()->setData(table->model()->index(0, r.column), QString::fromUtf8(r.text), Qt::EditRole),
                 r.text);
        QVERIFY2(w->note().contains(QString::fromUtf8(r.field)), qPrintable(w->note()));
        QCOMPARE(f.config.read(gbk("持仓"), code), "100|1.5");
        QCOMPARE(cell(table, 0, 2), QStringLiteral("100"));
        QCOMPARE(cell(table, 0, 3), QStringLiteral("1.5"));
    }

    // A code that is not six digits, from the boxes: named, nothing added.
    w->findChild<QLineEdit*>(QStringLiteral("持仓代码框"))->setText(QStringLiteral("12345"));
    w->findChild<QLineEdit*>(QStringLiteral("持仓份额框"))->setText(QStringLiteral("10"));
    w->findChild<QLineEdit*>(QStringLiteral("持仓成本价框"))->setText(QStringLiteral("1"));
    w->findChild<QAbstractButton*>(QStringLiteral("添加持仓钮"))->click();
    QVERIFY(w->note().contains(QStringLiteral("基金代码")));
    QCOMPARE(table->model()->rowCount(), 2);
    QCOMPARE(f.config.read(gbk("持仓"), "12345"), "");

    QVERIFY(table->model()->setData(table->model()->index(0, 3), QStringLiteral("1.25"), Qt::EditRole));
    QVERIFY(w->note().isEmpty());
}

// Every 60 seconds, and only while the market trades: the clock decides, the
// period is shortened for the test.
void PortfolioWindowTest::refreshesByItselfDuringTradingHoursOnly()
{
    WindowWorld f(WindowWorld::market(50));
    const std::string code = f.service.market().funds().front().code;
    f.config.write(gbk("持仓"), code, "100|1");
    // The fund pages asked for so far: one per refresh.
    auto pages = [&f, &code] {
        int n = 0;
        for (const sample::LoggedRequest& r : f.service.requests())
            n += r.target.rfind("/" + code + ".html", 0) == 0;
        return n;
    };

    std::time_t now = chinaTime(0, 10, 0);
    f.window.openPortfolio();
    PortfolioWindow* w = f.window.portfolioWindow();
    QCOMPARE(w->findChild<QTimer*>()->interval(), 60 * 1000);
    w->portfolio().setClock([&now] { return now; });
    w->setAutoRefreshInterval(std::chrono::milliseconds(40));
    QTRY_VERIFY(pages() >= 4); // the opening refresh and three by the timer

    // Lunch break, the evening and Saturday morning: nothing moves.
    for (const std::time_t closed : {chinaTime(0, 12, 0), chinaTime(0, 15, 1), chinaTime(5, 10, 0)}) {
        now = closed;
        QTRY_VERIFY(!w->refreshing());
        const int before = pages();
        QTest::qWait(300);
        QCOMPARE(pages(), before);
    }
    now = chinaTime(4, 14, 59); // Friday afternoon
    const int before = pages();
    QTRY_VERIFY(pages() >= before + 2);
}

// Closed while every worker waits for a slow fund page: the window goes at
// once, no quotes reach it afterwards, and the program goes on.
void PortfolioWindowTest::closingMidRefreshWaitsOnlyForTheRequestsUnderWay()
{
    WindowWorld f(WindowWorld::market(50));
    f.service.addFault({sample::Fault::Latency, ".html", 500});
    for (size_t i = 0; i < 10; ++i)
        f.config.write(gbk("持仓"), f.service.market().funds()[i].code, "10|1");
    f.window.openPortfolio();
    QPointer<PortfolioWindow> w = f.window.portfolioWindow();
    QVERIFY(w->refreshing());
    QTest::qWait(100);

    QElapsedTimer clock;
    clock.start();
    w->close();
    QTRY_VERIFY(!w);
    QVERIFY2(clock.elapsed() < 1500, qPrintable(QString::number(clock.elapsed())));
    QTest::qWait(700); // what a late answer would have posted
    int pages = 0;
    for (const sample::LoggedRequest& r : f.service.requests())
        pages += r.target.find(".html") != std::string::npos;
    QCOMPARE(pages, PortfolioRefresh::kMaxWorkers);
    f.window.openPortfolio(); // a new window, a new refresh
    QVERIFY(f.window.portfolioWindow() && f.window.portfolioWindow()->refreshing());
}

// Closed while every worker's fund page is stalled for 10 s (twice the
// window's 5 s time-out): the close waits for no worker and no transfer, the
// requests in flight are abandoned, and no further fund is asked for.
void PortfolioWindowTest::closingDuringAStalledRefreshWaitsForNoWorker()
{
    WindowWorld f(WindowWorld::market(50));
    f.service.addFault({sample::Fault::Stall, ".html", 10000});
    for (size_t i = 0; i < 10; ++i)
        f.config.write(gbk("持仓"), f.service.market().funds()[i].code, "10|1");
    auto fundPages = [&f] {
        int n = 0;
        for (const sample::LoggedRequest& r : f.service.requests())
            n += r.target.find(".html") != std::string::npos;
        return n;
    };
    f.window.openPortfolio();
    QPointer<PortfolioWindow> w = f.window.portfolioWindow();
    QVERIFY(w->refreshing());
    QTRY_COMPARE(fundPages(), PortfolioRefresh::kMaxWorkers); // every worker is inside a stalled request

    QElapsedTimer clock;
    clock.start();
    w->close();
    QTRY_VERIFY_WITH_TIMEOUT(!w, 12000);
    QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
    QTest::qWait(300);
    QCOMPARE(fundPages(), PortfolioRefresh::kMaxWorkers);
}

// 编辑持仓… in 菜单3: the window opens on the watchlist row's fund; a fund not
// held yet goes into the code box to be added.
void PortfolioWindowTest::watchlistMenuOpensTheWindowOnTheFund()
{
    WindowWorld f(WindowWorld::market(50));
    const auto& funds = f.service.market().funds();
    const std::string held = funds[1].code, other = funds[2].code;
    f.config.write(gbk("持仓"), funds[0].code, "10|1");
    f.config.write(gbk("持仓"), held, "20|1");
    f.models.watchlist.addRow({"1", other, utf8ToGbk(funds[2].name), gbk("基金")});
    f.models.watchlist.addRow({"2", held, utf8ToGbk(funds[1].name), gbk("基金")});

    QAction* edit = nullptr;
    for (QAction* action : f.window.findChild<QMenu*>(QStringLiteral("菜单3"))->actions())
        if (action->text() == QStringLiteral("编辑持仓…"))
            edit = action;
    QVERIFY(edit);

    f.models.watchlist.setCurrentRow(1);
    edit->trigger();
    PortfolioWindow* w = f.window.portfolioWindow();
    QVERIFY(w && w->isVisible());
    QTableView* table = tableOf(w);
    QCOMPARE(table->selectionModel()->selectedRows().size(), 1);
    QCOMPARE(table->selectionModel()->selectedRows().front().row(), 1);
    QCOMPARE(cell(table, 1, 1), QString::fromStdString(held));

    f.models.watchlist.setCurrentRow(0);
    edit->trigger();
    QCOMPARE(f.window.portfolioWindow(), w); // the same window, raised
    QCOMPARE(w->findChild<QLineEdit*>(QStringLiteral("持仓代码框"))->text(), QString::fromStdString(other));
}
