// The locations the commands are given, looked at before anything is opened: a folder to scan
// (a symbolic link to one is that folder, as for du), a snapshot to read (a regular file or a
// pipe). Devices, sockets and FIFOs given as folders are refused with a message, never opened.
#pragma once

#include <optional>
#include <string>

namespace tessera::cli {

/// The folder to scan at `path`, or none after saying why on standard error.
std::optional<std::string> folderToScan(const std::string& path, const char* command);
/// The snapshot file to read at `path`, or none after saying why on standard error.
std::optional<std::string> snapshotToRead(const std::string& path, const char* command);

} // namespace tessera::cli
