// The tree map's cushions (van Wijk and van de Wetering's cushion tree maps): every rectangle
// adds a ridge along each axis, a parabola as high as its level allows, to the surface of all
// that lies in it; each tile is then lit by one light from the top left through the sum of its
// own ridge and its folders'. A folder's tiles share its folders' ridges, so folders stand out
// as bumps without any border. The shading is an image of the view, dark where the surface turns
// away from the light, laid over the flat picture.
#include "layouts/DrawTreeMap.h"
#include "platform/WorkerPool.h"

#include <algorithm>
#include <cmath>

namespace tessera {
namespace {

// The main file's ridges stand this high; each level down, this share of its folder's.
constexpr double kTopRidge = 0.4;
constexpr double kRidgeShare = 0.8;
// Light that reaches every point, and the share that depends on the surface's slope.
constexpr double kAmbient = 0.25;
constexpr double kDiffuse = 0.75;
// From the top left, high above the view (y up).
constexpr double kLightX = -0.0976;
constexpr double kLightY = 0.1952;
constexpr double kLightZ = 0.9759;

struct Surface {
    double s1x = 0;
    double s2x = 0;
    double s1y = 0;
    double s2y = 0;
    double height = kTopRidge / kRidgeShare;

    // This surface with the ridges of `frame` one level down added.
    Surface below(const DrawRect& frame) const {
        Surface next = *this;
        next.height = height * kRidgeShare;
        const double h = next.height;
        if (frame.width > 0) {
            next.s1x += 4 * h * (2 * frame.x + frame.width) / frame.width;
            next.s2x -= 4 * h / frame.width;
        }
        if (frame.height > 0) {
            next.s1y += 4 * h * (2 * frame.y + frame.height) / frame.height;
            next.s2y -= 4 * h / frame.height;
        }
        return next;
    }
};

int firstCentre(double edge) {
    return static_cast<int>(std::ceil(edge - 0.5));
}

} // namespace

LabelBitmap DrawTreeMap::cushionShading(double scale) const {
    LabelBitmap shading;
    // Black under each pixel's alpha reads the same in either order; blue first, a software
    // OpenGL blends it over the picture without a shader.
    shading.order = PixelOrder::bgra;
    const DrawSize size = viewSize();
    shading.width = std::max(0, static_cast<int>(std::lround(size.width * scale)));
    shading.height = std::max(0, static_cast<int>(std::lround(size.height * scale)));
    shading.pixels.assign(static_cast<std::size_t>(shading.width) * shading.height * 4, 0);
    if (!mainFileView_ || fileViews_.size() == 0) return shading;
    // Folders are stored before what they hold: each view's surface is its folder's plus its
    // own ridges.
    std::vector<Surface> surfaces(fileViews_.size());
    std::vector<std::uint32_t> tiles;
    // A folder's views lie next to each other: the last folder found is asked first.
    const File* lastParent = nullptr;
    std::ptrdiff_t lastAbove = -1;
    constexpr std::size_t kFetchAhead = 16; // the files lie anywhere in memory
    for (std::size_t i = 0; i < fileViews_.size(); ++i) {
        if (i + kFetchAhead < fileViews_.size())
            __builtin_prefetch(
                fileViews_.begin()[static_cast<std::ptrdiff_t>(i + kFetchAhead)].file);
        const FileView& view = fileViews_.begin()[static_cast<std::ptrdiff_t>(i)];
        const File* parent = view.file != nullptr ? view.file->parent() : nullptr;
        if (i > 0 && parent != nullptr && parent != lastParent) {
            lastParent = parent;
            lastAbove = fileViews_.indexOf(parent);
        }
        const std::ptrdiff_t above = i == 0 || parent == nullptr ? -1 : lastAbove;
        const Surface& base = above >= 0 ? surfaces[static_cast<std::size_t>(above)] : Surface{};
        surfaces[i] = base.below(view.frame);
        if (!view.opened) tiles.push_back(static_cast<std::uint32_t>(i));
    }
    // Each tile lights the pixels whose centres it holds; in bands of rows, one a thread.
    const double halfWidth = size.width / 2;
    const double halfHeight = size.height / 2;
    WorkerPool& pool = *workers;
    const std::size_t bands = pool.threadCount();
    pool.run(bands, [&](std::size_t band) {
        const auto firstRow = static_cast<int>(shading.height * band / bands);
        const auto endRow = static_cast<int>(shading.height * (band + 1) / bands);
        for (const std::uint32_t index : tiles) {
            const FileView& view = fileViews_.begin()[static_cast<std::ptrdiff_t>(index)];
            const DrawRect& frame = view.frame;
            const int top = std::max(firstRow, firstCentre((halfHeight - frame.maxY()) * scale));
            const int bottom = std::min(endRow, firstCentre((halfHeight - frame.y) * scale));
            if (top >= bottom) continue;
            const int left = std::max(0, firstCentre((frame.x + halfWidth) * scale));
            const int right =
                std::min(shading.width, firstCentre((frame.maxX() + halfWidth) * scale));
            const Surface& surface = surfaces[index];
            // In single precision, a row at a time: the slope across is linear in x.
            const auto ax = static_cast<float>(-2 * surface.s2x / scale);
            const auto bx =
                static_cast<float>(-(2 * surface.s2x * (0.5 / scale - halfWidth) + surface.s1x));
            for (int row = top; row < bottom; ++row) {
                const double y = halfHeight - (row + 0.5) / scale;
                const auto ny = static_cast<float>(-(2 * surface.s2y * y + surface.s1y));
                const float lightY = ny * static_cast<float>(kLightY) + static_cast<float>(kLightZ);
                const float nyy = ny * ny + 1;
                std::uint8_t* pixel = shading.pixels.data() +
                                      (static_cast<std::size_t>(row) * shading.width + left) * 4;
                for (int column = left; column < right; ++column, pixel += 4) {
                    const float nx = ax * static_cast<float>(column) + bx;
                    const float facing =
                        (nx * static_cast<float>(kLightX) + lightY) / std::sqrt(nx * nx + nyy);
                    const float light = static_cast<float>(kAmbient) +
                                        static_cast<float>(kDiffuse) * std::max(0.0f, facing);
                    pixel[3] = static_cast<std::uint8_t>((1 - std::min(1.0f, light)) * 255 + 0.5f);
                }
            }
        }
    });
    return shading;
}

} // namespace tessera
