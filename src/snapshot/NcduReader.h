// Reads the export format of ncdu and gdu (`ncdu -o`, `gdu -o`): a JSON array of the format's
// version, a metadata object and the root folder, where a folder is an array of its own entry
// followed by its children. Names are kept as the bytes they are (ncdu writes names that are
// not UTF-8 as they lie on disk). Folders' own sizes are not added to the totals, as in
// Tessera's snapshots; entries the scan excluded are left out; each name of a file with several
// is an entry of its own, as a scan counts them. The root is unnamed, as in Tessera's trees.
#pragma once

#include "model/File.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <expected>
#include <string>
#include <string_view>

namespace tessera {

/// The tree of the export in `data`, or what is wrong with it and where.
[[nodiscard]] std::expected<FilePtr, std::string> readNcduExport(std::string_view data);
/// The same, read from `file` to its end; `alreadyRead` bytes (whitespace) were taken before.
/// `entries`, when given, counts the nodes made so far.
[[nodiscard]] std::expected<FilePtr, std::string>
readNcduExport(std::FILE* file, std::size_t alreadyRead,
               std::atomic<std::uint64_t>* entries = nullptr);

} // namespace tessera
