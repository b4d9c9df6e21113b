// Pictures made of axis-aligned rectangles and lines (the tree map's) rasterised on the CPU into
// an image of the view's pixels: a rectangle fills the pixels whose centres it holds, as OpenGL
// fills them, and a line covers the band one pixel wide around it, each pixel as much as its two
// rows or columns of samples fall in the band (as the CPU back end samples); and
// everything is blended over what was drawn before in the order the GPU back end draws (the
// triangle strips, then the line strips, then the lines). A software OpenGL (Mesa's llvmpipe)
// pays about a fifth of a microsecond for each primitive, a hundred milliseconds for a tree map
// of a million entries; spans filled here take a few, and the GPU then draws one textured quad.
#pragma once

#include "render/DrawRenderer.h"
#include "render/LabelRenderer.h"

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace tessera {

class DrawRenderer;

/// The pixels of an image that a picture drew into, from its top left: columns left...right - 1,
/// rows top...bottom - 1; empty when it drew nothing. The rest of the image is transparent, so
/// that drawing this part alone draws the picture (a zoom's picture covers only part of the
/// view at first, and a software OpenGL pays for every pixel of a textured quad).
struct PixelArea {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    bool isEmpty() const { return left >= right || top >= bottom; }
    /// The smallest area holding both.
    PixelArea united(const PixelArea& other) const;
    friend bool operator==(const PixelArea&, const PixelArea&) = default;
};

/// Pictures with at least this many vertices are shown as one image of the view's pixels by
/// every back end that shows them placed (DrawRenderer::placement) or through a software
/// OpenGL: for a few thousand rectangles the GPU's own pipeline costs no more than an image of
/// the whole view, and the picture keeps its lines a point wide wherever it is placed.
inline constexpr std::size_t kLeastVerticesShownAsImage = 20'000;

/// Whether every strip of `picture` is a rectangle (four vertices, the corners of one with its
/// sides along the axes, of one colour) and every line segment runs along an axis.
bool isAxisAligned(const DrawRenderer& picture);

/// Draws `picture` into `image`, premultiplied rows from the top in `image.order`, of the
/// view of `viewWidth` × `viewHeight` points (origin at its centre, y up) at `scale` pixels a
/// point. The image is cleared to transparent first, or, given `backgroundGrey`, to that opaque
/// grey (each colour byte that value): its pixels are then the picture over a view's background,
/// which a GPU copies where it would blend. `picture.alpha` is left to whoever draws
/// the image, which a fade then changes as a whole (the other back ends blend each shape with
/// it: where a picture's lines lie over its rectangles, a fading picture shows the rectangles
/// through its lines there, and not here).
/// Returns false, the image unfinished, when a shape is not axis-aligned after all
/// (isAxisAligned, checked on the way). `drawnArea`, when given, receives the pixels drawn into.
bool rasteriseAxisAligned(const DrawRenderer& picture, double viewWidth, double viewHeight,
                          double scale, LabelBitmap& image, PixelArea* drawnArea = nullptr,
                          std::optional<std::uint8_t> backgroundGrey = std::nullopt);

/// rasteriseAxisAligned() for a picture drawn again and again. A picture marked recolourable
/// (a recolouring: the pictures after it change only its rectangles' colours), its rectangles
/// opaque, is drawn from a map of which colour each pixel takes: its rectangle's, or, under a
/// line, one of its own made from the line's pixel over its rectangle's colour. While the
/// pictures after it keep its shapes and its lines, a frame works out the rectangles' colours
/// and those under lines, and then looks each pixel's up: a walk over the pixels without a
/// branch instead of one over every shape. Other pictures are drawn afresh, and nothing of them
/// is kept.
class RecolouringRaster {
public:
    /// As rasteriseAxisAligned(). The map does not depend on the background.
    bool draw(const DrawRenderer& picture, double viewWidth, double viewHeight, double scale,
              LabelBitmap& image, std::optional<std::uint8_t> backgroundGrey = std::nullopt);
    /// Whether the last picture was coloured from the map rather than drawn afresh.
    bool lastColouredFromMap() const { return fromMap_; }
    /// The pixels the last picture drew into.
    PixelArea drawnArea() const { return drawn_; }

private:
    /// Whether `picture` has the last picture's shapes, only its rectangles' colours changed.
    bool sameShapes(const DrawRenderer& picture) const;
    static bool allOpaque(const DrawRenderer& picture);
    /// Keeps what sameShapes() compares the next picture with.
    void remember(const DrawRenderer& picture, double viewWidth, double viewHeight, double scale,
                  PixelOrder order);
    /// Notes which rectangle covers each pixel and which pixels lie under a line, and how. The
    /// lines are drawn into `lines` on the way (the image that colour() then fills: its memory
    /// is the image's of the last frame, where a new image's would cost a fault a page).
    bool mapShapes(const DrawRenderer& picture, double viewWidth, double viewHeight, double scale,
                   LabelBitmap& lines);
    /// Gives each pixel under a line a colour of its own in the map (after the rectangles'),
    /// noting the line's pixel over it; `lines` holds the lines drawn over transparency.
    void mapLinePixels(const LabelBitmap& lines, std::size_t rectangles);
    /// The picture from the map: each pixel its rectangle's colour under the lines, over
    /// `background` where none covers it (four bytes: 0 is transparent).
    void colour(const DrawRenderer& picture, LabelBitmap& image, std::uint32_t background);

    std::vector<DrawVertex> vertices_; // of the last picture
    std::vector<std::int32_t> stripOffsets_;
    std::vector<std::int32_t> lineOffsets_;
    std::vector<std::int32_t> lineStripOffsets_;
    double viewWidth_ = 0;
    double viewHeight_ = 0;
    double scale_ = 0;
    PixelOrder order_ = PixelOrder::rgba; // of the image the map colours
    bool mapped_ = false;
    std::uint64_t mappedShapes_ = 0; // the shapesRevision() of the picture mapped
    bool fromMap_ = false;
    PixelArea drawn_;      // by the last picture
    PixelArea mappedArea_; // by the shapes of the map
    /// A pixel under a line: the line's pixel (premultiplied, over transparency) over the
    /// colour of `under` (a rectangle + 1, 0: none).
    struct LinePixel {
        std::uint32_t under;
        std::array<std::uint8_t, 4> line;
    };
    int width_ = 0; // of the map, in pixels
    int height_ = 0;
    /// Each pixel's colour in colours_: 0 transparent, then each rectangle's, then linePixels_'.
    std::vector<std::uint32_t> colourOf_;
    std::vector<LinePixel> linePixels_;
    std::vector<std::uint32_t> colours_; // four bytes each, in order_
};

} // namespace tessera
