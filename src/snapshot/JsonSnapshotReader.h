// Reads the JSON form of a snapshot with simdjson's on-demand parser, iteratively, so that no
// nesting depth exhausts the stack.
#pragma once

#include "snapshot/SnapshotDecoder.h"

#include <string>

namespace tessera {

enum class SnapshotDateForm {
    iso8601,          // "2024-05-01T12:00:00Z"
    referenceSeconds, // seconds since 2001-01-01T00:00:00Z, as written by older versions
};

struct JsonSnapshotFailure {
    bool typeMismatch = false; // a value of the wrong type: worth a retry with the other dates
    std::string description;
};

/// `data` must have simdjson's padding behind its size (see Snapshot::loadRoot).
std::expected<FilePtr, JsonSnapshotFailure> readJsonSnapshot(const std::string& data,
                                                             SnapshotDateForm dates);

} // namespace tessera
