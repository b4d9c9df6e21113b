// How a command of the command line ends its process. A command that read a tree of a million
// entries would spend a tenth of its time freeing it node by node just before the process goes;
// it leaves the tree here instead, and the process ends without freeing anything.
#pragma once

#include "model/File.h"

namespace tessera::cli {

/// Keeps `tree` alive until the process ends. Called in a process that does not end through
/// `endProcess`, the trees are freed with the other statics.
void keepUntilProcessEnd(FilePtr tree);

/// Flushes standard output and standard error and ends the process at once, without running
/// destructors. A standard output that could not be written (a full disk, a closed pipe) turns
/// a successful `status` into 1, with a line on standard error that says why.
[[noreturn]] void endProcess(int status);

} // namespace tessera::cli
