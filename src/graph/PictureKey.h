// What a graph's picture at rest was made from: the shown file in which drawing, the tree's
// revision, the view's size, density and appearance, and the settings. What is made from a
// picture (its names, its lit search matches) is made again only when this changes.
#pragma once

#include "render/DrawRenderer.h"
#include "settings/Settings.h"

#include <cstdint>

namespace tessera {

class DrawGraph;
class File;

struct PictureKey {
    const File* file = nullptr;
    const DrawGraph* drawing = nullptr;
    std::uint64_t treeRevision = 0;
    DrawSize viewSize;
    double scale = 1;
    bool dark = false;
    Settings settings; // those of the graph's table are compared, the animation speed aside

    bool samePicture(const PictureKey& other) const;
};

} // namespace tessera
