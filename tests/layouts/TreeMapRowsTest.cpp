#include "layouts/TreeMapRows.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <vector>

namespace tessera {
namespace {

constexpr double kEpsilon = 1e-9;

bool inside(const DrawRect& inner, const DrawRect& outer) {
    return inner.x >= outer.x - kEpsilon && inner.y >= outer.y - kEpsilon &&
           inner.maxX() <= outer.maxX() + kEpsilon && inner.maxY() <= outer.maxY() + kEpsilon;
}

double overlap(const DrawRect& a, const DrawRect& b) {
    const double w = std::min(a.maxX(), b.maxX()) - std::max(a.x, b.x);
    const double h = std::min(a.maxY(), b.maxY()) - std::max(a.y, b.y);
    return w > 0 && h > 0 ? w * h : 0;
}

// Rows of `rows` rectangles each, every row a `share` of the depth left, as laying out places
// them; returns each rectangle placed and checks the cuts between neighbours as it goes.
std::vector<DrawRect> placeRows(TreeMapRowPlacer& placer, int rowCount, int perRow, double share) {
    std::vector<DrawRect> placed;
    for (int row = 0; row < rowCount; ++row) {
        const double t = placer.depth() * share;
        const DrawRect rowFrame = placer.rowFrame(t);
        const double l = placer.length() / perRow;
        placer.beginRow();
        for (int i = 0; i < perRow; ++i) {
            const DrawRect r = placer.place(t, l);
            EXPECT_TRUE(inside(r, rowFrame)) << "row " << row << " rectangle " << i;
            // The cut after a rectangle lies on its far side along the row.
            const double cut = placer.cut();
            const bool along = isHorizontal(placer.direction().edge);
            const double near = along ? r.x : r.y;
            const double far = along ? r.maxX() : r.maxY();
            EXPECT_TRUE(std::abs(cut - near) < kEpsilon || std::abs(cut - far) < kEpsilon);
            placed.push_back(r);
        }
        placer.endRow(t);
    }
    return placed;
}

TEST(TreeMapRowsTest, RowsAndTheRemainderTileTheAreaInEveryLayout) {
    const DrawRect wide{-300, -100, 600, 200};
    const DrawRect tall{0, 0, 120, 500};
    for (const DrawRect& area : {wide, tall})
        for (TreeMapLayout layout : allTreeMapLayouts)
            for (bool bottom : {false, true}) {
                SCOPED_TRACE(std::string(rawValue(layout)) + (bottom ? ", bottom edge" : "") +
                             (area.width > area.height ? ", wide" : ", tall"));
                TreeMapRowPlacer placer(area, layout, bottom);
                const std::vector<DrawRect> placed = placeRows(placer, 7, 3, 0.3);
                const DrawRect rest = placer.remainder();
                double covered = rest.width * rest.height;
                for (std::size_t i = 0; i < placed.size(); ++i) {
                    EXPECT_TRUE(inside(placed[i], area)) << i;
                    EXPECT_LT(overlap(placed[i], rest), kEpsilon) << i;
                    for (std::size_t j = 0; j < i; ++j)
                        EXPECT_LT(overlap(placed[i], placed[j]), kEpsilon) << i << " and " << j;
                    covered += placed[i].width * placed[i].height;
                }
                EXPECT_NEAR(covered, area.width * area.height, 1e-6);
                EXPECT_TRUE(inside(rest, area));
            }
}

TEST(TreeMapRowsTest, EachLayoutTurnsAsItsNameSays) {
    const DrawRect area{0, 0, 800, 400};
    auto edges = [&](TreeMapLayout layout) {
        TreeMapRowPlacer placer(area, layout, false);
        std::vector<TreeMapDirection> seen;
        for (int row = 0; row < 4; ++row) {
            seen.push_back(placer.direction());
            placer.beginRow();
            placer.place(placer.depth() * 0.2, placer.length());
            placer.endRow(placer.depth() * 0.2);
        }
        return seen;
    };
    using Edge = TreeMapEdge;
    // A wide area begins against its left edge.
    const auto spiral = edges(TreeMapLayout::spiral);
    EXPECT_EQ(spiral[0], (TreeMapDirection{Edge::left, true}));
    EXPECT_EQ(spiral[1], (TreeMapDirection{Edge::top, true}));
    EXPECT_EQ(spiral[2], (TreeMapDirection{Edge::right, true}));
    EXPECT_EQ(spiral[3], (TreeMapDirection{Edge::bottom, true}));
    const auto snake = edges(TreeMapLayout::snake);
    for (std::size_t i = 0; i < snake.size(); ++i)
        EXPECT_EQ(snake[i], (TreeMapDirection{Edge::left, i % 2 == 0}));
    // Stacked rows come from one edge while the area stays wider than deep, then the other.
    const auto stack = edges(TreeMapLayout::stack);
    EXPECT_EQ(stack[0].edge, Edge::left);
    for (const TreeMapDirection& d : stack)
        EXPECT_TRUE(d.edge == Edge::left || d.edge == Edge::bottom);
    TreeMapRowPlacer fromBottom(area, TreeMapLayout::stack, true);
    EXPECT_EQ(fromBottom.direction(), (TreeMapDirection{Edge::bottom, false}));
    EXPECT_EQ(fromBottom.length(), 800);
    EXPECT_EQ(fromBottom.depth(), 400);
}

} // namespace
} // namespace tessera
