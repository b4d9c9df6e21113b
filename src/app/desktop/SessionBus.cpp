#include "app/desktop/SessionBus.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QStringList>

namespace tessera {

bool isServiceAvailable(QDBusConnection& bus, const QString& service) {
    if (!bus.isConnected()) return false;
    QDBusConnectionInterface* interface = bus.interface();
    if (interface == nullptr) return false;
    if (interface->isServiceRegistered(service)) return true;
    // Desktop services usually start on demand.
    const QDBusReply<QStringList> activatable =
        bus.call(QDBusMessage::createMethodCall("org.freedesktop.DBus", "/org/freedesktop/DBus",
                                                "org.freedesktop.DBus", "ListActivatableNames"));
    return activatable.isValid() && activatable.value().contains(service);
}

} // namespace tessera
