// Files with several names counted once (as du and ncdu count them), rather than at each name
// met (the default): a choice of how a tree adds up, made after its scan.
#pragma once

#include "model/FileEnums.h"

#include <cstdint>
#include <span>
#include <string>
#include <unordered_map>
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

/// The graph's order by a measure, in which the first of a file's names counts it (see
/// countLinksOnce). It remembers the nodes' ranks among their siblings: sizes that change
/// meanwhile need a new one.
class GraphOrder {
public:
    explicit GraphOrder(SizeMode mode) : mode_(mode) {}
    /// Of nodes of one tree, the one the order meets first; none when `nodes` is empty.
    File* first(std::span<File* const> nodes);

private:
    /// The node's rank among its siblings at each level, from the root down: places compare as
    /// the depth-first walk of the graph meets them.
    std::vector<std::size_t> placeOf(const File& node);

    SizeMode mode_;
    std::unordered_map<const File*, std::size_t> ranks_;
};

} // namespace tessera
