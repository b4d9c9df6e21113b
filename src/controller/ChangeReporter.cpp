#include "controller/ChangeReporter.h"

#include "base/Paths.h"
#include "controller/FileControllerObserver.h"
#include "controller/FilteredCopy.h"
#include "logs/Logger.h"
#include "model/Directory.h"
#include "platform/MainQueue.h"

namespace tessera {
namespace {

constexpr std::uint8_t kNotificationLevel = 3;

bool notificationsLogged() {
    return Logger::level() >= kNotificationLevel;
}

std::string relativePathOf(const Directory& parent, std::string_view name) {
    return joinPath(parent.relativePath(), name);
}

} // namespace

std::string quotedPath(std::string_view path) {
    std::string quoted = "\u201c";
    quoted += path;
    quoted += "\u201d";
    return quoted;
}

void ChangeReporter::retire(FilePtr file) {
    if (file) mainQueue_.post([retired = std::move(file)] {});
}

void reportOrderChanges(FileControllerObserver& observer, const FileOrderBatch& source) {
    // Ancestors whose place among their siblings stayed are not reported: a file made deep in
    // the tree would otherwise move every ancestor's row onto itself.
    FileOrderBatch batch;
    for (const FileOrderChange& change : source)
        if (change.oldIndex != change.newIndex) batch.push_back(change);
    if (batch.empty()) return;
    if (notificationsLogged()) {
        std::string list;
        for (const FileOrderChange& change : batch) {
            if (!list.empty()) list += ", ";
            list += "(" + quotedPath(change.file->relativePath()) + ", " +
                    std::to_string(change.oldIndex) + ", " + std::to_string(change.newIndex) + ")";
        }
        Logger::log(kNotificationLevel, "Notify file order changes: [" + list + "]");
    }
    for (const FileOrderChange& change : batch)
        observer.fileControllerDidChangeOrder(*change.file, change.oldIndex, change.newIndex);
}

void ChangeReporter::insertion(Directory& parent, std::size_t index, const FileOrderBatch& batch) {
    File& file = *parent.child(index);
    if (notificationsLogged())
        Logger::log(kNotificationLevel, "Notify file did appear at " +
                                            quotedPath(file.relativePath()) + " index " +
                                            std::to_string(index));
    for (FileControllerObserver* observer : observers_) {
        if (observer->observedRootFile() == nullptr) continue;
        if (observer->observedFilter() == nullptr) {
            reportOrderChanges(*observer, batch);
            observer->fileControllerDidInsert(parent, index);
        } else {
            FilteredCopy(*observer, mainQueue_).inserted(file);
        }
    }
}

void ChangeReporter::removal(FilePtr file, Directory& parent, std::size_t index,
                             const FileOrderBatch& batch) {
    const std::string path = relativePathOf(parent, file->path());
    if (notificationsLogged())
        Logger::log(kNotificationLevel, "Notify file did disappear from " + quotedPath(path) +
                                            " index " + std::to_string(index));
    for (FileControllerObserver* observer : observers_) {
        if (observer->observedRootFile() == nullptr) continue;
        if (observer->observedFilter() == nullptr) {
            reportOrderChanges(*observer, batch);
            observer->fileControllerDidRemove(*file, parent, index);
        } else {
            FilteredCopy(*observer, mainQueue_).removed(path);
        }
    }
    retire(std::move(file));
}

void ChangeReporter::move(Directory& oldParent, std::size_t oldIndex, std::string_view oldName,
                          Directory& newParent, std::size_t newIndex, const FileOrderBatch& removed,
                          const FileOrderBatch& added) {
    File& file = *newParent.child(newIndex);
    const std::string oldPath = relativePathOf(oldParent, oldName);
    if (notificationsLogged())
        Logger::log(kNotificationLevel, "Notify file did move from " + quotedPath(oldPath) +
                                            " index " + std::to_string(oldIndex) + " to " +
                                            quotedPath(file.relativePath()) + " index " +
                                            std::to_string(newIndex));
    for (FileControllerObserver* observer : observers_) {
        if (observer->observedRootFile() == nullptr) continue;
        if (observer->observedFilter() != nullptr) {
            FilteredCopy(*observer, mainQueue_).moved(file, oldPath);
            continue;
        }
        // In the order the tree went through them, so that an observer applying each one to
        // its own rows stays in step: the old folder's ancestors reorder, the node moves, then
        // the new folder's ancestors reorder (the old folder may be one of them, and no longer
        // holds the node when they do).
        reportOrderChanges(*observer, removed);
        observer->fileControllerDidMove(oldParent, oldIndex, newParent, newIndex);
        reportOrderChanges(*observer, added);
    }
}

void ChangeReporter::change(File& file, bool resized, std::size_t oldIndex, std::size_t newIndex,
                            const FileOrderBatch& batch) {
    if (notificationsLogged())
        Logger::log(kNotificationLevel,
                    "Notify file did change at " + quotedPath(file.relativePath()));
    for (FileControllerObserver* observer : observers_) {
        if (observer->observedRootFile() == nullptr) continue;
        if (observer->observedFilter() != nullptr) {
            FilteredCopy(*observer, mainQueue_).changed(file);
        } else if (!resized || file.parent() == nullptr) {
            observer->fileControllerDidChange(file);
        } else {
            reportOrderChanges(*observer, batch);
            observer->fileControllerDidMove(*file.parent(), oldIndex, *file.parent(), newIndex);
        }
    }
}

} // namespace tessera
