#include "controller/FilteredCopy.h"

#include "controller/ChangeReporter.h"
#include "controller/FileControllerObserver.h"
#include "model/Directory.h"
#include "model/FilePredicate.h"
#include "platform/MainQueue.h"

#include <algorithm>

namespace tessera {
namespace {

File* childNamed(const Directory& folder, std::string_view name) {
    const auto contents = folder.contents();
    const auto found = std::find_if(contents.begin(), contents.end(),
                                    [&](const File* child) { return child->path() == name; });
    return found != contents.end() ? *found : nullptr;
}

} // namespace

FilteredCopy::FilteredCopy(FileControllerObserver& observer, MainQueue& mainQueue)
    : observer_(observer), filter_(*observer.observedFilter()), mainQueue_(mainQueue) {}

File* FilteredCopy::copyAt(const std::string& path) const {
    Directory* root = observer_.observedRootFile();
    return root != nullptr ? root->fileAtPath(path) : nullptr;
}

void FilteredCopy::inserted(File& file) {
    bringIn(file);
}

void FilteredCopy::removed(const std::string& path) {
    takeOut(path);
}

void FilteredCopy::moved(File& file, const std::string& oldPath) {
    File* copy = copyAt(oldPath);
    File* targetCopy = file.parent() != nullptr ? copyAt(file.parent()->relativePath()) : nullptr;
    Directory* target = targetCopy != nullptr ? targetCopy->asDirectory() : nullptr;
    // A file that stays in the copy and whose new folder is there moves as itself, so that
    // whatever the observer shows of it (a selection) follows. Anything else leaves and comes
    // back as a fresh filter of what it is now: a renamed folder may keep other matches.
    if (copy != nullptr && copy->parent() != nullptr && !file.isDirectory() &&
        !copy->isDirectory() && target != nullptr && filter_.evaluate(file) &&
        updateCopy(*copy, file)) {
        Directory& copyParent = *copy->parent();
        auto taken = copyParent.remove(*copy);
        taken.file->setPath(file.path());
        const auto [index, batch] = target->add(std::move(taken.file));
        reportOrderChanges(observer_, taken.batch);
        observer_.fileControllerDidMove(copyParent, taken.index, *target, index);
        reportOrderChanges(observer_, batch);
        prune(&copyParent);
        return;
    }
    takeOut(oldPath);
    bringIn(file);
}

void FilteredCopy::changed(File& file) {
    File* copy = copyAt(file.relativePath());
    if (copy == nullptr) {
        bringIn(file);
        return;
    }
    if (copy->isDirectory() != file.isDirectory()) {
        takeOut(file.relativePath());
        bringIn(file);
        return;
    }
    if (copy->parent() == nullptr) { // the root's copy stays; only its dates follow
        copy->setDates(file.creationDate(), file.modificationDate());
        observer_.fileControllerDidChange(*copy);
        return;
    }
    if (Directory* folder = copy->asDirectory()) {
        copy->setDates(file.creationDate(), file.modificationDate());
        if (folder->count() == 0 && !filter_.evaluate(*folder)) {
            takeOut(file.relativePath());
            return;
        }
        observer_.fileControllerDidChange(*copy);
        return;
    }
    if (!filter_.evaluate(file) || file.isDirectory()) {
        takeOut(file.relativePath());
        bringIn(file);
        return;
    }
    const bool resized =
        copy->size() != file.size() || copy->allocatedSize() != file.allocatedSize();
    Directory& parent = *copy->parent();
    const auto contents = parent.contents();
    const auto oldIndex = static_cast<std::size_t>(
        std::find(contents.begin(), contents.end(), copy) - contents.begin());
    if (!updateCopy(*copy, file)) {
        takeOut(file.relativePath());
        bringIn(file);
        return;
    }
    if (!resized) {
        observer_.fileControllerDidChange(*copy);
        return;
    }
    const auto after = parent.contents();
    const auto newIndex =
        static_cast<std::size_t>(std::find(after.begin(), after.end(), copy) - after.begin());
    observer_.fileControllerDidMove(parent, oldIndex, parent, newIndex);
}

bool FilteredCopy::updateCopy(File& copy, const File& file) {
    if (!copy.setDates(file.creationDate(), file.modificationDate())) return false;
    Directory& parent = *copy.parent();
    FileOrderBatch batch = parent.updateSizes(&copy, file.size() - copy.size(),
                                              file.allocatedSize() - copy.allocatedSize(), 0);
    // The copy's own entry is told as the move that follows, not as an order change.
    std::erase_if(batch, [&](const FileOrderChange& change) { return change.file == &copy; });
    reportOrderChanges(observer_, batch);
    return true;
}

void FilteredCopy::bringIn(File& file) {
    if (file.parent() == nullptr) return;
    // The live ancestors from the root down; the first whose copy is missing is the one that
    // comes in, carrying `file` inside it.
    const std::vector<File*> chain = file.ancestors();
    Directory* copyParent = observer_.observedRootFile();
    if (copyParent == nullptr) return;
    File* incoming = nullptr;
    for (std::size_t i = 1; i < chain.size(); ++i) {
        File* existing = childNamed(*copyParent, chain[i]->path());
        if (i + 1 == chain.size() || existing == nullptr || !existing->isDirectory()) {
            if (existing != nullptr) detach(*existing); // stale, or of another kind
            incoming = chain[i];
            break;
        }
        copyParent = existing->asDirectory();
    }
    if (incoming == nullptr) return;
    FilePtr fresh = incoming->filtered(filter_);
    if (!fresh) return;
    const auto [index, batch] = copyParent->add(std::move(fresh));
    reportOrderChanges(observer_, batch);
    observer_.fileControllerDidInsert(*copyParent, index);
}

void FilteredCopy::takeOut(const std::string& path) {
    File* copy = copyAt(path);
    if (copy == nullptr || copy->parent() == nullptr) return;
    Directory* parent = copy->parent();
    detach(*copy);
    prune(parent);
}

void FilteredCopy::detach(File& copy) {
    Directory& parent = *copy.parent();
    auto removal = parent.remove(copy);
    reportOrderChanges(observer_, removal.batch);
    observer_.fileControllerDidRemove(*removal.file, parent, removal.index);
    mainQueue_.post([retired = std::move(removal.file)] {});
}

void FilteredCopy::prune(Directory* folder) {
    while (folder != nullptr && folder->parent() != nullptr && folder->count() == 0 &&
           !filter_.evaluate(*folder)) {
        Directory* parent = folder->parent();
        detach(*folder);
        folder = parent;
    }
}

} // namespace tessera
