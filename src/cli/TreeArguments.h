// A tree named on the command line: a folder (scanned, with progress on a terminal) or a
// snapshot file or pipe (read).
#pragma once

#include "model/File.h"

#include <string>

namespace tessera::cli {

/// The tree at `path` (a folder becomes the folder a link leads to, and `path` with it); none
/// after saying why on standard error as `tessera COMMAND: ...`.
FilePtr loadTreeArgument(std::string& path, const char* command);

} // namespace tessera::cli
