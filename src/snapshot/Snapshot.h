// Snapshots of measured trees: written in either form, read back whatever the form.
#pragma once

#include "snapshot/SnapshotDecoder.h"
#include "snapshot/SnapshotEncoder.h"

#include <string>

namespace tessera {

class Snapshot {
public:
    /// The bytes of a snapshot file of `root`.
    static std::string makeData(const File& root, const SnapshotEncoder::Options& options);

    /// The tree in a snapshot's bytes: JSON with ISO dates, then JSON with dates as seconds
    /// since 2001 when a value had the wrong type, then TSV, whose error is the one reported.
    /// Takes the bytes by value to add the JSON reader's padding in place.
    static std::expected<FilePtr, SnapshotError> loadRoot(std::string data);
};

} // namespace tessera
