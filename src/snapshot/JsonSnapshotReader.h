// Reads the JSON form of a snapshot as a stream of parse events (JsonEventReader): nothing is
// kept but the tree being built, its open folders and a few batches of entries on their way to
// the thread that makes their nodes (NodeAssembly), whatever the file's size or nesting, and a
// file is read as it streams by.
#pragma once

#include "snapshot/SnapshotDecoder.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace tessera {

/// The tree of the JSON snapshot in `data`, or what is wrong with it and where. Dates are ISO 8601
/// texts, or, as older versions wrote them, seconds since 2001-01-01T00:00:00Z: the first date
/// decides, and a document that mixes the two is damaged.
[[nodiscard]] std::expected<FilePtr, std::string> readJsonSnapshot(std::string_view data);
/// The same, read from `file` to its end; `alreadyRead` bytes (whitespace) were taken before.
/// `keys`, when given, receives the properties the entries carry, in the order first met;
/// `entries`, when given, counts the nodes made so far.
[[nodiscard]] std::expected<FilePtr, std::string>
readJsonSnapshot(std::FILE* file, std::size_t alreadyRead, std::vector<FileKey>* keys = nullptr,
                 std::atomic<std::uint64_t>* entries = nullptr);

} // namespace tessera
