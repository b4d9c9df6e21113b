// The CPU back end: draws renderers' triangle strips (colours interpolated across each
// triangle), line strips and lines into an RGBA image, with each renderer's alpha and
// premultiplied blending. Edges follow the top-left rule on exact fixed-point coordinates, so
// triangles that share an edge cover every sample once: no gaps, no double blending. Each
// pixel holds samples × samples subsamples, averaged when the image is taken (anti-aliasing).
// Serves the command line, pixel tests, and machines without OpenGL.
#pragma once

#include "render/AxisAlignedRaster.h"
#include "render/DrawRenderer.h"
#include "render/LabelRenderer.h"
#include "render/SvgPicture.h"

#include <cstdint>
#include <vector>

namespace tessera {

class RasterCanvas {
public:
    /// A canvas of `width` × `height` points (one pixel each) with samples² subsamples.
    RasterCanvas(int width, int height, int samples = 1);

    int width() const { return width_; }
    int height() const { return height_; }

    /// Fills everything with an opaque grey (the view's background).
    void clear(double grey);
    /// Draws the renderer's triangle strips, then its line strips, then its lines.
    void draw(const DrawRenderer& renderer);
    /// Draws `bitmap` stretched over `rect` (filtered linearly) at `alpha`.
    void drawBitmap(const LabelBitmap& bitmap, const DrawRect& rect, double alpha);
    /// The same with the part `source` of it (pixels from its top left): nothing beyond that
    /// part is sampled.
    void drawBitmap(const LabelBitmap& bitmap, const DrawRect& source, const DrawRect& rect,
                    double alpha);

    /// The picture as straight (not premultiplied) RGBA bytes, rows from the top.
    std::vector<std::uint8_t> image() const;
    /// One pixel of image(), in the view's coordinates (origin at the centre, y up).
    DrawColor colorAt(double x, double y) const;

private:
    struct Fixed {
        std::int64_t x;
        std::int64_t y;
    };
    Fixed toFixed(double x, double y) const;
    void fillTriangle(const DrawVertex& a, const DrawVertex& b, const DrawVertex& c, double alpha);
    void fillLine(const DrawVertex& a, const DrawVertex& b, double alpha);

    int width_;
    int height_;
    int samples_;
    int sampleWidth_;
    int sampleHeight_;
    std::vector<std::uint8_t> pixels_; // premultiplied RGBA per subsample
};

/// A renderer of the CPU back end: draw() paints into the canvas of the frame being drawn.
class RasterRenderer final : public DrawRenderer {
public:
    /// The canvas that draw() paints into; none outside a frame.
    static void setCurrentCanvas(RasterCanvas* canvas);
    /// Where draw() also leaves the shapes it drew (a renderer that records them), with its
    /// opacity, for a vector picture of the frame; none outside such a frame.
    static void setCurrentLayers(std::vector<VectorPicture::Layer>* layers);
    void draw() override;

private:
    /// A large picture of axis-aligned shapes shown placed or fading: drawn as one image of the
    /// canvas's size, stretched over its place and faded as a whole, as the OpenGL back end
    /// shows it. False for other shapes.
    bool drawAsImage(RasterCanvas& canvas);

    LabelBitmap image_; // of the picture at its own place...
    PixelArea imageArea_;
    std::uint64_t imageRevision_ = 0; // ...while it has this revision...
    int imageWidth_ = 0;              // ...and the canvas this size
    int imageHeight_ = 0;
};

/// A label renderer of the CPU back end: keeps the uploaded bitmap and paints it into the canvas
/// of the frame being drawn.
class RasterLabelRenderer final : public LabelRenderer {
public:
    void updateTexture(const LabelBitmap& bitmap, bool sizeChanged) override;
    void draw(const DrawRect& rect) override;
    void drawPieces(std::span<const LabelPiece> pieces) override;

private:
    LabelBitmap texture_;
};

} // namespace tessera
