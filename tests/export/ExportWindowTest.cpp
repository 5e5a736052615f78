// The whole-market load in the window: its progress bar under the period
// buttons, and Esc.
#include "app/MainController.h"
#include "app/gui/MainWindow.h"
#include "net/EventPump.h"
#include "net/ServiceHosts.h"
#include "sample/SampleService.h"

#include <QAbstractButton>
#include <QApplication>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <unistd.h>

using namespace fw;

class ExportWindowTest : public QObject {
    Q_OBJECT
    struct Fixture {
        sample::SampleService service {[] {
            sample::SampleOptions options;
            options.funds = 100;
            options.latencyMs = 5;
            return options;
        }()};
        QTemporaryDir dir;
        ConfigFile config {dir.filePath(QStringLiteral("配置.ini")).toStdString()};
        MainModels models;
        MainController controller {models, config, ControllerEnvironment {[] { return 1; }, "", 5,
                                                                          dir.path().toStdString()}};
        MainWindow window {controller};
        QProgressBar* bar = window.findChild<QProgressBar*>(QStringLiteral("加载进度"));

        Fixture()
        {
            resetTransferAbort();
            service.start();
            setServiceHosts(ServiceHosts::allAt(service.baseUrl()));
            installEventPump([] { QCoreApplication::processEvents(); });
            window.messagePresenter = [](const QString&) {};
        }
        ~Fixture()
        {
            uninstallEventPump();
            setServiceHosts(ServiceHosts::defaults());
        }
        QAbstractButton* button(Control control)
        {
            return window.findChild<QAbstractButton*>(QString::fromUtf8(designedName(control)));
        }
        bool workbookWritten() const { return !QDir(dir.path()).entryList({QStringLiteral("*.xlsx")}).isEmpty(); }
    };
    Fixture* f = nullptr;

private slots:
    void init()
    {
        f = new Fixture;
        f->window.show();
        f->window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&f->window));
    }
    void cleanup()
    {
        delete f;
        f = nullptr;
    }

    void progressBarShowsPagesThenProfilesAndHides()
    {
        QVERIFY(f->bar);
        QVERIFY(f->bar->isHidden());
        // The free strip along the bottom edge, under the period buttons.
        const QRect periods = f->button(periodControl(1))->geometry().united(f->button(periodControl(7))->geometry());
        QVERIFY(f->bar->geometry().top() >= periods.bottom());
        QVERIFY(f->bar->geometry().bottom() < f->bar->parentWidget()->height());
        QVERIFY(f->bar->geometry().left() >= periods.left() && f->bar->geometry().right() <= periods.right());

        QSet<int> maxima;
        int lastProfileValue = -1;
        QTimer sampler;
        connect(&sampler, &QTimer::timeout, [&] {
            if (f->bar->isVisible()) {
                maxima.insert(f->bar->maximum());
                if (f->bar->maximum() == 100)
                    lastProfileValue = f->bar->value();
            }
        });
        sampler.start(1);
        QTest::mouseClick(f->button(Control::ExportButton), Qt::LeftButton);
        sampler.stop();
        QVERIFY2(maxima.contains(5), "pages");       // 100 funds: five pages
        QVERIFY2(maxima.contains(100), "profiles");
        QVERIFY(lastProfileValue > 0);
        QTRY_VERIFY(f->bar->isHidden());
        QVERIFY(f->workbookWritten());
    }

    void escapeStopsTheLoad()
    {
        QTimer::singleShot(60, [this] { QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape); });
        QTest::mouseClick(f->button(Control::ExportButton), Qt::LeftButton);
        QTRY_COMPARE(f->window.windowTitle(), QStringLiteral("加载已取消"));
        QTRY_VERIFY(f->button(Control::FiveStarButton)->isEnabled());
        QVERIFY(f->button(Control::SectorButton)->isEnabled());
        QVERIFY(f->button(Control::StepButton)->isEnabled());
        QVERIFY(f->bar->isHidden());
        QVERIFY(!f->workbookWritten());
    }
};

int main(int argc, char* argv[])
{
    if (::geteuid() == 0)
        ::setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 1);
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    ExportWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "ExportWindowTest.moc"
