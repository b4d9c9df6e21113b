// The index list of the OpenGL back end: straight runs of arcs drawn as one piece, and the
// shape drawn still the renderer's own to within the tolerance.
#include "render/StripIndices.h"

#include "render/DrawRenderer.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <numbers>

namespace tessera {
namespace {

constexpr double kTolerance = 0.05;
constexpr double kPi = std::numbers::pi;

double triangleArea(const DrawVertex& a, const DrawVertex& b, const DrawVertex& c) {
    return std::abs((double{b.x} - a.x) * (double{c.y} - a.y) -
                    (double{c.x} - a.x) * (double{b.y} - a.y)) /
           2;
}

// The area covered by the indexed triangles (which never overlap for the shapes below).
double indexedArea(const DrawRenderer& r, const StripIndices& strips) {
    double area = 0;
    const auto& v = r.vertices();
    for (std::size_t i = 0; i + 2 < strips.triangleIndexCount; i += 3)
        area +=
            triangleArea(v[strips.indices[i]], v[strips.indices[i + 1]], v[strips.indices[i + 2]]);
    return area;
}

double distanceToSegment(const DrawVertex& p, const DrawVertex& a, const DrawVertex& b) {
    const double dx = double{b.x} - a.x;
    const double dy = double{b.y} - a.y;
    const double length = dx * dx + dy * dy;
    const double t =
        length > 0
            ? std::clamp(((double{p.x} - a.x) * dx + (double{p.y} - a.y) * dy) / length, 0.0, 1.0)
            : 0;
    return std::hypot(double{p.x} - a.x - t * dx, double{p.y} - a.y - t * dy);
}

// How far the farthest vertex of the renderer's line strips lies from every drawn segment.
double farthestLineVertex(const DrawRenderer& r, const StripIndices& strips) {
    const auto& v = r.vertices();
    double farthest = 0;
    const DrawPrimitive& lineStrips = r.lineStrips();
    for (std::size_t s = 0; s < lineStrips.stripCount(); ++s) {
        for (std::int32_t k = 0; k < lineStrips.length()[s]; ++k) {
            const DrawVertex& p = v[static_cast<std::size_t>(lineStrips.offset()[s] + k)];
            double nearest = INFINITY;
            for (std::size_t i = strips.triangleIndexCount; i + 1 < strips.indices.size(); i += 2)
                nearest = std::min(
                    nearest, distanceToSegment(p, v[strips.indices[i]], v[strips.indices[i + 1]]));
            farthest = std::max(farthest, nearest);
        }
    }
    return farthest;
}

TEST(StripIndicesTest, ArcsAreDrawnInFarFewerPiecesThatStayOnTheShape) {
    DrawRenderer r;
    r.color = {0, 0, 0, 1};
    // A quarter of a wide ring, filled and outlined, and a disc.
    r.fillRingSector(0, kPi / 2, 300, 400, {10, -20}, {1, 0, 0, 1}, {0, 0, 1, 1});
    r.strokeRingSector(0, kPi / 2, 300, 400, {10, -20});
    const std::size_t sectorVertices = r.vertexCount();
    const StripIndices plain = stripIndices(r, 0);
    const StripIndices simplified = stripIndices(r, kTolerance);

    // Nothing on an arc is exactly straight: no tolerance draws every tessellated piece.
    const auto sectorLength = static_cast<std::size_t>(r.triangleStrips().length()[0]);
    EXPECT_EQ(plain.triangleIndexCount, 3 * (sectorLength - 2));
    EXPECT_EQ(plain.indices.size() - plain.triangleIndexCount,
              2 * (sectorVertices - sectorLength - 1));
    // With it, pieces are about sqrt(8 × 400 × 0.05) = 12.6 points long instead of 2.
    EXPECT_LT(simplified.triangleIndexCount * 5, plain.triangleIndexCount);
    EXPECT_LT((simplified.indices.size() - simplified.triangleIndexCount) * 5,
              plain.indices.size() - plain.triangleIndexCount);

    // The area differs by at most the tolerance along both arcs, and no outline point is
    // farther than the tolerance from a drawn segment.
    const double arcs = (300 + 400) * kPi / 2;
    EXPECT_NEAR(indexedArea(r, simplified), indexedArea(r, plain), kTolerance * arcs);
    EXPECT_NEAR(indexedArea(r, plain), kPi / 4 * (400 * 400 - 300 * 300), 0.01 * arcs);
    EXPECT_LE(farthestLineVertex(r, simplified), kTolerance + 1e-4);

    // The first and last points of the strip and of the outline are drawn.
    const auto& idx = simplified.indices;
    EXPECT_EQ(idx.front(), 0u);
    EXPECT_EQ(idx[simplified.triangleIndexCount - 1], sectorLength - 1);
    EXPECT_EQ(idx[simplified.triangleIndexCount], sectorLength);
    EXPECT_EQ(idx.back(), sectorVertices - 1);

    DrawRenderer disc;
    disc.fillCircle({0, 0}, 200, {0, 1, 0, 1});
    const StripIndices discStrips = stripIndices(disc, kTolerance);
    EXPECT_LT(discStrips.triangleIndexCount * 3, 3 * (disc.vertexCount() - 2));
    EXPECT_NEAR(indexedArea(disc, discStrips), kPi * 200 * 200, kTolerance * 2 * kPi * 200 + 2);
}

TEST(StripIndicesTest, CornersColourChangesAndShortStripsAreKept) {
    DrawRenderer r;
    r.color = {0, 0, 0, 1};
    r.fillRect({0, 0, 10, 20}, {1, 0, 0, 1});
    r.strokeRect({0, 0, 10, 20});
    r.strokeLine({0, 0}, {5, 5});
    // A straight line strip whose colour changes half-way, and one that turns back on itself.
    r.lineStrips().begin();
    for (int i = 0; i <= 10; ++i)
        r.addVertex(i, 0, i < 5 ? 1.0 : 0.0, 0, 0, 1);
    r.lineStrips().end();
    r.lineStrips().begin();
    r.addVertex(0, 50, 0, 0, 0, 1);
    r.addVertex(30, 50, 0, 0, 0, 1);
    r.addVertex(0, 50, 0, 0, 0, 1);
    r.lineStrips().end();
    // A straight red strip with one black point in the middle.
    r.lineStrips().begin();
    for (int i = 0; i <= 4; ++i)
        r.addVertex(i, 100, i == 2 ? 0.0 : 1.0, 0, 0, 1);
    r.lineStrips().end();

    const StripIndices strips = stripIndices(r, 1.0);
    ASSERT_EQ(strips.triangleIndexCount, 6u);
    const std::vector<std::uint32_t> triangles(strips.indices.begin(), strips.indices.begin() + 6);
    EXPECT_EQ(triangles, (std::vector<std::uint32_t>{0, 1, 2, 1, 2, 3}));
    // Line strips first, in their order: every corner of the outline; the red run, the piece
    // where it turns black and the black run; out and back; every piece around the black point.
    // Then the independent lines.
    const std::vector<std::uint32_t> segments(strips.indices.begin() + 6, strips.indices.end());
    EXPECT_EQ(segments, (std::vector<std::uint32_t>{4,  5,  5,  6,  6,  7,  7,  8,  //
                                                    11, 15, 15, 16, 16, 21,         //
                                                    22, 23, 23, 24,                 //
                                                    25, 26, 26, 27, 27, 28, 28, 29, //
                                                    9,  10}));
}

} // namespace
} // namespace tessera
