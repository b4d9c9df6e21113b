// What the layouts draw into: one list of coloured vertices, grouped into triangle strips, line
// strips and independent lines, and the shape operations that every layout uses. Back ends
// (OpenGL, the CPU rasteriser) decide what commit() and draw() do with the list; a layout never
// knows which one it holds.
#pragma once

#include "render/DrawColor.h"
#include "render/DrawPrimitive.h"
#include "render/DrawShape.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

namespace tessera {

struct DrawPoint {
    double x = 0;
    double y = 0;
    friend bool operator==(const DrawPoint&, const DrawPoint&) = default;
};

struct DrawSize {
    double width = 0;
    double height = 0;
    bool isEmpty() const { return width <= 0 || height <= 0; }
};

struct DrawRect {
    double x = 0; // minimum corner
    double y = 0;
    double width = 0;
    double height = 0;
    double maxX() const { return x + width; }
    double maxY() const { return y + height; }
};

/// Where a picture is shown, moved and stretched as a whole: its point (x, y) appears at
/// (x × scaleX + offsetX, y × scaleY + offsetY). A zoom shows one picture growing or shrinking
/// this way instead of drawing it anew each frame.
struct DrawPlacement {
    double scaleX = 1;
    double scaleY = 1;
    double offsetX = 0;
    double offsetY = 0;

    /// The placement that shows what lies in `from` in `to` (neither empty).
    static DrawPlacement between(const DrawRect& from, const DrawRect& to) {
        const double sx = to.width / from.width;
        const double sy = to.height / from.height;
        return {sx, sy, to.x - from.x * sx, to.y - from.y * sy};
    }
    DrawPoint apply(DrawPoint p) const { return {p.x * scaleX + offsetX, p.y * scaleY + offsetY}; }
    /// The point of the picture shown at `shown`.
    DrawPoint unapply(DrawPoint shown) const {
        return {(shown.x - offsetX) / scaleX, (shown.y - offsetY) / scaleY};
    }
    DrawRect apply(const DrawRect& r) const {
        return {r.x * scaleX + offsetX, r.y * scaleY + offsetY, r.width * scaleX,
                r.height * scaleY};
    }
    bool isIdentity() const { return *this == DrawPlacement{}; }
    friend bool operator==(const DrawPlacement&, const DrawPlacement&) = default;
};

/// One vertex as the GPU reads it: position in points (origin at the view's centre, y up) and
/// colour as normalised bytes, 12 bytes in all.
struct DrawVertex {
    float x;
    float y;
    std::uint8_t red;
    std::uint8_t green;
    std::uint8_t blue;
    std::uint8_t alpha;
};
static_assert(sizeof(DrawVertex) == 12);

class DrawRenderer {
public:
    /// The chord length in points that arcs are tessellated to.
    static constexpr double kArcSegmentLength = 2.0;

    DrawRenderer();
    /// Leaves its vertex memory to the next renderer that needs that much (spareVertices()).
    virtual ~DrawRenderer();
    DrawRenderer(const DrawRenderer&) = delete;
    DrawRenderer& operator=(const DrawRenderer&) = delete;

    double arcSegmentLength() const { return kArcSegmentLength; }
    /// Opacity multiplied into everything this renderer draws (fades of whole layers).
    double alpha = 1.0;
    /// Where back ends show the picture; its vertices stay where they were drawn. Lines stay
    /// a point wide where the back end draws them as lines, and are stretched with the rest
    /// where it draws the picture as one image.
    DrawPlacement placement;
    /// Whether the pictures that follow keep this one's shapes and change only the colours of
    /// its rectangles (a recolouring under way): a back end may prepare to colour them in place
    /// from the first.
    bool recolourable = false;
    /// Whether the picture is one frame of a rearrangement or recolouring under way, which the
    /// next frame's picture replaces: a back end may make its image for that one frame alone.
    bool transitionFrame = false;
    /// The colour of the stroke operations.
    DrawColor color;

    DrawPrimitive& lines() { return lines_; }
    DrawPrimitive& lineStrips() { return lineStrips_; }
    DrawPrimitive& triangleStrips() { return triangleStrips_; }
    const DrawPrimitive& lines() const { return lines_; }
    const DrawPrimitive& lineStrips() const { return lineStrips_; }
    const DrawPrimitive& triangleStrips() const { return triangleStrips_; }

    std::size_t vertexCount() const { return vertices_.size(); }
    /// Changes whenever the picture is begun anew or appended to, so that a back end uploads
    /// its vertices once per picture; no two renderers share a revision.
    std::uint64_t revision() const { return revision_; }
    /// The revision of the picture's shapes: revision() but for recolourings in place, which
    /// leave every vertex where it is and every line as it is.
    std::uint64_t shapesRevision() const { return shapesRevision_; }
    /// Whether every rectangle recoloured in place since the shapes changed is opaque.
    bool recolouredOpaque() const { return recolouredOpaque_; }

    /// Recolours in place the four corners of the rectangle whose strip begins at `firstVertex`
    /// (a frame of a recolouring changes nothing else). Not while recordsShapes(). Calls for
    /// different rectangles may come from several threads; finishRecolouring() after the last.
    void recolourQuad(std::size_t firstVertex, const DrawColor& c);
    /// Makes the colours set in place a new picture: a new revision(), the same shapesRevision().
    void finishRecolouring() { revision_ = nextRevision(); }
    const std::vector<DrawVertex>& vertices() const { return vertices_; }

    /// Whether each shape operation is also kept as the shape it was (for vector pictures; off
    /// by default, as nothing else needs them). Turning it on or off forgets the kept shapes.
    void setRecordsShapes(bool records);
    bool recordsShapes() const { return shapes_ != nullptr; }
    /// The shapes drawn since the last reset, in order, while recordsShapes().
    const std::vector<DrawShape>& shapes() const;

    /// Empties the primitives and the vertex list, reserving room for `capacity` vertices (in
    /// the memory a renderer that went away left, when it is large enough).
    void reset(std::size_t capacity);
    void reset();
    /// Colour components must lie in 0...1; each becomes the byte of c × 255 truncated.
    void addVertex(double x, double y, double red, double green, double blue, double alphaValue);
    void addVertex(double x, double y, const DrawColor& c) {
        addVertex(x, y, c.red, c.green, c.blue, c.alpha);
    }
    /// Adds everything `other` holds after what this one holds, as if drawn here.
    void append(const DrawRenderer& other);
    /// Makes the collected vertices the ones that draw() uses.
    virtual void commit() {}
    /// Does now what the next draw() would do first for this picture that needs no GPU (a
    /// large picture's image), so that the frame that shows it does not.
    virtual void prepareDrawing() {}
    /// With the back end's context current (GraphView::prepareDrawing()): sends ahead what the
    /// next draw() would send first (a large picture's image to its texture).
    virtual void prepareUpload() {}
    /// Draws the triangle strips, then the line strips, then the lines.
    virtual void draw() {}

    // Shape operations: each opens one strip, adds its vertices and closes it.
    void fillQuad(const DrawColor& c, DrawPoint p1, DrawPoint p2, DrawPoint p3, DrawPoint p4);
    void fillRect(const DrawRect& rect, const DrawColor& c);
    void strokeRect(const DrawRect& rect);
    void strokeLine(DrawPoint from, DrawPoint to);
    /// A ring sector whose colour blends from `outer` at the outer radius to `inner`.
    void fillRingSector(double startAngle, double endAngle, double innerRadius, double outerRadius,
                        DrawPoint center, const DrawColor& outer, const DrawColor& inner);
    void fillRingSector(double startAngle, double endAngle, double innerRadius, double outerRadius,
                        DrawPoint center, const DrawColor& c) {
        fillRingSector(startAngle, endAngle, innerRadius, outerRadius, center, c, c);
    }
    void strokeCircle(DrawPoint center, double radius);
    void strokeArc(DrawPoint center, double radius, double startAngle, double endAngle);
    void strokeRingSector(double startAngle, double endAngle, double innerRadius,
                          double outerRadius, DrawPoint center);
    void fillCircle(DrawPoint center, double radius, const DrawColor& c);

private:
    static std::uint64_t nextRevision();
    void record(DrawShape::Kind kind, const DrawColor& c, std::array<double, 8> at,
                const DrawColor& inner = {});

    DrawPrimitive lines_;
    DrawPrimitive lineStrips_;
    DrawPrimitive triangleStrips_;
    std::vector<DrawVertex> vertices_;
    std::uint64_t revision_ = nextRevision();
    std::uint64_t shapesRevision_ = revision_;
    std::atomic<bool> recolouredOpaque_ = true;
    std::unique_ptr<std::vector<DrawShape>> shapes_;
};

} // namespace tessera
