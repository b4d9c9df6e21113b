#include "layouts/TreeMapRows.h"

namespace tessera {

using Edge = TreeMapEdge;

TreeMapDirection spiralNext(TreeMapDirection d) {
    if (d.clockwise) {
        switch (d.edge) {
        case Edge::top:
            return {Edge::right, true};
        case Edge::right:
            return {Edge::bottom, true};
        case Edge::bottom:
            return {Edge::left, true};
        case Edge::left:
            return {Edge::top, true};
        }
    }
    switch (d.edge) {
    case Edge::top:
        return {Edge::left, false};
    case Edge::left:
        return {Edge::bottom, false};
    case Edge::bottom:
        return {Edge::right, false};
    case Edge::right:
        return {Edge::top, false};
    }
    return d;
}

TreeMapRowPlacer::TreeMapRowPlacer(const DrawRect& area, TreeMapLayout layout,
                                   bool beginOnBottomEdge)
    : area_(area), layout_(layout), cursor_{area.x, area.y}, rowStart_(cursor_),
      length_(area.height), depth_(area.width) {
    if (beginOnBottomEdge || area.width < area.height) {
        direction_ = {Edge::bottom, false};
        length_ = area.width;
        depth_ = area.height;
    }
}

void TreeMapRowPlacer::endRow(double t) {
    taken_[static_cast<int>(direction_.edge)] += t;
    if (layout_ == TreeMapLayout::stack) cursor_ = rowStart_;
    switch (direction_.edge) {
    case Edge::top:
        cursor_.y -= t;
        break;
    case Edge::bottom:
        cursor_.y += t;
        break;
    case Edge::left:
        cursor_.x += t;
        break;
    case Edge::right:
        cursor_.x -= t;
        break;
    }
    const double left = depth_ - t;
    TreeMapDirection next = direction_;
    switch (layout_) {
    case TreeMapLayout::stack:
        if (left < length_)
            next = direction_.edge == Edge::bottom ? TreeMapDirection{Edge::left, true}
                                                   : TreeMapDirection{Edge::bottom, false};
        break;
    case TreeMapLayout::snake:
        next.clockwise = !next.clockwise;
        break;
    case TreeMapLayout::spiral:
        next = spiralNext(direction_);
        break;
    case TreeMapLayout::spiralSnake:
        next = left >= length_ ? TreeMapDirection{direction_.edge, !direction_.clockwise}
                               : spiralNext(direction_);
        break;
    }
    if (next.edge == direction_.edge) {
        depth_ = left;
    } else {
        depth_ = length_;
        length_ = left;
    }
    direction_ = next;
}

DrawRect TreeMapRowPlacer::remainder() const {
    const double left = taken_[static_cast<int>(Edge::left)];
    const double right = taken_[static_cast<int>(Edge::right)];
    const double top = taken_[static_cast<int>(Edge::top)];
    const double bottom = taken_[static_cast<int>(Edge::bottom)];
    return {area_.x + left, area_.y + bottom, area_.width - left - right,
            area_.height - top - bottom};
}

} // namespace tessera
