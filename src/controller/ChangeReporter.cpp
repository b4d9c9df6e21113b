#include "controller/ChangeReporter.h"

#include "controller/FileControllerObserver.h"
#include "logs/Logger.h"
#include "model/Directory.h"
#include "model/FilePredicate.h"
#include "model/Paths.h"
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

Directory* directoryAt(const FileControllerObserver& observer, const std::string& path) {
    Directory* root = observer.observedRootFile();
    File* found = root != nullptr ? root->fileAtPath(path) : nullptr;
    return found != nullptr ? found->asDirectory() : nullptr;
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

void ChangeReporter::sendBatch(FileControllerObserver& observer, const FileOrderBatch& batch) {
    // Ancestors whose place among their siblings stayed are not reported: a file made deep in
    // the tree would otherwise move every ancestor's row onto itself.
    FileOrderBatch moved;
    for (const FileOrderChange& change : batch)
        if (change.oldIndex != change.newIndex) moved.push_back(change);
    sendMoves(observer, moved);
}

void ChangeReporter::sendMoves(FileControllerObserver& observer, const FileOrderBatch& batch) {
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

void ChangeReporter::insertCopy(FileControllerObserver& observer, File& file, Directory& parent) {
    FilePtr copy = file.filtered(*observer.observedFilter());
    if (!copy) return;
    Directory* target = directoryAt(observer, parent.relativePath());
    if (target == nullptr) return;
    const auto [index, batch] = target->add(std::move(copy));
    sendBatch(observer, batch);
    observer.fileControllerDidInsert(*target, index);
}

void ChangeReporter::removeCopy(FileControllerObserver& observer, const std::string& path) {
    Directory* root = observer.observedRootFile();
    File* copy = root->fileAtPath(path);
    if (copy == nullptr || copy->parent() == nullptr) return;
    Directory& parent = *copy->parent();
    auto removal = parent.remove(*copy);
    sendBatch(observer, removal.batch);
    observer.fileControllerDidRemove(*removal.file, parent, removal.index);
    retire(std::move(removal.file));
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
            sendBatch(*observer, batch);
            observer->fileControllerDidInsert(parent, index);
        } else {
            insertCopy(*observer, file, parent);
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
            sendBatch(*observer, batch);
            observer->fileControllerDidRemove(*file, parent, index);
        } else {
            removeCopy(*observer, path);
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
        const FilePredicate* filter = observer->observedFilter();
        if (filter == nullptr) {
            // Both halves, also within one folder: the second undoes the ancestors' moves of
            // the first, and an observer that applies each entry stays in step.
            sendBatch(*observer, removed);
            sendBatch(*observer, added);
            observer->fileControllerDidMove(oldParent, oldIndex, newParent, newIndex);
            continue;
        }
        File* copy = observer->observedRootFile()->fileAtPath(oldPath);
        if (copy == nullptr || copy->parent() == nullptr) {
            insertCopy(*observer, file, newParent);
            continue;
        }
        Directory* target = directoryAt(*observer, newParent.relativePath());
        if (!filter->evaluate(file) || target == nullptr) {
            removeCopy(*observer, oldPath);
            continue;
        }
        Directory& copyParent = *copy->parent();
        auto taken = copyParent.remove(*copy);
        taken.file->setPath(file.path());
        const auto [index, batch] = target->add(std::move(taken.file));
        sendBatch(*observer, taken.batch);
        sendBatch(*observer, batch);
        observer->fileControllerDidMove(copyParent, taken.index, *target, index);
    }
}

} // namespace tessera
