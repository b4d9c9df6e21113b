// Files with several names counted once in a live tree. The live updates keep giving every name
// the file's figures as measured; a name counted elsewhere that is measured again with other
// figures counts again, and a recount at the next turn of the main queue decides once more for
// the files whose names came, went or were measured (the hard-link index and the tree's changes
// tell which), so that a change costs a look at that file's names only. A file whose names did
// not change keeps the name that counts it, so that growing folders elsewhere do not move its
// size from name to name.
#include "controller/ChangeReporter.h"
#include "controller/FileControllerInternals.h"
#include "controller/HardLinks.h"

#include <map>
#include <unordered_map>
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
    const bool once = counting == HardLinkCounting::once;
    hardLinks_->setTracksChanges(once);
    linkedFilesChanged_.clear();
    // Before the first scan's tree comes there is nothing to count again: the tree is counted as
    // it arrives.
    if (!rootFile_) return;
    recountsEveryLink_ = once;
    performUpdate([this] {
        if (hardLinkCounting_ == HardLinkCounting::once)
            recountLinks();
        else
            countEveryName();
    });
}

void FileController::linkedFileChanged(std::uint64_t device, std::uint64_t inode) {
    if (hardLinkCounting_ != HardLinkCounting::once) return;
    linkedFilesChanged_.emplace(device, inode);
    recountLinksLater();
}

void FileController::linkedFilesChangedAtOrBelow(const std::string& path) {
    if (hardLinkCounting_ != HardLinkCounting::once || hardLinks_->empty()) return;
    for (const HardLinkIndex::Identity& identity : hardLinks_->filesAtOrBelow(path))
        linkedFileChanged(identity.device, identity.inode);
}

void FileController::linksArriving(const File& inserted) {
    // The hard-link index may have met its names before the node joined the tree, and a recount
    // may have run meanwhile: its files are decided again now that the tree holds them.
    if (hardLinkCounting_ == HardLinkCounting::once)
        linkedFilesChangedAtOrBelow(absolutePath(inserted));
}

void FileController::linksLeaving(const File& removed, const std::string& path) {
    if (hardLinkCounting_ != HardLinkCounting::once || !rootFile_) return;
    if (!uncounted_.empty()) {
        if (!removed.isDirectory())
            uncounted_.erase(&removed);
        else
            std::erase_if(uncounted_,
                          [&](const auto& entry) { return entry.first->isDescendant(removed); });
    }
    // A file that loses its counting name counts at another.
    linkedFilesChangedAtOrBelow(path);
}

std::optional<std::string> FileController::countingNameOf(const File& name) const {
    if (!name.isCountedElsewhere() || !rootFile_) return std::nullopt;
    const auto identity = hardLinks_->identityOf(absolutePath(name));
    if (!identity) return std::nullopt;
    const std::string prefix = rootPath_ == "/" ? "/" : rootPath_ + "/";
    for (const LinkedName& other : hardLinks_->namesOf({{identity->device, identity->inode}})) {
        if (!other.path.starts_with(prefix)) continue;
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
    if (!rootFile_) return;
    HardLinkIndex::Changes changes = hardLinks_->takeChanges();
    changes.files.merge(linkedFilesChanged_);
    linkedFilesChanged_.clear();
    std::vector<LinkedName> changed = std::exchange(recountsEveryLink_, false)
                                          ? hardLinks_->names()
                                          : hardLinks_->namesOf(changes.files);
    // Names the index let go: a name counted elsewhere among them may be its file's last.
    for (LinkedName& forgotten : changes.forgotten)
        changed.push_back(std::move(forgotten));
    if (changed.empty()) return;
    const SizeMode order = rootFile_->sizeMode().value_or(SizeMode::fileSize);
    // The names of each of those files that the tree holds now.
    const std::string prefix = rootPath_ == "/" ? "/" : rootPath_ + "/";
    std::map<std::pair<std::uint64_t, std::uint64_t>, std::vector<File*>> files;
    std::unordered_set<const File*> named;
    // Looked up folder by folder: a folder's entries are read once however many names it holds.
    std::unordered_map<std::string_view, std::unordered_map<std::string_view, File*>> folders;
    const auto lookUp = [&](std::string_view relative) -> File* {
        const std::size_t slash = relative.rfind('/');
        const std::string_view folder =
            slash == std::string_view::npos ? std::string_view() : relative.substr(0, slash);
        auto [table, added] = folders.try_emplace(folder);
        if (added) {
            File* found = folder.empty() ? rootFile_.get() : rootFile_->fileAtPath(folder);
            if (const Directory* directory = found != nullptr ? found->asDirectory() : nullptr)
                for (File* child : directory->contents())
                    table->second.emplace(child->path(), child);
        }
        const auto child = table->second.find(
            slash == std::string_view::npos ? relative : relative.substr(slash + 1));
        return child != table->second.end() ? child->second : nullptr;
    };
    for (const LinkedName& name : changed) {
        if (!name.path.starts_with(prefix)) continue;
        File* node = lookUp(std::string_view(name.path).substr(prefix.size()));
        if (node == nullptr || node->kind() != File::Kind::file || !named.insert(node).second)
            continue;
        // A name replaced since the index met it stands for another file now.
        const auto status = platform::statusOfPath(name.path);
        if (!status || status->isDirectory || status->device != name.device ||
            status->inode != name.inode) {
            if (const auto taken = uncounted_.find(node); taken != uncounted_.end())
                giveFiguresBack(*node, taken->second);
            continue;
        }
        files[{name.device, name.inode}].push_back(node);
    }
    // Decided for every file first, then applied: taking sizes away reorders the graph.
    std::vector<std::vector<File*>*> deciding;
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
        if (names.size() > 1) deciding.push_back(&names);
    }
    GraphOrder graphOrder(order);
    std::vector<File*> others;
    for (const std::vector<File*>* names : deciding) {
        const File* first = graphOrder.first(*names);
        for (File* name : *names)
            if (name != first) others.push_back(name);
    }
    for (File* other : others)
        takeFigures(*other);
}

void FileController::countEveryName() {
    std::vector<UncountedName> uncounted;
    for (const auto& [node, figures] : uncounted_)
        uncounted.push_back(figures);
    for (const UncountedName& figures : uncounted)
        giveFiguresBack(*figures.name, figures);
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
