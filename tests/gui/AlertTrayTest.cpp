// The window's alerts: a round on a worker brings the tray's tooltip up to
// date with the clock's minute, the tray's menu, and closing to the tray.
#include "app/gui/AlertDialog.h"
#include "app/gui/AlertTray.h"
#include "canvas/Gbk.h"
#include "sample/Market.h"
#include "store/LedgerDatabase.h"
#include "tests/gui/WindowWorld.h"
#include "text/CodePage.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
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
    void theDialogAddsEditsSwitchesOffAndRemovesRules();
    void theWindowsButtonOpensTheDialogOnce();
    void openShowsTheFundOrTheHolding();
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
    if (const QByteArray shots = qgetenv("FUNDWATCH_SHOTS"); !shots.isEmpty()) {
        tray.menu()->popup(QPoint(10, 10));
        QVERIFY(QTest::qWaitForWindowExposed(tray.menu()));
        tray.menu()->grab().save(QString::fromUtf8(shots) + "/tray-menu.png");
        tray.menu()->hide();
    }
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

void AlertTrayTest::theDialogAddsEditsSwitchesOffAndRemovesRules()
{
    WindowWorld world(WindowWorld::market(0));
    const std::string dir = world.dir.path().toStdString();
    AlertDialog dialog(dir, world.config);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    auto cell = [&](int row, int column) { return dialog.rulesTable()->item(row, column)->text(); };

    // A fund's estimate at or below -2 % in the last quarter hour.
    dialog.subjectBox()->setCurrentIndex(0);
    dialog.codeEdit()->setText("005827");
    dialog.conditionBox()->setCurrentIndex(1);
    dialog.valueEdit()->setText("-2");
    dialog.windowEdit()->setText("14:40-14:55");
    dialog.addButton()->click();
    QCOMPARE(dialog.rulesTable()->rowCount(), 1);
    QCOMPARE(cell(0, 1), QStringLiteral("基金 005827 估算 ≤ -2.00%  14:40-14:55"));
    QCOMPARE(cell(0, 2), QStringLiteral("待命"));

    // Refused: a stock without its market, a holding with a price level, no figure.
    struct Bad {
        int subject;
        const char* code;
        int condition;
        const char* value;
    };
    const Bad refused[] = {{1, "600519", 0, "3"}, {2, "005827", 2, "1.2"}, {0, "005827", 0, "abc"}};
    for (const Bad& b : refused) {
        dialog.subjectBox()->setCurrentIndex(b.subject);
        dialog.codeEdit()->setText(b.code);
        dialog.conditionBox()->setCurrentIndex(b.condition);
        dialog.valueEdit()->setText(b.value);
        dialog.windowEdit()->clear();
        dialog.addButton()->click();
        QVERIFY2(!dialog.problemLabel()->text().isEmpty(), b.code);
        QCOMPARE(dialog.rulesTable()->rowCount(), 1);
    }

    // Picking the rule fills the form; a new threshold is stored in its place.
    dialog.rulesTable()->selectRow(0);
    QCOMPARE(dialog.codeEdit()->text(), QStringLiteral("005827"));
    QCOMPARE(dialog.valueEdit()->text(), QStringLiteral("-2"));
    QCOMPARE(dialog.windowEdit()->text(), QStringLiteral("14:40-14:55"));
    dialog.valueEdit()->setText("-2.5");
    dialog.editButton()->click();
    QCOMPARE(dialog.rulesTable()->rowCount(), 1);
    QCOMPARE(cell(0, 1), QStringLiteral("基金 005827 估算 ≤ -2.50%  14:40-14:55"));

    dialog.rulesTable()->selectRow(0);
    dialog.switchButton()->click();
    QCOMPARE(cell(0, 2), QStringLiteral("已关闭"));
    {
        ledger::LedgerDatabase db;
        QVERIFY(db.open(ledger::ledgerFilePath(dir)));
        const auto rules = db.alertRules();
        QCOMPARE(rules.size(), size_t(1));
        QCOMPARE(rules[0].threshold, int64_t(-25000));
        QVERIFY(!rules[0].enabled);
    }
    if (const QByteArray shots = qgetenv("FUNDWATCH_SHOTS"); !shots.isEmpty()) {
        dialog.rulesTable()->selectRow(0);
        dialog.switchButton()->click();
        dialog.grab().save(QString::fromUtf8(shots) + "/alert-dialog.png");
    }
    dialog.rulesTable()->selectRow(0);
    dialog.removeButton()->click();
    QCOMPARE(dialog.rulesTable()->rowCount(), 0);
}

QTEST_MAIN(AlertTrayTest)
// The window's own way to the rules: its 提醒 button opens the dialog, a second
// click raises the same one; without a data directory it is off.
void AlertTrayTest::theWindowsButtonOpensTheDialogOnce()
{
    WindowWorld world(WindowWorld::market(0), fridayMorning);
    auto* button = world.window.findChild<QAbstractButton*>(qtName(Control::AlertsButton));
    QVERIFY(button && button->isEnabled());
    QVERIFY(!world.window.alertDialog());
    button->click();
    QPointer<AlertDialog> dialog = world.window.alertDialog();
    QVERIFY(dialog && dialog->isVisible());
    QCOMPARE(dialog->rulesTable()->rowCount(), 0);
    button->click();
    QCOMPARE(world.window.alertDialog(), dialog.data());
    dialog->close();
    QTRY_VERIFY(!dialog); // deleted on close

    WindowWorld nowhere(WindowWorld::market(0));
    QVERIFY(!nowhere.window.findChild<QAbstractButton*>(qtName(Control::AlertsButton))->isEnabled());
    nowhere.window.openAlerts();
    QVERIFY(!nowhere.window.alertDialog());
}

// A notification's 打开: a fund's alert shows the fund in the main window (its
// page as the grid's first row), a holding's the 持仓 window.
void AlertTrayTest::openShowsTheFundOrTheHolding()
{
    WindowWorld world(WindowWorld::market(50), fridayMorning);
    AlertTray tray(world.window, world.controller, world.dir.path().toStdString(), fridayMorning);
    const std::string code = world.service.market().funds().at(7).code;
    tray.openSubject(ledger::AlertSubject::Fund, code);
    QTRY_COMPARE(world.models.fundGrid.cell(1, 1), Text(code));
    QVERIFY(!world.window.portfolioWindow());
    tray.openSubject(ledger::AlertSubject::Holding, code);
    QVERIFY(world.window.portfolioWindow() && world.window.portfolioWindow()->isVisible());
}

#include "AlertTrayTest.moc"
