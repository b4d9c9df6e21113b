// Files with several names counted once in a live tree. The live updates keep giving every name
// the file's figures as measured; a name counted elsewhere that is measured again counts again,
// and a recount at the next turn of the main queue decides once more for the files whose names
// came, went or were measured. A file whose names did not change keeps the name that counts it,
// so that growing folders elsewhere do not move its size from name to name.
#include "controller/ChangeReporter.h"
#include "controller/FileControllerInternals.h"
#include "controller/HardLinks.h"

#include <map>
#include <unordered_set>

namespace tessera {

void FileController::setFavorite(Favorite* favorite) {
    favorite_ = favorite;
    favoriteChanged_.cancel();
    if (favorite == nullptr) return;
    const auto follow = [this](Favorite& changed) {
        setHardLinkCounting(changed.countsHardLinksOnce() ? HardLinkCounting::once
                                                          : HardLinkCounting::eachName);
    };
    favoriteChanged_ = favorite->changed().subscribe(follow);
    follow(*favorite);
}

void FileController::setHardLinkCounting(HardLinkCounting counting) {
    if (isSnapshot_ || counting == hardLinkCounting_) return;
    hardLinkCounting_ = counting;
    // Before the first scan's tree comes there is nothing to count again: the tree is counted as
    // it arrives.
    if (!rootFile_) return;
    performUpdate([this] {
        if (hardLinkCounting_ == HardLinkCounting::once)
            recountLinks();
        else
            countEveryName();
    });
}

std::optional<std::string> FileController::countingNameOf(const File& name) const {
    if (!name.isCountedElsewhere() || !rootFile_) return std::nullopt;
    const auto identity = hardLinks_->identityOf(absolutePath(name));
    if (!identity) return std::nullopt;
    const std::string prefix = rootPath_ == "/" ? "/" : rootPath_ + "/";
    for (const LinkedName& other : hardLinks_->names()) {
        if (other.device != identity->device || other.inode != identity->inode ||
            !other.path.starts_with(prefix))
            continue;
        const File* node =
            rootFile_->fileAtPath(std::string_view(other.path).substr(prefix.size()));
        if (node != nullptr && !node->isDirectory() && !node->isCountedElsewhere())
            return other.path;
    }
    return std::nullopt;
}

void FileController::recountLinksLater() {
    if (linkRecountPosted_) return;
    linkRecountPosted_ = true;
    mainQueue_.post([weak = weak_from_this()] {
        auto controller = weak.lock();
        if (!controller) return;
        controller->linkRecountPosted_ = false;
        controller->performUpdate([controller = controller.get()] {
            if (controller->hardLinkCounting_ == HardLinkCounting::once) controller->recountLinks();
        });
    });
}

void FileController::recountLinks() {
    if (!rootFile_ || (hardLinks_->empty() && uncounted_.empty())) return;
    recountingLinks_ = true;
    const SizeMode order = rootFile_->sizeMode().value_or(SizeMode::fileSize);
    // The names of each file that the tree holds now.
    const std::string prefix = rootPath_ == "/" ? "/" : rootPath_ + "/";
    std::map<std::pair<std::uint64_t, std::uint64_t>, std::vector<File*>> files;
    std::unordered_set<const File*> named;
    for (const LinkedName& name : hardLinks_->names()) {
        if (!name.path.starts_with(prefix)) continue;
        File* node = rootFile_->fileAtPath(std::string_view(name.path).substr(prefix.size()));
        if (node == nullptr || node->kind() != File::Kind::file || !named.insert(node).second)
            continue;
        files[{name.device, name.inode}].push_back(node);
    }
    // A name the index let go (its file has one name left) counts again.
    std::vector<UncountedName> alone;
    for (const auto& [node, figures] : uncounted_)
        if (!named.contains(node)) alone.push_back(figures);
    for (const UncountedName& figures : alone)
        giveFiguresBack(*figures.name, figures);

    for (auto& [identity, names] : files) {
        std::size_t counting = 0;
        const File* measured = nullptr; // a name that counts carries the figures last measured
        for (const File* name : names) {
            if (uncounted_.contains(name)) continue;
            ++counting;
            measured = name;
        }
        if (counting == 1 && names.size() > 1) continue; // as decided before
        for (File* name : names) {
            const auto taken = uncounted_.find(name);
            if (taken == uncounted_.end()) continue;
            UncountedName figures = taken->second;
            if (measured != nullptr) {
                figures.size = measured->size();
                figures.allocatedSize = measured->allocatedSize();
            }
            giveFiguresBack(*name, figures);
        }
        if (names.size() < 2) continue;
        const File* first = firstInGraphOrder(names, order);
        for (File* name : names)
            if (name != first) takeFigures(*name);
    }
    recountingLinks_ = false;
}

void FileController::countEveryName() {
    recountingLinks_ = true;
    std::vector<UncountedName> uncounted;
    for (const auto& [node, figures] : uncounted_)
        uncounted.push_back(figures);
    for (const UncountedName& figures : uncounted)
        giveFiguresBack(*figures.name, figures);
    recountingLinks_ = false;
}

void FileController::giveFiguresBack(File& name, UncountedName figures) {
    uncounted_.erase(&name);
    name.setCountedElsewhere(false);
    resizeInPlace(name, figures.size - name.size(), figures.allocatedSize - name.allocatedSize());
}

void FileController::takeFigures(File& name) {
    uncounted_[&name] = {&name, name.size(), name.allocatedSize()};
    name.setCountedElsewhere(true);
    resizeInPlace(name, -name.size(), -name.allocatedSize());
}

void FileController::forgetUncountedAt(const File& removed) {
    if (uncounted_.empty()) return;
    if (!removed.isDirectory()) {
        uncounted_.erase(&removed);
        return;
    }
    std::erase_if(uncounted_,
                  [&](const auto& entry) { return entry.first->isDescendant(removed); });
}

void FileController::resizeInPlace(File& file, std::int64_t sizeDelta,
                                   std::int64_t allocatedDelta) {
    Directory& parent = *file.parent();
    if (sizeDelta == 0 && allocatedDelta == 0) {
        reporter().change(file, false, 0, 0, {});
        return;
    }
    const std::size_t oldIndex = detail::indexOf(parent, file);
    FileOrderBatch batch = parent.updateSizes(&file, sizeDelta, allocatedDelta, 0);
    std::size_t newIndex = oldIndex;
    if (!batch.empty() && batch.front().file == &file) {
        newIndex = static_cast<std::size_t>(batch.front().newIndex);
        batch.erase(batch.begin());
    }
    reporter().change(file, true, oldIndex, newIndex, batch);
}

} // namespace tessera
