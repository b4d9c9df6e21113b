// `tessera info` and `tessera convert`: reading snapshots, and rewriting one form as the other.
#pragma once

#include "model/File.h"

#include <span>
#include <string>
#include <vector>

namespace tessera::cli {

/// Reads a snapshot file; on failure prints why (as `tessera COMMAND: …`) and gives none.
FilePtr loadSnapshot(const std::string& path, const char* command,
                     std::vector<FileKey>* keys = nullptr);

int runInfoCommand(std::span<const std::string> arguments);
int runConvertCommand(std::span<const std::string> arguments);

} // namespace tessera::cli
