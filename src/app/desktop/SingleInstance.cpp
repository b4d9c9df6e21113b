#include "app/desktop/SingleInstance.h"

#include "app/QtConversions.h"
#include "logs/Logger.h"
#include "platform/Process.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QLocalServer>
#include <QLocalSocket>
#include <QUrl>
#include <cstdlib>
#include <memory>
#include <optional>

namespace tessera {
namespace {

constexpr auto kInterface = "org.freedesktop.Application";
constexpr int kHandOverTimeout = 10'000; // milliseconds

} // namespace

std::string instanceSocketPath() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && *runtime != '\0') return std::string(runtime) + "/tessera.socket";
    return "/tmp/tessera-" + std::to_string(platform::currentUserId()) + ".socket";
}

SingleInstance::SingleInstance(QObject* parent) : QObject(parent) {}

SingleInstance::~SingleInstance() {
    if (server_) server_->close();
}

bool SingleInstance::claim(const std::vector<std::string>& paths) {
    bool claimed = false;
    if (claimOverDBus(paths, claimed)) return claimed;
    return claimOverSocket(paths);
}

bool SingleInstance::claimOverDBus(const std::vector<std::string>& paths, bool& claimed) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return false;
    channel_ = "D-Bus";
    bus.registerObject(kObjectPath, this, QDBusConnection::ExportScriptableSlots);
    if (bus.registerService(kApplicationId)) {
        claimed = true;
        return true;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(kApplicationId, kObjectPath, kInterface,
                                                       paths.empty() ? "Activate" : "Open");
    if (!paths.empty()) {
        QStringList uris;
        for (const std::string& path : paths)
            uris << QString::fromLatin1(fileUrl(path).toEncoded());
        call << uris;
    }
    call << QVariantMap();
    const QDBusMessage reply = bus.call(call, QDBus::Block, kHandOverTimeout);
    if (reply.type() == QDBusMessage::ReplyMessage) {
        Logger::log(2, "Handed over to the running instance over D-Bus");
        claimed = false;
        return true;
    }
    // The name's owner does not answer: serve this launch alone.
    Logger::log(1, "The running instance did not answer: " + reply.errorMessage().toStdString());
    claimed = true;
    return true;
}

bool SingleInstance::claimOverSocket(const std::vector<std::string>& paths) {
    channel_ = "local socket";
    const QString name = toQString(instanceSocketPath());
    QLocalSocket socket;
    socket.connectToServer(name);
    if (socket.waitForConnected(1'000)) {
        QByteArray message;
        for (const std::string& path : paths)
            message += fileUrl(path).toEncoded() + '\n';
        message += '\n';
        socket.write(message);
        socket.waitForBytesWritten(kHandOverTimeout);
        if (socket.waitForReadyRead(kHandOverTimeout) && socket.readAll().startsWith("ok")) {
            Logger::log(2, "Handed over to the running instance over its local socket");
            return false;
        }
        // It took the connection, so it lives: it is slow (stopped, or busy), not gone. The
        // request waits in its socket and is read when it goes on; taking its socket over
        // would open the paths twice then.
        Logger::log(0, "The running Tessera does not answer yet; it opens what was asked when "
                       "it goes on (--new-instance opens a window here instead)");
        return false;
    }
    // Nobody listens: a socket file left by a killed instance is replaced.
    QLocalServer::removeServer(name);
    server_ = std::make_unique<QLocalServer>();
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_->listen(name)) {
        Logger::log(1, "Cannot listen on " + instanceSocketPath() + ": " +
                           server_->errorString().toStdString());
        return true;
    }
    connect(server_.get(), &QLocalServer::newConnection, this, &SingleInstance::readConnection);
    return true;
}

void SingleInstance::readConnection() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        // One URL a line, an empty line at the end.
        auto buffer = std::make_shared<QByteArray>();
        connect(socket, &QLocalSocket::readyRead, this, [this, socket, buffer] {
            buffer->append(socket->readAll());
            const bool complete = buffer->startsWith('\n') || buffer->contains("\n\n");
            if (!complete) return;
            std::vector<std::string> paths;
            for (const QByteArray& line : buffer->split('\n'))
                if (!line.isEmpty())
                    if (auto path = pathOfUrl(QString::fromLatin1(line))) paths.push_back(*path);
            buffer->clear();
            socket->write("ok\n");
            socket->flush();
            if (onOpen) onOpen(paths);
        });
    }
}

void SingleInstance::Activate(const QVariantMap&) {
    if (onOpen) onOpen({});
}

void SingleInstance::Open(const QStringList& uris, const QVariantMap&) {
    std::vector<std::string> paths;
    for (const QString& uri : uris)
        if (auto path = pathOfUrl(uri)) paths.push_back(std::move(*path));
    if (onOpen) onOpen(paths);
}

void SingleInstance::ActivateAction(const QString& name, const QVariantList&, const QVariantMap&) {
    Logger::log(2, "Unknown action " + name.toStdString());
    if (onOpen) onOpen({});
}

} // namespace tessera
