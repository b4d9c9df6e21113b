#include "render/StripIndices.h"

#include "render/DrawRenderer.h"

#include <algorithm>

namespace tessera {
namespace {

// Longest run of points drawn as one piece; bounds the work per strip (runs are checked whole).
constexpr std::size_t kLongestRun = 64;

bool sameColor(const DrawVertex& a, const DrawVertex& b) {
    return a.red == b.red && a.green == b.green && a.blue == b.blue && a.alpha == b.alpha;
}

// Whether `p` lies within `tolerance` of the segment from `a` to `b`.
bool isNearSegment(const DrawVertex& p, const DrawVertex& a, const DrawVertex& b,
                   double tolerance) {
    const double dx = double{b.x} - a.x;
    const double dy = double{b.y} - a.y;
    const double px = double{p.x} - a.x;
    const double py = double{p.y} - a.y;
    const double lengthSquared = dx * dx + dy * dy;
    double t = lengthSquared > 0 ? (px * dx + py * dy) / lengthSquared : 0;
    t = std::clamp(t, 0.0, 1.0);
    const double ex = px - t * dx;
    const double ey = py - t * dy;
    return ex * ex + ey * ey <= tolerance * tolerance;
}

// The points of one polyline, taken every `stride` vertices from `first`.
struct Polyline {
    const std::vector<DrawVertex>& vertices;
    std::size_t first;
    std::size_t stride;
    const DrawVertex& operator[](std::size_t i) const { return vertices[first + i * stride]; }
};

// Whether the points strictly between `from` and `to` may be left out of every polyline.
bool isStraightRun(const Polyline* polylines, std::size_t count, std::size_t from, std::size_t to,
                   double tolerance) {
    for (std::size_t line = 0; line < count; ++line) {
        const Polyline& polyline = polylines[line];
        const DrawVertex& a = polyline[from];
        const DrawVertex& b = polyline[to];
        if (!sameColor(a, b)) return false;
        for (std::size_t k = from + 1; k < to; ++k)
            if (!sameColor(polyline[k], a) || !isNearSegment(polyline[k], a, b, tolerance))
                return false;
    }
    return true;
}

// The points kept of `length` points along one or two polylines walked together: the first,
// the last, and each point where a straight run ends.
void keptPoints(const Polyline* polylines, std::size_t count, std::size_t length, double tolerance,
                std::vector<std::size_t>& kept) {
    kept.clear();
    if (length == 0) return;
    kept.push_back(0);
    std::size_t from = 0;
    std::size_t to = 1;
    while (to < length) {
        if (to + 1 < length && to + 1 - from <= kLongestRun &&
            isStraightRun(polylines, count, from, to + 1, tolerance)) {
            ++to;
            continue;
        }
        kept.push_back(to);
        from = to;
        to = from + 1;
    }
}

} // namespace

StripIndices stripIndices(const DrawRenderer& renderer, double tolerance) {
    const std::vector<DrawVertex>& vertices = renderer.vertices();
    StripIndices result;
    std::vector<std::uint32_t>& indices = result.indices;
    std::vector<std::size_t> kept;

    // Room for every piece, as if nothing were straight: growing a list of millions of indices
    // costs more than the memory reserved and not used.
    const DrawPrimitive& strips = renderer.triangleStrips();
    std::size_t most = 0;
    for (const std::int32_t length : strips.length())
        most += length >= 3 ? 3 * static_cast<std::size_t>(length - 2) : 0;
    for (const std::int32_t length : renderer.lineStrips().length())
        most += length >= 2 ? 2 * static_cast<std::size_t>(length - 1) : 0;
    for (const std::int32_t length : renderer.lines().length())
        most += static_cast<std::size_t>(std::max(0, length / 2)) * 2;
    indices.reserve(most);

    for (std::size_t s = 0; s < strips.stripCount(); ++s) {
        const auto first = static_cast<std::uint32_t>(strips.offset()[s]);
        const std::int32_t length = strips.length()[s];
        if (length >= 6 && length % 2 == 0) {
            // Alternating points of two polylines (the outer and inner arcs of a ring sector,
            // the two halves of a disc): straight runs of both become one quad.
            const Polyline sides[2] = {{vertices, first, 2}, {vertices, first + 1, 2}};
            keptPoints(sides, 2, static_cast<std::size_t>(length / 2), tolerance, kept);
            for (std::size_t k = 0; k + 1 < kept.size(); ++k) {
                const auto a = first + static_cast<std::uint32_t>(2 * kept[k]);
                const auto b = first + static_cast<std::uint32_t>(2 * kept[k + 1]);
                indices.insert(indices.end(), {a, a + 1, b, a + 1, b, b + 1});
            }
            continue;
        }
        for (std::int32_t i = 0; i + 2 < length; ++i) {
            const std::uint32_t at = first + static_cast<std::uint32_t>(i);
            indices.insert(indices.end(), {at, at + 1, at + 2});
        }
    }
    result.triangleIndexCount = indices.size();

    const DrawPrimitive& lineStrips = renderer.lineStrips();
    for (std::size_t s = 0; s < lineStrips.stripCount(); ++s) {
        const auto first = static_cast<std::uint32_t>(lineStrips.offset()[s]);
        const Polyline line{vertices, first, 1};
        keptPoints(&line, 1, static_cast<std::size_t>(std::max(0, lineStrips.length()[s])),
                   tolerance, kept);
        for (std::size_t k = 0; k + 1 < kept.size(); ++k)
            indices.insert(indices.end(), {first + static_cast<std::uint32_t>(kept[k]),
                                           first + static_cast<std::uint32_t>(kept[k + 1])});
    }
    const DrawPrimitive& lines = renderer.lines();
    for (std::size_t s = 0; s < lines.stripCount(); ++s) {
        const auto first = static_cast<std::uint32_t>(lines.offset()[s]);
        for (std::int32_t i = 0; i + 1 < lines.length()[s]; i += 2) {
            const std::uint32_t at = first + static_cast<std::uint32_t>(i);
            indices.insert(indices.end(), {at, at + 1});
        }
    }
    return result;
}

} // namespace tessera
