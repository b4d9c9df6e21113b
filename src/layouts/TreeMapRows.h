// The geometry of a tree map folder's rows, apart from what goes in them: where each row lies,
// which edge of the remaining area the next one follows in each layout, and what is left for the
// rectangle that merges the rest. Laying out feeds it thicknesses and lengths; it knows nothing
// of files or renderers.
#pragma once

#include "model/ViewEnums.h"
#include "render/DrawRenderer.h"

#include <array>

namespace tessera {

enum class TreeMapEdge { top, bottom, left, right };

/// A row lies against `edge` of the remaining area; clockwise rows follow each other as if
/// walking clockwise around its border (along the top from left to right).
struct TreeMapDirection {
    TreeMapEdge edge;
    bool clockwise;
    friend bool operator==(const TreeMapDirection&, const TreeMapDirection&) = default;
};

inline bool isHorizontal(TreeMapEdge edge) {
    return edge == TreeMapEdge::top || edge == TreeMapEdge::bottom;
}

/// The direction after `d` when rows turn around the remaining area.
TreeMapDirection spiralNext(TreeMapDirection d);

/// Places one folder's rows, one after another, in its inset area.
class TreeMapRowPlacer {
public:
    /// The first row lies against the left edge, or against the bottom edge when the area is
    /// taller than wide or `beginOnBottomEdge`.
    TreeMapRowPlacer(const DrawRect& area, TreeMapLayout layout, bool beginOnBottomEdge);

    TreeMapDirection direction() const { return direction_; }
    /// Along the edge the next row follows, and across it.
    double length() const { return length_; }
    double depth() const { return depth_; }

    /// The next row's frame for a thickness `t`.
    DrawRect rowFrame(double t) const { return frameAt(cursor_, t, length_); }
    /// The frame of the next `l` of the row of thickness `t`; the cursor moves past it.
    DrawRect place(double t, double l) {
        const DrawRect frame = frameAt(cursor_, t, l);
        const double step = travel() * l;
        if (isHorizontal(direction_.edge))
            cursor_.x += step;
        else
            cursor_.y += step;
        return frame;
    }
    /// Where the cursor stands along the row: where the last placed rectangle meets the next.
    double cut() const { return isHorizontal(direction_.edge) ? cursor_.x : cursor_.y; }

    /// Remembers where the row about to be placed begins.
    void beginRow() { rowStart_ = cursor_; }
    /// Closes the row of thickness `t` and turns to where the layout puts the next one.
    void endRow(double t);
    /// The area no row has taken.
    DrawRect remainder() const;

private:
    DrawRect frameAt(DrawPoint c, double t, double l) const;
    /// Along the row, +1 when the cursor's coordinate grows.
    double travel() const;

    DrawRect area_;
    TreeMapLayout layout_;
    DrawPoint cursor_;
    DrawPoint rowStart_;
    TreeMapDirection direction_{TreeMapEdge::left, true};
    double length_;
    double depth_;
    std::array<double, 4> taken_{}; // by edge
};

inline DrawRect TreeMapRowPlacer::frameAt(DrawPoint c, double t, double l) const {
    const bool cw = direction_.clockwise;
    switch (direction_.edge) {
    case TreeMapEdge::top:
        return cw ? DrawRect{c.x, c.y - t, l, t} : DrawRect{c.x - l, c.y - t, l, t};
    case TreeMapEdge::bottom:
        return cw ? DrawRect{c.x - l, c.y, l, t} : DrawRect{c.x, c.y, l, t};
    case TreeMapEdge::left:
        return cw ? DrawRect{c.x, c.y, t, l} : DrawRect{c.x, c.y - l, t, l};
    case TreeMapEdge::right:
        return cw ? DrawRect{c.x - t, c.y - l, t, l} : DrawRect{c.x - t, c.y, t, l};
    }
    return {};
}

inline double TreeMapRowPlacer::travel() const {
    switch (direction_.edge) {
    case TreeMapEdge::top:
    case TreeMapEdge::left:
        return direction_.clockwise ? 1 : -1;
    case TreeMapEdge::bottom:
    case TreeMapEdge::right:
        return direction_.clockwise ? -1 : 1;
    }
    return 1;
}

} // namespace tessera
