#include "render/DrawRenderer.h"

#include <atomic>
#include <cmath>
#include <mutex>

namespace tessera {

void DrawPrimitive::begin() {
    beginOffset_ = dataHolder_->vertexCount();
    offset_.push_back(static_cast<std::int32_t>(beginOffset_));
}

void DrawPrimitive::end() {
    length_.push_back(static_cast<std::int32_t>(dataHolder_->vertexCount() - beginOffset_));
}

void DrawPrimitive::appendShifted(const DrawPrimitive& other, std::int32_t shift) {
    for (const std::int32_t offset : other.offset_)
        offset_.push_back(offset + shift);
    length_.insert(length_.end(), other.length_.begin(), other.length_.end());
}

namespace {

std::uint8_t colorByte(double component) {
    return static_cast<std::uint8_t>(component * 255); // truncated, as the GPU format wants
}

// Points along an arc: the start exactly, whole steps of `step` radians by rotation with one
// precomputed sine and cosine, then the end exactly from its own sine and cosine.
template <typename Visit>
void walkArc(double startAngle, double endAngle, double referenceRadius, Visit&& visit) {
    const double step = DrawRenderer::kArcSegmentLength / referenceRadius;
    const auto steps = static_cast<long>((endAngle - startAngle) / step);
    const double cosine = std::cos(step);
    const double sine = std::sin(step);
    double x = std::cos(startAngle);
    double y = std::sin(startAngle);
    visit(x, y);
    for (long i = 0; i < steps; ++i) {
        const double rotatedX = x * cosine - y * sine;
        y = x * sine + y * cosine;
        x = rotatedX;
        visit(x, y);
    }
    visit(std::cos(endAngle), std::sin(endAngle));
}

} // namespace

DrawRenderer::DrawRenderer()
    : lines_(DrawPrimitive::Type::lines, *this), lineStrips_(DrawPrimitive::Type::lineStrip, *this),
      triangleStrips_(DrawPrimitive::Type::triangleStrip, *this) {}

namespace {

// The largest vertex list of a renderer that went away: a picture drawn by a new renderer (a new
// window, another graph type, each fade) then fills memory already mapped rather than faulting
// in megabytes afresh.
struct SpareVertices {
    std::mutex mutex;
    std::vector<DrawVertex> vertices;
};

SpareVertices& spareVertices() {
    // Never destroyed: renderers held by other statics may go away after it would be.
    static auto* spare = new SpareVertices;
    return *spare;
}

} // namespace

DrawRenderer::~DrawRenderer() {
    SpareVertices& spare = spareVertices();
    const std::lock_guard lock(spare.mutex);
    if (vertices_.capacity() <= spare.vertices.capacity()) return;
    vertices_.clear();
    spare.vertices.swap(vertices_);
}

void DrawRenderer::reset(std::size_t capacity) {
    reset();
    if (vertices_.capacity() < capacity) {
        SpareVertices& spare = spareVertices();
        const std::lock_guard lock(spare.mutex);
        if (spare.vertices.capacity() >= capacity) spare.vertices.swap(vertices_);
    }
    vertices_.reserve(capacity);
}

std::uint64_t DrawRenderer::nextRevision() {
    // Unique among all renderers: a revision seen once names one picture of one renderer.
    static std::atomic<std::uint64_t> last{0};
    return last.fetch_add(1, std::memory_order_relaxed) + 1;
}

void DrawRenderer::setRecordsShapes(bool records) {
    if (records)
        shapes_ = std::make_unique<std::vector<DrawShape>>();
    else
        shapes_.reset();
}

const std::vector<DrawShape>& DrawRenderer::shapes() const {
    static const std::vector<DrawShape> none;
    return shapes_ ? *shapes_ : none;
}

void DrawRenderer::record(DrawShape::Kind kind, const DrawColor& c, std::array<double, 8> at,
                          const DrawColor& inner) {
    if (shapes_) shapes_->push_back({kind, c, inner, at});
}

void DrawRenderer::reset() {
    if (shapes_) shapes_->clear();
    revision_ = nextRevision();
    shapesRevision_ = revision_;
    recolouredOpaque_ = true;
    lines_.removeAll();
    lineStrips_.removeAll();
    triangleStrips_.removeAll();
    vertices_.clear();
}

void DrawRenderer::append(const DrawRenderer& other) {
    revision_ = nextRevision();
    shapesRevision_ = revision_;
    const auto shift = static_cast<std::int32_t>(vertices_.size());
    vertices_.insert(vertices_.end(), other.vertices_.begin(), other.vertices_.end());
    lines_.appendShifted(other.lines_, shift);
    lineStrips_.appendShifted(other.lineStrips_, shift);
    triangleStrips_.appendShifted(other.triangleStrips_, shift);
    if (shapes_) shapes_->insert(shapes_->end(), other.shapes().begin(), other.shapes().end());
}

void DrawRenderer::recolourQuad(std::size_t firstVertex, const DrawColor& c) {
    const std::uint8_t red = colorByte(c.red);
    const std::uint8_t green = colorByte(c.green);
    const std::uint8_t blue = colorByte(c.blue);
    const std::uint8_t alphaByte = colorByte(c.alpha);
    for (std::size_t i = firstVertex; i < firstVertex + 4; ++i) {
        DrawVertex& v = vertices_[i];
        v.red = red;
        v.green = green;
        v.blue = blue;
        v.alpha = alphaByte;
    }
    if (alphaByte != 255) recolouredOpaque_.store(false, std::memory_order_relaxed);
}

void DrawRenderer::addVertex(double x, double y, double red, double green, double blue,
                             double alphaValue) {
    vertices_.push_back({static_cast<float>(x), static_cast<float>(y), colorByte(red),
                         colorByte(green), colorByte(blue), colorByte(alphaValue)});
}

void DrawRenderer::fillQuad(const DrawColor& c, DrawPoint p1, DrawPoint p2, DrawPoint p3,
                            DrawPoint p4) {
    record(DrawShape::Kind::fillQuad, c, {p1.x, p1.y, p2.x, p2.y, p3.x, p3.y, p4.x, p4.y});
    // The colour's bytes once for its four corners (a tree map has a quad for each rectangle).
    const std::uint8_t red = colorByte(c.red);
    const std::uint8_t green = colorByte(c.green);
    const std::uint8_t blue = colorByte(c.blue);
    const std::uint8_t alphaByte = colorByte(c.alpha);
    triangleStrips_.begin();
    for (const DrawPoint& p : {p1, p2, p3, p4})
        vertices_.push_back(
            {static_cast<float>(p.x), static_cast<float>(p.y), red, green, blue, alphaByte});
    triangleStrips_.end();
}

void DrawRenderer::fillRect(const DrawRect& rect, const DrawColor& c) {
    fillQuad(c, {rect.x, rect.y}, {rect.maxX(), rect.y}, {rect.x, rect.maxY()},
             {rect.maxX(), rect.maxY()});
}

void DrawRenderer::strokeRect(const DrawRect& rect) {
    record(DrawShape::Kind::strokeRect, color, {rect.x, rect.y, rect.width, rect.height});
    lineStrips_.begin();
    for (const DrawPoint& p : {DrawPoint{rect.x, rect.y}, DrawPoint{rect.maxX(), rect.y},
                               DrawPoint{rect.maxX(), rect.maxY()}, DrawPoint{rect.x, rect.maxY()},
                               DrawPoint{rect.x, rect.y}})
        addVertex(p.x, p.y, color);
    lineStrips_.end();
}

void DrawRenderer::strokeLine(DrawPoint from, DrawPoint to) {
    record(DrawShape::Kind::strokeLine, color, {from.x, from.y, to.x, to.y});
    lines_.begin();
    addVertex(from.x, from.y, color);
    addVertex(to.x, to.y, color);
    lines_.end();
}

void DrawRenderer::fillRingSector(double startAngle, double endAngle, double innerRadius,
                                  double outerRadius, DrawPoint center, const DrawColor& outer,
                                  const DrawColor& inner) {
    record(DrawShape::Kind::fillRingSector, outer,
           {startAngle, endAngle, innerRadius, outerRadius, center.x, center.y}, inner);
    triangleStrips_.begin();
    walkArc(startAngle, endAngle, outerRadius, [&](double x, double y) {
        addVertex(center.x + x * outerRadius, center.y + y * outerRadius, outer);
        addVertex(center.x + x * innerRadius, center.y + y * innerRadius, inner);
    });
    triangleStrips_.end();
}

void DrawRenderer::strokeCircle(DrawPoint center, double radius) {
    record(DrawShape::Kind::strokeCircle, color, {center.x, center.y, radius});
    const double step = kArcSegmentLength / radius;
    const auto steps = static_cast<long>(2 * M_PI / step);
    const double cosine = std::cos(step);
    const double sine = std::sin(step);
    lineStrips_.begin();
    double x = radius;
    double y = 0;
    addVertex(center.x + x, center.y + y, color);
    for (long i = 0; i < steps; ++i) {
        const double rotatedX = x * cosine - y * sine;
        y = x * sine + y * cosine;
        x = rotatedX;
        addVertex(center.x + x, center.y + y, color);
    }
    addVertex(center.x + radius, center.y, color);
    lineStrips_.end();
}

void DrawRenderer::strokeArc(DrawPoint center, double radius, double startAngle, double endAngle) {
    record(DrawShape::Kind::strokeArc, color, {center.x, center.y, radius, startAngle, endAngle});
    lineStrips_.begin();
    walkArc(startAngle, endAngle, radius, [&](double x, double y) {
        addVertex(center.x + x * radius, center.y + y * radius, color);
    });
    lineStrips_.end();
}

void DrawRenderer::strokeRingSector(double startAngle, double endAngle, double innerRadius,
                                    double outerRadius, DrawPoint center) {
    record(DrawShape::Kind::strokeRingSector, color,
           {startAngle, endAngle, innerRadius, outerRadius, center.x, center.y});
    std::vector<std::pair<double, double>> points; // unit vectors, shared by both arcs
    walkArc(startAngle, endAngle, outerRadius,
            [&](double x, double y) { points.emplace_back(x, y); });
    lineStrips_.begin();
    for (const auto& [x, y] : points)
        addVertex(center.x + x * outerRadius, center.y + y * outerRadius, color);
    for (auto it = points.rbegin(); it != points.rend(); ++it)
        addVertex(center.x + it->first * innerRadius, center.y + it->second * innerRadius, color);
    addVertex(center.x + points.front().first * outerRadius,
              center.y + points.front().second * outerRadius, color);
    lineStrips_.end();
}

void DrawRenderer::fillCircle(DrawPoint center, double radius, const DrawColor& c) {
    record(DrawShape::Kind::fillCircle, c, {center.x, center.y, radius});
    const double step = kArcSegmentLength / radius;
    const auto steps = static_cast<long>(M_PI / step);
    const double cosine = std::cos(step);
    const double sine = std::sin(step);
    triangleStrips_.begin();
    double x = radius;
    double y = 0;
    addVertex(center.x + x, center.y, c);
    for (long i = 0; i < steps; ++i) {
        const double rotatedX = x * cosine - y * sine;
        y = x * sine + y * cosine;
        x = rotatedX;
        addVertex(center.x + x, center.y + y, c);
        addVertex(center.x + x, center.y - y, c);
    }
    addVertex(center.x - radius, center.y, c);
    triangleStrips_.end();
}

} // namespace tessera
