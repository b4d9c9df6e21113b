// The picture of a scan still running: a tree of the folders the walk has listed so far, each
// holding its subfolders and one entry that stands for its files, sizes growing as folders are
// listed. A folder stays marked as being read until the walk has measured everything below it.
// The finished scan's tree replaces it. Main thread only.
#pragma once

#include "model/Directory.h"
#include "scan/ParallelWalk.h"

#include <functional>
#include <unordered_map>
#include <vector>

namespace tessera {

class ScanPreview {
public:
    /// Puts `node` into `parent` (the controller tells its observers).
    using Insert = std::function<void(Directory& parent, FilePtr node)>;

    /// Adds the folders a delivery lists (each after its parent; the first the root) and marks
    /// the finished ones. Listings of folders whose parent is unknown are left out.
    void add(std::vector<FolderListing> listed, const std::vector<const void*>& finished,
             const Insert& insert);

    /// None until the root is listed.
    Directory* root() const { return root_.get(); }
    /// Hands the tree over (to be released once its observers let go of it).
    DirectoryPtr takeRoot();

private:
    DirectoryPtr root_;
    std::unordered_map<const void*, Directory*> folders_; // by the walk's node
};

} // namespace tessera
