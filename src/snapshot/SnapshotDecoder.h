// Reads the TSV form of a snapshot back into a tree (see the README's format section).
#pragma once

#include "model/File.h"
#include "model/FileEnums.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <expected>
#include <string>
#include <string_view>
#include <vector>

namespace tessera {

/// Why a snapshot could not be read: the user sees the description.
struct SnapshotError {
    std::string description;
};

class SnapshotDecoder {
public:
    /// The root of the tree in `data`, or why there is none. Nothing partial is returned.
    [[nodiscard]] std::expected<FilePtr, SnapshotError> decode(std::string_view data);
    /// The same, read from `file` piece by piece after `alreadyRead`, its bytes taken before:
    /// only the tree is kept. `keys`, when given, receives the header's columns in order;
    /// `entries`, when given, counts the nodes made so far.
    [[nodiscard]] std::expected<FilePtr, SnapshotError>
    decode(std::FILE* file, std::string_view alreadyRead, std::vector<FileKey>* keys = nullptr,
           std::atomic<std::uint64_t>* entries = nullptr);
};

} // namespace tessera
