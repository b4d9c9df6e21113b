// The file controller's live updates: each change planned from the watcher's events, and the
// volumes mounted below the root, applied to the tree as a fresh scan would have it.
#include "base/Paths.h"
#include "controller/ChangeReporter.h"
#include "controller/FileController.h"
#include "controller/FileControllerInternals.h"
#include "controller/FileControllerObserver.h"
#include "controller/HardLinks.h"
#include "logs/LogController.h"
#include "logs/Logger.h"
#include "platform/FileSystem.h"

#include <algorithm>
#include <cerrno>
#include <iterator>

namespace tessera {

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
        // One error line, then the tree is brought back in line instead of drifting.
        LogController::shared().add(LogLine::watchError(
            change.path, {"Changes below this folder were lost (the kernel's event queue "
                          "overflowed); it is measured again",
                          std::string(LogLine::kWatchDomain), EOVERFLOW}));
        requestMeasurement(change.path, Measurement::remeasure);
        break;
    case LiveChange::Kind::unwatched:
        notePolledFolder(change.path);
        break;
    case LiveChange::Kind::unwatchedEnded:
        if (polledFolders_ > 0 && --polledFolders_ == 0) watchLimitLines_ = 0;
        followingChanged_();
        break;
    case LiveChange::Kind::stale:
        requestMeasurement(change.path, Measurement::remeasure);
        break;
    }
}

void FileController::notePolledFolder(const std::string& path) {
    ++polledFolders_;
    // A line for each of the first few folders, then one for the rest: a tree far over the
    // limit does not flood the log. The window counts them all.
    constexpr std::size_t kLines = 5;
    if (watchLimitLines_ < kLines) {
        LogController::shared().add(LogLine::watchError(
            path, {"The limit of inotify watches (fs.inotify.max_user_watches) is reached: "
                   "changes below this folder are noticed by polling, a few seconds late",
                   std::string(LogLine::kWatchDomain), ENOSPC}));
    } else if (watchLimitLines_ == kLines) {
        LogController::shared().add(LogLine::watchError(
            rootPath_, {"The limit of inotify watches (fs.inotify.max_user_watches) is reached "
                        "for more folders below this one: they are polled too",
                        std::string(LogLine::kWatchDomain), ENOSPC}));
    }
    ++watchLimitLines_;
    followingChanged_();
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
    const LiveWatch::Generation generation = liveWatch_->generation();
    ++*scanOperations_;
    auto exclusion = favorite_ != nullptr ? favorite_->activeExclusion() : nullptr;
    std::weak_ptr<FileController> weak = weak_from_this();
    auto measure = [batch = std::move(batch), folder, exclusion, weak, generation,
                    links = hardLinks_, mainQueue = &mainQueue_](const Operation& operation) {
        std::vector<std::string> names;
        {
            std::lock_guard lock(batch->mutex);
            batch->started = true;
            names.swap(batch->names);
        }
        auto measured = std::make_shared<std::vector<std::pair<std::string, FilePtr>>>();
        auto leftOut = std::make_shared<ScanLeftOut>();
        for (std::string& name : names) {
            if (operation.isCancelled()) return;
            ScanOperation scan(joinPath(folder, name), exclusion, true, {}, *mainQueue);
            scan.setMeasuresLiveEntry(true);
            scan.setLinkedFileFound([links](std::string path, const platform::EntryStatus& status) {
                links->add(std::move(path), status);
            });
            FilePtr entry = scan.scan();
            measured->emplace_back(std::move(name), std::move(entry));
            ScanLeftOut left = scan.leftOut();
            std::ranges::move(left.unreadable, std::back_inserter(leftOut->unreadable));
            std::ranges::move(left.excluded, std::back_inserter(leftOut->excluded));
        }
        mainQueue->post([weak, generation, folder, measured, leftOut] {
            auto controller = weak.lock();
            if (!controller || !controller->liveWatch_->isCurrent(generation)) return;
            --*controller->scanOperations_;
            controller->performUpdate([controller = controller.get(), folder, measured, leftOut] {
                controller->applyEntries(folder, std::move(*measured), *leftOut);
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
                                  std::vector<std::pair<std::string, FilePtr>> measured,
                                  const ScanLeftOut& leftOut) {
    if (!rootFile_) return;
    const auto relative = relativeToRoot(folder);
    if (!relative) return;
    // What the batch left out is what is left out at its entries now.
    for (const auto& entry : measured)
        forgetLeftOut(joinPath(*relative, entry.first));
    unreadable_.add(relativeToRoot(leftOut.unreadable));
    excluded_.add(relativeToRoot(leftOut.excluded));
    File* found = rootFile_->fileAtPath(*relative);
    Directory* directory = found != nullptr ? found->asDirectory() : nullptr;
    if (directory == nullptr) {
        // The folder itself is not in the tree (yet): measure it as a whole.
        requestMeasurement(folder, Measurement::remeasure);
        return;
    }
    redateLater(*directory);
    Logger::log(detail::kLiveChangeLogLevel, "Measured " + std::to_string(measured.size()) +
                                                 " entries of " + quotedPath(*relative) + ", " +
                                                 std::to_string(scanOperations_->load()) +
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
            // A new name of a file the tree shows elsewhere: its other names are found.
            alignOtherNamesBelow(added);
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
            alignOtherNamesBelow(added);
        } else {
            reconcile(*existing->second, std::move(fresh)); // inside it; not this folder's names
        }
    }
    table.version = membershipVersion_;
    if (hardLinkCounting_ == HardLinkCounting::once) recountLinksLater();
}

void FileController::applyRootMoved(const std::string& path) {
    // The root keeps its empty name, so that relative paths stay what they were; its display
    // name follows the location's new name. The names of files with several names move with it.
    hardLinks_->rename(rootPath_, path);
    rootPath_ = path;
    if (!rootFile_) return;
    for (FileControllerObserver* observer : std::vector(observers_))
        observer->fileControllerDidChange(*rootFile_);
}

void FileController::applyRootDeleted() {
    if (!rootFile_) return;
    ++membershipVersion_;
    uncounted_.clear();
    unreadable_ = {};
    excluded_ = {};
    DirectoryPtr gone = std::move(rootFile_);
    for (FileControllerObserver* observer : std::vector(observers_))
        observer->fileControllerDidClose();
    mainQueue_.post([gone = std::move(gone)] {});
}

std::optional<std::string> FileController::relativeToRoot(std::string_view path) const {
    switch (relatePaths(path, rootPath_)) {
    case PathRelation::equal:
        return std::string();
    case PathRelation::firstInsideSecond:
        return std::string(path.substr(rootPath_ == "/" ? 1 : rootPath_.size() + 1));
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
            unreadable_.move(*oldRelative, *newRelative);
            excluded_.move(*oldRelative, *newRelative);
            const auto [index, batch] = target->add(std::move(removal.file));
            reporter().move(oldParent, removal.index, oldName, *target, index, removal.batch,
                            batch);
            // Changes inside the node that raced with its move were measured at the old path,
            // or not at all: measure it once more where it is now.
            requestMeasurement(*newPath, Measurement::remeasure);
        } else {
            // The hard-link index has the names at the new path already.
            linksLeaving(*removal.file, newPath ? *newPath : *oldPath);
            forgetLeftOut(*oldRelative);
            // Renamed to what the filter leaves out: left out as a scan would leave it.
            if (newRelative && newPath && isExcluded(*newPath)) excluded_.add({*newRelative});
            reporter().removal(std::move(removal.file), oldParent, removal.index, removal.batch);
            // A rename onto an existing name replaces that entry without an event of its own.
            if (nameTaken) requestMeasurement(*newPath, Measurement::remeasure);
        }
        return;
    }
    // An entry the tree does not show may still have been left out (unreadable, or excluded):
    // it is not there any more. Its new name is measured below.
    if (!inPlace && oldRelative && !oldRelative->empty()) forgetLeftOut(*oldRelative);
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
            // Permissions decide what a scan finds in a folder: one that cannot be read now
            // is measured again (and logged), and so is one readable now of which the tree
            // holds nothing.
            const auto access = platform::folderAccess(*newPath);
            if (access != platform::FolderAccess::readable || existing->asDirectory()->count() == 0)
                requestMeasurement(*newPath, Measurement::remeasure);
            return;
        }
        // The file's other names changed with it, unheard of.
        if (status && !status->isDirectory && status->linkCount > 1)
            remeasureOtherNames(*newPath, existing, *status);
        // The file written may no longer be at its name (replaced or moved away since): its
        // other names, as the hard-link index met them, are measured again all the same.
        if (existing != nullptr && !existing->isDirectory())
            if (const auto identity = hardLinks_->identityOf(*newPath);
                identity && (!status || status->isDirectory || status->inode != identity->inode))
                for (const std::string& other : hardLinks_->otherNamesOf(*newPath, *identity))
                    requestMeasurement(other, Measurement::subScan);
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
    findUnmetNames(path, node, status, others);
    for (const std::string& other : others)
        requestMeasurement(other, Measurement::subScan);
}

void FileController::findUnmetNames(const std::string& path, const File* node,
                                    const platform::EntryStatus& status,
                                    std::vector<std::string>& others) {
    if (others.size() + 1 >= status.linkCount) return;
    // Every name was measured alike: nodes with the changed node's figures or the fresh ones
    // are asked first, and the whole tree once when that is not enough (a name made and written
    // through before its appearance was measured).
    const auto pathOf = [this](const File& file) { return absolutePath(file); };
    const auto carriesFigures = [&](const File& file) {
        return (node != nullptr && file.size() == node->size() &&
                file.modificationDate() == node->modificationDate()) ||
               (file.size() == status.size && file.modificationDate() == status.modificationDate);
    };
    // The changed name itself carries its figures too: only the names found besides it and
    // those already known count towards the link count.
    const auto addFound = [&](std::vector<std::string> found) {
        for (std::string& name : found) {
            if (name == path || std::ranges::find(others, name) != others.end()) continue;
            hardLinks_->add(name, status);
            others.push_back(std::move(name));
        }
    };
    addFound(namesInTree(*rootFile_, status, pathOf, carriesFigures));
    if (others.size() + 1 < status.linkCount && hardLinks_->firstSearchOfTree(status))
        addFound(namesInTree(*rootFile_, status, pathOf, [](const File&) { return true; }));
}

bool FileController::isExcluded(const std::string& path) const {
    if (favorite_ == nullptr) return false;
    const auto exclusion = favorite_->activeExclusion();
    return exclusion != nullptr && exclusion->evaluatePath(path);
}

} // namespace tessera
