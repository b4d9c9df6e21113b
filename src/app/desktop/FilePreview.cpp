#include "app/desktop/FilePreview.h"

#include "app/QtConversions.h"
#include "app/desktop/SessionBus.h"
#include "controller/FileController.h"
#include "logs/Logger.h"

#include <QCursor>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QFileInfo>
#include <QMenu>
#include <QUrl>
#include <QWidget>

namespace tessera {
namespace {

constexpr auto kPreviewerService = "org.gnome.NautilusPreviewer";
constexpr int kMostFilesOffered = 40;

void preview(const std::string& path, QWidget* parent) {
    const QUrl url = fileUrl(path);
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (isServiceAvailable(bus, QString::fromLatin1(kPreviewerService))) {
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
