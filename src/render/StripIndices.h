// The index list through which the OpenGL back end draws a renderer's strips: every triangle
// strip as independent triangles, every line strip and line as independent segments, in the
// strips' own order. Runs of points that lie on one straight line to within `tolerance` (in the
// picture's points) and share their colour are drawn as one piece: an arc tessellated every 2
// points is flat to well under a pixel over far longer chords, and a software rasteriser pays
// for every thin triangle and every line segment it is given.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tessera {

class DrawRenderer;

struct StripIndices {
    std::vector<std::uint32_t> indices;
    /// The first this many indices are triangles; the rest are line segments.
    std::size_t triangleIndexCount = 0;
};

StripIndices stripIndices(const DrawRenderer& renderer, double tolerance);

} // namespace tessera
