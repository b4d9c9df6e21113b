#include "app/FilePreview.h"

#include "app/QtConversions.h"
#include "controller/FileController.h"
#include "logs/Logger.h"

#include <QCursor>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDesktopServices>
#include <QFileInfo>
#include <QMenu>
#include <QUrl>
#include <QWidget>

namespace tessera {
namespace {

constexpr auto kPreviewerService = "org.gnome.NautilusPreviewer";
constexpr int kMostFilesOffered = 40;

bool previewerAvailable(QDBusConnection& bus) {
    QDBusConnectionInterface* interface = bus.interface();
    if (interface == nullptr) return false;
    if (interface->isServiceRegistered(kPreviewerService)) return true;
    // The previewer usually starts on demand.
    const QDBusReply<QStringList> activatable =
        bus.call(QDBusMessage::createMethodCall("org.freedesktop.DBus", "/org/freedesktop/DBus",
                                                "org.freedesktop.DBus", "ListActivatableNames"));
    return activatable.isValid() && activatable.value().contains(kPreviewerService);
}

void preview(const std::string& path, QWidget* parent) {
    const QUrl url = fileUrl(path);
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected() && previewerAvailable(bus)) {
        QDBusMessage call = QDBusMessage::createMethodCall(
            kPreviewerService, "/org/gnome/NautilusPreviewer", kPreviewerService, "ShowFile");
        const int window = parent != nullptr ? static_cast<int>(parent->window()->winId()) : 0;
        call << url.toString() << window << false;
        if (bus.send(call)) return;
    }
    Logger::log(2, "Preview: opening " + path + " with its default application");
    QDesktopServices::openUrl(url);
}

} // namespace

void previewFile(const FileController& controller, const File& file, QWidget* parent) {
    const std::vector<std::string> paths = controller.itemPaths(file);
    if (paths.empty()) return;
    if (paths.size() == 1) {
        preview(paths.front(), parent);
        return;
    }
    QMenu menu(parent);
    for (std::size_t i = 0; i < paths.size() && i < kMostFilesOffered; ++i) {
        const std::string path = paths[i];
        menu.addAction(QFileInfo(toQString(path)).fileName(),
                       [path, parent] { preview(path, parent); });
    }
    menu.exec(QCursor::pos());
}

} // namespace tessera
