// One move of a node inside its parent's contents, reported to observers to animate.
#pragma once

#include <cstddef>
#include <vector>

namespace tessera {

class File;

struct FileOrderChange {
    File* file; // the node that moved; owned by the tree
    std::ptrdiff_t oldIndex;
    std::ptrdiff_t newIndex;

    friend bool operator==(const FileOrderChange&, const FileOrderChange&) = default;
};

/// The moves of one size change, deepest level first.
using FileOrderBatch = std::vector<FileOrderChange>;

} // namespace tessera
