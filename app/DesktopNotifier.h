#pragma once
// Desktop notifications through the freedesktop notification service on the
// session bus (org.freedesktop.Notifications), with actions the user can
// click; the window falls back to the tray's message where no such service
// runs. Qt Core and D-Bus only, so that the command line can tell a firing too.
#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QStringList>

namespace fw {

class DesktopNotifier : public QObject {
    Q_OBJECT
public:
    static constexpr const char* kOpenAction = "open";   // 打开
    static constexpr const char* kQuietAction = "quiet"; // 今日不再提醒

    explicit DesktopNotifier(const QDBusConnection& bus = QDBusConnection::sessionBus(), QObject* parent = nullptr);

    // A notification service is registered on the bus.
    bool available() const;
    // Sends one notification titled "fundwatch 提醒" with `body` and the
    // actions 打开 and 今日不再提醒. The service's id for it; 0 when it was
    // not shown (no service, or the call failed).
    uint notify(const QString& body);

signals:
    // The user chose an action of a notification this object sent.
    void actionInvoked(uint id, const QString& action);

private slots:
    void onActionInvoked(uint id, const QString& action);

private:
    QDBusConnection m_bus;
    QList<uint> m_sent;
};

// "fundwatch 提醒", the title of every alert.
QString alertTitle();

} // namespace fw
