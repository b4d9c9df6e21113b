#include "controller/FileController.h"

#include "base/Paths.h"
#include "controller/ChangeReporter.h"
#include "controller/FileControllerInternals.h"
#include "controller/FileControllerObserver.h"
#include "controller/HardLinks.h"
#include "logs/LogController.h"
#include "logs/Logger.h"
#include "model/Localization.h"
#include "model/MergedFile.h"
#include "model/Utf8.h"
#include "platform/FileSystem.h"
#include "platform/Files.h"
#include "platform/InotifyWatcher.h"
#include "platform/MainQueue.h"
#include "platform/MountWatcher.h"
#include "snapshot/Snapshot.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unordered_map>
#include <unordered_set>

namespace tessera {

namespace {

bool looksLikeSnapshot(const std::string& path) {
    if (path.ends_with(".fssnapshot")) return true;
    const auto status = platform::statusOfPath(path);
    return status && !status->isDirectory;
}

} // namespace

std::shared_ptr<FileController> FileController::create(std::string path, DirectoryPtr rootFile,
                                                       MainQueue& mainQueue) {
    std::shared_ptr<FileController> controller(new FileController(std::move(path), mainQueue));
    controller->subScanDelegate_ =
        std::make_shared<MeasurementDelegate>(controller, Measurement::subScan);
    controller->remeasureDelegate_ =
        std::make_shared<MeasurementDelegate>(controller, Measurement::remeasure);
    if (rootFile) {
        controller->isSnapshot_ = true;
        controller->rootFile_ = std::move(rootFile);
    } else if (looksLikeSnapshot(controller->rootPath_)) {
        controller->isSnapshot_ = true;
        if (auto root = Snapshot::loadRootFromFile(controller->rootPath_);
            root && (*root)->isDirectory())
            controller->rootFile_.reset(root->release()->asDirectory());
    }
    return controller;
}

FileController::FileController(std::string path, MainQueue& mainQueue)
    : rootPath_(standardizedPath(path)), hardLinks_(std::make_shared<HardLinkIndex>()),
      mainQueue_(mainQueue), scanOperations_(std::make_shared<std::atomic<int>>(0)),
      operationQueue_(std::make_unique<OperationQueue>()),
      liveWatch_(std::make_unique<LiveWatch>(*operationQueue_, mainQueue, scanOperations_)) {}

FileController::~FileController() {
    detach();
    operationQueue_.reset(); // waits for the running operation
}

void FileController::addObserver(FileControllerObserver& observer) {
    observers_.push_back(&observer);
}

void FileController::removeObserver(FileControllerObserver& observer) {
    std::erase(observers_, &observer);
}

ChangeReporter FileController::reporter() {
    return ChangeReporter(observers_, mainQueue_);
}

File& FileController::insert(Directory& parent, FilePtr file) {
    ++membershipVersion_;
    File& inserted = *file;
    const auto [index, batch] = parent.add(std::move(file));
    linksArriving(inserted);
    reporter().insertion(parent, index, batch);
    redateLater(parent);
    return inserted;
}

void FileController::erase(File& file) {
    ++membershipVersion_;
    const std::string relative = file.relativePath();
    linksLeaving(file, joinPath(rootPath_, relative));
    forgetLeftOut(relative);
    Directory& parent = *file.parent();
    auto removal = parent.remove(file);
    reporter().removal(std::move(removal.file), parent, removal.index, removal.batch);
    redateLater(parent);
}

void FileController::redateLater(const Directory& folder) {
    if (isSnapshot_) return;
    // A folder whose entries changed has a new modification date on disk; it is read once per
    // turn of the main queue however many entries changed.
    foldersToRedate_.insert(folder.relativePath());
    if (redatePosted_) return;
    redatePosted_ = true;
    mainQueue_.post([weak = weak_from_this()] {
        auto controller = weak.lock();
        if (!controller) return;
        controller->redatePosted_ = false;
        controller->performUpdate([controller = controller.get()] { controller->redateFolders(); });
    });
}

void FileController::redateFolders() {
    auto paths = std::exchange(foldersToRedate_, {});
    if (!rootFile_) return;
    for (const std::string& path : paths) {
        File* found = rootFile_->fileAtPath(path);
        if (found == nullptr || !found->isDirectory()) continue;
        const auto status = platform::statusOfPath(absolutePath(*found));
        if (status && status->isDirectory)
            updateDates(*found, status->creationDate, status->modificationDate);
    }
}

bool FileController::updateDates(File& file, Date creation, Date modification) {
    if (file.creationDate() == creation && file.modificationDate() == modification) return true;
    if (!file.setDates(creation, modification)) return false;
    reporter().change(file, false, 0, 0, {});
    return true;
}

int FileController::scanOperationCount() const {
    return scanOperations_->load();
}

std::optional<std::int64_t> FileController::rootSize() const {
    if (!rootFile_) return std::nullopt;
    return rootFile_->size();
}

std::optional<VolumeAccount> FileController::volumeAccount() const {
    if (isSnapshot_ || !rootFile_) return std::nullopt;
    auto account =
        accountVolume(rootPath_, rootFile_->allocatedSize(),
                      static_cast<std::int64_t>(unreadable_.count()), platform::readMounts());
    if (account) account->excluded = static_cast<std::int64_t>(excluded_.count());
    return account;
}

// MARK: Scanning

void FileController::startScan() {
    if (isSnapshot_) return;
    if (favorite_ == nullptr) {
        startWatching(platform::InotifyWatcher::Coverage::wholeTree);
        return;
    }
    // The scan's walk watches each folder as it opens it, before reading its entries: a change
    // is then either in what the scan reads or told afterwards, and the first picture does not
    // wait for a walk of its own that sets the watches up.
    const bool watching = startWatching(platform::InotifyWatcher::Coverage::rootOnly);
    ++*scanOperations_;
    auto scan = std::make_shared<ScanOperation>(rootPath_, favorite_->activeExclusion(), false,
                                                weak_from_this(), mainQueue_);
    scan->setLinkedFileFound(
        [links = hardLinks_](std::string path, const platform::EntryStatus& status) {
            links->add(std::move(path), status);
        });
    if (watching) {
        scan->setFolderOpened(liveWatch_->folderOpened(),
                              platform::InotifyWatcher::prepareWatchingThread);
    }
    if (wantsScanPreview_ && !hasLoaded_) {
        preview_ = std::make_unique<ScanPreview>();
        scan->setListsFolders(true);
    }
    if (!hasLoaded_) firstScan_ = scan;
    operationQueue_->add(std::move(scan));
}

bool FileController::startWatching(platform::InotifyWatcher::Coverage coverage) {
    std::weak_ptr<FileController> weak = weak_from_this();
    LiveWatch::Deliveries deliveries;
    deliveries.changes = [weak](std::vector<LiveChange> changes) {
        auto controller = weak.lock();
        if (!controller) return;
        for (LiveChange& change : changes)
            controller->performUpdate([controller = controller.get(), change = std::move(change)] {
                controller->apply(change);
            });
    };
    deliveries.volumes = [weak](std::vector<platform::VolumeEvent> events) {
        auto controller = weak.lock();
        if (!controller) return;
        for (const platform::VolumeEvent& event : events)
            controller->performUpdate(
                [controller = controller.get(), event] { controller->applyVolumeEvent(event); });
    };
    deliveries.failed = [weak, root = rootPath_](std::string reason) {
        auto controller = weak.lock();
        if (!controller) return;
        controller->isLive_ = false;
        controller->notLiveReason_ = reason;
        LogController::shared().add(
            LogLine::watchError(root, {"Changes cannot be followed: " + reason, {}, 0}));
        controller->followingChanged_();
    };
    return liveWatch_->start(rootPath_, coverage, std::move(deliveries));
}

void FileController::detach() {
    liveWatch_->stop();
    operationQueue_->cancelAllOperations();
    *scanOperations_ = 0;
    updateQueue_.clear();
    queuedMeasurements_.clear();
    entryBatches_.clear();
    burstActivity_.clear();
}

void FileController::scanOperationDidUpdateProgress(const ScanProgress& progress) {
    if (rootFile_) return;
    for (FileControllerObserver* observer : std::vector(observers_))
        observer->fileControllerDidUpdateProgress(progress);
}

void FileController::scanOperationDidFinish(FilePtr root, const std::string& /*path*/,
                                            ScanLeftOut leftOut) {
    --*scanOperations_;
    performUpdate([this, root = std::move(root), leftOut = std::move(leftOut)]() mutable {
        // Only the first scan's result becomes the root: after the location was deleted, a late
        // delivery is no tree of it any more.
        if (rootFile_ || hasLoaded_) return;
        hasLoaded_ = true;
        firstScan_.reset();
        // The picture of the scan is let go once its observers have taken the tree, or heard
        // that there is none.
        DirectoryPtr preview = preview_ ? preview_->takeRoot() : DirectoryPtr();
        preview_.reset();
        const auto retire = [this](DirectoryPtr picture) {
            if (picture) mainQueue_.post([retired = FilePtr(picture.release())] {});
        };
        if (!root || !root->isDirectory()) {
            // Nothing there to scan (the folder went before its scan): the tree ended before
            // it began, and the observers hear so instead of waiting for it.
            for (FileControllerObserver* observer : std::vector(observers_))
                observer->fileControllerDidClose();
            retire(std::move(preview));
            return;
        }
        rootFile_.reset(root.release()->asDirectory());
        rootFile_->setPackageFlag(false);
        noteLeftOut("", leftOut);
        // Counted once before anyone sees the tree: nothing to tell.
        if (hardLinkCounting_ == HardLinkCounting::once) {
            for (const UncountedName& taken :
                 countLinksOnce(*rootFile_, rootPath_, hardLinks_->names(), SizeMode::fileSize))
                uncounted_.emplace(taken.name, taken);
            hardLinks_->takeChanges(); // the scan's names, counted just now
        }
        for (FileControllerObserver* observer : std::vector(observers_))
            observer->fileControllerDidLoadRootFile();
        retire(std::move(preview));
        if (favorite_ != nullptr) favorite_->updateSizes();
    });
}

void FileController::scanOperationDidListFolders(std::vector<FolderListing> listed,
                                                 std::vector<const void*> finished) {
    if (rootFile_ || hasLoaded_ || !preview_) return;
    const bool hadRoot = preview_->root() != nullptr;
    preview_->add(std::move(listed), finished, [this, hadRoot](Directory& parent, FilePtr node) {
        const auto [index, batch] = parent.add(std::move(node));
        if (hadRoot) reporter().insertion(parent, index, batch);
    });
    Directory* root = preview_->root();
    if (root == nullptr) return;
    if (!hadRoot) {
        root->setPackageFlag(false);
        for (FileControllerObserver* observer : std::vector(observers_))
            observer->fileControllerDidLoadRootFile();
    } else if (!finished.empty()) {
        // Folders read to the end change how they are drawn, not where.
        for (FileControllerObserver* observer : std::vector(observers_))
            observer->fileControllerDidChange(*root);
    }
}

// MARK: Updates

void FileController::performUpdate(Update work) {
    if (isUpdateQueuePaused_)
        updateQueue_.push_back(std::move(work));
    else
        runUpdate(work);
}

void FileController::runUpdate(Update& work) {
    // Every change of what the tree leaves out is made by an update: its observers hear of it
    // once the update is done.
    const auto leftOut = [this] { return std::pair(unreadable_.count(), excluded_.count()); };
    const auto before = leftOut();
    work();
    if (leftOut() != before)
        for (FileControllerObserver* observer : std::vector(observers_))
            observer->fileControllerDidChangeLeftOut();
}

void FileController::resumeUpdates() {
    // The last reader to let go lets the updates run.
    if (pauses_ > 0 && --pauses_ > 0) return;
    // Updates that the held-back ones cause queue behind them and run in this loop too.
    while (!updateQueue_.empty()) {
        Update work = std::move(updateQueue_.front());
        updateQueue_.pop_front();
        runUpdate(work);
    }
    isUpdateQueuePaused_ = false;
}

// MARK: Questions about nodes

std::string FileController::absolutePath(const File& file) const {
    return joinPath(rootPath_, file.relativePath());
}

std::vector<std::string> FileController::itemPaths(const File& file) const {
    const MergedFile* merged = file.asMerged();
    if (merged == nullptr) return {absolutePath(file)};
    std::vector<std::string> paths;
    const Directory* owner = merged->parent();
    if (owner == nullptr) return paths;
    const auto contents = owner->contents();
    const auto count = static_cast<std::ptrdiff_t>(contents.size());
    for (std::ptrdiff_t i = std::max<std::ptrdiff_t>(0, count - merged->mergedContentCount());
         i < count; ++i)
        paths.push_back(absolutePath(*contents[static_cast<std::size_t>(i)]));
    return paths;
}

std::string FileController::displayName(const File& file) const {
    if (const MergedFile* merged = file.asMerged())
        return localizedCountFormat("file.display.childCount", merged->mergedContentCount());
    if (isSnapshot_) {
        if (!file.path().empty()) return file.displayName();
        std::string_view name = lastComponent(rootPath_);
        if (const auto dot = name.rfind('.'); dot != std::string_view::npos && dot > 0)
            name = name.substr(0, dot);
        return toDisplayString(name);
    }
    return toDisplayString(lastComponent(absolutePath(file)));
}

void FileController::loadPackageFlag(File& file) const {
    Directory* directory = file.asDirectory();
    if (directory == nullptr || directory->didLoadPackageFlag() || isSnapshot_) return;
    directory->setPackageFlag(false); // no packages on Linux: folders always show their contents
}

bool FileController::canMoveToTrash(const File& file) const {
    // A snapshot's nodes stand for no files: deleting one only removes the node.
    // Neither can the picture of a scan still running: its nodes are no files either.
    if (isSnapshot_ || !rootFile_ || &file == rootFile_.get() || file.parent() == nullptr ||
        file.asMerged() != nullptr)
        return false;
    const std::string path = absolutePath(file);
    return path.find("/.Trash") == std::string::npos && !platform::Trash::isInsideTrash(path);
}

std::expected<platform::TrashedItem, std::string> FileController::moveToTrash(const File& file) {
    if (!canMoveToTrash(file))
        return std::unexpected(toDisplayString(absolutePath(file)) +
                               ": cannot be moved to the trash");
    auto trashed = platform::Trash::moveToTrash(absolutePath(file));
    if (!trashed) return std::unexpected(trashed.error());
    performUpdate([this, item = *trashed] { applyUpdate(item.originalPath, item.trashedPath); });
    return trashed;
}

std::expected<void, std::string> FileController::restore(const platform::TrashedItem& item) {
    auto restored = platform::Trash::restore(item);
    if (!restored) return restored;
    performUpdate([this, item] { applyUpdate(item.trashedPath, item.originalPath); });
    return {};
}

void FileController::exclusionDidChange(const std::string& path) {
    if (!rootFile_ || isSnapshot_) return;
    const auto relative = relativeToRoot(path);
    if (!relative || relative->empty()) return; // the root is never left out
    if (!isExcluded(path)) {
        requestMeasurement(path, Measurement::subScan);
        return;
    }
    // Held back while a search reads the tree, like any change.
    performUpdate([this, relative = *relative] {
        if (!rootFile_) return;
        if (File* node = rootFile_->fileAtPath(relative); node != nullptr && node->parent()) {
            erase(*node);
            excluded_.add({relative});
        }
    });
}

void FileController::measureAgain(const std::string& path) {
    if (!rootFile_ || isSnapshot_) return;
    const auto relative = relativeToRoot(path);
    if (!relative) return;
    const bool known = relative->empty() || rootFile_->fileAtPath(*relative) != nullptr;
    requestMeasurement(path, known ? Measurement::remeasure : Measurement::subScan);
}

bool FileController::removeFromSnapshot(File& file) {
    if (!isSnapshot_ || file.parent() == nullptr || file.asMerged() != nullptr) return false;
    if (!isUpdateQueuePaused_) {
        erase(file);
        return true;
    }
    // Held back while a search reads the tree: the node is looked for when its turn comes, as
    // it may have gone meanwhile.
    performUpdate([this, target = &file] {
        if (!rootFile_) return;
        std::vector<Directory*> pending{rootFile_.get()};
        while (!pending.empty()) {
            Directory* folder = pending.back();
            pending.pop_back();
            for (File* child : folder->contents()) {
                if (child == target) {
                    erase(*child);
                    return;
                }
                if (Directory* sub = child->asDirectory()) pending.push_back(sub);
            }
        }
    });
    return true;
}

std::expected<void, std::string> FileController::move(const File& file, const std::string& path) {
    const std::string from = absolutePath(file);
    if (!rootFile_) return std::unexpected(toDisplayString(from) + ": the scan is still running");
    if (const auto renamed = platform::renameWithoutReplacing(from, path); !renamed)
        return std::unexpected(toDisplayString(from) + ": " + std::strerror(renamed.error()));
    performUpdate([this, from, to = path] { applyUpdate(from, to); });
    return {};
}

} // namespace tessera
