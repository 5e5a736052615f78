// Desktop notifications on a private session bus (a dbus-daemon this test
// starts) with a notification service of the test's own: what is sent, the
// actions invoked back, no service at all, and fundwatch-cli telling a firing.
#include "app/DesktopNotifier.h"
#include "cli/Cli.h"
#include "sample/Market.h"
#include "sample/SampleService.h"
#include "store/LedgerDatabase.h"
#include "tests/store/TempDir.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QMutex>
#include <QSignalSpy>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace fw::test {

// What a notification service is sent, recorded from its own thread.
class NotificationService : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    struct Sent {
        QString app, title, body;
        QStringList actions;
    };

    QList<Sent> sent()
    {
        QMutexLocker lock(&m_mutex);
        return m_sent;
    }

public slots:
    uint Notify(const QString& app, uint, const QString&, const QString& title, const QString& body,
                const QStringList& actions, const QVariantMap&, int)
    {
        QMutexLocker lock(&m_mutex);
        m_sent.append({app, title, body, actions});
        return uint(100 + m_sent.size());
    }

private:
    QMutex m_mutex;
    QList<Sent> m_sent;
};

namespace {

// A session bus of the test's own, ended with the test.
class PrivateBus {
public:
    PrivateBus()
    {
        int out[2];
        if (::pipe(out) != 0)
            return;
        m_pid = ::fork();
        if (m_pid == 0) {
            ::dup2(out[1], 1);
            ::close(out[0]);
            ::execlp("dbus-daemon", "dbus-daemon", "--session", "--nofork", "--print-address=1", nullptr);
            _exit(127);
        }
        ::close(out[1]);
        char buffer[512] = {};
        size_t got = 0;
        while (got < sizeof buffer - 1) {
            const ssize_t n = ::read(out[0], buffer + got, 1);
            if (n <= 0 || buffer[got] == '\n')
                break;
            ++got;
        }
        buffer[got] = 0;
        ::close(out[0]);
        address = QString::fromUtf8(buffer);
    }
    ~PrivateBus()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    QString address;

private:
    pid_t m_pid = -1;
};

// The service on its own thread and connection, so that a blocking call from
// the test's thread is answered.
class ServiceThread {
public:
    explicit ServiceThread(const QString& address)
    {
        m_thread.start();
        service.moveToThread(&m_thread);
        QMetaObject::invokeMethod(
            &service,
            [this, address] {
                QDBusConnection bus = QDBusConnection::connectToBus(address, "service");
                registered = bus.registerService("org.freedesktop.Notifications")
                    && bus.registerObject("/org/freedesktop/Notifications", &service, QDBusConnection::ExportAllSlots);
            },
            Qt::BlockingQueuedConnection);
    }
    ~ServiceThread()
    {
        QMetaObject::invokeMethod(
            &service, [] { QDBusConnection::disconnectFromBus("service"); }, Qt::BlockingQueuedConnection);
        m_thread.quit();
        m_thread.wait();
    }
    // The user picked `action` on notification `id`.
    void invoke(uint id, const QString& action)
    {
        QMetaObject::invokeMethod(
            &service,
            [id, action] {
                QDBusMessage signal = QDBusMessage::createSignal("/org/freedesktop/Notifications",
                                                                 "org.freedesktop.Notifications", "ActionInvoked");
                signal << id << action;
                QDBusConnection("service").send(signal);
            },
            Qt::BlockingQueuedConnection);
    }

    NotificationService service;
    bool registered = false;

private:
    QThread m_thread;
};

QCoreApplication& app()
{
    static int argc = 1;
    static char name[] = "test_notify";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* instance = new QCoreApplication(argc, argv);
    return *instance;
}

TEST(DesktopNotifier, SendsTitleBodyAndActionsAndHearsTheActionsBack)
{
    app();
    PrivateBus bus;
    ASSERT_FALSE(bus.address.isEmpty());
    ServiceThread service(bus.address);
    ASSERT_TRUE(service.registered);
    {
        QDBusConnection client = QDBusConnection::connectToBus(bus.address, "client");
        ASSERT_TRUE(client.isConnected());
        DesktopNotifier notifier(client);
        QSignalSpy actions(&notifier, &DesktopNotifier::actionInvoked);
        ASSERT_TRUE(notifier.available());
        const uint id = notifier.notify("易方达蓝筹精选混合 估算 -2.31%，低于 -2.00%");
        EXPECT_EQ(id, 101u);
        const auto sent = service.service.sent();
        ASSERT_EQ(sent.size(), 1);
        EXPECT_EQ(sent[0].app, "fundwatch");
        EXPECT_EQ(sent[0].title, "fundwatch 提醒");
        EXPECT_EQ(sent[0].body, "易方达蓝筹精选混合 估算 -2.31%，低于 -2.00%");
        EXPECT_EQ(sent[0].actions, (QStringList {"open", "打开", "quiet", "今日不再提醒"}));

        // Another program's notification is none of ours; then ours, twice.
        service.invoke(7, "open");
        service.invoke(id, "quiet");
        service.invoke(id, "open");
        for (int i = 0; i < 100 && actions.size() < 2; ++i)
            actions.wait(50);
        ASSERT_EQ(actions.size(), 2);
        EXPECT_EQ(actions[0][0].toUInt(), id);
        EXPECT_EQ(actions[0][1].toString(), "quiet");
        EXPECT_EQ(actions[1][1].toString(), "open");
    }
    QDBusConnection::disconnectFromBus("client");
}

TEST(DesktopNotifier, WithoutAServiceNothingIsShown)
{
    app();
    PrivateBus bus;
    ASSERT_FALSE(bus.address.isEmpty());
    {
        QDBusConnection client = QDBusConnection::connectToBus(bus.address, "lonely");
        DesktopNotifier notifier(client);
        EXPECT_FALSE(notifier.available());
        EXPECT_EQ(notifier.notify("x"), 0u);
    }
    QDBusConnection::disconnectFromBus("lonely");
    // No bus at all.
    DesktopNotifier nowhere(QDBusConnection::connectToBus(QString("unix:path=/nonexistent/bus"), "none"));
    EXPECT_FALSE(nowhere.available());
    EXPECT_EQ(nowhere.notify("x"), 0u);
}

TEST(DesktopNotifier, TheCommandLineTellsWhatFiredOnTheSessionBus)
{
    app();
    PrivateBus bus;
    ASSERT_FALSE(bus.address.isEmpty());
    ServiceThread service(bus.address);
    ASSERT_TRUE(service.registered);
    // The session bus of this process, before anything asks for it.
    ::setenv("DBUS_SESSION_BUS_ADDRESS", bus.address.toUtf8().constData(), 1);

    sample::SampleOptions options;
    options.funds = 50;
    sample::SampleService sample(options);
    sample.start();
    TempDir dir;
    auto run = [&](std::vector<std::string> args) {
        args.insert(args.end(), {"--service", sample.baseUrl(), "--data-dir", dir.path()});
        std::ostringstream out, err;
        cli::CliIo io {out, err};
        const int status = cli::runCli(args, io);
        return std::make_pair(status, out.str() + err.str());
    };
    // The index moves less than 100 % either way: one rule always holds, one never.
    ASSERT_EQ(run({"alerts", "add", "stock:1.000001", "up", "-100"}).first, 0);
    ASSERT_EQ(run({"alerts", "add", "stock:1.000001", "down", "-100"}).first, 0);
    const auto checked = run({"alerts", "check", "--once", "--date", sample.market().figureDate(), "--time", "10:15"});
    EXPECT_EQ(checked.first, 0) << checked.second;
    const auto sent = service.service.sent();
    ASSERT_EQ(sent.size(), 1) << checked.second;
    EXPECT_EQ(sent[0].title, "fundwatch 提醒");
    EXPECT_TRUE(sent[0].body.startsWith("上证指数 涨跌幅 ")) << sent[0].body.toStdString();
    EXPECT_TRUE(sent[0].body.endsWith("，高于 -100.00%")) << sent[0].body.toStdString();

    // 今日不再提醒: the firings of that day are logged, not told.
    ASSERT_EQ(run({"alerts", "add", "stock:1.000001", "up", "-99"}).first, 0);
    {
        ledger::LedgerDatabase db;
        ASSERT_TRUE(db.open(ledger::ledgerFilePath(dir.path())));
        ASSERT_TRUE(db.setAlertsQuietDay(*ledger::parseDay(sample.market().figureDate())));
    }
    const auto quiet = run({"alerts", "check", "--once", "--date", sample.market().figureDate(), "--time", "10:16"});
    EXPECT_EQ(quiet.first, 0) << quiet.second;
    EXPECT_EQ(service.service.sent().size(), 1);
    EXPECT_EQ(run({"alerts", "log"}).second.find("-99.00%") != std::string::npos, true);
    ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
}

} // namespace
} // namespace fw::test

#include "NotifierTest.moc"
