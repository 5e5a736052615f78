// Which controller handler each event of the main window reaches, with which
// arguments, and what the window has set up by the time the handler runs.
#include "store/ConfigFile.h"
#include "app/MainController.h"
#include "model/MainModels.h"
#include "app/gui/ChartPanel.h"
#include "canvas/Gbk.h"
#include "app/gui/MainWindow.h"
#include "tests/gui/GuiTests.h"
#include "text/CodePage.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFocusEvent>
#include <QHeaderView>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QMenu>
#include <QScopeGuard>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>
#include <utility>

using namespace fw;

namespace {

// Every handler only notes its call, as "handler argument…", followed by the
// state it relies on the window to have set before calling it.
class RecordingController : public MainController {
public:
    using MainController::MainController;

    QStringList take() { return std::exchange(m_calls, {}); }

    void onCreated() override { record("onCreated"); }
    void onClosing() override { record("onClosing"); }
    void onFundGridHeaderClicked(int row, int column) override { record("onFundGridHeaderClicked", row, column); }
    void onFundGridCellPicked(int row, int column) override
    {
        record("onFundGridCellPicked", row, column, "cursor", models().fundGrid.cursorRow());
    }
    void onHoldingsGridCellPicked(int grid, int row, int column) override
    {
        const Grid& picked = grid == 3 ? models().holdingsGrid : models().baseHoldingsGrid;
        record("onHoldingsGridCellPicked", grid, row, column, "cursor", picked.cursorRow());
    }
    void onHoldingsGridRightButton(int grid) override { record("onHoldingsGridRightButton", grid); }
    void onWatchlistItem() override { record("onWatchlistItem", "current", models().watchlist.currentRow()); }
    void onSearchFocused() override { record("onSearchFocused"); }
    void onSearchChanged(std::string_view gbkText) override
    {
        record("onSearchChanged", gbkToQString(gbkText), "box",
               gbkToQString(models().view.editText(Control::SearchBox)));
    }
    void onSuggestionDoubleClicked() override
    {
        record("onSuggestionDoubleClicked", "current", models().suggestions.currentRow());
    }
    void onMenuAddComparison() override { record("onMenuAddComparison"); }
    void onMenuAddWatchFund() override { record("onMenuAddWatchFund"); }
    void onMenuRemoveComparison() override { record("onMenuRemoveComparison"); }
    void onMenuAddWatchStock() override { record("onMenuAddWatchStock"); }
    void onMenuRemoveWatch() override { record("onMenuRemoveWatch"); }
    void onFiveStarClicked() override { record("onFiveStarClicked"); }
    void onSectorButtonClicked() override { record("onSectorButtonClicked"); }
    void onSectorButtonHover() override { record("onSectorButtonHover"); }
    void onStepButtonClicked() override { record("onStepButtonClicked"); }
    void onStepWindowClosed() override { record("onStepWindowClosed"); }
    void onExportClicked() override { record("onExportClicked"); }
    void onBoardClicked(int board) override { record("onBoardClicked", board); }
    void onLoadAllClicked(bool checked) override { record("onLoadAllClicked", checked); }
    void onLoadAllHover() override { record("onLoadAllHover"); }
    void onAutostartClicked(bool checked) override { record("onAutostartClicked", checked); }
    void onChartPeriodClicked(int button) override { record("onChartPeriodClicked", button); }
    void onChartMouseMoved(int x, int y) override { record("onChartMouseMoved", x, y); }
    void onClosePicturePressed() override { record("onClosePicturePressed"); }
    void onSectorWindowCreated() override { record("onSectorWindowCreated"); }
    void onSectorPeriodClicked(int button) override { record("onSectorPeriodClicked", button); }
    void onSectorTileClicked(int tile) override { record("onSectorTileClicked", tile); }
    void onSectorWindowDestroyed() override { record("onSectorWindowDestroyed"); }

private:
    template <class... Args>
    void record(const char* handler, const Args&... args)
    {
        QStringList line{QString::fromLatin1(handler)};
        ((line << QVariant(args).toString()), ...);
        m_calls << line.join(u' ');
    }

    QStringList m_calls;
};

// Counts the focus-in events of one widget that carry a given reason.
class FocusInCounter : public QObject {
public:
    FocusInCounter(QWidget* widget, Qt::FocusReason reason) : m_reason(reason) { widget->installEventFilter(this); }
    int count = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::FocusIn && static_cast<QFocusEvent*>(event)->reason() == m_reason)
            ++count;
        return false;
    }

private:
    Qt::FocusReason m_reason;
};

constexpr int kUnchanged = 0;

int id(Control control) { return static_cast<int>(control); }

void doubleClick(QWidget* widget, const QPoint& at)
{
    // What a real double-click delivers: press, release, double-click, release.
    QTest::mousePress(widget, Qt::LeftButton, {}, at);
    QTest::mouseRelease(widget, Qt::LeftButton, {}, at);
    QTest::mouseDClick(widget, Qt::LeftButton, {}, at);
    QTest::mouseRelease(widget, Qt::LeftButton, {}, at);
}

QPoint cellCentre(QAbstractItemView* view, int row, int column)
{
    return view->visualRect(view->model()->index(row, column)).center();
}

} // namespace

struct RoutingTest::Fixture {
    QTemporaryDir dir;
    ConfigFile config;
    MainModels models;
    RecordingController controller;
    MainWindow window;

    Fixture()
        : config(dir.filePath(QStringLiteral("配置.ini")).toStdString()),
          controller(models, config, ControllerEnvironment{[] { return 1; }, ""}),
          window(controller)
    {
    }

    template <class W = QWidget>
    W* find(Control control) { return window.findChild<W*>(QString::fromUtf8(designedName(control))); }
    template <class W = QWidget>
    W* find(int control) { return find<W>(static_cast<Control>(control)); }

    Grid& grid(Control control)
    {
        switch (control) {
        case Control::CompareGrid: return models.compareGrid;
        case Control::HoldingsGrid: return models.holdingsGrid;
        case Control::BaseHoldingsGrid: return models.baseHoldingsGrid;
        default: return models.fundGrid;
        }
    }

    void activate()
    {
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
    }
};

void RoutingTest::init()
{
    f = new Fixture;
    QVERIFY(f->dir.isValid());
    f->window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f->window));
    QCOMPARE(f->controller.take(), QStringList());
}

void RoutingTest::cleanup()
{
    delete f;
    f = nullptr;
}

void RoutingTest::gridClicksPickCells_data()
{
    QTest::addColumn<int>("grid");
    QTest::addColumn<QString>("gesture");
    QTest::addColumn<int>("row"); // of the view, 0-based
    QTest::addColumn<int>("column");
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<int>("cursorAfter"); // kUnchanged: as before the click
    const QString click = QStringLiteral("click"), twice = QStringLiteral("double-click"),
                  header = QStringLiteral("header click");
    // Data rows count from 1 under the header row.
    QTest::newRow("fund cell") << id(Control::FundGrid) << click << 2 << 4
                               << QStringList{"onFundGridCellPicked 3 4 cursor 3"} << 3;
    QTest::newRow("fund header") << id(Control::FundGrid) << header << -1 << 5
                                 << QStringList{"onFundGridHeaderClicked 0 5"} << kUnchanged;
    // Qt raises no second single click for the second click of a double-click.
    QTest::newRow("fund double-click") << id(Control::FundGrid) << twice << 1 << 0
                                       << QStringList{"onFundGridCellPicked 2 0 cursor 2"} << 2;
    QTest::newRow("holdings cell") << id(Control::HoldingsGrid) << click << 4 << 1
                                   << QStringList{"onHoldingsGridCellPicked 3 5 1 cursor 5"} << 5;
    QTest::newRow("base holdings cell") << id(Control::BaseHoldingsGrid) << click << 0 << 2
                                        << QStringList{"onHoldingsGridCellPicked 4 1 2 cursor 1"} << 1;
    QTest::newRow("holdings double-click") << id(Control::HoldingsGrid) << twice << 3 << 0
                                           << QStringList{"onHoldingsGridCellPicked 3 4 0 cursor 4"} << 4;
    QTest::newRow("holdings header") << id(Control::HoldingsGrid) << header << -1 << 1 << QStringList{} << kUnchanged;
    // The comparison grid has no pick handler; its cursor row still follows.
    QTest::newRow("compare cell") << id(Control::CompareGrid) << click << 1 << 0 << QStringList{} << 2;
}

void RoutingTest::gridClicksPickCells()
{
    QFETCH(int, grid);
    QFETCH(QString, gesture);
    QFETCH(int, row);
    QFETCH(int, column);
    QFETCH(QStringList, calls);
    QFETCH(int, cursorAfter);
    auto* view = f->find<QTableView>(grid);
    const int cursorBefore = f->grid(static_cast<Control>(grid)).cursorRow();
    if (gesture == QLatin1String("header click")) {
        QHeaderView* header = view->horizontalHeader();
        const QPoint at(header->sectionViewportPosition(column) + header->sectionSize(column) / 2, header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
    } else if (gesture == QLatin1String("double-click")) {
        doubleClick(view->viewport(), cellCentre(view, row, column));
    } else {
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, cellCentre(view, row, column));
    }
    QCOMPARE(f->controller.take(), calls);
    QCOMPARE(f->grid(static_cast<Control>(grid)).cursorRow(), cursorAfter == kUnchanged ? cursorBefore : cursorAfter);
}

void RoutingTest::rightPressesPopTheirMenus_data()
{
    QTest::addColumn<int>("control");
    QTest::addColumn<bool>("onHeader");
    QTest::addColumn<int>("menu");
    QTest::addColumn<QStringList>("calls");
    QTest::newRow("fund grid") << id(Control::FundGrid) << false << id(Control::FundMenu) << QStringList{};
    QTest::newRow("fund grid header") << id(Control::FundGrid) << true << id(Control::FundMenu) << QStringList{};
    QTest::newRow("compare grid") << id(Control::CompareGrid) << false << id(Control::CompareMenu) << QStringList{};
    QTest::newRow("holdings grid") << id(Control::HoldingsGrid) << false << id(Control::StockMenu)
                                   << QStringList{"onHoldingsGridRightButton 3"};
    QTest::newRow("base holdings grid") << id(Control::BaseHoldingsGrid) << false << id(Control::StockMenu)
                                        << QStringList{"onHoldingsGridRightButton 4"};
    // A right press is no pick: the list selects the entry, the menu follows.
    QTest::newRow("watchlist") << id(Control::Watchlist) << false << id(Control::WatchMenu) << QStringList{};
}

void RoutingTest::rightPressesPopTheirMenus()
{
    QFETCH(int, control);
    QFETCH(bool, onHeader);
    QFETCH(int, menu);
    QFETCH(QStringList, calls);
    auto* view = f->find<QAbstractItemView>(control);
    auto* popup = f->find<QMenu>(menu);
    QVERIFY(view && popup);
    const bool isList = static_cast<Control>(control) == Control::Watchlist;

    QWidget* target = view->viewport();
    QPoint at = cellCentre(view, 0, 0);
    if (isList) {
        for (const char* code : {"000001", "000002", "000003"})
            f->models.watchlist.addRow({"1", code, gbk("华夏成长"), gbk("基金")});
        QTRY_COMPARE(view->model()->rowCount(), 3);
        at = cellCentre(view, 1, 1);
    } else {
        // The menu items act on the row picked before the right press, on another row.
        f->grid(static_cast<Control>(control)).setCursorRow(2);
        QTRY_COMPARE(view->currentIndex().row(), 1);
        if (onHeader) {
            target = static_cast<QTableView*>(view)->horizontalHeader()->viewport();
            at = target->rect().center();
        }
    }

    QTest::mousePress(target, Qt::RightButton, {}, at);
    auto releaseOnAbort = qScopeGuard([&] { QTest::mouseRelease(target, Qt::RightButton, {}, at); });
    // The list's menu is queued behind the list's own selection; the grids' is not.
    QCOMPARE(popup->isVisible(), !isList);
    QTRY_VERIFY(popup->isVisible());
    QCOMPARE(QApplication::activePopupWidget(), popup);
    if (isList)
        QCOMPARE(f->models.watchlist.currentRow(), 1);
    else
        QCOMPARE(f->grid(static_cast<Control>(control)).cursorRow(), 2);
    popup->close();
    QTRY_VERIFY(!QApplication::activePopupWidget());
    releaseOnAbort.dismiss();
    QTest::mouseRelease(target, Qt::RightButton, {}, at);
    QCOMPARE(f->controller.take(), calls);
}

void RoutingTest::listClicksReachTheirHandlers_data()
{
    QTest::addColumn<int>("list");
    QTest::addColumn<bool>("twice");
    QTest::addColumn<int>("row");
    QTest::addColumn<QStringList>("calls");
    QTest::newRow("watchlist click") << id(Control::Watchlist) << false << 1
                                     << QStringList{"onWatchlistItem current 1"};
    QTest::newRow("watchlist double-click") << id(Control::Watchlist) << true << 2
                                            << QStringList{"onWatchlistItem current 2"};
    QTest::newRow("suggestion double-click") << id(Control::Suggestions) << true << 2
                                             << QStringList{"onSuggestionDoubleClicked current 2"};
    QTest::newRow("suggestion click") << id(Control::Suggestions) << false << 1 << QStringList{};
}

void RoutingTest::listClicksReachTheirHandlers()
{
    QFETCH(int, list);
    QFETCH(bool, twice);
    QFETCH(int, row);
    QFETCH(QStringList, calls);
    for (const char* code : {"000001", "000002", "000003"}) {
        f->models.watchlist.addRow({"1", code, gbk("华夏成长"), gbk("基金")});
        f->models.suggestions.addRow({gbk("华夏成长"), code});
    }
    f->models.view.setVisible(Control::Suggestions, true);
    auto* view = f->find<QTreeView>(list);
    QTRY_VERIFY(view->isVisible());
    QTRY_COMPARE(view->model()->rowCount(), 3);

    const QPoint at = cellCentre(view, row, 0);
    if (twice)
        doubleClick(view->viewport(), at);
    else
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);
    QCOMPARE(f->controller.take(), calls);
}

void RoutingTest::buttonClicksReachTheirHandlers_data()
{
    QTest::addColumn<int>("button");
    QTest::addColumn<int>("clicks");
    QTest::addColumn<QStringList>("calls");
    const Control periods[] = {Control::Period1, Control::Period2, Control::Period3, Control::Period4,
                               Control::Period5, Control::Period6, Control::Period7};
    for (int n = 1; n <= 7; ++n)
        QTest::addRow("period %d", n) << id(periods[n - 1]) << 1 << QStringList{QStringLiteral("onChartPeriodClicked %1").arg(n)};
    const Control boards[] = {Control::BoardDayGain, Control::BoardMonthGain, Control::BoardDayLoss, Control::BoardMonthLoss};
    for (int n = 1; n <= 4; ++n)
        QTest::addRow("board %d", n) << id(boards[n - 1]) << 1 << QStringList{QStringLiteral("onBoardClicked %1").arg(n)};
    QTest::newRow("five star") << id(Control::FiveStarButton) << 1 << QStringList{"onFiveStarClicked"};
    QTest::newRow("sector") << id(Control::SectorButton) << 1 << QStringList{"onSectorButtonClicked"};
    QTest::newRow("step") << id(Control::StepButton) << 1 << QStringList{"onStepButtonClicked"};
    QTest::newRow("export") << id(Control::ExportButton) << 1 << QStringList{"onExportClicked"};
    // The boxes report the state after each click.
    QTest::newRow("load all") << id(Control::LoadAllBox) << 2
                              << QStringList{"onLoadAllClicked true", "onLoadAllClicked false"};
    QTest::newRow("autostart") << id(Control::AutostartBox) << 2
                               << QStringList{"onAutostartClicked true", "onAutostartClicked false"};
}

void RoutingTest::buttonClicksReachTheirHandlers()
{
    QFETCH(int, button);
    QFETCH(int, clicks);
    QFETCH(QStringList, calls);
    auto* widget = f->find<QAbstractButton>(button);
    QVERIFY(widget);
    for (int i = 0; i < clicks; ++i)
        QTest::mouseClick(widget, Qt::LeftButton);
    QCOMPARE(f->controller.take(), calls);
}

void RoutingTest::menuItemsReachTheirHandlers_data()
{
    QTest::addColumn<int>("menu");
    QTest::addColumn<QString>("item");
    QTest::addColumn<QString>("call");
    QTest::newRow("add comparison") << id(Control::FundMenu) << "加入对比" << "onMenuAddComparison";
    QTest::newRow("add watch fund") << id(Control::FundMenu) << "加入自选基金" << "onMenuAddWatchFund";
    QTest::newRow("remove comparison") << id(Control::CompareMenu) << "删除对比" << "onMenuRemoveComparison";
    QTest::newRow("add watch stock") << id(Control::StockMenu) << "加入自选股票" << "onMenuAddWatchStock";
    QTest::newRow("remove watch") << id(Control::WatchMenu) << "删除自选" << "onMenuRemoveWatch";
}

void RoutingTest::menuItemsReachTheirHandlers()
{
    QFETCH(int, menu);
    QFETCH(QString, item);
    QFETCH(QString, call);
    QAction* action = nullptr;
    for (QAction* candidate : f->find<QMenu>(menu)->actions())
        if (candidate->text() == item)
            action = candidate;
    QVERIFY(action);
    action->trigger();
    QCOMPARE(f->controller.take(), QStringList{call});
}

void RoutingTest::pointerMovesReachTheHoverHandlers_data()
{
    QTest::addColumn<int>("control");
    QTest::addColumn<QPoint>("first");
    QTest::addColumn<QPoint>("then");
    QTest::addColumn<QString>("lastCall");
    QTest::newRow("sector button") << id(Control::SectorButton) << QPoint(10, 10) << QPoint(20, 20)
                                   << "onSectorButtonHover";
    QTest::newRow("load all box") << id(Control::LoadAllBox) << QPoint(10, 10) << QPoint(20, 12) << "onLoadAllHover";
    // Panel coordinates, clear of the chart title lying over the panel.
    QTest::newRow("chart") << id(Control::Chart) << QPoint(100, 100) << QPoint(120, 110) << "onChartMouseMoved 120 110";
}

void RoutingTest::pointerMovesReachTheHoverHandlers()
{
    QFETCH(int, control);
    QFETCH(QPoint, first);
    QFETCH(QPoint, then);
    QFETCH(QString, lastCall);
    f->activate();
    QWidget* widget = f->find(control);
    QTest::mouseMove(widget, first);
    QTest::mouseMove(widget, then);
    QStringList calls;
    QTRY_VERIFY((calls << f->controller.take(), !calls.isEmpty() && calls.last() == lastCall));
    // Only this control's handler ran.
    const QString handler = lastCall.section(u' ', 0, 0);
    for (const QString& call : calls)
        QCOMPARE(call.section(u' ', 0, 0), handler);
}

void RoutingTest::searchBoxReportsFocusAndEveryChange()
{
    auto* search = f->find<QLineEdit>(Control::SearchBox);
    f->activate();
    search->setFocus();
    QCOMPARE(f->controller.take(), QStringList{"onSearchFocused"});

    // Text set by the program is a change too (the clear on focus hides the list by it).
    search->clear();
    QCOMPARE(f->controller.take(), QStringList{"onSearchChanged  box "});
    QTest::keyClicks(search, QStringLiteral("00"));
    // Chinese text arrives from the input method, committed at once.
    QInputMethodEvent commit;
    commit.setCommitString(QStringLiteral("华夏"));
    QApplication::sendEvent(search, &commit);
    QTest::keyClick(search, Qt::Key_Backspace);
    QCOMPARE(f->controller.take(), (QStringList{"onSearchChanged 0 box 0", "onSearchChanged 00 box 00",
                                                "onSearchChanged 00华夏 box 00华夏", "onSearchChanged 00华 box 00华"}));

    // The focus coming back from a pop-up menu is no new focus for the box.
    FocusInCounter fromPopup(search, Qt::PopupFocusReason);
    auto* menu = f->find<QMenu>(Control::FundMenu);
    menu->popup(search->mapToGlobal(QPoint(0, 0)));
    QTRY_VERIFY(menu->isVisible());
    menu->close();
    QTRY_COMPARE(fromPopup.count, 1);
    QCOMPARE(f->controller.take(), QStringList());

    f->find(Control::FundGrid)->setFocus();
    search->setFocus();
    QCOMPARE(f->controller.take(), QStringList{"onSearchFocused"});
}

void RoutingTest::focusAlonePicksNoGridRow()
{
    // Every grid starts without a cursor row; the fund grid holds the focus from the start.
    f->activate();
    QCOMPARE(f->window.focusWidget(), f->find(Control::FundGrid));
    QCOMPARE(f->models.compareGrid.cursorRow(), -1);
    // The view makes its first cell current when it gains the focus without a
    // current cell: that is no pick of row 1.
    QCOMPARE(f->models.fundGrid.cursorRow(), -1);
    QCOMPARE(f->controller.take(), QStringList());
}
