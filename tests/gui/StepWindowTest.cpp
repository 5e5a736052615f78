// The step window as a user works it: 刷步 opens it as a modal dialog, the
// boxes are filled and 保存配置 stores, submits to the sample service and
// closes it; the main window's status label then shows the answer.
#include "store/ConfigFile.h"
#include "app/MainController.h"
#include "model/MainModels.h"
#include "app/gui/MainWindow.h"
#include "app/gui/StepWindow.h"
#include "net/EventPump.h"
#include "net/ServiceHosts.h"
#include "sample/SampleService.h"
#include "tests/gui/GuiTests.h"
#include "tests/gui/WindowWorld.h"
#include "text/CodePage.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPointer>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>

using namespace fw;

struct StepWindowTest::Fixture : test::WindowWorld {
    Fixture() : WindowWorld([] {
        sample::SampleOptions options = market(0);
        options.stepPassword = "a%b";
        return options;
    }()) {}
    Text setting(const char* key) const { return config.read(gbk("小米运动刷步"), gbk(key)); }
};

void StepWindowTest::init()
{
    resetTransferAbort();
    f = new Fixture;
    f->window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f->window));
}

void StepWindowTest::cleanup()
{
    delete f;
    f = nullptr;
}

namespace {

// Runs `work` on the step window once its modal loop shows it. The window
// is closed afterwards whatever happened, so a failed check cannot leave the
// test waiting in the dialog's loop.
void whenStepWindowShows(std::function<void(StepWindow*)> work)
{
    QTimer::singleShot(10, [work] {
        auto* dialog = qobject_cast<StepWindow*>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible()) {
            whenStepWindowShows(work);
            return;
        }
        const QPointer<StepWindow> guarded(dialog);
        const auto closeAnyway = qScopeGuard([guarded] {
            if (guarded)
                guarded->close();
        });
        QVERIFY(QTest::qWaitForWindowExposed(dialog));
        dialog->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(dialog));
        work(dialog);
    });
}

template <class W = QWidget>
W* part(StepWindow* dialog, Control control) { return qobject_cast<W*>(dialog->control(control)); }

} // namespace

void StepWindowTest::stepButtonOpensAModalWindowThatSavesAndSubmits()
{
    auto* status = f->window.findChild<QLabel*>(QStringLiteral("标签6"));
    auto* stepButton = f->window.findChild<QAbstractButton*>(QStringLiteral("刷步钮"));
    bool saved = false;
    whenStepWindowShows([&](StepWindow* dialog) {
        QVERIFY(dialog->isModal());
        QVERIFY(!dialog->parentWidget());
        QCOMPARE(dialog->size(), QSize(250, 255));
        QCOMPARE(part(dialog, Control::StepGroup)->geometry(), QRect(8, 8, 232, 216));
        QCOMPARE(part<QLabel>(dialog, Control::StepNote)->text(), QStringLiteral("以上功能配置好后，软件启动自动执行"));
        QCOMPARE(part<QLineEdit>(dialog, Control::StepPassword)->echoMode(), QLineEdit::Password);

        QWidget* usage = part(dialog, Control::StepUsage);
        // Sent to the label itself: the offscreen platform's pointer finds the
        // main window below the dialog, both placed at (50, 50).
        QMouseEvent move(QEvent::MouseMove, QPointF(10, 8), usage->mapToGlobal(QPointF(10, 8)), Qt::NoButton,
                         Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(usage, &move);
        QTRY_VERIFY(usage->toolTip().startsWith(QStringLiteral("使用方法：\n1、在应用商店中下载小米运动app\n")));

        QTest::keyClicks(part(dialog, Control::StepAccount), QStringLiteral("demo"));
        QTest::keyClicks(part(dialog, Control::StepPassword), QStringLiteral("a%b"));
        QTest::keyClicks(part(dialog, Control::StepTarget), QStringLiteral("1234567")); // five characters at most
        QTest::mouseClick(part(dialog, Control::StepSave), Qt::LeftButton);
        saved = true;
    });
    QTest::mouseClick(stepButton, Qt::LeftButton);
    QTRY_VERIFY(saved);
    QTRY_COMPARE(status->text(), QStringLiteral("修改成功，步数：12345"));
    QTRY_VERIFY(!f->window.stepWindow());
    QCOMPARE(f->setting("账号"), "demo");
    QCOMPARE(f->setting("密码"), "%61%25%62");
    QCOMPARE(f->setting("步数"), "12345");
    QVERIFY(!f->config.read(gbk("刷步时间"), gbk("刷步时间")).empty());
    QCOMPARE(f->service.requests().size(), size_t(1));
}

void StepWindowTest::aStoredStepCountLongerThanTheBoxIsShownSavedAndSentWhole()
{
    const std::pair<const char*, const char*> stored[] = {{"账号", "demo"}, {"密码", "%61%25%62"}, {"步数", "123456"}};
    for (const auto& [key, value] : stored)
        QVERIFY(f->config.write(gbk("小米运动刷步"), gbk(key), value));
    auto* status = f->window.findChild<QLabel*>(QStringLiteral("标签6"));
    bool saved = false;
    whenStepWindowShows([&](StepWindow* dialog) {
        auto* target = part<QLineEdit>(dialog, Control::StepTarget);
        QTRY_COMPARE(target->text(), QStringLiteral("123456"));
        target->end(false);
        QTest::keyClicks(target, QStringLiteral("7")); // typing makes it no longer
        QCOMPARE(target->text(), QStringLiteral("123456"));
        QTest::mouseClick(part(dialog, Control::StepSave), Qt::LeftButton);
        saved = true;
    });
    QTest::mouseClick(f->window.findChild<QAbstractButton*>(QStringLiteral("刷步钮")), Qt::LeftButton);
    QTRY_VERIFY(saved);
    QTRY_COMPARE(status->text(), QStringLiteral("修改成功，步数：123456"));
    QCOMPARE(f->setting("步数"), "123456");
    const auto requests = f->service.requests();
    QCOMPARE(requests.size(), size_t(1));
    QCOMPARE(requests[0].body, std::string("usr=demo&psw=a%25b&bs=123456"));
}
