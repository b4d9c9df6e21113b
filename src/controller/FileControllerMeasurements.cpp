// The file controller's measurements: entries measured again on the operation queue, and their
// fresh figures reconciled with the tree, so that nodes that did not change keep their identity.
#include "base/Paths.h"
#include "controller/ChangeReporter.h"
#include "controller/FileController.h"
#include "controller/FileControllerInternals.h"
#include "controller/HardLinks.h"
#include "logs/Logger.h"
#include "platform/FileSystem.h"

#include <algorithm>
#include <unordered_map>

namespace tessera {

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
        [links = hardLinks_](std::string found, const platform::EntryStatus& status) {
            links->add(std::move(found), status);
        });
    ++*scanOperations_;
    queuedMeasurements_.emplace_back(path, operation);
    operationQueue_->add(std::move(operation), OperationQueue::Priority::high);
}

void FileController::measurementDidFinish(FilePtr root, const std::string& path, Measurement kind,
                                          const ScanLeftOut& leftOut) {
    --*scanOperations_;
    performUpdate([this, root = std::move(root), path, kind, leftOut]() mutable {
        if (!rootFile_) return;
        // What it met of files with several names is decided again, whatever it changed.
        if (hardLinkCounting_ == HardLinkCounting::once) recountLinksLater();
        const auto relative = relativeToRoot(path);
        if (!relative) return;
        // What it left out is what is left out there now, whatever was before.
        noteLeftOut(*relative, leftOut);
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

std::vector<std::string>
FileController::relativeToRoot(const std::vector<std::string>& paths) const {
    std::vector<std::string> relative;
    relative.reserve(paths.size());
    for (const std::string& path : paths)
        if (auto inside = relativeToRoot(path)) relative.push_back(std::move(*inside));
    return relative;
}

void FileController::noteLeftOut(std::string_view top, const ScanLeftOut& leftOut) {
    unreadable_.replaceAtOrBelow(top, relativeToRoot(leftOut.unreadable));
    excluded_.replaceAtOrBelow(top, relativeToRoot(leftOut.excluded));
}

void FileController::forgetLeftOut(std::string_view top) {
    unreadable_.forgetAtOrBelow(top);
    excluded_.forgetAtOrBelow(top);
}

void FileController::insertScanResult(FilePtr root, const std::string& relative) {
    if (relative.empty()) return;
    File* found = rootFile_->fileAtPath(std::string(parentPath(relative)));
    Directory* parent = found != nullptr ? found->asDirectory() : nullptr;
    if (parent == nullptr) return;
    Logger::log(detail::kLiveChangeLogLevel, "Scan of " + quotedPath(relative) + " did finish, " +
                                                 std::to_string(scanOperations_->load()) +
                                                 " queued operations.");
    root->setPath(lastComponent(relative));
    const auto contents = parent->contents();
    const auto existing = std::find_if(contents.begin(), contents.end(), [&](const File* child) {
        return child->path() == root->path();
    });
    if (existing == contents.end()) {
        File& inserted = insert(*parent, std::move(root));
        alignOtherNamesBelow(inserted);
    } else {
        reconcile(**existing, std::move(root));
    }
}

void FileController::alignOtherNames(const std::string& path, const File& measured) {
    const auto identity = hardLinks_->identityOf(path);
    if (!identity) return;
    std::vector<std::string> others = hardLinks_->otherNamesOf(path, *identity);
    // Names that came since the file was measured under its other names: the index met only
    // the new ones.
    if (const auto status = platform::statusOfPath(path);
        status && !status->isDirectory && status->inode == identity->inode)
        findUnmetNames(path, &measured, *status, others);
    for (const std::string& other : others) {
        const auto relative = relativeToRoot(other);
        if (!relative || relative->empty()) continue;
        const File* node = rootFile_->fileAtPath(*relative);
        if (node == nullptr || node->size() != measured.size() ||
            node->allocatedSize() != measured.allocatedSize() ||
            node->modificationDate() != measured.modificationDate())
            requestMeasurement(other, Measurement::subScan);
    }
}

void FileController::alignOtherNamesBelow(const File& inserted) {
    // The measurement entered each file it met with several names in the index: only those
    // are looked up in the tree (and a tree without any costs a burst's inserts nothing).
    if (hardLinks_->empty()) return;
    const std::string top = absolutePath(inserted);
    for (const std::string& path : hardLinks_->pathsAtOrBelow(top)) {
        const auto relative = relativeToRoot(path);
        if (!relative || relative->empty()) continue;
        if (const File* file = rootFile_->fileAtPath(*relative); file && !file->isDirectory())
            alignOtherNames(path, *file);
    }
}

void FileController::updateFigures(File& existing, FilePtr fresh) {
    // A name counted elsewhere is measured again whenever another name of its file is: found as
    // it was when its size was taken, it stays as it is; changed, it counts again until the
    // recount decides. So does a name that now stands for another file.
    bool unmarked = false;
    if (existing.isCountedElsewhere()) {
        const auto taken = uncounted_.find(&existing);
        const std::string path = absolutePath(existing);
        const auto identity = hardLinks_->identityOf(path);
        const auto status = platform::statusOfPath(path);
        const bool sameFile = identity && status && !status->isDirectory && status->linkCount > 1 &&
                              status->device == identity->device &&
                              status->inode == identity->inode;
        if (sameFile && taken != uncounted_.end() && taken->second.size == fresh->size() &&
            taken->second.allocatedSize == fresh->allocatedSize() &&
            existing.modificationDate() == fresh->modificationDate() &&
            existing.creationDate() == fresh->creationDate())
            return;
        existing.setCountedElsewhere(false);
        uncounted_.erase(&existing);
        if (identity) linkedFileChanged(identity->device, identity->inode);
        unmarked = true;
    }
    const std::int64_t sizeDelta = fresh->size() - existing.size();
    const std::int64_t allocatedDelta = fresh->allocatedSize() - existing.allocatedSize();
    const bool resized = sizeDelta != 0 || allocatedDelta != 0;
    const bool redated = existing.creationDate() != fresh->creationDate() ||
                         existing.modificationDate() != fresh->modificationDate();
    if (!resized && !redated) {
        if (unmarked) reporter().change(existing, false, 0, 0, {}); // the mark went
        return;
    }
    // A file with several names changed under all of them. The write may have been told as
    // something else (a write through one name coalesced with its move): whatever brought the
    // change here, the other names are measured again. The measurement that found the new
    // figures entered the name in the hard-link index if the file had other names then, so
    // files with one name (nearly all) cost no look at the disk here.
    const std::string path =
        isSnapshot_ || existing.isDirectory() ? std::string() : absolutePath(existing);
    if (const auto identity = path.empty() ? std::nullopt : hardLinks_->identityOf(path)) {
        linkedFileChanged(identity->device, identity->inode);
        const auto status = platform::statusOfPath(path);
        if (status && !status->isDirectory && status->linkCount > 1) {
            remeasureOtherNames(path, &existing, *status);
        } else if (!status) {
            // Moved on since it was measured: its other names as the measurement met them.
            alignOtherNames(path, *fresh);
        }
    }
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
    resizeInPlace(existing, sizeDelta, allocatedDelta);
}

void FileController::reconcile(File& existing, FilePtr fresh) {
    if (existing.isDirectory() != fresh->isDirectory()) {
        Directory* parent = existing.parent();
        if (parent == nullptr) return; // the root is always a folder
        fresh->setPath(existing.path());
        erase(existing);
        alignOtherNamesBelow(insert(*parent, std::move(fresh)));
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
                alignOtherNamesBelow(insert(tree, std::move(child)));
            } else if (match->second->isDirectory() && child->isDirectory()) {
                pending.push_back({match->second->asDirectory(), std::move(child)});
            } else {
                reconcile(*match->second, std::move(child)); // a file, or a change of kind
            }
        }
    }
}

} // namespace tessera
