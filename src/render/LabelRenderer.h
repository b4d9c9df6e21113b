// What draws a label's bitmap over the picture: one per label, of the view's back end. The
// bitmap is uploaded when the label's text or appearance changed and drawn every frame as one
// rectangle.
#pragma once

#include "render/DrawRenderer.h"

#include <cstdint>
#include <span>
#include <vector>

namespace tessera {

/// The order of a pixel's four bytes in a bitmap.
enum class PixelOrder : std::uint8_t {
    rgba,
    /// Blue, green, red, alpha: what a software OpenGL (Mesa's llvmpipe) copies to the window
    /// without converting each pixel, where it would run a shader for each pixel of RGBA.
    bgra,
};

/// A label's picture: premultiplied, 8 bits per component, rows from the top.
struct LabelBitmap {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;
    PixelOrder order = PixelOrder::rgba;
};

/// Part of a bitmap drawn one to one at a place of the view: several labels typeset into one
/// bitmap are drawn at once.
struct LabelPiece {
    DrawRect source; // pixels of the bitmap, from its top left
    DrawRect target; // view points (origin at the centre, y up), aligned to the view's pixels
};

class LabelRenderer {
public:
    virtual ~LabelRenderer() = default;
    /// Opacity of the label.
    double alpha = 1.0;
    /// Replaces the texture's contents; `sizeChanged` when the pixel size differs from the last
    /// upload (always for the first).
    virtual void updateTexture(const LabelBitmap& bitmap, bool sizeChanged) = 0;
    /// Draws the texture stretched over `rect` (points, origin at the view's centre, y up).
    virtual void draw(const DrawRect& rect) = 0;
    /// Draws the given parts of the texture.
    virtual void drawPieces(std::span<const LabelPiece> pieces) = 0;
};

} // namespace tessera
