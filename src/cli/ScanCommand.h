// `tessera scan`: scans a folder and prints its totals and largest entries.
#pragma once

#include <span>
#include <string>

namespace tessera::cli {

/// Runs the command with the arguments after "scan"; returns the process's exit status.
int runScanCommand(std::span<const std::string> arguments);

} // namespace tessera::cli
