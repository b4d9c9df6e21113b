// The desktop session's D-Bus, for the services the app calls when the desktop has them.
#pragma once

#include <QDBusConnection>
#include <QString>

namespace tessera {

/// True when `service` runs on `bus` or can be started by calling it.
bool isServiceAvailable(QDBusConnection& bus, const QString& service);

} // namespace tessera
