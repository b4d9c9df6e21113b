#include "controller/ScanPreview.h"

#include "model/Localization.h"

namespace tessera {

namespace {

// A folder as listed: its files as one entry named after their count.
DirectoryPtr folderOf(const FolderListing& listing, std::string_view name) {
    std::vector<FilePtr> contents;
    if (listing.fileCount > 0)
        contents.push_back(
            File::create(localizedCountFormat("file.display.childCount", listing.fileCount),
                         listing.fileSize, listing.fileAllocatedSize, {}, {}));
    DirectoryPtr folder = Directory::create(name, {}, {}, std::move(contents));
    folder->setBeingRead(true);
    return folder;
}

} // namespace

void ScanPreview::add(std::vector<FolderListing> listed, const std::vector<const void*>& finished,
                      const Insert& insert) {
    for (FolderListing& listing : listed) {
        if (listing.parent == nullptr) {
            if (root_) continue;
            // The root is named as a finished scan's root is: by the controller's path.
            root_ = folderOf(listing, "");
            folders_.emplace(listing.folder, root_.get());
            continue;
        }
        const auto parent = folders_.find(listing.parent);
        if (parent == folders_.end()) continue;
        DirectoryPtr folder = folderOf(listing, listing.name);
        Directory* node = folder.get();
        insert(*parent->second, std::move(folder));
        folders_.emplace(listing.folder, node);
    }
    for (const void* done : finished)
        if (const auto found = folders_.find(done); found != folders_.end())
            found->second->setBeingRead(false);
}

DirectoryPtr ScanPreview::takeRoot() {
    folders_.clear();
    return std::move(root_);
}

} // namespace tessera
