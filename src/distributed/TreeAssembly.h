// Builds the tree of a distributed scan from the records of every process, in whatever order
// and grouping they arrived.
#pragma once

#include "distributed/FolderRecords.h"
#include "model/Directory.h"
#include "scan/LinksCountedOnce.h"

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

namespace tessera::distributed {

class TreeAssembly {
public:
    /// Takes a batch of records as one process wrote them. Unreadable entries go to `onError`
    /// at once. Throws RecordError when the bytes do not decode.
    void add(std::string batch,
             const std::function<void(std::string_view path, int error)>& onError);

    /// Fills `root` (empty) from the record numbered `rootId` down, in each folder's listed
    /// order, and adds up every folder. The batches are freed. Throws RecordError when a
    /// folder's record is missing or met twice: the tree would not be the one on disk.
    void build(Directory& root, std::uint64_t rootId);

    /// After build(): the files with several names the records told of, by absolute path below
    /// `rootPath` (where the root was found).
    std::vector<LinkedName> linkedNames(const std::string& rootPath) const;

private:
    std::vector<std::string> batches_;
    // Folder records not yet built, per batch: a batch is freed as soon as its last one is, so
    // the records shrink while the tree grows.
    std::vector<std::uint32_t> unbuilt_;
    // Where each folder's record begins: its batch and the offset of its entry count.
    struct Place {
        std::uint32_t batch;
        std::uint32_t offset;
    };
    std::unordered_map<std::uint64_t, Place> places_;
    // Files with several names: where each was listed, then (once built) its node.
    struct Link {
        std::uint64_t folderId;
        std::uint32_t index;
        std::uint64_t device;
        std::uint64_t inode;
        const File* node = nullptr;
    };
    std::vector<Link> links_;
};

} // namespace tessera::distributed
