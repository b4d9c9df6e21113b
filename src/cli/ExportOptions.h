// The --format and --keys options of the commands that write snapshots.
#pragma once

#include "snapshot/SnapshotEncoder.h"

#include <expected>
#include <string>

namespace tessera::cli {

/// Reads "tsv" or "json".
[[nodiscard]] std::expected<SnapshotEncoder::FileFormat, std::string>
parseFormat(const std::string& text);
/// Writes the snapshot of `root` to `path` atomically, streaming it as it is encoded.
[[nodiscard]] std::expected<void, std::string>
exportSnapshot(const File& root, const SnapshotEncoder::Options& options, const std::string& path);
/// Reads a comma-separated list of keys ("name,size,allocatedSize,creationDate,...").
[[nodiscard]] std::expected<std::vector<FileKey>, std::string> parseKeys(const std::string& text);

} // namespace tessera::cli
