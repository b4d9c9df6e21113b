// What a graph's picture at rest was made from: the shown file in which drawing, the tree's
// revision, the view's size, density and appearance, and the settings. What is made from a
// picture (its names, its lit search matches, its cushions) is made again only when this
// changes.
#pragma once

#include "model/FileEnums.h"
#include "render/DrawRenderer.h"

#include <array>
#include <cstdint>

namespace tessera {

class DrawGraph;
class File;
struct Settings;

struct PictureKey {
    /// What `settings` are kept of: the values of the graph's table, the animation speed aside.
    static constexpr std::size_t kMostSettings = 24;

    PictureKey(const File* file, const DrawGraph* drawing, std::uint64_t treeRevision,
               DrawSize viewSize, double scale, bool dark, const Settings& settings);

    const File* file = nullptr;
    const DrawGraph* drawing = nullptr;
    std::uint64_t treeRevision = 0;
    DrawSize viewSize;
    double scale = 1;
    bool dark = false;
    SizeMode sizeMode = SizeMode::fileSize;
    std::array<double, kMostSettings> settings{};

    bool samePicture(const PictureKey& other) const;
};

} // namespace tessera
