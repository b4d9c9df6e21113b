// A shape as a layout asked for it (a filled rectangle or ring sector, a stroked line or arc),
// before it is cut into triangles and lines: what a vector picture is written from.
#pragma once

#include "render/DrawColor.h"

#include <array>
#include <cstdint>

namespace tessera {

struct DrawShape {
    enum class Kind : std::uint8_t {
        fillQuad,         // at: four corners (x, y), in strip order
        fillRingSector,   // at: start and end angle, inner and outer radius, centre x, y
        fillCircle,       // at: centre x, y, radius
        strokeLine,       // at: from x, y, to x, y
        strokeRect,       // at: x, y, width, height
        strokeArc,        // at: centre x, y, radius, start and end angle
        strokeCircle,     // at: centre x, y, radius
        strokeRingSector, // as fillRingSector
    };
    Kind kind;
    /// The fill (a ring sector's at its outer radius) or the stroke.
    DrawColor color;
    /// A ring sector's fill at its inner radius.
    DrawColor inner;
    std::array<double, 8> at{};

    bool isFill() const { return kind <= Kind::fillCircle; }
};

} // namespace tessera
