#include "platform/desktop/desktopnotifications.h"

#include "platform/desktop/sessionbus.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QVariantMap>

void DesktopNotifications::Show(const DesktopNotice& notice) {
    if (!SessionBusReachable())
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    QDBusMessage call =
        QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.Notifications"),
                                       QStringLiteral("/org/freedesktop/Notifications"),
                                       QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    QVariantMap hints;
    hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("quellix"));
    call << AppName << quint32(0) << AppIcon << notice.summary << notice.body << QStringList() << hints
         << qint32(ExpireTimeoutMs);
    // Asked without waiting: the answer (the notice's id) is not needed.
    bus.asyncCall(call);
}
