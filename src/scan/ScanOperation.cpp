#include "scan/ScanOperation.h"

#include "base/Paths.h"
#include "favorites/Predicate.h"
#include "logs/LogController.h"
#include "logs/Logger.h"
#include "model/Directory.h"
#include "platform/FileSystem.h"
#include "platform/MainQueue.h"
#include "platform/Process.h"
#include "scan/ParallelWalk.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>

namespace tessera {

std::string standardizedPath(const std::string& path) {
    std::error_code error;
    std::filesystem::path absolute = std::filesystem::absolute(path, error);
    if (error) absolute = path;
    std::string normal = absolute.lexically_normal().string();
    while (normal.size() > 1 && normal.ends_with('/'))
        normal.pop_back();
    return normal;
}

ScanOperation::ScanOperation(std::string path, std::shared_ptr<const Predicate> exclusion,
                             bool skipMountPoints, std::weak_ptr<ScanOperationDelegate> delegate,
                             MainQueue& mainQueue)
    : path_(std::move(path)), exclusion_(std::move(exclusion)), skipMountPoints_(skipMountPoints),
      delegate_(std::move(delegate)), mainQueue_(mainQueue), threads_(defaultWalkThreads()) {}

ScanProgress ScanOperation::progress() const {
    return {shared_->total.load(), shared_->completed.load()};
}

void ScanOperation::postLog(LogLine line) {
    mainQueue_.post([shared = shared_, line = std::move(line)]() mutable {
        if (!shared->cancelled.load()) LogController::shared().add(std::move(line));
    });
}

ScanLeftOut ScanOperation::leftOut() const {
    std::lock_guard lock(shared_->leftOutMutex);
    return shared_->leftOut;
}

void ScanOperation::noteExcluded(std::string path) {
    shared_->excluded.fetch_add(1, std::memory_order_relaxed);
    std::lock_guard lock(shared_->leftOutMutex);
    shared_->leftOut.excluded.push_back(std::move(path));
}

void ScanOperation::postError(std::string path, int errorNumber) {
    shared_->unreadable.fetch_add(1, std::memory_order_relaxed);
    {
        std::lock_guard lock(shared_->leftOutMutex);
        shared_->leftOut.unreadable.push_back(path);
    }
    postLog(LogLine::scanError(std::move(path), LogLine::Error::posix(errorNumber)));
}

void ScanOperation::postProgress() {
    mainQueue_.post([shared = shared_, delegate = delegate_] {
        if (shared->cancelled.load()) return;
        if (auto listener = delegate.lock())
            listener->scanOperationDidUpdateProgress(
                {shared->total.load(), shared->completed.load()});
    });
}

std::int64_t ScanOperation::listingIntervalNs(std::int64_t elapsedNs) {
    return std::clamp<std::int64_t>(elapsedNs / 8, 100'000'000, 500'000'000);
}

void ScanOperation::postListings(bool now) {
    {
        std::lock_guard lock(shared_->listingMutex);
        if (shared_->listingPosted || (shared_->listed.empty() && shared_->finished.empty()))
            return;
        const std::int64_t time = platform::coarseMonotonicNanoseconds();
        if (!now && shared_->lastListingPost != 0 &&
            time - shared_->lastListingPost < listingIntervalNs(time - shared_->firstListingPost))
            return;
        shared_->listingPosted = true;
        if (shared_->firstListingPost == 0) shared_->firstListingPost = time;
        shared_->lastListingPost = time;
    }
    // The delivery takes whatever has been listed by the time the main thread runs it.
    mainQueue_.post([shared = shared_, delegate = delegate_] {
        std::vector<FolderListing> listed;
        std::vector<const void*> finished;
        {
            std::lock_guard lock(shared->listingMutex);
            listed.swap(shared->listed);
            finished.swap(shared->finished);
            shared->listingPosted = false;
        }
        if (shared->cancelled.load()) return;
        if (auto listener = delegate.lock())
            listener->scanOperationDidListFolders(std::move(listed), std::move(finished));
    });
}

void ScanOperation::main() {
    started_.store(true);
    if (isCancelled()) return;
    const bool detailed = LogController::detailedLogging.load(std::memory_order_relaxed);
    if (detailed) postLog(LogLine::scanStart(path_));
    FilePtr root = scan();
    if (LogController::detailedLogging.load(std::memory_order_relaxed))
        postLog(LogLine::scanFinish(path_));
    if (isCancelled()) return;
    // The last count, whatever the interval: a progress bar ends where the walk did.
    postProgress();
    if (listsFolders_) postListings(true);
    auto result = std::make_shared<FilePtr>(std::move(root));
    mainQueue_.post([shared = shared_, delegate = delegate_, result, path = path_,
                     leftOut = leftOut()]() mutable {
        if (shared->cancelled.load()) return;
        if (auto listener = delegate.lock())
            listener->scanOperationDidFinish(std::move(*result), path, std::move(leftOut));
    });
}

FilePtr ScanOperation::scan() {
    const std::string path = standardizedPath(path_);
    platform::EntryStatus rootStatus;
    rootStatus.isDirectory = true;
    if (path != "/") {
        auto measured = platform::statusOfPath(path);
        if (!measured) {
            const bool missing = measured.error() == ENOENT || measured.error() == ENOTDIR;
            if (!measuresLiveEntry_ || !missing) postError(path_, measured.error());
            return nullptr;
        }
        rootStatus = *measured;
        if (platform::isHiddenCompanion(path)) return nullptr;
        if (rootStatus.isMountPoint && skipMountPoints_) return nullptr;
        if (measuresLiveEntry_ && exclusion_ && exclusion_->evaluatePath(path)) {
            // Left out as the walk of its folder would have left it out.
            noteExcluded(path);
            return nullptr;
        }
    } else {
        rootStatus.isMountPoint = true;
        if (auto device = platform::statusOfPath("/")) rootStatus.device = device->device;
    }

    const auto inodes = rootStatus.isMountPoint ? platform::usedInodes(path) : std::nullopt;
    if (inodes && *inodes >= 2) {
        Logger::log(2, "Path is a volume with resource count " + std::to_string(*inodes));
        shared_->total.store(*inodes);
    } else {
        Logger::log(2, "Path is a regular directory");
    }

    const std::string_view ownName = measuresLiveEntry_ ? lastComponent(path) : "";
    if (!rootStatus.isDirectory) {
        if (rootStatus.linkCount > 1 && linkedFileFound_) linkedFileFound_(path, rootStatus);
        return File::create(ownName, rootStatus.size, rootStatus.allocatedSize,
                            rootStatus.creationDate, rootStatus.modificationDate);
    }

    const std::string rootName = path == "/" ? "/" : std::string(lastComponent(path));
    DirectoryPtr root =
        Directory::create(rootName, rootStatus.creationDate, rootStatus.modificationDate, {});
    WalkHooks hooks;
    hooks.cancelled = &shared_->cancelled;
    hooks.exclusion = exclusion_.get();
    hooks.onError = [this](std::string entry, int error) { postError(std::move(entry), error); };
    const bool detailed = LogController::detailedLogging.load(std::memory_order_relaxed);
    if (exclusion_)
        hooks.onExclude = [this, detailed](std::string entry) {
            if (detailed) postLog(LogLine::exclude(entry));
            noteExcluded(std::move(entry));
        };
    if (detailed) {
        hooks.onEntry = [this](const std::string& entry, const platform::EntryStatus& status) {
            postLog(LogLine::scanFile(entry, status.creationDate, status.modificationDate,
                                      status.size, status.allocatedSize));
        };
    }
    hooks.onOpenDirectory = folderOpened_;
    hooks.onHelperStart = helperStarted_;
    hooks.onLinkedFile = linkedFileFound_;
    if (listsFolders_) {
        hooks.onFolderListed = [this](FolderListing listing) {
            {
                std::lock_guard lock(shared_->listingMutex);
                shared_->listed.push_back(std::move(listing));
            }
            postListings(false);
        };
        hooks.onFolderFinished = [this](const void* folder) {
            {
                std::lock_guard lock(shared_->listingMutex);
                shared_->finished.push_back(folder);
            }
            postListings(false);
        };
    }
    hooks.onProgress = [this](std::uint64_t completed) {
        shared_->completed.store(completed);
        postProgress();
        if (listsFolders_) postListings(false);
    };
    const WalkResult walked = walkTree(*root, path, rootStatus.device, hooks, threads_);
    shared_->completed.store(walked.completed);
    if (isCancelled()) return nullptr;
    if (!measuresLiveEntry_) root->setPath("");
    return root;
}

} // namespace tessera
