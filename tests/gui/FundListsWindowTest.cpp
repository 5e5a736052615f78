// The fund lists as a user clicks them: the five-star button fills and colours
// the grid; the sector button opens the sector window, whose tiles load a
// sector; typing in the search box lists suggestions, and one picked shows its
// fund; a picked fund's estimate line shows under its holdings.
#include "store/ConfigFile.h"
#include "app/MainController.h"
#include "model/MainModels.h"
#include "canvas/Gbk.h"
#include "app/gui/MainWindow.h"
#include "app/gui/SectorWindow.h"
#include "funds/HoldingsEstimate.h"
#include "net/EventPump.h"
#include "net/ServiceHosts.h"
#include "sample/Market.h"
#include "sample/SampleService.h"
#include "tests/CommaDecimalLocale.h"
#include "tests/gui/GuiTests.h"
#include "tests/gui/WindowWorld.h"
#include "text/CodePage.h"

#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

using namespace fw;

struct FundListsWindowTest::Fixture : test::WindowWorld {
    Fixture() : WindowWorld(market(2000)) {}
};

void FundListsWindowTest::init()
{
    resetTransferAbort();
    f = new Fixture;
    f->window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f->window));
}

void FundListsWindowTest::cleanup()
{
    delete f;
    f = nullptr;
}

void FundListsWindowTest::fiveStarButtonFillsAndColoursTheGrid()
{
    QTest::mouseClick(f->find(Control::FiveStarButton), Qt::LeftButton);
    QTRY_COMPARE(f->window.windowTitle(), QStringLiteral("五星基金加载完毕，共20支基金"));
    QAbstractItemModel* grid = f->find<QTableView>(Control::FundGrid)->model();
    QTRY_VERIFY(!grid->index(19, 1).data().toString().isEmpty());
    QVERIFY(grid->index(20, 1).data().toString().isEmpty());
    for (int column = 4; column <= 12; ++column) {
        const QString text = grid->index(0, column).data().toString();
        const QColor colour = grid->index(0, column).data(Qt::ForegroundRole).value<QColor>();
        QVERIFY2(colour.isValid(), qPrintable(text));
        const double value = text.left(text.size() - 1).toDouble();
        if (value > 50)
            QCOMPARE(colour, QColor(0, 0x60, 0xC0));
        else if (value > 0)
            QCOMPARE(colour, QColor(255, 0, 0));
        else if (value < 0)
            QCOMPARE(colour, QColor(0, 0x80, 0));
    }
    QVERIFY(f->find(Control::SectorButton)->isEnabled());
}

void FundListsWindowTest::sectorWindowTilesLoadASector()
{
    QTest::mouseClick(f->find(Control::SectorButton), Qt::LeftButton);
    QTRY_VERIFY(f->window.sectorWindow() != nullptr);
    SectorWindow* sectors = f->window.sectorWindow();
    const int count = int(f->service.market().sectors().size());
    QTRY_COMPARE(int(sectors->tiles().size()), count);
    QTRY_VERIFY(sectors->isVisible());
    QVERIFY(!f->find(Control::SectorButton)->isEnabled());

    // Twelve to a row; the window and its controls fit the rows.
    const int rows = count / 12;
    QCOMPARE(sectors->height(), (rows + 2) * 65 + 10);
    QCOMPARE(sectors->width(), 1340);
    QCOMPARE(sectors->tiles()[12]->geometry(), QRect(10, 75, 104, 56));
    QCOMPARE(sectors->tiles()[11]->geometry(), QRect(1220, 10, 104, 56));
    QCOMPARE(sectors->control(Control::SectorWeek)->y(), sectors->height() - 65);
    QTRY_COMPARE(static_cast<QLabel*>(sectors->control(Control::SectorCaption))->text(),
                 QStringLiteral("近1周板块涨跌幅排行"));
    QVERIFY(!sectors->control(Control::SectorTileTemplate)->isVisible());

    // A period button rewrites the caption line; a tile loads its sector.
    QTest::mouseClick(sectors->control(Control::SectorYear), Qt::LeftButton);
    QTRY_COMPARE(static_cast<QLabel*>(sectors->control(Control::SectorCaption))->text(),
                 QStringLiteral("近1年板块涨跌幅排行"));
    const QString name = sectors->tiles()[3]->text().split(u'\n').value(1);
    QTest::mouseClick(sectors->tiles()[3], Qt::LeftButton);
    QTRY_VERIFY(!sectors->isVisible());
    QTRY_VERIFY(f->window.windowTitle().startsWith(name + QStringLiteral("板块")));
    QVERIFY(f->window.windowTitle().contains(QStringLiteral("加载完毕")) ||
            f->window.windowTitle().contains(QStringLiteral("加载失败")));
    QTRY_VERIFY(f->find(Control::SectorButton)->isEnabled());

    // Shown again without a rebuild; closing it by hand leaves the button disabled.
    QTest::mouseClick(f->find(Control::SectorButton), Qt::LeftButton);
    QTRY_VERIFY(sectors->isVisible());
    QCOMPARE(f->window.sectorWindow(), sectors);
    sectors->close();
    QTRY_VERIFY(f->window.sectorWindow() == nullptr);
    QVERIFY(!f->controller.fundLists().sectorListMode);
    QVERIFY(!f->find(Control::SectorButton)->isEnabled());
}

void FundListsWindowTest::searchSuggestsAndAPickShowsTheFund()
{
    auto searches = [this] {
        int n = 0;
        for (const auto& r : f->service.requests())
            n += r.target.rfind("/FundSearch/", 0) == 0;
        return n;
    };
    auto* search = f->find<QLineEdit>(Control::SearchBox);
    auto* list = f->find<QTreeView>(Control::Suggestions);
    f->window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&f->window));
    QCOMPARE(searches(), 0); // the hint shown at creation is no search

    search->setFocus();
    QTRY_COMPARE(search->text(), QString());
    QTest::keyClicks(search, QStringLiteral("000"));
    QCOMPARE(searches(), 3);
    QTRY_COMPARE(list->model()->rowCount(), 10);
    QTRY_VERIFY(list->isVisible());
    QTRY_COMPARE(list->height(), 352);
    // Laid over the controls below the box.
    const QPoint inside = list->geometry().center();
    QWidget* top = list->parentWidget()->childAt(inside);
    QVERIFY(top == list || list->isAncestorOf(top));

    // The last suggestion is a fund (stocks come first): it fills row 1.
    const QString code = list->model()->index(9, 1).data().toString();
    const QPoint at = list->visualRect(list->model()->index(9, 0)).center();
    QTest::mousePress(list->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, at);
    QAbstractItemModel* grid = f->find<QTableView>(Control::FundGrid)->model();
    QTRY_COMPARE(grid->index(0, 1).data().toString(), code);
    QTRY_VERIFY(!list->isVisible());
    QCOMPARE(search->text(), QString());

    // Coming back to the box clears the text, and with it the list.
    QTest::keyClicks(search, QStringLiteral("0"));
    QTRY_VERIFY(list->isVisible());
    f->find(Control::FundGrid)->setFocus();
    search->setFocus();
    QTRY_COMPARE(search->text(), QString());
    QTRY_VERIFY(!list->isVisible());
    QCOMPARE(list->model()->rowCount(), 0);
}

// The estimate line under the holdings grid follows the picked fund, in red
// when it rises and green when it falls.
void FundListsWindowTest::pickingAFundShowsItsHoldingsEstimate()
{
    QTest::mouseClick(f->find(Control::FiveStarButton), Qt::LeftButton);
    QTRY_COMPARE(f->window.windowTitle(), QStringLiteral("五星基金加载完毕，共20支基金"));
    auto* grid = f->find<QTableView>(Control::FundGrid);

    // Worked out from the market, not by the program, for the funds estimated
    // from their holdings: the stock share × the mean change of the holdings
    // not suspended, weighted by their shares.
    const sample::Market& market = f->service.market();
    auto expected = [&market](const QString& code) -> std::optional<HoldingsEstimate> {
        const sample::Fund* fund = market.fund(code.toStdString());
        if (!fund || fund->target >= 0 || indexForFundName(utf8ToGbk(fund->name)) || market.holdingQuarters(*fund) == 0)
            return std::nullopt;
        double weighted = 0, covered = 0, listed = 0;
        for (const sample::Holding& h : market.holdings(*fund, 0)) {
            const sample::Stock& stock = market.stocks()[size_t(h.stock)];
            listed += h.share;
            if (!stock.suspended) {
                weighted += h.share * stock.change;
                covered += h.share;
            }
        }
        if (!(covered > 0))
            return std::nullopt;
        HoldingsEstimate e;
        e.change = market.assetMix(*fund, 0).stocks / 100.0 * weighted / covered;
        e.coverage = covered;
        e.lowCoverage = covered < 0.7 * listed;
        return e;
    };
    int rising = -1, falling = -1;
    for (int row = 0; row < 20; ++row) {
        const auto estimate = expected(grid->model()->index(row, 1).data().toString());
        if (estimate && estimate->change >= 0.005 && rising < 0)
            rising = row;
        if (estimate && estimate->change <= -0.005 && falling < 0)
            falling = row;
    }
    QVERIFY(rising >= 0 && falling >= 0);

    auto* line = f->find<QLabel>(Control::HoldingsEstimate);
    QVERIFY(line->text().isEmpty());
    for (auto [row, colour] : {std::pair(rising, QColor(255, 0, 0)), std::pair(falling, QColor(0, 0x80, 0))}) {
        const QModelIndex cell = grid->model()->index(row, 0);
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(cell).center());
        const QString text = gbkToQString(estimateLine(expected(cell.siblingAtColumn(1).data().toString())));
        QTRY_COMPARE(line->text(), text);
        QCOMPARE(line->palette().color(QPalette::WindowText), colour);
        // The line fits its strip under the grid.
        QVERIFY(line->fontMetrics().horizontalAdvance(text) <= line->width());
    }
}

void FundListsWindowTest::stockPageOverlayOpensAndClosesOnAFailingPage()
{
    // The page is the embedded browser's business: whatever the service does
    // to it, the overlay opens, closes and opens again.
    const std::vector<sample::Fault> faults {
        {sample::Fault::Stall, "/gdhs/detail/", 3000},    {sample::Fault::HttpError, "/gdhs/detail/", 503},
        {sample::Fault::Truncate, "/gdhs/detail/", 100},  {sample::Fault::Garbage, "/gdhs/detail/", 4096},
        {sample::Fault::HugeBody, "/gdhs/detail/", 0},    {sample::Fault::Drop, "/gdhs/detail/", 0},
    };
    QWidget* frame = f->find(Control::StockFrame);
    const std::string code = f->service.market().stocks().front().code;
    for (const sample::Fault& fault : faults) {
        f->service.clearFaults();
        f->service.addFault(fault);
        f->controller.details().openStockPage(code);
        QTRY_VERIFY(frame->isVisible());
        QVERIFY(f->find(Control::StockBrowser)->isVisible());
        QTest::qWait(400); // the page is on its way, or has failed
        QTest::mouseClick(f->find(Control::StockClose), Qt::LeftButton);
        QTRY_VERIFY(!frame->isVisible());
        QVERIFY(f->models.view.stockPageUrl().empty());
    }
    f->service.clearFaults();
    QVERIFY(f->models.view.messages().empty());
    // Each time the browser really asked for the failing page.
    int asked = 0;
    for (const sample::LoggedRequest& r : f->service.requests())
        asked += r.target.find("/gdhs/detail/" + code) != std::string::npos;
    QVERIFY2(asked >= int(faults.size()), std::to_string(asked).c_str());
}

// The demo's situation: the sample service answers inside the program, whose
// LC_NUMERIC the toolkit may have set to write "1,23". The sector tiles, a
// board (日增长率 and every return) and a picked fund's figures read the same
// as under C.
void FundListsWindowTest::theGridIsTheSameUnderACommaDecimalLocale()
{
    {
        test::CommaDecimalLocale probe;
        if (!probe.active())
            QSKIP(test::CommaDecimalLocale::missing());
    }
    QTest::mouseClick(f->find(Control::SectorButton), Qt::LeftButton);
    QTRY_VERIFY(f->window.sectorWindow() != nullptr);
    // A list that fails closes the window.
    QPointer<SectorWindow> sectors = f->window.sectorWindow();
    QTRY_COMPARE(int(sectors->tiles().size()), int(f->service.market().sectors().size()));
    auto period = [&](Control button, const char* caption) {
        QVERIFY(sectors);
        QTest::mouseClick(sectors->control(button), Qt::LeftButton);
        auto captionShown = [&] {
            return sectors ? static_cast<QLabel*>(sectors->control(Control::SectorCaption))->text() : QString();
        };
        QTRY_COMPARE(captionShown(), QString::fromUtf8(caption));
    };
    auto tiles = [&] {
        QStringList out;
        if (!sectors)
            return out;
        for (const QLabel* tile : sectors->tiles())
            out << tile->text();
        return out;
    };
    period(Control::SectorYear, "近1年板块涨跌幅排行");
    QTest::qWait(100);
    const QStringList plainTiles = tiles();
    {
        test::CommaDecimalLocale comma;
        period(Control::SectorWeek, "近1周板块涨跌幅排行");
        period(Control::SectorYear, "近1年板块涨跌幅排行");
        QTRY_COMPARE(tiles(), plainTiles);
    }
    QVERIFY(sectors);
    sectors->close();

    QAbstractItemModel* grid = f->find<QTableView>(Control::FundGrid)->model();
    auto shown = [&] {
        QStringList out;
        for (int row = 0; row < 20; ++row)
            for (int column = 0; column <= 16; ++column)
                out << grid->index(row, column).data().toString();
        for (const QLabel* label : f->window.findChildren<QLabel*>())
            out << label->objectName() + QLatin1Char('=') + label->text();
        return out;
    };
    auto load = [&] {
        f->window.setWindowTitle(QString());
        f->controller.onBoardClicked(1);
        QTRY_VERIFY(!f->window.windowTitle().isEmpty());
        QTRY_VERIFY(!grid->index(19, 1).data().toString().isEmpty());
        f->controller.onFundGridCellPicked(1, 0);
        f->controller.details().waitForHoldingsWorkers();
    };
    load();
    QTest::qWait(200);
    const QStringList plain = shown();
    QVERIFY(plain.join(QString()).contains(QLatin1Char('.')));
    test::CommaDecimalLocale comma;
    load();
    QTRY_COMPARE(shown(), plain);
}
