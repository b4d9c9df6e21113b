// A file with several names (hard links) changes under all of them at once, but the kernel tells
// only the folder of the name it was written through. The live tree finds the other names so
// that they are measured again too.
#pragma once

#include "model/File.h"
#include "platform/FileSystem.h"

#include <functional>
#include <string>
#include <vector>

namespace tessera {

/// The absolute paths of the files in the tree below `root`, other than `changed`, that are the
/// same file on disk as `changed`, whose fresh status is `status` (of a file with more than one
/// name). Every name of one file was measured alike, so only nodes that carry `changed`'s figures
/// or the fresh ones are looked at on disk: the search reads the tree once and stats a handful.
std::vector<std::string> otherNamesOf(const Directory& root, const File& changed,
                                      const platform::EntryStatus& status,
                                      const std::function<std::string(const File&)>& pathOf);

} // namespace tessera
