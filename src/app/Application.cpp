#include "app/Application.h"

#include "app/Build.h"
#include "app/QtConversions.h"
#include "app/commands/ToggleItemAccessible.h"
#include "app/defaults/SettingsMigration.h"
#include "app/defaults/UserDefaultValue.h"
#include "app/defaults/UserDefaults.h"
#include "app/defaults/WhatsNewDialog.h"
#include "app/document/DocumentWindow.h"
#include "app/document/SnapshotReadingDialog.h"
#include "app/favorites/FavoritesWindow.h"
#include "app/sequence/SequenceSelectionDialog.h"
#include "app/sequence/SequenceWindow.h"
#include "controller/FileController.h"
#include "controller/TreeLoading.h"
#include "favorites/Favorite.h"
#include "graph/SequenceSlider.h"
#include "logs/LogController.h"
#include "logs/Logger.h"
#include "model/Directory.h"
#include "model/Localization.h"
#include "platform/FileSystem.h"
#include "platform/Location.h"
#include "platform/MainQueue.h"
#include "platform/Volumes.h"
#include "snapshot/Snapshot.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>
#include <QStyle>
#include <QThreadPool>
#include <QTimer>
#include <cerrno>
#include <cstring>
#include <ctime>

namespace tessera {
namespace {

// The controller of a folder a window shows: its scan draws what it has read while it runs.
std::shared_ptr<FileController> scannedController(const std::string& path) {
    auto controller = FileController::create(path);
    controller->setWantsScanPreview(true);
    return controller;
}

// A tree read or copied as a document's root: a snapshot of a single file opens as an empty
// folder.
DirectoryPtr asTree(FilePtr root) {
    if (root->isDirectory()) return DirectoryPtr(static_cast<Directory*>(root.release()));
    return Directory::create(root->path(), root->creationDate(), root->modificationDate(), {});
}

// What the favourites list offers on the first start: the home folder and the disks.
std::vector<std::string> firstStartLocations() {
    std::vector<std::string> locations{QDir::homePath().toStdString()};
    for (const platform::Mount& mount : platform::readMounts())
        if (platform::isUserVolume(mount)) locations.push_back(mount.mountPoint);
    return locations;
}

} // namespace

Application::Application(AppOptions options)
    : options_(std::move(options)),
      favorites_(options_.settingsPath.empty() ? settingsPath() : options_.settingsPath, kBuild) {
    exposeToggleMenuItems();
    upgradeFromLastVersion();
    favorites_.load(firstStartLocations());
    reportSettingsProblems();
    favorites_.startWatchingVolumes(MainQueue::shared());
    graphViewOptions_.forceSoftware = options_.softwareRendering || disableOpenGL();
}

Application::~Application() {
    delete favoritesWindow_.data();
    delete whatsNew_.data();
}

void Application::upgradeFromLastVersion() {
    OptionalUserDefaultValue<int> lastVersion(QStringLiteral("lastVersion"));
    if (lastVersion.value() && *lastVersion.value() < kBuild) {
        const int old = *lastVersion.value();
        Logger::log(1, "Upgrading from build " + std::to_string(old));
        const auto defaults = userDefaults();
        if (auto migrated = migrateSettings(old, *defaults, favorites_.settingsPath(), kBuild);
            !migrated)
            showError(localizedQString("settings.migration.error") + QStringLiteral("\n") +
                      toQString(migrated.error()));
        if (old < WhatsNewDialog::kFirstBuildWithItems) {
            whatsNew_ = new WhatsNewDialog;
            whatsNew_->show();
        }
    }
    lastVersion.setValue(kBuild);
}

QWidget& Application::showWhatsNew() {
    if (!whatsNew_) whatsNew_ = new WhatsNewDialog;
    whatsNew_->show();
    whatsNew_->raise();
    whatsNew_->activateWindow();
    return *whatsNew_;
}

FavoritesWindow& Application::showFavorites() {
    if (!favoritesWindow_) favoritesWindow_ = new FavoritesWindow(*this);
    favoritesWindow_->show();
    favoritesWindow_->raise();
    favoritesWindow_->activateWindow();
    return *favoritesWindow_;
}

std::vector<DocumentWindow*> Application::windows() const {
    std::vector<DocumentWindow*> found;
    for (const QPointer<DocumentWindow>& window : windows_)
        if (window && window->isVisible()) found.push_back(window);
    return found;
}

void Application::reportSettingsProblems() {
    std::vector<std::string> notes = favorites_.loadRepairs();
    const bool unusable = !favorites_.loadProblem().empty();
    if (unusable) notes.insert(notes.begin(), favorites_.loadProblem());
    if (notes.empty()) return;
    QString text = localizedQString(unusable ? "settings.unusable.text" : "settings.repaired.text");
    for (const std::string& note : notes) {
        LogController::shared().add(LogLine::settingsError(favorites_.settingsPath(), note));
        text += QStringLiteral("\n\u2022 ") + toQString(note);
    }
    if (!favorites_.keptAs().empty())
        text += QStringLiteral("\n\n") +
                toQString(localizedFormat("settings.repaired.kept", favorites_.keptAs()));
    // Said once, when the app starts; the Logs window keeps the lines.
    auto* box = new QMessageBox(QMessageBox::Warning, localizedQString("settings.repaired.title"),
                                text, QMessageBox::Ok);
    box->setObjectName(QStringLiteral("settingsNotice"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

void Application::showError(const QString& message) {
    ++failures_;
    Logger::log(1, message.toStdString());
    auto* box = new QMessageBox(QMessageBox::Critical, localizedQString("open.error.title"),
                                message, QMessageBox::Ok);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
    emit openingFailed(message);
}

DocumentWindow* Application::addWindow(std::string location,
                                       std::shared_ptr<FileController> controller,
                                       std::shared_ptr<Favorite> favorite) {
    auto* window =
        new DocumentWindow(*this, std::move(location), std::move(controller), std::move(favorite));
    std::erase_if(windows_, [](const QPointer<DocumentWindow>& open) { return open.isNull(); });
    windows_.emplace_back(window);
    window->show();
    window->raise();
    window->activateWindow();
    ++opened_;
    Logger::log(2, "Document window opened for " + window->location() + " (" +
                       std::to_string(windows().size()) + " open)");
    emit documentOpened(window);
    return window;
}

void Application::open(const std::string& path) {
    const auto location = openableLocation(path);
    if (!location) {
        showError(toQString(location.error().message()));
        return;
    }
    if (location->kind == platform::Location::Kind::folder) {
        const auto [index, present] = favorites_.add(location->path, false);
        // A place new to the list is its selected row.
        if (!present && favoritesWindow_) favoritesWindow_->selectRow(static_cast<int>(index));
        open(favorites_.at(index));
    } else
        openSnapshot(location->path);
}

void Application::open(const std::shared_ptr<Favorite>& favorite) {
    for (DocumentWindow* window : windows()) {
        if (window->favorite() != favorite.get()) continue;
        window->raise();
        window->activateWindow();
        return;
    }
    if (!favorite->url()) {
        favorite->resolve();
        if (!favorite->url()) {
            showError(toQString(favorite->name()));
            return;
        }
    }
    // A favourite whose window closed keeps its tree (and goes on watching it), so opening it
    // again shows it at once.
    auto controller = std::dynamic_pointer_cast<FileController>(favorite->sharedFileController());
    if (!controller) {
        // The scan starts before the window is built: its first folders are read meanwhile.
        controller = scannedController(*favorite->url());
        favorite->setFileController(controller);
    }
    addWindow(*favorite->url(), std::move(controller), favorite);
}

void Application::rescan(const std::shared_ptr<Favorite>& favorite) {
    if (favorite->url()) favorite->setFileController(scannedController(*favorite->url()));
}

void Application::openSnapshot(const std::string& path) {
    ++pendingOpenings_;
    // A large file shows how far its reading has come, and may be cancelled.
    auto progress = std::make_shared<ReadProgress>();
    QPointer<SnapshotReadingDialog> reading = new SnapshotReadingDialog(path, progress);
    // While the file is read, the OpenGL driver loads (once a process: the probe's answer is
    // kept), so that the window, when the tree comes, holds the main thread for less.
    QTimer::singleShot(0, this, [this] {
        if (!graphViewOptions_.forceSoftware) graphViewOptions_.probe();
    });
    QThreadPool::globalInstance()->start([this, path, progress, reading] {
        auto loaded = loadTree(path, Pipes::refused, {}, progress.get());
        MainQueue::shared().post([this, path, reading, progress,
                                  loaded = std::move(loaded)]() mutable {
            --pendingOpenings_;
            delete reading.data();
            if (!loaded) {
                // Cancelled: what was read is gone, and nothing is to be said.
                if (loaded.error().kind != TreeLoadError::Kind::cancelled)
                    showError(toQString(loaded.error().message()));
                return;
            }
            if (progress->cancelled) {
                // Cancelled after the reading ended, before its tree came here: the tree goes
                // (freed off the main thread, as it may be large) and no window opens.
                QThreadPool::globalInstance()->start(
                    [tree = std::make_shared<FilePtr>(std::move(loaded->root))]() mutable {
                        tree.reset();
                    });
                return;
            }
            addWindow(path, FileController::create(path, asTree(std::move(loaded->root))), nullptr);
        });
    });
}

void Application::openSequence(const std::vector<std::string>& paths) {
    if (paths.size() < 2) {
        showError(localizedQString("open.error.noSequence"));
        return;
    }
    // Each tree is read on the thread pool; the window opens when the last one is in.
    struct Reading {
        std::vector<std::string> locations;
        std::vector<DirectoryPtr> trees;
        std::vector<Date> dates;
        std::size_t remaining = 0;
        bool failed = false;
    };
    auto reading = std::make_shared<Reading>();
    reading->trees.resize(paths.size());
    reading->dates.resize(paths.size());
    reading->remaining = paths.size();
    for (const std::string& path : paths) {
        const auto location = openableLocation(path);
        if (!location) {
            showError(toQString(location.error().message()));
            return;
        }
        reading->locations.push_back(location->path);
    }
    pendingOpenings_ += 1;
    for (std::size_t i = 0; i < reading->locations.size(); ++i) {
        QThreadPool::globalInstance()->start([this, reading, i] {
            auto loaded = loadTree(reading->locations[i]);
            MainQueue::shared().post([this, reading, i, loaded = std::move(loaded)]() mutable {
                if (reading->failed) return;
                if (!loaded) {
                    reading->failed = true;
                    --pendingOpenings_;
                    showError(toQString(loaded.error().message()));
                    return;
                }
                reading->trees[i] = asTree(std::move(loaded->root));
                reading->dates[i] = loaded->date;
                if (--reading->remaining > 0) return;
                --pendingOpenings_;
                std::vector<std::shared_ptr<FileController>> trees;
                for (std::size_t k = 0; k < reading->trees.size(); ++k)
                    trees.push_back(FileController::create(reading->locations[k],
                                                           std::move(reading->trees[k])));
                showSequence(std::move(trees), reading->dates);
            });
        });
    }
}

void Application::chooseSequence(QWidget* parent) {
    std::vector<SequenceCandidate> candidates;
    QStyle* style = QApplication::style();
    // The favourites holding a scanned tree, in the list's order (also those whose windows
    // closed), then the snapshots open in windows.
    for (std::size_t i = 0; i < favorites_.count(); ++i) {
        const std::shared_ptr<Favorite>& favorite = favorites_.at(i);
        auto controller =
            std::dynamic_pointer_cast<FileController>(favorite->sharedFileController());
        if (!controller || controller->loadedRootFile() == nullptr) continue;
        candidates.push_back({toQString(favorite->name()),
                              style->standardIcon(favorite->isVolume() ? QStyle::SP_DriveHDIcon
                                                                       : QStyle::SP_DirIcon),
                              std::move(controller)});
    }
    for (DocumentWindow* window : windows()) {
        const auto& controller = window->sharedFileController();
        if (window->favorite() != nullptr || !controller || controller->loadedRootFile() == nullptr)
            continue;
        candidates.push_back(
            {window->windowTitle(), style->standardIcon(QStyle::SP_FileIcon), controller});
    }
    SequenceSelectionDialog dialog(std::move(candidates), parent);
    if (dialog.exec() != QDialog::Accepted) return;
    std::vector<std::shared_ptr<FileController>> trees;
    std::vector<Date> dates;
    for (const auto& controller : dialog.chosen()) {
        if (controller->isSnapshot()) {
            trees.push_back(controller);
            const auto status = platform::statusOfPath(controller->rootPath());
            dates.push_back(status ? status->modificationDate : Date{});
            continue;
        }
        // A live tree goes on changing; the sequence compares it as it stands now.
        FilePtr copy = controller->loadedRootFile()->copy();
        trees.push_back(FileController::create(controller->rootPath(), asTree(std::move(copy))));
        dates.push_back(Date::fromUnixSeconds(std::time(nullptr)));
    }
    if (trees.size() >= 2) showSequence(std::move(trees), dates);
}

void Application::showSequence(std::vector<std::shared_ptr<FileController>> trees,
                               const std::vector<Date>& dates) {
    std::vector<SequenceTree> named;
    for (std::size_t i = 0; i < trees.size(); ++i)
        named.push_back({trees[i]->displayName(*trees[i]->rootFile()), dates[i]});
    auto* window = new SequenceWindow(*this, std::move(trees), sequenceTickLabels(named));
    window->show();
    window->raise();
    window->activateWindow();
    ++opened_;
    emit sequenceOpened(window);
}

void Application::chooseFolder(QWidget* parent) {
    const QString folder =
        QFileDialog::getExistingDirectory(parent, localizedQString("open.title.folder"));
    if (!folder.isEmpty()) open(toPath(folder));
}

void Application::chooseSnapshot(QWidget* parent) {
    const QString file =
        QFileDialog::getOpenFileName(parent, localizedQString("open.title.snapshot"), {},
                                     localizedQString("open.snapshotFilter"));
    if (!file.isEmpty()) open(toPath(file));
}

void Application::showAbout(QWidget* parent) {
    QMessageBox::about(
        parent, localizedQString("menu.app.about"),
        toQString(localizedFormat("about.text", QApplication::applicationVersion().toStdString())) +
            QStringLiteral("<p>Qt %1 (LGPL 3), simdjson (Apache 2.0), utf8proc (MIT), PCRE2 "
                           "(BSD), libpng (libpng licence), DejaVu fonts.</p>")
                .arg(QLatin1String(qVersion())));
}

} // namespace tessera
