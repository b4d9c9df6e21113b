// Snapshots of measured trees: written in either form, read back whatever the form.
#pragma once

#include "snapshot/SnapshotDecoder.h"
#include "snapshot/SnapshotEncoder.h"

#include <string>
#include <string_view>

namespace tessera {

class Snapshot {
public:
    /// The bytes of a snapshot file of `root`.
    static std::string makeData(const File& root, const SnapshotEncoder::Options& options);

    /// The tree in a snapshot's bytes: JSON when they open with "{" (dates as ISO 8601 texts,
    /// or as seconds since 2001 from older versions), else TSV.
    static std::expected<FilePtr, SnapshotError> loadRoot(std::string_view data);
    /// The same from a file, read as it streams by: only the tree is kept in memory.
    static std::expected<FilePtr, SnapshotError> loadRootFromFile(const std::string& path);
};

} // namespace tessera
