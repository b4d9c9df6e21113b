// A folder with what real disks hold and naive tools get wrong: sparse files, hard links,
// symbolic links (dangling too), empty folders, names with every awkward byte, "._" companion
// files, and nested folders. Built on disk at test time; shared by the tests of scanning,
// snapshots and live updates.
#pragma once

#include "support/TemporaryDirectory.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tessera::testing {

struct AwkwardTree {
    TemporaryDirectory folder;
    /// Names the tree holds that are not valid UTF-8 or contain control characters.
    std::vector<std::string> awkwardNames;

    AwkwardTree();
    const std::string& path() const { return folder.path(); }
};

/// Totals counted independently of the scanner (lstat over a recursive directory iterator):
/// every non-directory counted where it is met, empty directories as leaves, "._" companions of
/// an existing file left out.
struct IndependentCount {
    std::int64_t size = 0;
    std::int64_t allocatedSize = 0;
    std::int64_t leaves = 0;
    std::int64_t directories = 0;
    std::int64_t entries = 0; // everything below the root that a scan handles
};
IndependentCount countIndependently(const std::string& root);

} // namespace tessera::testing
