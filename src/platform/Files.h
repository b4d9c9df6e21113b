// Whole-file reads and atomic writes.
#pragma once

#include <expected>
#include <string>
#include <string_view>

namespace tessera::platform {

/// The file's bytes, or why not (the system's description, with the path).
std::expected<std::string, std::string> readWholeFile(const std::string& path);

/// Writes `data` to a temporary file beside `path` and renames it over `path`, so that an
/// interrupted write never leaves a half file under the chosen name. The file gets the usual
/// permissions (0666 less the umask).
std::expected<void, std::string> writeFileAtomically(const std::string& path, std::string_view data);

} // namespace tessera::platform
