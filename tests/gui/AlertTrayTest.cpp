// The window's alerts: a round on a worker brings the tray's tooltip up to
// date with the clock's minute, the tray's menu, and closing to the tray.
#include "app/gui/AlertTray.h"
#include "tests/gui/WindowWorld.h"
#include "text/CodePage.h"

#include <QAction>
#include <QMenu>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

using namespace fw;
using fw::test::WindowWorld;

namespace {
// 2026-12-04 10:15 China time (02:15 UTC), a trading day of the sample.
std::time_t fridayMorning() { return 1796350500; }
} // namespace

class AlertTrayTest : public QObject {
    Q_OBJECT
private slots:
    void theTooltipFollowsEachRound();
    void theMenuHoldsItsFourItems();
    void closingGoesToTheTrayOnlyWhenAsked();
};

void AlertTrayTest::theTooltipFollowsEachRound()
{
    WindowWorld world(WindowWorld::market(60), fridayMorning);
    AlertTray tray(world.window, world.controller, world.dir.path().toStdString(), fridayMorning);
    QSignalSpy rounds(&tray, &AlertTray::roundFinished);
    QVERIFY(tray.refresh());
    QVERIFY(!tray.refresh()); // one round at a time
    QTRY_COMPARE_WITH_TIMEOUT(rounds.size(), 1, 20000);
    // Nothing held: no estimate, and a ledger with nothing in it has made 0.00.
    QCOMPARE(tray.tooltip(), QStringLiteral("今日估算收益 --　持有收益 0.00　10:15 更新"));

    // A holding carried in from [持仓] gives both figures, signed.
    QVERIFY(world.config.write(gbk("持仓"), "000001", "1000|1"));
    QFile::remove(world.dir.filePath(QStringLiteral("fundwatch.db")));
    QVERIFY(tray.refresh());
    QTRY_COMPARE_WITH_TIMEOUT(rounds.size(), 2, 20000);
    static const QRegularExpression shape(
        QStringLiteral("^今日估算收益 [+-]\\d+\\.\\d\\d　持有收益 [+-]?[\\d,]+\\.\\d\\d　10:15 更新$"));
    QVERIFY2(shape.match(tray.tooltip()).hasMatch(), qPrintable(tray.tooltip()));
}

void AlertTrayTest::theMenuHoldsItsFourItems()
{
    WindowWorld world(WindowWorld::market(0), fridayMorning);
    AlertTray tray(world.window, world.controller, std::string(), fridayMorning);
    QStringList texts;
    for (QAction* action : tray.menu()->actions())
        texts << action->text();
    QCOMPARE(texts, (QStringList {"显示窗口", "刷新", "提醒设置", "退出"}));
    QVERIFY(!tray.refresh()); // no data directory: no rules to check
}

void AlertTrayTest::closingGoesToTheTrayOnlyWhenAsked()
{
    WindowWorld world(WindowWorld::market(0));
    QVERIFY(!closeToTraySetting(world.config));
    QVERIFY(world.config.write(gbk("界面"), gbk("关闭到托盘"), gbk("真")));
    QVERIFY(closeToTraySetting(world.config));
    QVERIFY(world.config.write(gbk("界面"), gbk("关闭到托盘"), gbk("假")));
    QVERIFY(!closeToTraySetting(world.config));

    int closed = 0;
    world.window.onClosed = [&closed] { ++closed; };
    bool toTray = true;
    world.window.closesToTray = [&toTray] { return toTray; };
    world.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&world.window));
    world.window.close();
    QVERIFY(world.window.isHidden());
    QCOMPARE(closed, 0);
    // 退出 ends it as closing does today, whatever the setting says.
    world.window.show();
    world.window.quitFromTray();
    QCOMPARE(closed, 1);
}

QTEST_MAIN(AlertTrayTest)
#include "AlertTrayTest.moc"
