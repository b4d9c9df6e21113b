#include "controller/FileController.h"

#include "base/Paths.h"
#include "controller/ChangeReporter.h"
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
#include <fcntl.h>
#include <mutex>
#include <stdio.h>
#include <unordered_map>
#include <unordered_set>

namespace tessera {

using platform::FileEvent;

// What the watcher's thread and the queue's operations share with the controller: events not
// yet handled, and the watcher. It holds no reference to the controller, so that the controller
// is only ever released on the main thread.
// Entries of a folder in a burst, measured together by one operation on the queue.
struct FileController::EntryBatch {
    std::mutex mutex;
    bool started = false;
    std::vector<std::string> names;
    std::unordered_set<std::string> seen;
};

struct FileController::Inbox {
    std::mutex mutex;
    std::vector<FileEvent> events;
    bool drainQueued = false;
    std::uint64_t generation = 0; // changes when the controller detaches
    /// Scans started and not finished; here so that the queue's diagnostics can read it without
    /// holding the controller (which must only ever be released on the main thread).
    std::atomic<int> scanOperations{0};
    std::unique_ptr<platform::InotifyWatcher> watcher;
    /// Mounts made or removed below the root change what a scan would count.
    std::unique_ptr<platform::MountWatcher> mounts;
};

// Hears of the live updates' measurements, which show no progress.
class FileController::MeasurementDelegate final : public ScanOperationDelegate {
public:
    MeasurementDelegate(std::weak_ptr<FileController> controller, Measurement kind)
        : controller_(std::move(controller)), kind_(kind) {}
    void scanOperationDidUpdateProgress(const ScanProgress&) override {}
    void scanOperationDidFinish(FilePtr root, const std::string& path) override {
        if (auto controller = controller_.lock())
            controller->measurementDidFinish(std::move(root), path, kind_);
    }

private:
    std::weak_ptr<FileController> controller_;
    Measurement kind_;
};

namespace {

constexpr std::uint8_t kEventLevel = 2;

bool looksLikeSnapshot(const std::string& url) {
    if (url.ends_with(".fssnapshot")) return true;
    const auto status = platform::statusOfPath(url);
    return status && !status->isDirectory;
}

std::size_t indexOf(const Directory& parent, const File& child) {
    const auto contents = parent.contents();
    return static_cast<std::size_t>(std::find(contents.begin(), contents.end(), &child) -
                                    contents.begin());
}

void logEvent(const FileEvent& event, int queued) {
    if (Logger::level() < kEventLevel) return;
    const std::string tail = ", " + std::to_string(queued) + " queued operations.";
    switch (event.kind) {
    case FileEvent::Kind::appeared:
        Logger::log(kEventLevel, "Appear " + event.path + tail);
        break;
    case FileEvent::Kind::changed:
        Logger::log(kEventLevel, "Change " + event.path + tail);
        break;
    case FileEvent::Kind::moved:
        Logger::log(kEventLevel, "Move " + event.path + " to " + event.newPath + tail);
        break;
    case FileEvent::Kind::deleted:
        Logger::log(kEventLevel, "Delete " + event.path + tail);
        break;
    case FileEvent::Kind::rootMoved:
    case FileEvent::Kind::rootDeleted:
    case FileEvent::Kind::lost:
    case FileEvent::Kind::unwatched:
        break;
    }
}

} // namespace

std::shared_ptr<FileController> FileController::create(std::string url, DirectoryPtr rootFile,
                                                       MainQueue& mainQueue) {
    std::shared_ptr<FileController> controller(new FileController(std::move(url), mainQueue));
    controller->subScanDelegate_ =
        std::make_shared<MeasurementDelegate>(controller, Measurement::subScan);
    controller->remeasureDelegate_ =
        std::make_shared<MeasurementDelegate>(controller, Measurement::remeasure);
    if (rootFile) {
        controller->isSnapshot_ = true;
        controller->rootFile_ = std::move(rootFile);
    } else if (looksLikeSnapshot(controller->rootURL_)) {
        controller->isSnapshot_ = true;
        if (auto root = Snapshot::loadRootFromFile(controller->rootURL_);
            root && (*root)->isDirectory())
            controller->rootFile_.reset(root->release()->asDirectory());
    }
    return controller;
}

FileController::FileController(std::string url, MainQueue& mainQueue)
    : rootURL_(standardizedPath(url)), hardLinks_(std::make_shared<HardLinkIndex>()),
      mainQueue_(mainQueue), inbox_(std::make_shared<Inbox>()),
      operationQueue_(std::make_unique<OperationQueue>()) {}

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
    reporter().insertion(parent, index, batch);
    redateLater(parent);
    return inserted;
}

void FileController::erase(File& file) {
    ++membershipVersion_;
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
    return inbox_->scanOperations.load();
}

std::optional<std::int64_t> FileController::rootSize() const {
    if (!rootFile_) return std::nullopt;
    return rootFile_->size();
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
    ++inbox_->scanOperations;
    auto scan = std::make_shared<ScanOperation>(rootURL_, favorite_->activeExclusion(), false,
                                                weak_from_this(), mainQueue_);
    scan->setLinkedFileFound(
        [links = hardLinks_](std::string path) { links->add(std::move(path)); });
    if (watching) {
        scan->setFolderOpened([inbox = inbox_](int directoryFd, const std::string& path) {
            std::lock_guard lock(inbox->mutex);
            if (inbox->watcher) inbox->watcher->watchFolder(directoryFd, path);
        });
    }
    operationQueue_->add(std::move(scan));
}

bool FileController::startWatching(platform::InotifyWatcher::Coverage coverage) {
    // The watcher starts on the queue, before the scan reads anything, so that no change is
    // missed and the main thread never waits for it. Events then queue behind the scan and are
    // applied once its tree is in place.
    std::uint64_t generation;
    {
        std::lock_guard lock(inbox_->mutex);
        if (inbox_->watcher) return false;
        generation = inbox_->generation;
    }
    std::shared_ptr<Inbox> inbox = inbox_;
    OperationQueue* queue = operationQueue_.get();
    std::weak_ptr<FileController> weak = weak_from_this();
    MainQueue* mainQueue = &mainQueue_;
    const auto drain = [inbox, weak, mainQueue](const Operation&) {
        std::vector<FileEvent> events;
        std::uint64_t drained;
        {
            std::lock_guard lock(inbox->mutex);
            events.swap(inbox->events);
            inbox->drainQueued = false;
            drained = inbox->generation;
        }
        const int queued = inbox->scanOperations.load();
        for (const FileEvent& event : events)
            logEvent(event, queued);
        auto changes = std::make_shared<std::vector<LiveChange>>(planLiveChanges(
            events, [](const std::string& path) { return platform::entryExists(path); }));
        mainQueue->post([inbox, weak, drained, changes] {
            auto controller = weak.lock();
            if (!controller) return;
            {
                std::lock_guard lock(inbox->mutex);
                if (inbox->generation != drained) return;
            }
            for (LiveChange& change : *changes)
                controller->performUpdate(
                    [controller = controller.get(), change = std::move(change)] {
                        controller->apply(change);
                    });
        });
    };
    queue->add([inbox, queue, generation, drain, root = rootURL_, weak, mainQueue,
                coverage](const Operation&) {
        Inbox* raw = inbox.get();
        auto handler = [raw, queue, drain](std::vector<FileEvent> events) {
            std::lock_guard lock(raw->mutex);
            raw->events.insert(raw->events.end(), std::make_move_iterator(events.begin()),
                               std::make_move_iterator(events.end()));
            if (raw->drainQueued) return;
            raw->drainQueued = true;
            queue->add(drain);
        };
        auto watcher = platform::InotifyWatcher::start(root, std::move(handler), coverage);
        if (!watcher) {
            // Said at every log level: the tree no longer follows the disk.
            Logger::log(0, "Cannot watch " + root + " for changes (" + watcher.error() +
                               "); its tree is not kept up to date");
            mainQueue->post([weak, root, error = watcher.error()] {
                auto controller = weak.lock();
                if (!controller) return;
                controller->isLive_ = false;
                controller->notLiveReason_ = error;
                LogController::shared().add(LogLine::scanError(
                    root, LogLine::Error{"Changes cannot be followed: " + error, "inotify", 0}));
                controller->stoppedFollowingChanges_();
            });
            return;
        }
        auto mounts = std::make_unique<platform::MountWatcher>(
            [weak, mainQueue, inbox, generation](std::vector<platform::VolumeEvent> events) {
                mainQueue->post([weak, inbox, generation, events = std::move(events)] {
                    auto controller = weak.lock();
                    if (!controller) return;
                    {
                        std::lock_guard lock(inbox->mutex);
                        if (inbox->generation != generation) return;
                    }
                    for (const platform::VolumeEvent& event : events)
                        controller->performUpdate([controller = controller.get(), event] {
                            controller->applyVolumeEvent(event);
                        });
                });
            });
        std::unique_ptr<platform::InotifyWatcher> unusedWatcher;
        std::unique_ptr<platform::MountWatcher> unusedMounts;
        std::lock_guard lock(inbox->mutex);
        if (inbox->generation == generation && !inbox->watcher) {
            inbox->watcher = std::move(*watcher);
            inbox->mounts = std::move(mounts);
        } else {
            // Detached meanwhile; they stop after the lock is gone.
            unusedWatcher = std::move(*watcher);
            unusedMounts = std::move(mounts);
        }
    });
    return true;
}

void FileController::applyVolumeEvent(const platform::VolumeEvent& event) {
    // A scan neither enters nor counts a mount point below its root: a volume mounted there
    // covers a folder that leaves the tree, and the folder is measured again once it is
    // uncovered.
    if (!rootFile_) return;
    const auto covered = [&](const std::string& path) {
        const auto relative = relativeToRoot(path);
        if (!relative || relative->empty()) return;
        if (File* node = rootFile_->fileAtPath(*relative); node != nullptr && node->parent())
            erase(*node);
    };
    const auto uncovered = [&](const std::string& path) {
        const auto relative = relativeToRoot(path);
        if (relative && !relative->empty()) requestMeasurement(path, Measurement::subScan);
    };
    switch (event.kind) {
    case platform::VolumeEvent::Kind::mounted:
        covered(event.path);
        break;
    case platform::VolumeEvent::Kind::unmounted:
        uncovered(event.path);
        break;
    case platform::VolumeEvent::Kind::renamed:
        uncovered(event.oldPath);
        covered(event.path);
        break;
    }
}

void FileController::detach() {
    std::unique_ptr<platform::InotifyWatcher> watcher;
    std::unique_ptr<platform::MountWatcher> mounts;
    {
        std::lock_guard lock(inbox_->mutex);
        ++inbox_->generation;
        watcher = std::move(inbox_->watcher);
        mounts = std::move(inbox_->mounts);
        inbox_->events.clear();
    }
    // Joins the watchers' threads; the inbox lock must not be held.
    watcher.reset();
    mounts.reset();
    operationQueue_->cancelAllOperations();
    inbox_->scanOperations = 0;
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

void FileController::scanOperationDidFinish(FilePtr root, const std::string& /*path*/) {
    --inbox_->scanOperations;
    performUpdate([this, root = std::move(root)]() mutable {
        // Only the first scan's result becomes the root: after the location was deleted, a late
        // delivery is no tree of it any more.
        if (rootFile_ || hasLoaded_ || !root || !root->isDirectory()) return;
        hasLoaded_ = true;
        rootFile_.reset(root.release()->asDirectory());
        rootFile_->setUrlResources(false);
        for (FileControllerObserver* observer : std::vector(observers_))
            observer->fileControllerDidLoadRootFile();
        if (favorite_ != nullptr) favorite_->updateSizes();
    });
}

// MARK: Updates

void FileController::performUpdate(Update work) {
    if (isUpdateQueuePaused_)
        updateQueue_.push_back(std::move(work));
    else
        work();
}

void FileController::resumeUpdates() {
    // Updates that the held-back ones cause queue behind them and run in this loop too.
    while (!updateQueue_.empty()) {
        Update work = std::move(updateQueue_.front());
        updateQueue_.pop_front();
        work();
    }
    isUpdateQueuePaused_ = false;
}

void FileController::apply(const LiveChange& change) {
    switch (change.kind) {
    case LiveChange::Kind::update: {
        // Entries of a folder in a burst are not looked up one by one: a measurement of the
        // whole folder that has not started yet covers them.
        const bool oldCovered = change.oldPath && coveredByBurst(*change.oldPath);
        const bool newCovered = change.newPath && coveredByBurst(*change.newPath);
        if (!oldCovered || !newCovered)
            applyUpdate(oldCovered ? std::nullopt : change.oldPath,
                        newCovered ? std::nullopt : change.newPath, change.inPlace);
        if (!change.inPlace)
            for (const auto& path : {change.oldPath, change.newPath})
                if (path) reconcileCompanion(*path);
        break;
    }
    case LiveChange::Kind::rootMoved:
        applyRootMoved(change.path);
        break;
    case LiveChange::Kind::rootDeleted:
        applyRootDeleted();
        break;
    case LiveChange::Kind::lost:
    case LiveChange::Kind::unwatched: {
        // One error line, then the tree is brought back in line instead of drifting.
        LogLine::Error error =
            change.kind == LiveChange::Kind::lost
                ? LogLine::Error{"Changes below this folder were lost (the kernel's event queue "
                                 "overflowed); it is measured again",
                                 "inotify", EOVERFLOW}
                : LogLine::Error{"Changes below this folder cannot be followed: the limit of "
                                 "inotify watches (fs.inotify.max_user_watches) is reached",
                                 "inotify", ENOSPC};
        LogController::shared().add(LogLine::scanError(change.path, std::move(error)));
        requestMeasurement(change.path, Measurement::remeasure);
        break;
    }
    }
}

bool FileController::coveredByBurst(const std::string& path) {
    if (!rootFile_ || isSnapshot_) return false;
    const std::string folder(parentPath(path));
    const auto now = std::chrono::steady_clock::now();
    if (burstActivity_.size() > 4096) {
        std::erase_if(burstActivity_,
                      [&](const auto& entry) { return now - entry.second.since > kBurstWindow; });
        std::erase_if(entryBatches_, [](const auto& entry) {
            std::lock_guard lock(entry.second->mutex);
            return entry.second->started;
        });
    }
    FolderActivity& activity = burstActivity_[folder];
    if (now - activity.since > kBurstWindow) activity = {0, now};
    if (++activity.events <= kBurstThreshold) return false;

    // The entry joins the folder's batch that has not started yet, or starts one.
    std::shared_ptr<EntryBatch>& batch = entryBatches_[folder];
    if (batch) {
        std::lock_guard lock(batch->mutex);
        if (!batch->started) {
            if (batch->seen.insert(std::string(lastComponent(path))).second)
                batch->names.emplace_back(lastComponent(path));
            return true;
        }
    }
    batch = std::make_shared<EntryBatch>();
    batch->names.emplace_back(lastComponent(path));
    batch->seen.insert(batch->names.back());
    queueEntryBatch(folder, batch);
    return true;
}

void FileController::queueEntryBatch(const std::string& folder, std::shared_ptr<EntryBatch> batch) {
    std::uint64_t generation;
    {
        std::lock_guard lock(inbox_->mutex);
        generation = inbox_->generation;
    }
    ++inbox_->scanOperations;
    auto exclusion = favorite_ != nullptr ? favorite_->activeExclusion() : nullptr;
    std::weak_ptr<FileController> weak = weak_from_this();
    auto measure = [batch = std::move(batch), folder, exclusion, weak, generation, inbox = inbox_,
                    mainQueue = &mainQueue_](const Operation& operation) {
        std::vector<std::string> names;
        {
            std::lock_guard lock(batch->mutex);
            batch->started = true;
            names.swap(batch->names);
        }
        auto measured = std::make_shared<std::vector<std::pair<std::string, FilePtr>>>();
        for (std::string& name : names) {
            if (operation.isCancelled()) return;
            ScanOperation scan(joinPath(folder, name), exclusion, true, {}, *mainQueue);
            scan.setMeasuresLiveEntry(true);
            FilePtr entry = scan.scan();
            measured->emplace_back(std::move(name), std::move(entry));
        }
        mainQueue->post([weak, generation, inbox, folder, measured] {
            auto controller = weak.lock();
            if (!controller) return;
            {
                std::lock_guard lock(inbox->mutex);
                if (inbox->generation != generation) return;
            }
            --controller->inbox_->scanOperations;
            controller->performUpdate([controller = controller.get(), folder, measured] {
                controller->applyEntries(folder, std::move(*measured));
            });
        });
    };
    // The batch waits a moment for more of the burst before it is queued.
    mainQueue_.postAfter(kBatchDelay, [weak, measure = std::move(measure)]() mutable {
        if (auto controller = weak.lock())
            controller->operationQueue_->add(std::move(measure), OperationQueue::Priority::high);
    });
}

void FileController::applyEntries(const std::string& folder,
                                  std::vector<std::pair<std::string, FilePtr>> measured) {
    if (!rootFile_) return;
    const auto relative = relativeToRoot(folder);
    if (!relative) return;
    File* found = rootFile_->fileAtPath(*relative);
    Directory* directory = found != nullptr ? found->asDirectory() : nullptr;
    if (directory == nullptr) {
        // The folder itself is not in the tree (yet): measure it as a whole.
        requestMeasurement(folder, Measurement::remeasure);
        return;
    }
    redateLater(*directory);
    Logger::log(kEventLevel, "Measured " + std::to_string(measured.size()) + " entries of " +
                                 quotedPath(*relative) + ", " +
                                 std::to_string(inbox_->scanOperations.load()) +
                                 " queued operations.");
    // The folder's table of names lives on from batch to batch while nothing else changes
    // which entries the tree holds.
    if (folderIndexes_.size() > 8) folderIndexes_.clear();
    FolderIndex& table = folderIndexes_[folder];
    if (table.directory != directory || table.version != membershipVersion_) {
        table.directory = directory;
        table.byName.clear();
        table.byName.reserve(directory->count());
        for (File* child : directory->contents())
            table.byName.emplace(child->path(), child);
    }
    auto& byName = table.byName;
    for (auto& [name, fresh] : measured) {
        const auto existing = byName.find(name);
        if (existing == byName.end()) {
            if (!fresh) continue;
            fresh->setPath(name);
            File& added = insert(*directory, std::move(fresh));
            byName.emplace(added.path(), &added);
        } else if (!fresh) {
            File* gone = existing->second;
            byName.erase(existing);
            erase(*gone);
        } else if (existing->second->isDirectory() != fresh->isDirectory()) {
            File* replaced = existing->second;
            byName.erase(existing);
            erase(*replaced);
            fresh->setPath(name);
            File& added = insert(*directory, std::move(fresh));
            byName.emplace(added.path(), &added);
        } else {
            reconcile(*existing->second, std::move(fresh)); // inside it; not this folder's names
        }
    }
    table.version = membershipVersion_;
}

void FileController::applyRootMoved(const std::string& path) {
    // The root keeps its empty name, so that relative paths stay what they were; its display
    // name follows the location's new name.
    rootURL_ = path;
    if (!rootFile_) return;
    for (FileControllerObserver* observer : std::vector(observers_))
        observer->fileControllerDidChange(*rootFile_);
}

void FileController::applyRootDeleted() {
    if (!rootFile_) return;
    ++membershipVersion_;
    DirectoryPtr gone = std::move(rootFile_);
    for (FileControllerObserver* observer : std::vector(observers_))
        observer->fileControllerDidClose();
    mainQueue_.post([gone = std::move(gone)] {});
}

std::optional<std::string> FileController::relativeToRoot(std::string_view path) const {
    switch (relatePaths(path, rootURL_)) {
    case PathRelation::equal:
        return std::string();
    case PathRelation::firstInsideSecond:
        return std::string(path.substr(rootURL_ == "/" ? 1 : rootURL_.size() + 1));
    default:
        return std::nullopt;
    }
}

void FileController::applyUpdate(const std::optional<std::string>& oldPath,
                                 const std::optional<std::string>& newPath, bool inPlace) {
    if (!rootFile_) return;
    const auto oldRelative = oldPath ? relativeToRoot(*oldPath) : std::nullopt;
    const auto newRelative = newPath ? relativeToRoot(*newPath) : std::nullopt;
    auto targetDirectory = [this](const std::string& relative) -> Directory* {
        if (relative.empty()) return nullptr; // the root itself has no parent in the tree
        File* found = rootFile_->fileAtPath(std::string(parentPath(relative)));
        return found != nullptr ? found->asDirectory() : nullptr;
    };
    if (!inPlace && oldPath && newPath) hardLinks_->rename(*oldPath, *newPath);
    // An entry that came or went changed its folder's dates, whether or not the tree shows
    // the entry (it may be excluded, or gone again before it was measured).
    if (!inPlace) {
        for (const auto& relative : {oldRelative, newRelative})
            if (relative)
                if (Directory* folder = targetDirectory(*relative)) redateLater(*folder);
    }
    File* node =
        oldRelative && !oldRelative->empty() ? rootFile_->fileAtPath(*oldRelative) : nullptr;
    if (node != nullptr && node->parent() != nullptr) {
        Directory& oldParent = *node->parent();
        const std::string oldName(node->path());
        ++membershipVersion_;
        auto removal = oldParent.remove(*node);
        Directory* target = newRelative ? targetDirectory(*newRelative) : nullptr;
        const std::string_view newName = newRelative ? lastComponent(*newRelative) : "";
        const bool nameTaken =
            target != nullptr && std::ranges::any_of(target->contents(), [&](const File* child) {
                return child->path() == newName;
            });
        // A new name that the exclusion filter leaves out takes the node out of the tree, as a
        // fresh scan would.
        const bool excluded =
            newPath && (isExcluded(*newPath) || platform::isHiddenCompanion(*newPath));
        if (target != nullptr && !nameTaken && !excluded) {
            removal.file->setPath(newName);
            const auto [index, batch] = target->add(std::move(removal.file));
            reporter().move(oldParent, removal.index, oldName, *target, index, removal.batch,
                            batch);
            // Changes inside the node that raced with its move were measured at the old path,
            // or not at all: measure it once more where it is now.
            requestMeasurement(*newPath, Measurement::remeasure);
        } else {
            reporter().removal(std::move(removal.file), oldParent, removal.index, removal.batch);
            // A rename onto an existing name replaces that entry without an event of its own.
            if (nameTaken) requestMeasurement(*newPath, Measurement::remeasure);
        }
        return;
    }
    if (!newRelative) return;
    if (inPlace && newRelative->empty()) {
        redateLater(*rootFile_);
        return;
    }
    if (targetDirectory(*newRelative) == nullptr) return;
    if (inPlace) {
        // A folder's own change is one of its attributes: its entries tell of theirs.
        File* existing = rootFile_->fileAtPath(*newRelative);
        const auto status = platform::statusOfPath(*newPath);
        if (existing != nullptr && existing->isDirectory() && status && status->isDirectory) {
            redateLater(*existing->asDirectory());
            return;
        }
        // The file's other names changed with it, unheard of.
        if (status && !status->isDirectory && status->linkCount > 1)
            remeasureOtherNames(*newPath, existing, *status);
    }
    requestMeasurement(*newPath, Measurement::subScan);
}

void FileController::reconcileCompanion(const std::string& path) {
    // A scan leaves out "._name" beside "name" (the resource forks that other systems leave on
    // shared disks): when "name" comes or goes, its companion leaves or joins the tree.
    // Most names have no companion: one look at the disk, and no lookup in the tree, settles
    // that (a burst of changes costs no more).
    if (!rootFile_) return;
    const std::string companion =
        joinPath(std::string(parentPath(path)), "._" + std::string(lastComponent(path)));
    if (!platform::entryExists(companion)) return;
    const auto relative = relativeToRoot(companion);
    if (!relative || relative->empty()) return;
    File* node = rootFile_->fileAtPath(*relative);
    const bool named = platform::entryExists(path);
    if (node != nullptr && node->parent() != nullptr && named)
        erase(*node);
    else if (node == nullptr && !named)
        requestMeasurement(companion, Measurement::subScan);
}

void FileController::remeasureOtherNames(const std::string& path, const File* node,
                                         const platform::EntryStatus& status) {
    std::vector<std::string> others = hardLinks_->otherNamesOf(path, status);
    if (others.size() + 1 < status.linkCount) {
        // The file got a name since its other names were measured, so the index has not met
        // them. Every name was measured alike: nodes with the changed node's figures or the
        // fresh ones are asked first, and the whole tree once when that is not enough (a name
        // made and written through before its appearance was measured).
        const auto pathOf = [this](const File& file) { return absolutePath(file); };
        const auto carriesFigures = [&](const File& file) {
            return (node != nullptr && file.size() == node->size() &&
                    file.modificationDate() == node->modificationDate()) ||
                   (file.size() == status.size &&
                    file.modificationDate() == status.modificationDate);
        };
        std::vector<std::string> found = namesInTree(*rootFile_, status, pathOf, carriesFigures);
        if (found.size() + 1 < status.linkCount && hardLinks_->firstSearchOfTree(status))
            found = namesInTree(*rootFile_, status, pathOf, [](const File&) { return true; });
        for (std::string& name : found) {
            if (name == path || std::ranges::find(others, name) != others.end()) continue;
            hardLinks_->add(name);
            others.push_back(std::move(name));
        }
    }
    for (const std::string& other : others)
        requestMeasurement(other, Measurement::subScan);
}

bool FileController::isExcluded(const std::string& path) const {
    if (favorite_ == nullptr) return false;
    const auto exclusion = favorite_->activeExclusion();
    return exclusion != nullptr && exclusion->evaluatePath(path);
}

void FileController::requestMeasurement(const std::string& path, Measurement kind) {
    if (!rootFile_ || isSnapshot_) return;
    // A measurement that has not started yet will see this change too.
    std::erase_if(queuedMeasurements_, [](const auto& entry) {
        auto operation = entry.second.lock();
        return !operation || operation->hasStarted();
    });
    const bool queued = std::ranges::any_of(queuedMeasurements_,
                                            [&](const auto& entry) { return entry.first == path; });
    if (queued) return;
    std::weak_ptr<ScanOperationDelegate> delegate =
        kind == Measurement::remeasure ? remeasureDelegate_ : subScanDelegate_;
    auto exclusion = favorite_ != nullptr ? favorite_->activeExclusion() : nullptr;
    auto operation =
        std::make_shared<ScanOperation>(path, std::move(exclusion), true, delegate, mainQueue_);
    operation->setMeasuresLiveEntry(true);
    operation->setLinkedFileFound(
        [links = hardLinks_](std::string found) { links->add(std::move(found)); });
    ++inbox_->scanOperations;
    queuedMeasurements_.emplace_back(path, operation);
    operationQueue_->add(std::move(operation), OperationQueue::Priority::high);
}

void FileController::measurementDidFinish(FilePtr root, const std::string& path, Measurement kind) {
    --inbox_->scanOperations;
    performUpdate([this, root = std::move(root), path, kind]() mutable {
        if (!rootFile_) return;
        const auto relative = relativeToRoot(path);
        if (!relative) return;
        File* existing = rootFile_->fileAtPath(*relative);
        if (!root) {
            // Nothing there to show any more: gone, or left out by the exclusion filter.
            if (existing != nullptr && existing->parent() != nullptr &&
                !platform::statusOfPath(path).has_value())
                erase(*existing);
            else if (existing != nullptr && existing->parent() != nullptr && isExcluded(path))
                erase(*existing);
            return;
        }
        if (kind == Measurement::remeasure && existing != nullptr)
            reconcile(*existing, std::move(root));
        else
            insertScanResult(std::move(root), *relative);
    });
}

void FileController::insertScanResult(FilePtr root, const std::string& relative) {
    if (relative.empty()) return;
    File* found = rootFile_->fileAtPath(std::string(parentPath(relative)));
    Directory* parent = found != nullptr ? found->asDirectory() : nullptr;
    if (parent == nullptr) return;
    Logger::log(kEventLevel, "Scan of " + quotedPath(relative) + " did finish, " +
                                 std::to_string(inbox_->scanOperations.load()) +
                                 " queued operations.");
    root->setPath(lastComponent(relative));
    const auto contents = parent->contents();
    const auto existing = std::find_if(contents.begin(), contents.end(), [&](const File* child) {
        return child->path() == root->path();
    });
    if (existing == contents.end())
        insert(*parent, std::move(root));
    else
        reconcile(**existing, std::move(root));
}

void FileController::updateFigures(File& existing, FilePtr fresh) {
    const std::int64_t sizeDelta = fresh->size() - existing.size();
    const std::int64_t allocatedDelta = fresh->allocatedSize() - existing.allocatedSize();
    const bool resized = sizeDelta != 0 || allocatedDelta != 0;
    const bool redated = existing.creationDate() != fresh->creationDate() ||
                         existing.modificationDate() != fresh->modificationDate();
    if (!resized && !redated) return; // nothing to tell
    Directory& parent = *existing.parent();
    if (!existing.setDates(fresh->creationDate(), fresh->modificationDate())) {
        // Dates the node has no room for: the measured node takes its place.
        fresh->setPath(existing.path());
        erase(existing);
        insert(parent, std::move(fresh));
        return;
    }
    if (!resized) {
        reporter().change(existing, false, 0, 0, {});
        return;
    }
    const std::size_t oldIndex = indexOf(parent, existing);
    FileOrderBatch batch = parent.updateSizes(&existing, sizeDelta, allocatedDelta, 0);
    std::size_t newIndex = oldIndex;
    if (!batch.empty() && batch.front().file == &existing) {
        newIndex = static_cast<std::size_t>(batch.front().newIndex);
        batch.erase(batch.begin());
    }
    reporter().change(existing, true, oldIndex, newIndex, batch);
}

void FileController::reconcile(File& existing, FilePtr fresh) {
    if (existing.isDirectory() != fresh->isDirectory()) {
        Directory* parent = existing.parent();
        if (parent == nullptr) return; // the root is always a folder
        fresh->setPath(existing.path());
        erase(existing);
        insert(*parent, std::move(fresh));
        return;
    }
    if (!existing.isDirectory()) {
        updateFigures(existing, std::move(fresh));
        return;
    }
    // Level by level, with an explicit stack: entries gone are removed, new ones inserted,
    // files take their new figures, and folders present on both sides are compared in turn.
    // Nodes that did not change keep their identity and cause no notification.
    struct Pair {
        Directory* tree;
        FilePtr fresh;
    };
    std::vector<Pair> pending;
    pending.push_back({existing.asDirectory(), std::move(fresh)});
    while (!pending.empty()) {
        Pair pair = std::move(pending.back());
        pending.pop_back();
        Directory& tree = *pair.tree;
        updateDates(tree, pair.fresh->creationDate(), pair.fresh->modificationDate());
        std::vector<FilePtr> children = pair.fresh->asDirectory()->takeContents();
        std::unordered_map<std::string_view, std::size_t> freshByName;
        freshByName.reserve(children.size());
        for (std::size_t i = 0; i < children.size(); ++i)
            freshByName.emplace(children[i]->path(), i);

        const std::vector<File*> current(tree.contents().begin(), tree.contents().end());
        std::unordered_map<std::string_view, File*> treeByName;
        treeByName.reserve(current.size());
        for (File* child : current) {
            if (freshByName.contains(child->path())) {
                treeByName.emplace(child->path(), child);
                continue;
            }
            erase(*child);
        }
        for (FilePtr& child : children) {
            const auto match = treeByName.find(child->path());
            if (match == treeByName.end()) {
                insert(tree, std::move(child));
            } else if (match->second->isDirectory() && child->isDirectory()) {
                pending.push_back({match->second->asDirectory(), std::move(child)});
            } else {
                reconcile(*match->second, std::move(child)); // a file, or a change of kind
            }
        }
    }
}

// MARK: Questions about nodes

std::string FileController::absolutePath(const File& file) const {
    return joinPath(rootURL_, file.relativePath());
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
        std::string_view name = lastComponent(rootURL_);
        if (const auto dot = name.rfind('.'); dot != std::string_view::npos && dot > 0)
            name = name.substr(0, dot);
        return toDisplayString(name);
    }
    return toDisplayString(lastComponent(absolutePath(file)));
}

void FileController::loadUrlResources(File& file) const {
    Directory* directory = file.asDirectory();
    if (directory == nullptr || directory->didLoadUrlResources() || isSnapshot_) return;
    directory->setUrlResources(false); // no packages on Linux: folders always show their contents
}

bool FileController::canMoveToTrash(const File& file) const {
    // A snapshot's nodes stand for no files: deleting one only removes the node.
    if (isSnapshot_ || &file == rootFile_.get() || file.parent() == nullptr ||
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

std::expected<void, std::string> FileController::move(const File& file, const std::string& path) {
    const std::string from = absolutePath(file);
    // rename(2) never copies: across volumes it fails instead of leaving two halves.
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) != 0)
        return std::unexpected(toDisplayString(from) + ": " + std::strerror(errno));
    performUpdate([this, from, to = path] { applyUpdate(from, to); });
    return {};
}

} // namespace tessera
