#include "app/DesktopNotifier.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QVariantMap>

namespace fw {

namespace {
const char* const kService = "org.freedesktop.Notifications";
const char* const kPath = "/org/freedesktop/Notifications";
const char* const kInterface = "org.freedesktop.Notifications";
// A hung service must not hold the caller for the bus's default 25 s.
constexpr int kCallTimeoutMs = 3000;
} // namespace

QString alertTitle() { return QStringLiteral("fundwatch 提醒"); }

DesktopNotifier::DesktopNotifier(const QDBusConnection& bus, QObject* parent) : QObject(parent), m_bus(bus)
{
    if (m_bus.isConnected())
        m_bus.connect(kService, kPath, kInterface, "ActionInvoked", this, SLOT(onActionInvoked(uint, QString)));
}

bool DesktopNotifier::available() const
{
    if (!m_bus.isConnected() || !m_bus.interface())
        return false;
    const QDBusReply<bool> reply = m_bus.interface()->isServiceRegistered(kService);
    return reply.isValid() && reply.value();
}

uint DesktopNotifier::notify(const QString& body)
{
    if (!available())
        return 0;
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, "Notify");
    const QStringList actions {kOpenAction, QStringLiteral("打开"), kQuietAction, QStringLiteral("今日不再提醒")};
    call << QStringLiteral("fundwatch") << uint(0) << QString() << alertTitle() << body << actions << QVariantMap()
         << int(-1);
    const QDBusMessage reply = m_bus.call(call, QDBus::Block, kCallTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return 0;
    const uint id = reply.arguments().first().toUInt();
    if (id)
        m_sent.append(id);
    return id;
}

void DesktopNotifier::onActionInvoked(uint id, const QString& action)
{
    if (m_sent.contains(id))
        emit actionInvoked(id, action);
}

} // namespace fw
