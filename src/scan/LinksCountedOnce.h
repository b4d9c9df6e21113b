// Files with several names counted once (as du and ncdu count them), rather than at each name
// met (the default): a choice of how a tree adds up, made after its scan.
#pragma once

#include "model/FileEnums.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace tessera {

class Directory;
class File;

/// A name met by a scan of a file with more than one name.
struct LinkedName {
    std::string path; // absolute
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
};

/// How a tree counts a file that has several names in it.
enum class HardLinkCounting : std::uint8_t {
    eachName, // its size at every name met, as the file system lists them
    once,     // its size at its first name in the graph's order, none at the others
};

/// A name whose size was taken because the file is counted at another name, with the figures it
/// gave up.
struct UncountedName {
    File* name = nullptr;
    std::int64_t size = 0;
    std::int64_t allocatedSize = 0;
};

/// Counts once each file of which `names` (as a scan of `root`, found at `rootPath`, met them)
/// holds several names in the tree: the first of them in the graph's order by `mode` keeps the
/// size (folders and files largest first, then by name, the sizes as counted at each name), and
/// the others keep their place with no size and are marked counted elsewhere. The folders above
/// them add up again. Returns the names whose size was taken, in no particular order.
std::vector<UncountedName> countLinksOnce(Directory& root, const std::string& rootPath,
                                          std::vector<LinkedName> names, SizeMode mode);

/// Of nodes of one tree, the one the graph's order by `mode` meets first (see countLinksOnce);
/// none when `nodes` is empty.
File* firstInGraphOrder(std::span<File* const> nodes, SizeMode mode);

} // namespace tessera
