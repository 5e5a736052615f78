#include "store/ConfigFile.h"
#include "app/MainController.h"
#include "model/MainModels.h"
#include "app/gui/MainWindow.h"
#include "net/EventPump.h"
#include "net/ServiceHosts.h"
#include "tests/gui/GuiTests.h"
#include "text/CodePage.h"

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTreeView>
#include <thread>

using namespace fw;

struct MainWindowTest::Fixture {
    QTemporaryDir dir;
    ConfigFile config;
    MainModels models;
    MainController controller;
    MainWindow window;

    Fixture()
        : config(dir.filePath(QStringLiteral("配置.ini")).toStdString()),
          controller(models, config, ControllerEnvironment{[] { return 1; }, ""}),
          window(controller)
    {
        // Typing in the search box searches: nothing here may reach the network.
        setServiceHosts(ServiceHosts::allAt("http://127.0.0.1:1"));
    }
    ~Fixture() { setServiceHosts(ServiceHosts::defaults()); }

    template <class W = QWidget>
    W* find(Control control) { return findNamed<W>(designedName(control)); }
    // The designed layout tables check the designed names themselves.
    template <class W = QWidget>
    W* findNamed(const char* name) { return window.findChild<W*>(QString::fromUtf8(name)); }
};

void MainWindowTest::init()
{
    resetTransferAbort();
    f = new Fixture;
    QVERIFY(f->dir.isValid());
    f->window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f->window));
}

void MainWindowTest::cleanup()
{
    delete f;
    f = nullptr;
    resetTransferAbort();
}

void MainWindowTest::controlsHaveTheirDesignedKindCaptionAndPlace_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("parent");
    const QString client = QStringLiteral("clientArea");
    struct Row { const char* name; const char* kind; const char* caption; QRect geometry; const char* parent; };
    const Row rows[] = {
        {"高级表格1", "QTableView", "", {8, 8, 1368, 408}, nullptr},
        {"高级表格2", "QTableView", "", {8, 416, 1368, 96}, nullptr},
        {"标签1", "QLabel", "十大重仓股票", {8, 512, 168, 32}, nullptr},
        {"标签2", "QLabel", "十大重仓股票", {176, 512, 168, 32}, nullptr},
        {"高级表格3", "QTableView", "", {8, 544, 168, 280}, nullptr},
        {"高级表格4", "QTableView", "", {176, 544, 168, 280}, nullptr},
        {"标签估算", "QLabel", "", {8, 828, 336, 24}, nullptr}, // added under 高级表格3
        {"分组框1", "QGroupBox", "自选", {344, 512, 296, 312}, nullptr},
        {"超级列表框2", "QTreeView", "", {8, 16, 280, 288}, "分组框1"},
        {"搜索框", "QLineEdit", "输入基金代码或名称", {640, 512, 168, 40}, nullptr},
        {"超级列表框1", "QTreeView", "", {640, 552, 168, 16}, nullptr},
        {"画板1", "fw::ChartPanel", "", {816, 496, 608, 320}, nullptr},
        {"标签8", "QLabel", "", {992, 512, 240, 32}, nullptr},
        {"标签5", "QLabel", "", {640, 760, 168, 24}, nullptr},
        {"标签6", "QLabel", "", {640, 792, 168, 24}, nullptr},
        {"外形框1", "QFrame", "", {504, 8, 872, 336}, nullptr},
        {"超文本浏览框1", "QWidget", "", {-130, -384, 1002, 776}, "外形框1"},
        {"图片框1", "QLabel", "", {808, 0, 64, 56}, "外形框1"},
        {"五星基金钮", "QPushButton", "五星基金", {728, 576, 80, 40}, nullptr},
        {"选择板块钮", "QPushButton", "基金板块", {648, 576, 72, 40}, nullptr},
        {"刷步钮", "QPushButton", "刷步", {648, 624, 72, 40}, nullptr},
        {"导出所有数据钮", "QPushButton", "导出所有数据", {728, 624, 80, 40}, nullptr},
        {"持仓钮", "QPushButton", "持仓", {640, 828, 80, 24}, nullptr}, // added in the free bottom strip
        {"单选框1", "QRadioButton", "昨日涨幅", {648, 672, 72, 16}, nullptr},
        {"单选框2", "QRadioButton", "本月涨幅", {736, 672, 72, 16}, nullptr},
        {"单选框3", "QRadioButton", "昨日跌幅", {648, 696, 72, 16}, nullptr},
        {"单选框4", "QRadioButton", "本月跌幅", {736, 696, 72, 16}, nullptr},
        {"选择框1", "QCheckBox", "加载所有", {648, 720, 72, 24}, nullptr},
        {"选择框2", "QCheckBox", "开机自启", {736, 720, 72, 24}, nullptr},
        {"按钮1", "QPushButton", "近1周", {840, 792, 60, 35}, nullptr},
        {"按钮2", "QPushButton", "近1月", {912, 792, 60, 35}, nullptr},
        {"按钮3", "QPushButton", "近3月", {984, 792, 60, 35}, nullptr},
        {"按钮4", "QPushButton", "近6月", {1064, 792, 60, 35}, nullptr},
        {"按钮5", "QPushButton", "近1年", {1136, 792, 60, 35}, nullptr},
        {"按钮6", "QPushButton", "近2年", {1216, 792, 60, 35}, nullptr},
        {"按钮7", "QPushButton", "近3年", {1288, 792, 60, 35}, nullptr},
    };
    for (const Row& row : rows)
        QTest::newRow(row.name) << QString::fromLatin1(row.kind) << QString::fromUtf8(row.caption) << row.geometry
                                << (row.parent ? QString::fromUtf8(row.parent) : client);
}

void MainWindowTest::controlsHaveTheirDesignedKindCaptionAndPlace()
{
    QFETCH(QString, kind);
    QFETCH(QString, caption);
    QFETCH(QRect, geometry);
    QFETCH(QString, parent);
    QWidget* widget = f->findNamed(QTest::currentDataTag());
    QVERIFY(widget);
    QVERIFY2(widget->inherits(kind.toLatin1()), widget->metaObject()->className());
    if (QString::fromUtf8(QTest::currentDataTag()).startsWith(QStringLiteral("按钮"))) {
        // The period buttons move down below the chart's x-axis labels as far
        // as the font needs; the rest of their place is designed.
        QCOMPARE(widget->geometry().size(), geometry.size());
        QCOMPARE(widget->x(), geometry.x());
        QVERIFY(widget->y() >= geometry.y() && widget->geometry().bottom() < 857);
    } else {
        QCOMPARE(widget->geometry(), geometry);
    }
    QCOMPARE(widget->parentWidget()->objectName(), parent);
    QString shown;
    if (auto* label = qobject_cast<QLabel*>(widget))
        shown = label->text();
    else if (auto* button = qobject_cast<QAbstractButton*>(widget))
        shown = button->text();
    else if (auto* group = qobject_cast<QGroupBox*>(widget))
        shown = group->title();
    else if (auto* edit = qobject_cast<QLineEdit*>(widget))
        shown = edit->text();
    QCOMPARE(shown, caption);
}

void MainWindowTest::clientAreaIsFixed()
{
    QWidget* client = f->window.centralWidget();
    QCOMPARE(client->size(), QSize(1390, 857));
    QCOMPARE(f->window.minimumSize(), f->window.maximumSize());
    QCOMPARE(f->window.pos(), QPoint(50, 50));
    // Hidden at start: the suggestions and the stock page overlay.
    QVERIFY(!f->find(Control::Suggestions)->isVisible());
    QVERIFY(!f->find(Control::StockFrame)->isVisible());
    QVERIFY(!f->window.findChild<QLabel*>(QStringLiteral("演示数据")));
}

void MainWindowTest::demoMarkIsShownOutsideTheTitle()
{
    MainWindow demo(f->controller, true);
    demo.show();
    QVERIFY(QTest::qWaitForWindowExposed(&demo));
    auto* mark = demo.findChild<QLabel*>(QStringLiteral("演示数据"));
    QVERIFY(mark && mark->isVisible());
    QCOMPARE(mark->text(), QStringLiteral("演示数据"));
    // Below the designed client area, which keeps its size.
    QVERIFY(mark->mapTo(&demo, QPoint(0, 0)).y() >= demo.centralWidget()->geometry().bottom());
    QCOMPARE(demo.centralWidget()->size(), QSize(1390, 857));
    QVERIFY(!demo.windowTitle().contains(QStringLiteral("演示")));
}

void MainWindowTest::gridsShowDesignedHeadersAndWidths()
{
    const QStringList fundHeader = QStringLiteral("基金名称 基金代码 基金类型 日期 日增长率 近1周 近1月 近3月 近6月 今年来 "
                                                  "近一年 近2年 近3年 规模(亿) 任期回报 标准差1年 夏普比率1年").split(u' ');
    const int fundWidths[] = {190, 70, 80, 75, 70, 70, 70, 70, 70, 70, 70, 70, 70, 70, 70, 80, 80};
    for (Control control : {Control::FundGrid, Control::CompareGrid}) {
        auto* grid = f->find<QTableView>(control);
        QCOMPARE(grid->model()->columnCount(), 17);
        // Columns too narrow for their texts in the font grow; the names' column gives way.
        int total = 0;
        for (int c = 0; c < 17; ++c) {
            QCOMPARE(grid->model()->headerData(c, Qt::Horizontal).toString(), fundHeader[c]);
            QVERIFY(c == 0 ? grid->columnWidth(c) <= fundWidths[c] : grid->columnWidth(c) >= fundWidths[c]);
            total += grid->columnWidth(c);
        }
        QVERIFY(total <= 1368 - 2 - grid->style()->pixelMetric(QStyle::PM_ScrollBarExtent));
    }
    QCOMPARE(f->find<QTableView>(Control::FundGrid)->model()->rowCount(), 20);
    QCOMPARE(f->find<QTableView>(Control::CompareGrid)->model()->rowCount(), 2);
    for (Control control : {Control::HoldingsGrid, Control::BaseHoldingsGrid}) {
        auto* grid = f->find<QTableView>(control);
        QCOMPARE(grid->model()->rowCount(), 10);
        QCOMPARE(grid->model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("股票名称"));
        QCOMPARE(grid->model()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("代码"));
        QCOMPARE(grid->model()->headerData(2, Qt::Horizontal).toString(), QStringLiteral("占比"));
    }
}

void MainWindowTest::listViewsHaveTheirColumns()
{
    auto* watch = f->find<QTreeView>(Control::Watchlist);
    const QStringList titles{QStringLiteral("序"), QStringLiteral("代码"), QStringLiteral("名称"), QStringLiteral("类型")};
    const int widths[] = {30, 50, 140, 40};
    QCOMPARE(watch->model()->columnCount(), 4);
    for (int c = 0; c < 4; ++c) {
        QCOMPARE(watch->model()->headerData(c, Qt::Horizontal).toString(), titles[c]);
        // 名称 gives way to the others where the font needs it.
        QVERIFY(c == 2 ? watch->columnWidth(c) <= widths[c] : watch->columnWidth(c) >= widths[c]);
    }
    auto* suggestions = f->find<QTreeView>(Control::Suggestions);
    QCOMPARE(suggestions->model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("名称"));
    // Designed 180, wider than the list: held to the list, so that a cut name's "…" shows.
    QCOMPARE(suggestions->columnWidth(0), 168 - 2);
    QVERIFY(suggestions->isColumnHidden(1)); // ID: width 0
}

void MainWindowTest::menusHoldTheirItems()
{
    const std::pair<const char*, QStringList> menus[] = {
        {"菜单", {QStringLiteral("加入对比"), QStringLiteral("加入自选基金")}},
        {"菜单1", {QStringLiteral("删除对比")}},
        {"菜单2", {QStringLiteral("加入自选股票")}},
        {"菜单3", {QStringLiteral("删除自选"), QStringLiteral("编辑持仓…")}},
    };
    for (const auto& [name, items] : menus) {
        auto* menu = f->findNamed<QMenu>(name);
        QVERIFY2(menu, name);
        QStringList texts;
        for (QAction* action : menu->actions())
            texts << action->text();
        QCOMPARE(texts, items);
    }
}

void MainWindowTest::radioBoxesFormOneGroup()
{
    auto* first = f->find<QAbstractButton>(Control::BoardDayGain);
    auto* third = f->find<QAbstractButton>(Control::BoardDayLoss);
    QVERIFY(first->group() && first->group()->exclusive());
    QTest::mouseClick(first, Qt::LeftButton);
    QTest::mouseClick(third, Qt::LeftButton);
    QVERIFY(!first->isChecked());
    QVERIFY(third->isChecked());
    QCOMPARE(f->config.read(gbk("启动加载数据"), gbk("加载")), Text("0010"));
}

void MainWindowTest::focusingTheSearchBoxEmptiesItAndTurnsItBlack()
{
    auto* search = f->find<QLineEdit>(Control::SearchBox);
    f->window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&f->window));
    // The hint stays, grey, until the box gets the focus.
    QTRY_COMPARE(search->palette().color(QPalette::Text), QColor(192, 192, 192));
    QCOMPARE(search->text(), QStringLiteral("输入基金代码或名称"));

    search->setFocus();
    QTRY_COMPARE(search->text(), QString());
    QTRY_COMPARE(search->palette().color(QPalette::Text), QColor(Qt::black));

    QTest::keyClicks(search, QStringLiteral("000"));
    QCOMPARE(search->text(), QStringLiteral("000"));
    QCOMPARE(f->models.view.editText(Control::SearchBox), Text("000"));

    // Coming back to the box clears what the user typed as well.
    f->find(Control::FundGrid)->setFocus();
    search->setFocus();
    QTRY_COMPARE(search->text(), QString());
}

void MainWindowTest::clickingLoadAllWritesTheSetting()
{
    auto* box = f->find<QAbstractButton>(Control::LoadAllBox);
    const QString file = f->dir.filePath(QStringLiteral("配置.ini"));
    QVERIFY(!QFile::exists(file));

    QTest::mouseClick(box, Qt::LeftButton);
    QVERIFY(box->isChecked());
    QVERIFY(QFile::exists(file));
    QCOMPARE(f->config.read(gbk("加载数据"), gbk("是否全部加载")), gbk("真"));

    QTest::mouseClick(box, Qt::LeftButton);
    QVERIFY(!box->isChecked());
    QCOMPARE(f->config.read(gbk("加载数据"), gbk("是否全部加载")), gbk("假"));
}

void MainWindowTest::gridCursorFollowsClicksNotRightPresses()
{
    auto* view = f->find<QTableView>(Control::FundGrid);
    Grid& grid = f->models.fundGrid;
    for (int row = 1; row <= 5; ++row)
        grid.setCell(row, 0, gbk("基金") + std::to_string(row));
    auto centre = [view](int row) { return view->visualRect(view->model()->index(row, 0)).center(); };

    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, centre(2));
    QCOMPARE(grid.cursorRow(), 3); // data rows count from 1 under the header row

    // A right press opens the menu; the menu acts on the row picked before.
    auto* menu = f->find<QMenu>(Control::FundMenu);
    QTest::mousePress(view->viewport(), Qt::RightButton, {}, centre(4));
    QTRY_VERIFY(menu->isVisible());
    QCOMPARE(grid.cursorRow(), 3);
    menu->close();
    QTest::mouseRelease(view->viewport(), Qt::RightButton, {}, centre(4));

    // The keyboard moves the cursor row too.
    view->setFocus();
    QTest::keyClick(view, Qt::Key_Down);
    QCOMPARE(grid.cursorRow(), 4);

    // A reset of the grid (a new list loading, here from a worker) drops the selection.
    std::thread([&grid] { grid.reset(); }).join();
    QTRY_VERIFY(!view->currentIndex().isValid());
    QCOMPARE(grid.cursorRow(), -1);
    QCOMPARE(view->model()->index(2, 0).data().toString(), QString());

    // A reset that also shrinks the grid below the picked row: the view moves
    // its current row off the removed rows, which must not pick a row for the
    // user (the menus would act on a fund nobody picked).
    grid.setRowCount(101);
    QTRY_COMPARE(view->model()->rowCount(), 100);
    view->setCurrentIndex(view->model()->index(59, 0));
    QCOMPARE(grid.cursorRow(), 60);
    std::thread([&grid] {
        grid.reset();
        grid.setRowCount(21);
    }).join();
    QTRY_COMPARE(view->model()->rowCount(), 20);
    QCOMPARE(grid.cursorRow(), -1);
    QVERIFY(!view->currentIndex().isValid());
}

void MainWindowTest::watchlistSelectionFollowsClicksAndRightPresses()
{
    ListModel& watchlist = f->models.watchlist;
    watchlist.addRow({"1", "000001", gbk("华夏成长"), gbk("基金")});
    watchlist.addRow({"2", "600519", gbk("贵州茅台"), gbk("股票")});
    auto* view = f->find<QTreeView>(Control::Watchlist);
    QTRY_COMPARE(view->model()->rowCount(), 2);
    auto centre = [view](int row) { return view->visualRect(view->model()->index(row, 1)).center(); };

    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, centre(1));
    QCOMPARE(watchlist.currentRow(), 1);

    // 删除自选 removes the selected entry: a right press selects the entry under the pointer.
    auto* menu = f->find<QMenu>(Control::WatchMenu);
    QTest::mousePress(view->viewport(), Qt::RightButton, {}, centre(0));
    QTRY_VERIFY(menu->isVisible());
    QCOMPARE(watchlist.currentRow(), 0);
    menu->close();
    QTest::mouseRelease(view->viewport(), Qt::RightButton, {}, centre(0));
}

void MainWindowTest::hoverShowsTheTooltip()
{
    auto* sector = f->find(Control::SectorButton);
    auto* loadAll = f->find(Control::LoadAllBox);
    f->window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&f->window));
    QTest::mouseMove(sector, QPoint(10, 10));
    QTest::mouseMove(sector, QPoint(20, 20));
    QTRY_COMPARE(sector->toolTip(), QStringLiteral("首次加载较慢"));
    QTest::mouseMove(loadAll, QPoint(10, 10));
    QTest::mouseMove(loadAll, QPoint(20, 12));
    QTRY_COMPARE(loadAll->toolTip(), QStringLiteral("加载板块所有数据，对于数据较多的板块加载较慢。"));
}

void MainWindowTest::viewChangesFromAWorkerReachTheControls()
{
    View& view = f->models.view;
    for (int i = 0; i < 3; ++i)
        f->models.suggestions.addRow({gbk("华夏成长"), "00000" + std::to_string(i)});
    std::thread([&view] {
        for (int n = 20; n <= 400; n += 20)
            view.setTitle(gbk("五星基金正在加载第") + std::to_string(n) + gbk("条"));
        view.setCaption(Control::Progress, gbk("共12000支基金"));
        view.setEnabled(Control::SectorButton, false);
        view.setVisible(Control::Suggestions, true);
        view.setChecked(Control::BoardMonthGain, true);
        view.setTextColour(Control::Status, kRed);
    }).join();

    QTRY_COMPARE(f->window.windowTitle(), QStringLiteral("五星基金正在加载第400条"));
    QCOMPARE(f->find<QLabel>(Control::Progress)->text(), QStringLiteral("共12000支基金"));
    QVERIFY(!f->find(Control::SectorButton)->isEnabled());
    QCOMPARE(f->find<QAbstractButton>(Control::BoardMonthGain)->isChecked(), true);
    QCOMPARE(f->find(Control::Status)->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    // Shown suggestions: one row of 32 pixels per entry plus one.
    auto* suggestions = f->find(Control::Suggestions);
    QTRY_VERIFY(suggestions->isVisible());
    QTRY_COMPARE(suggestions->height(), 4 * 32);

    // A checked radio box of the group can be cleared again.
    std::thread([&view] {
        view.setChecked(Control::BoardMonthGain, false);
        view.setVisible(Control::Suggestions, false);
        view.setTextColour(Control::Status, kDefaultColour);
    }).join();
    QTRY_VERIFY(!f->find<QAbstractButton>(Control::BoardMonthGain)->isChecked());
    QTRY_VERIFY(!suggestions->isVisible());
    QCOMPARE(f->find(Control::Status)->palette().color(QPalette::WindowText),
             QApplication::palette(f->find(Control::Status)).color(QPalette::WindowText));
}

void MainWindowTest::messageFromAWorkerIsShownOnTheUiThread()
{
    QString shown;
    bool onUiThread = false;
    f->window.messagePresenter = [&](const QString& text) {
        shown = text;
        onUiThread = QThread::currentThread() == f->window.thread();
    };
    std::thread([this] { f->models.view.messageBox(gbk("请选择要加入的对象")); }).join();
    QTRY_COMPARE(shown, QStringLiteral("请选择要加入的对象"));
    QVERIFY(onUiThread);
}

void MainWindowTest::stockPageOpensAndCloses()
{
    View& view = f->models.view;
    auto* frame = f->find(Control::StockFrame);
    for (int round = 0; round < 2; ++round) {
        view.openStockPage("http://127.0.0.1:9/gdhs/detail/600519.html");
        QTRY_VERIFY(frame->isVisible());
        QWidget* browser = f->find(Control::StockBrowser);
        QVERIFY(browser->inherits("QWebEngineView"));
        QVERIFY(browser->isVisible());
        QCOMPARE(frame->geometry(), QRect(504, 8, 872, 872));
        QCOMPARE(browser->geometry(), QRect(-130, -384, 1002, 1264));
        QVERIFY(f->find(Control::StockClose)->isVisible());

        QTest::mouseClick(f->find(Control::StockClose), Qt::LeftButton);
        QTRY_VERIFY(!frame->isVisible());
        QVERIFY(!browser->isVisibleTo(frame));
    }
}

void MainWindowTest::closingEndsEveryTransfer()
{
    bool closed = false;
    f->window.onClosed = [&closed] { closed = true; };
    QVERIFY(!transfersAborted());
    f->window.close();
    QVERIFY(closed);
    QVERIFY(transfersAborted());
}
