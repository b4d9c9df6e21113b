#include "app/desktop/FileManager.h"

#include "app/QtConversions.h"
#include "app/desktop/SessionBus.h"
#include "base/Paths.h"
#include "logs/Logger.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QUrl>

namespace tessera {

void showInFileManager(const std::vector<std::string>& paths, QWidget*) {
    if (paths.empty()) return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    constexpr auto kService = "org.freedesktop.FileManager1";
    if (isServiceAvailable(bus, QString::fromLatin1(kService))) {
        QStringList uris;
        for (const std::string& path : paths)
            uris << fileUrl(path).toString();
        QDBusMessage call = QDBusMessage::createMethodCall(
            kService, "/org/freedesktop/FileManager1", kService, "ShowItems");
        call << uris << QString();
        if (bus.send(call)) return;
    }
    const std::string folder(parentPath(paths.front()));
    Logger::log(2, "Show in file manager: opening " + folder);
    QDesktopServices::openUrl(fileUrl(folder));
}

} // namespace tessera
