// What the tree map's sources share and nothing else sees: where laying out writes (the picture
// itself or one thread's sheet), the memory a tree map leaves for the next, and how large
// pictures are shared out among the cores.
#pragma once

#include "layouts/DrawTreeMap.h"

#include <span>

namespace tessera {

// The current picture as laying out writes it.
struct DrawTreeMap::Picture {
    DrawTreeMap& map;
    std::vector<ContentRow>& rows;
    std::vector<double>& cuts;
    std::vector<double>& measures;

    explicit Picture(DrawTreeMap& owner)
        : map(owner), rows(owner.rows_), cuts(owner.cuts_), measures(owner.measures_) {}
    std::size_t size() const { return map.fileViews_.size(); }
    FileView& view(std::size_t index) { return map.fileViews_.at(index); }
    std::size_t store(FileView view, bool isNew) {
        return isNew ? map.fileViews_.append(std::move(view))
                     : map.fileViews_.insertOrAssign(std::move(view));
    }
};

// One thread's part of a picture: the subtrees below some of its folders, laid out and drawn
// here as they would be in the picture, and appended to it in order afterwards. The first view
// of each subtree stands for its folder, whose view the picture already has.
struct DrawTreeMap::Sheet {
    struct StandIn {
        std::uint32_t local;   // position here
        std::uint32_t picture; // position in the picture
    };
    std::vector<FileView> views;
    std::vector<ContentRow> rows;
    std::vector<double> cuts;
    std::vector<double> measures;
    std::vector<std::uint32_t> folders;
    std::vector<StandIn> standIns;
    DrawRenderer shapes;

    std::size_t size() const { return views.size(); }
    FileView& view(std::size_t index) { return views[index]; }
    std::size_t store(FileView view, bool) {
        views.push_back(std::move(view));
        return views.size() - 1;
    }
    void clear() {
        views.clear();
        rows.clear();
        cuts.clear();
        standIns.clear();
        shapes.reset();
    }
};

// The memory of the last tree map that went away, for the next one to lay out in: a new tree
// map (another window, the graph type switched back) then writes into pages already mapped
// instead of faulting in tens of megabytes afresh.
struct DrawTreeMap::Storage {
    Views fileViews;
    std::vector<ContentRow> rows;
    std::vector<double> cuts;
    std::vector<std::unique_ptr<Sheet>> sheets;
};

namespace detail {

// Drawing smaller than this many rectangles stays on one thread.
constexpr double kLeastParallelWork = 20'000;
// Folders holding more than this share of the picture are laid out before the rest is shared
// out among the threads, so that the shares come out even.
constexpr double kLargeFolderShare = 1.0 / 256;
constexpr std::size_t kSheetsPerThread = 4;

/// Draws the line along each row's inner side and between neighbouring rectangles of a row.
void drawRows(DrawRenderer& r, std::span<const DrawTreeMap::ContentRow> rows,
              std::span<const double> cuts);

inline DrawRect interpolate(const DrawRect& from, const DrawRect& to, double w) {
    return {from.x + (to.x - from.x) * w, from.y + (to.y - from.y) * w,
            from.width + (to.width - from.width) * w, from.height + (to.height - from.height) * w};
}

} // namespace detail

} // namespace tessera
