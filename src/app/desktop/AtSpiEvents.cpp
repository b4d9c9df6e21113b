#include "app/desktop/AtSpiEvents.h"

#include <QAccessible>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>

namespace tessera {
namespace {

// AT-SPI's reference to an object: the bus name of its application and its path, (so).
struct AtSpiReference {
    QString service;
    QDBusObjectPath path;
};

QDBusArgument& operator<<(QDBusArgument& argument, const AtSpiReference& reference) {
    argument.beginStructure();
    argument << reference.service << reference.path;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, AtSpiReference& reference) {
    argument.beginStructure();
    argument >> reference.service >> reference.path;
    argument.endStructure();
    return argument;
}

} // namespace
} // namespace tessera

Q_DECLARE_METATYPE(tessera::AtSpiReference)

namespace tessera {
namespace {

// Where Qt's bridge puts its objects on the accessibility bus.
constexpr const char* kObjectPathPrefix = "/org/a11y/atspi/accessible/";

// Qt's bridge's connection to the accessibility bus, by the name it gives it.
QDBusConnection accessibilityBus() {
    return QDBusConnection(QStringLiteral("a11y"));
}

QString pathOf(QAccessibleInterface& source) {
    return QLatin1String(kObjectPathPrefix) + QString::number(QAccessible::uniqueId(&source));
}

// Sends an event of AT-SPI's Object interface for `source`, laid out as Qt's bridge lays out its
// own: (kind, detail1, detail2, data, the application).
void sendObjectEvent(QAccessibleInterface& source, const QString& member, const QString& kind,
                     int detail, const QVariant& data) {
    QDBusConnection bus = accessibilityBus();
    if (!QAccessible::isActive() || !bus.isConnected()) return;
    static const QMetaType registered = qDBusRegisterMetaType<AtSpiReference>();
    (void)registered;
    const AtSpiReference application{bus.baseService(),
                                     QDBusObjectPath(QLatin1String(kObjectPathPrefix) + "root")};
    QDBusMessage signal = QDBusMessage::createSignal(
        pathOf(source), QStringLiteral("org.a11y.atspi.Event.Object"), member);
    signal << kind << detail << 0 << QVariant::fromValue(QDBusVariant(data))
           << QVariant::fromValue(application);
    bus.send(signal);
}

} // namespace

void sendAtSpiStateChange(QAccessibleInterface& source, const char* state, bool on) {
    const AtSpiReference self{accessibilityBus().baseService(), QDBusObjectPath(pathOf(source))};
    sendObjectEvent(source, QStringLiteral("StateChanged"), QString::fromLatin1(state), on ? 1 : 0,
                    QVariant::fromValue(self));
}

void sendAtSpiDescriptionChange(QAccessibleInterface& source, const QString& description) {
    sendObjectEvent(source, QStringLiteral("PropertyChange"),
                    QStringLiteral("accessible-description"), 0, description);
}

} // namespace tessera
