#include "app/DocumentController.h"

#include "app/DocumentWindow.h"
#include "app/QtConversions.h"
#include "app/UserDefaults.h"
#include "controller/FileController.h"
#include "favorites/Favorite.h"
#include "logs/Logger.h"
#include "model/Directory.h"
#include "model/Localization.h"
#include "platform/Location.h"
#include "platform/MainQueue.h"
#include "snapshot/Snapshot.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QThreadPool>
#include <cstring>

namespace tessera {
namespace {

QString text(std::string_view key) {
    return toQString(localizedText(key));
}

QString quoted(std::string_view key, const std::string& path) {
    return toQString(localizedFormat(key, path));
}

// The build number stored in settings.json.
constexpr int kBuild = 1;

} // namespace

DocumentController::DocumentController(AppOptions options) : options_(std::move(options)) {
    if (options_.settingsPath.empty()) options_.settingsPath = settingsPath();
    LoadedSettings loaded = loadSettings(options_.settingsPath, kBuild);
    if (!loaded.problem.empty())
        Logger::log(0, "The settings could not be read (" + loaded.problem + "); kept as " +
                           loaded.keptAs + ", defaults used");
    settings_ = std::move(loaded.settings);
    graphViewOptions_.forceSoftware = options_.softwareRendering || disableOpenGL();
}

DocumentController::~DocumentController() = default;

void DocumentController::saveSettings() {
    if (auto saved = tessera::saveSettings(settings_, options_.settingsPath); !saved)
        Logger::log(0, saved.error());
}

std::vector<DocumentWindow*> DocumentController::windows() const {
    std::vector<DocumentWindow*> found;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* window = dynamic_cast<DocumentWindow*>(widget); window && window->isVisible())
            found.push_back(window);
    return found;
}

void DocumentController::showError(const QString& message) {
    ++failures_;
    Logger::log(1, message.toStdString());
    auto* box =
        new QMessageBox(QMessageBox::Critical, text("open.error.title"), message, QMessageBox::Ok);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
    emit openingFailed(message);
}

DocumentWindow* DocumentController::addWindow(std::string location,
                                              std::shared_ptr<FileController> controller,
                                              std::unique_ptr<Favorite> favorite) {
    auto* window =
        new DocumentWindow(*this, std::move(location), std::move(controller), std::move(favorite));
    window->show();
    window->raise();
    window->activateWindow();
    ++opened_;
    Logger::log(2, "Document window opened for " + window->location() + " (" +
                       std::to_string(windows().size()) + " open)");
    emit documentOpened(window);
    return window;
}

void DocumentController::open(const std::string& path) {
    const platform::Location location = platform::classifyLocation(path);
    switch (location.kind) {
    case platform::Location::Kind::folder: {
        auto favorite = std::make_unique<Favorite>(location.path, false);
        addWindow(location.path, FileController::create(location.path), std::move(favorite));
        return;
    }
    case platform::Location::Kind::regularFile:
        openSnapshot(location.path);
        return;
    case platform::Location::Kind::pipe:
    case platform::Location::Kind::other:
        showError(quoted("open.error.neither", path));
        return;
    case platform::Location::Kind::missing:
        showError(quoted("open.error.missing", path) + QStringLiteral(" ") +
                  QString::fromLocal8Bit(std::strerror(location.error)));
        return;
    }
}

void DocumentController::openSnapshot(const std::string& path) {
    ++pendingOpenings_;
    QThreadPool::globalInstance()->start([this, path] {
        auto decoded = Snapshot::loadRootFromFile(path);
        MainQueue::shared().post([this, path, decoded = std::move(decoded)]() mutable {
            --pendingOpenings_;
            if (!decoded) {
                showError(quoted("open.error.snapshot", path) + QStringLiteral("\n") +
                          toQString(decoded.error().description));
                return;
            }
            FilePtr root = std::move(*decoded);
            DirectoryPtr tree;
            if (root->isDirectory()) {
                tree.reset(static_cast<Directory*>(root.release()));
            } else {
                // A snapshot of a single file opens as an empty document.
                tree = Directory::create(root->path(), root->creationDate(),
                                         root->modificationDate(), {});
            }
            addWindow(path, FileController::create(path, std::move(tree)), nullptr);
        });
    });
}

void DocumentController::chooseFolder(QWidget* parent) {
    const QString folder = QFileDialog::getExistingDirectory(parent, text("open.title.folder"));
    if (!folder.isEmpty()) open(toPath(folder));
}

void DocumentController::chooseSnapshot(QWidget* parent) {
    const QString file = QFileDialog::getOpenFileName(parent, text("open.title.snapshot"), {},
                                                      text("open.snapshotFilter"));
    if (!file.isEmpty()) open(toPath(file));
}

void DocumentController::showAbout(QWidget* parent) {
    QMessageBox::about(
        parent, text("menu.app.about"),
        toQString(localizedFormat("about.text", QApplication::applicationVersion().toStdString())) +
            QStringLiteral("<p>Qt %1 (LGPL 3), simdjson (Apache 2.0), utf8proc (MIT), PCRE2 "
                           "(BSD), libpng (libpng licence), DejaVu fonts.</p>")
                .arg(QLatin1String(qVersion())));
}

} // namespace tessera
