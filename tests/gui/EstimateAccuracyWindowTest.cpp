// The 准确度 tab of the portfolio window: the estimate log's errors against
// the NAV changes fetched from the sample service when the tab shows, each
// text whole in its column; and the line under the holdings grid, whose
// model those errors choose.
#include "app/gui/EstimateAccuracyTab.h"
#include "app/gui/LedgerTabs.h"
#include "app/gui/PortfolioWindow.h"
#include "app/gui/TextFit.h"
#include "canvas/Gbk.h"
#include "store/LedgerDatabase.h"
#include "store/NavCache.h"
#include "tests/gui/GuiTests.h"
#include "tests/funds/EstimateChoiceSupport.h"
#include "tests/gui/WindowWorld.h"

#include <QAbstractButton>
#include <QHeaderView>
#include <QLabel>
#include <QTableView>
#include <QTest>

using namespace fw;
using namespace fw::ledger;
using fw::test::WindowWorld;

void LedgerWindowTest::accuracyTabShowsTheLoggedErrors()
{
    // Friday 2026-12-04 20:00 China time.
    WindowWorld f(WindowWorld::market(200), [] { return std::time_t(1796385600); });
    f.controller.onCreated();
    LedgerBook& book = f.controller.ledger();
    QVERIFY(book.isOpen());
    {
        // 010781's NAV history as stored: 12-03 +2.21 %, 12-04 -0.89 %; the
        // tab asks the service only for newer rows. Holdings estimates +2.00 % and -0.50 %: misses 0.21 and 0.39, mean 0.30.
        // Feeder estimates on the same days are logged too, but fewer than 20
        // days each: the feeder model comes first, misses 0.01 and 0.11, mean 0.06.
        NavCache cache;
        QVERIFY(cache.open(navCacheFilePath(book.dataDir())));
        auto row = [](const char* date, int64_t unitValue, std::optional<int64_t> change) {
            NavRow r;
            r.day = *parseDay(date);
            r.unitValue = unitValue;
            r.changePercent = change;
            return r;
        };
        QVERIFY(cache.store("010781", {row("2026-12-02", 8703, std::nullopt), row("2026-12-03", 8895, 22100),
                                       row("2026-12-04", 8816, -8900)}));
        LedgerDatabase db;
        QVERIFY(db.open(ledgerFilePath(book.dataDir())));
        auto logged = [](const char* date, int model, int64_t change) {
            LoggedEstimate e;
            e.day = *parseDay(date);
            e.code = "010781";
            e.model = model;
            e.change = change;
            return e;
        };
        QCOMPARE(db.logEstimates({logged("2026-12-03", 2, 20000), logged("2026-12-04", 2, -5000),
                                  logged("2026-12-03", 0, 22000), logged("2026-12-04", 0, -10000)}),
                 4);
    }
    f.window.findChild<QAbstractButton*>(qtName(Control::PortfolioButton))->click();
    PortfolioWindow* w = f.window.portfolioWindow();
    QVERIFY(w && w->ledgerTabs());
    LedgerTabs* tabs = w->ledgerTabs();
    auto* tab = tabs->findChild<EstimateAccuracyTab*>();
    QVERIFY(tab);
    QCOMPARE(tabs->tabText(tabs->indexOf(tab)), QStringLiteral("准确度"));
    tabs->setCurrentWidget(tab);
    QVERIFY(QTest::qWaitFor([&] { return tab->shownCount() > 0; }, 15000));
    auto* table = tab->findChild<QTableView*>(qtName(Control::EstimateAccuracy));
    QVERIFY(table);
    QCOMPARE(table->model()->rowCount(), 1);
    const QStringList expected {"010781", "联接", "2", "0.06%", "0.11%"};
    for (int c = 0; c < expected.size(); ++c) {
        const QString text = table->model()->index(0, c).data().toString();
        QCOMPARE(text, expected[c]);
        const QString header = table->model()->headerData(c, Qt::Horizontal).toString();
        QVERIFY2(cellWidthFor(*table, text) <= table->columnWidth(c), qPrintable(text));
        QVERIFY2(headerWidthFor(*table, header) <= table->columnWidth(c), qPrintable(header));
    }
    // Shown again, nothing is fetched twice and the figures stand.
    const int shown = tab->shownCount();
    tabs->setCurrentIndex(0);
    tabs->setCurrentWidget(tab);
    QVERIFY(QTest::qWaitFor([&] { return tab->shownCount() > shown; }, 15000));
    QCOMPARE(table->model()->index(0, 3).data().toString(), QStringLiteral("0.06%"));
}

// Over 20 logged days each the holdings model missed an index fund by 0.10 on
// average and the index model by 0.30: the line under the holdings grid of
// the picked fund names the holdings model and its error, in a form that fits.
void LedgerWindowTest::pickedFundShowsTheModelItsLoggedErrorsChose()
{
    WindowWorld f(WindowWorld::market(200), [] { return std::time_t(1796385600); });
    const test::TwoModelFund pick = test::twoModelFund(f.service.market());
    QVERIFY(pick.fund);
    QVERIFY(test::logIndexAndHoldings(f.dir.path().toStdString(), pick.fund->code));
    const std::string line = test::expectedLine(pick, EstimateModel::Holdings, "±0.10%");

    auto* label = f.find<QLabel>(Control::HoldingsEstimate);
    QVERIFY(label);
    FundDetails& details = f.controller.details();
    QCOMPARE(int(details.loadFundPage(pick.fund->code, {})), int(FundDetails::FundPageLoad::Shown));
    details.selectedFundRefresh();
    QTRY_COMPARE(gbkToUtf8(f.models.view.caption(Control::HoldingsEstimate)), line);
    // The label shows the longest form that fits its strip: the model's word
    // and the error stay in every form.
    QTRY_VERIFY(!label->text().isEmpty());
    const QString shown = label->text();
    QVERIFY2(shown.startsWith(QStringLiteral("持仓")), qPrintable(shown));
    QVERIFY2(shown.contains(QStringLiteral("±0.10%")), qPrintable(shown));
    QVERIFY(label->fontMetrics().horizontalAdvance(shown) <= label->width());
}
