#include "layouts/DrawTreeMap.h"

#include "draw/Animation.h"
#include "draw/Palette.h"
#include "model/Directory.h"
#include "model/MergedFile.h"
#include "model/TreeRevision.h"
#include "platform/WorkerPool.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <mutex>
#include <span>

namespace tessera {
namespace {

bool contains(const DrawRect& rect, DrawPoint p) {
    return rect.x <= p.x && p.x < rect.maxX() && rect.y <= p.y && p.y < rect.maxY();
}

DrawRect interpolate(const DrawRect& from, const DrawRect& to, double w) {
    return {from.x + (to.x - from.x) * w, from.y + (to.y - from.y) * w,
            from.width + (to.width - from.width) * w, from.height + (to.height - from.height) * w};
}

// The rectangle `a` of the way from the full frame to the empty one at its centre.
DrawRect collapse(const DrawRect& frame, double a) {
    const DrawRect centre{frame.x + frame.width / 2, frame.y + frame.height / 2, 0, 0};
    return interpolate(frame, centre, a);
}

bool showsChildren(const File& file) {
    const Directory* directory = file.asDirectory();
    return directory != nullptr && !directory->hideContents() && directory->count() > 0;
}

using Edge = DrawTreeMap::Edge;
using Direction = DrawTreeMap::Direction;

Direction spiralNext(Direction d) {
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

// The rectangle of a row of thickness t and length l that begins at the cursor.
DrawRect rowFrame(Direction d, DrawPoint c, double t, double l) {
    switch (d.edge) {
    case Edge::top:
        return d.clockwise ? DrawRect{c.x, c.y - t, l, t} : DrawRect{c.x - l, c.y - t, l, t};
    case Edge::bottom:
        return d.clockwise ? DrawRect{c.x - l, c.y, l, t} : DrawRect{c.x, c.y, l, t};
    case Edge::left:
        return d.clockwise ? DrawRect{c.x, c.y, t, l} : DrawRect{c.x, c.y - l, t, l};
    case Edge::right:
        return d.clockwise ? DrawRect{c.x - t, c.y - l, t, l} : DrawRect{c.x - t, c.y, t, l};
    }
    return {};
}

// Along the row, the direction of travel: +1 when the cursor's coordinate grows.
double travel(Direction d) {
    switch (d.edge) {
    case Edge::top:
        return d.clockwise ? 1 : -1;
    case Edge::bottom:
        return d.clockwise ? -1 : 1;
    case Edge::left:
        return d.clockwise ? 1 : -1;
    case Edge::right:
        return d.clockwise ? -1 : 1;
    }
    return 1;
}

bool horizontal(Edge edge) {
    return edge == Edge::top || edge == Edge::bottom;
}

// Draws the line along each row's inner side and between neighbouring rectangles of a row.
void drawRows(DrawRenderer& r, std::span<const DrawTreeMap::ContentRow> rows,
              std::span<const double> cuts) {
    for (const DrawTreeMap::ContentRow& row : rows) {
        const DrawRect& f = row.frame;
        // The last row reaches the folder's far side, which its parent's lines already draw: a
        // chain of folders with one child each would otherwise stroke the same line once a level.
        if (&row != &rows.back()) switch (row.direction.edge) {
            case Edge::top:
                r.strokeLine({f.x, f.y}, {f.maxX(), f.y});
                break;
            case Edge::bottom:
                r.strokeLine({f.x, f.maxY()}, {f.maxX(), f.maxY()});
                break;
            case Edge::left:
                r.strokeLine({f.maxX(), f.y}, {f.maxX(), f.maxY()});
                break;
            case Edge::right:
                r.strokeLine({f.x, f.y}, {f.x, f.maxY()});
                break;
            }
        for (std::uint32_t i = 0; i < row.cutCount; ++i) {
            const double cut = cuts[row.firstCut + i];
            if (horizontal(row.direction.edge))
                r.strokeLine({cut, f.y}, {cut, f.maxY()});
            else
                r.strokeLine({f.x, cut}, {f.maxX(), cut});
        }
    }
}

// Drawing smaller than this many rectangles stays on one thread.
constexpr double kLeastParallelWork = 20'000;
// Folders holding more than this share of the picture are laid out before the rest is shared
// out among the threads, so that the shares come out even.
constexpr double kLargeFolderShare = 1.0 / 256;
constexpr std::size_t kSheetsPerThread = 4;

} // namespace

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

std::unique_ptr<DrawTreeMap::Storage>&
DrawTreeMap::spareStorage(std::unique_lock<std::mutex>& lock) {
    static std::mutex mutex;
    static std::unique_ptr<Storage> spare;
    lock = std::unique_lock(mutex);
    return spare;
}

DrawTreeMap::DrawTreeMap(RendererFactory factory)
    : DrawGraph(std::move(factory)), workers(&WorkerPool::shared()) {
    std::unique_lock<std::mutex> lock;
    std::unique_ptr<Storage> storage = std::move(spareStorage(lock));
    lock.unlock();
    if (!storage) return;
    fileViews_ = std::move(storage->fileViews);
    rows_ = std::move(storage->rows);
    cuts_ = std::move(storage->cuts);
    sheets_ = std::move(storage->sheets);
}

DrawTreeMap::~DrawTreeMap() {
    clearViews();
    for (const auto& sheet : sheets_)
        sheet->clear();
    auto storage = std::make_unique<Storage>(
        Storage{std::move(fileViews_), std::move(rows_), std::move(cuts_), std::move(sheets_)});
    std::unique_lock<std::mutex> lock;
    spareStorage(lock) = std::move(storage);
}

const DrawTreeMap::FileView* DrawTreeMap::view(const File& file) const {
    return fileViews_.find(&file);
}

void DrawTreeMap::clearViews() {
    fileViews_.clear();
    rows_.clear();
    cuts_.clear();
}

DrawRect DrawTreeMap::rootFrame(const File& file) const {
    const double w = viewSize().width;
    const double h = viewSize().height;
    if (file.parent() == nullptr && totalSize >= 1) {
        // The root leaves the volume's free space uncovered.
        const double share =
            static_cast<double>(file.size(sizeMode)) / static_cast<double>(totalSize);
        return w < h ? DrawRect{-w / 2, -h / 2, w, h * share}
                     : DrawRect{-w / 2, -h / 2, w * share, h};
    }
    return {-w / 2, -h / 2, w, h};
}

DrawRect DrawTreeMap::zoomedFrame(const FileView& view) const {
    const DrawRect target = rootFrame(*view.file);
    if (!keepAspectRatioDuringZoom || view.frame.width == 0 || view.frame.height == 0)
        return target;
    const double s = std::min(target.width / view.frame.width, target.height / view.frame.height);
    const double width = view.frame.width * s;
    const double height = view.frame.height * s;
    return {target.x + (target.width - width) / 2, target.y + (target.height - height) / 2, width,
            height};
}

double DrawTreeMap::hueOf(const FileView& view) const {
    if (colorMode == ColorMode::hueWheel) return view.range.upper;
    return dateHue(*view.file);
}

bool DrawTreeMap::isBelowMergeThreshold(const DrawRect& area) const {
    return std::min(area.width, area.height) <= mergeThreshold;
}

DrawRect DrawTreeMap::insetArea(const DrawRect& frame) const {
    if (directoryBorderRatio <= 0) return frame;
    const double dx = frame.width * directoryBorderRatio;
    const double dy = frame.height * directoryBorderRatio;
    return {frame.x + dx, frame.y + dy, frame.width - 2 * dx, frame.height - 2 * dy};
}

std::size_t DrawTreeMap::storeView(FileView view, bool isNew) {
    Picture picture(*this);
    return storeInto(picture, std::move(view), isNew);
}

template <typename Out>
std::size_t DrawTreeMap::storeInto(Out& out, FileView view, bool isNew) const {
    view.hue = view.merged ? 0 : hueOf(view);
    return out.store(std::move(view), isNew);
}

DrawTreeMap::FileView* DrawTreeMap::fileView(File& file, bool merge) {
    // Drawing asks for every laid-out file in turn: those need no chain of ancestors.
    if (const std::ptrdiff_t index = fileViews_.indexOf(&file); index >= 0) {
        if (Directory* directory = file.asDirectory())
            if (showsChildren(*directory)) layOut(*directory, *directory, merge);
        return &fileViews_.at(static_cast<std::size_t>(index));
    }
    const std::vector<File*> chain = chainToLaidOut(file, fileViews_);
    File* top = chain.back();
    if (!fileViews_.contains(top)) {
        FileView root;
        root.file = top;
        root.range = {0, 1};
        root.frame = rootFrame(*top);
        root.merged = false;
        storeView(std::move(root));
    }
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        if (!fileViews_.contains(*it)) return nullptr; // merged away
        if (Directory* directory = (*it)->asDirectory())
            if (showsChildren(*directory)) layOut(*directory, *directory, merge);
    }
    return fileViews_.find(&file);
}

void DrawTreeMap::layOut(Directory& directory, const File& key, bool merge) {
    Picture picture(*this);
    layOutInto(picture, directory, static_cast<std::size_t>(fileViews_.indexOf(&key)), merge,
               false);
}

template <typename Out>
void DrawTreeMap::layOutInto(Out& out, Directory& directory, std::size_t parentIndex, bool merge,
                             bool childrenAreNew) const {
    const FileView parent = out.view(parentIndex); // storing children may move the views
    const auto firstRow = static_cast<std::uint32_t>(out.rows.size());
    out.view(parentIndex).firstRow = firstRow;
    out.view(parentIndex).rowCount = 0;
    out.view(parentIndex).opened = true;
    directory.sortContents(sizeMode);
    MergedFile& remainder = directory.mergedContents();
    remainder.setMerge(0, 0);
    const DrawRect area = insetArea(parent.frame);
    const std::size_t count = directory.count();
    if (count == 0) return;

    DrawPoint cursor{area.x, area.y};
    Direction direction{Edge::left, true};
    double length = area.height;
    double depth = area.width;
    if (beginLayoutOnBottomEdge || area.width < area.height) {
        direction = {Edge::bottom, false};
        length = area.width;
        depth = area.height;
    }
    const auto total = static_cast<double>(directory.size(sizeMode));
    double remaining = total;
    double placed = 0;
    std::array<double, 4> taken{}; // by edge
    const double upper = parent.range.upper;
    const double lower = parent.range.lower;
    double previousLower = upper;

    std::vector<double>& measures = out.measures;
    measures.resize(count);
    auto measure = [&](std::size_t i) { return measures[i]; };
    const auto store = [&](FileView view) { storeInto(out, std::move(view), childrenAreNew); };
    auto mergeFrom = [&](std::size_t first) {
        remainder.setMerge(static_cast<std::ptrdiff_t>(count - first),
                           static_cast<std::int64_t>(remaining));
        FileView merged;
        merged.file = &remainder;
        merged.range = {lower, std::max(lower, previousLower)};
        const double left = taken[static_cast<int>(Edge::left)];
        const double right = taken[static_cast<int>(Edge::right)];
        const double top = taken[static_cast<int>(Edge::top)];
        const double bottom = taken[static_cast<int>(Edge::bottom)];
        merged.frame = {area.x + left, area.y + bottom, area.width - left - right,
                        area.height - top - bottom};
        merged.merged = true;
        store(std::move(merged));
    };
    // Places children first..last (sum `sum`) in one row of thickness t.
    auto placeRow = [&](std::size_t first, std::size_t last, double sum, double t) {
        ContentRow row{direction, rowFrame(direction, cursor, t, length),
                       static_cast<std::uint32_t>(out.cuts.size()), 0};
        const double step = travel(direction);
        double cumulative = placed;
        for (std::size_t k = first; k <= last; ++k) {
            const double m = measure(k);
            const double l = sum == 0 ? 0 : length * m / sum;
            cumulative += m;
            FileView child;
            child.file = directory.child(k);
            // Drawing goes down into it soon.
            if (const Directory* sub = child.file->asDirectory()) sub->prefetchContents();
            DrawRect frame = rowFrame(direction, cursor, t, l);
            child.frame = frame;
            if (horizontal(direction.edge))
                cursor.x += step * l;
            else
                cursor.y += step * l;
            if (k != last) {
                out.cuts.push_back(horizontal(direction.edge) ? cursor.x : cursor.y);
                ++row.cutCount;
            }
            const double fraction = total == 0 ? 0 : cumulative / total;
            const double childLower = upper - fraction * (upper - lower);
            child.range = {childLower, std::max(childLower, previousLower)};
            previousLower = childLower;
            child.merged = false;
            store(std::move(child));
        }
        out.rows.push_back(row);
        out.view(parentIndex).rowCount = static_cast<std::uint32_t>(out.rows.size()) - firstRow;
    };
    auto moveOn = [&](DrawPoint rowStart, double t) {
        if (layout == Layout::stack) cursor = rowStart;
        switch (direction.edge) {
        case Edge::top:
            cursor.y -= t;
            break;
        case Edge::bottom:
            cursor.y += t;
            break;
        case Edge::left:
            cursor.x += t;
            break;
        case Edge::right:
            cursor.x -= t;
            break;
        }
        const double left = depth - t;
        Direction next = direction;
        switch (layout) {
        case Layout::stack:
            if (left < length)
                next = direction.edge == Edge::bottom ? Direction{Edge::left, true}
                                                      : Direction{Edge::bottom, false};
            break;
        case Layout::snake:
            next.clockwise = !next.clockwise;
            break;
        case Layout::spiral:
            next = spiralNext(direction);
            break;
        case Layout::spiralSnake:
            next = left >= length ? Direction{direction.edge, !direction.clockwise}
                                  : spiralNext(direction);
            break;
        }
        if (next.edge == direction.edge) {
            depth = left;
        } else {
            depth = length;
            length = left;
        }
        direction = next;
    };

    std::size_t start = 0;
    double sum = 0;
    double best = std::numeric_limits<double>::infinity();
    // Children are read one after another, but they lie anywhere in memory: they are fetched
    // ahead.
    constexpr std::size_t kFetchAhead = 8;
    const auto fetch = [&](std::size_t i) { __builtin_prefetch(directory.child(i)); };
    for (std::size_t i = 0; i < std::min(count, kFetchAhead); ++i)
        fetch(i);
    std::size_t measured = 0;
    for (std::size_t i = 0; i < count && remaining > 0; ++i) {
        if (i + kFetchAhead < count) fetch(i + kFetchAhead);
        const double m = measures[i] = static_cast<double>(directory.child(i)->size(sizeMode));
        measured = i + 1;
        const double grown = sum + m;
        const double thickness = depth * grown / remaining;
        const double l = length * m / grown;
        const double ratio = std::max(l / thickness, thickness / l);
        if (i == start || ratio < best) {
            best = ratio;
            sum = grown;
            continue;
        }
        // The row is closed without child i.
        const double t = depth * sum / remaining;
        if (merge && std::min(length, t) <= mergeThreshold && start < count - 1) {
            mergeFrom(start);
            return;
        }
        const DrawPoint rowStart = cursor;
        placeRow(start, i - 1, sum, t);
        placed += sum;
        remaining -= sum;
        taken[static_cast<int>(direction.edge)] += t;
        moveOn(rowStart, t);
        start = i;
        sum = m;
        const double alone = depth * m / remaining;
        best = std::max(length / alone, alone / length);
    }
    // The last row takes the whole remaining depth; with nothing left to measure, the rest
    // of the children go into it with no length.
    const double lastSum = std::max(remaining, 0.0); // what the children from `start` measure
    if (merge && std::min(length, depth) <= mergeThreshold && start < count - 1) {
        mergeFrom(start);
        return;
    }
    for (std::size_t i = measured; i < count; ++i)
        measures[i] = static_cast<double>(directory.child(i)->size(sizeMode));
    placeRow(start, count - 1, lastSum, depth);
}

MyColor DrawTreeMap::fillColor(const FileView& view, double hue, double alpha) const {
    return view.merged ? palette::merged(alpha) : palette::file(hue, alpha);
}

template <typename Out>
void DrawTreeMap::visit(Out& out, DrawRenderer& r, std::size_t index,
                        std::vector<std::uint32_t>& folders, const DrawPass& pass) const {
    const FileView& view = out.view(index);
    if (pass.delegate != nullptr) pass.delegate->loadUrlResources(*view.file);
    // A folder too thin for any row of it to show is drawn as a file: the work stays bounded by
    // the view's area however deep the tree goes below.
    if (showsChildren(*view.file) && !isBelowMergeThreshold(insetArea(view.frame)))
        folders.push_back(static_cast<std::uint32_t>(index));
    else if (pass.fill)
        r.fillRect(view.frame, fillColor(view, view.hue, 1.0));
}

template <typename Out>
void DrawTreeMap::drawFolder(Out& out, DrawRenderer& r, std::size_t index,
                             std::vector<std::uint32_t>& folders, const DrawPass& pass) const {
    const std::size_t firstChild = out.size();
    layOutInto(out, *out.view(index).file->asDirectory(), index, true, true);
    const FileView& folder = out.view(index);
    if (pass.fill && directoryBorderRatio > 0)
        r.fillRect(folder.frame, fillColor(folder, folder.hue, 1.0));
    if (pass.strokes) {
        if (directoryBorderRatio > 0) r.strokeRect(insetArea(folder.frame));
        drawRows(r, {out.rows.data() + folder.firstRow, folder.rowCount}, out.cuts);
    }
    for (std::size_t child = firstChild; child < out.size(); ++child)
        visit(out, r, child, folders, pass);
}

template <typename Out>
void DrawTreeMap::drawFolders(Out& out, DrawRenderer& r, std::vector<std::uint32_t>& folders,
                              const DrawPass& pass) const {
    while (!folders.empty()) {
        const std::uint32_t index = folders.back();
        folders.pop_back();
        drawFolder(out, r, index, folders, pass);
    }
}

void DrawTreeMap::drawTree(std::size_t mainIndex, const std::optional<DrawTransition>& transition) {
    const bool rearrange = transition && transition->is<DrawTransition::Rearrange>();
    const bool recolour = transition && transition->is<DrawTransition::UpdateColor>();
    const DrawPass pass{!rearrange && !recolour, !rearrange, delegate};
    // Files are filled as soon as their folder has placed them, and folders are laid out in
    // turn after that: each view is reached by its position, never looked up. Siblings do not
    // overlap and a folder's fill goes down before its children's, so the picture is the same as
    // drawing in pre-order whatever the order of the folders.
    //
    // The folders that hold a large share of the view are laid out first, level by level; the
    // others, each with everything below it, are then shared out among the cores.
    Picture picture(*this);
    DrawRenderer& r = renderer();
    std::vector<std::uint32_t>& folders = foldersToDraw_;
    std::vector<std::uint32_t>& subtrees = subtreesToDraw_;
    folders.clear();
    subtrees.clear();
    visit(picture, r, mainIndex, folders, pass);
    const DrawRect& whole = fileViews_.at(mainIndex).frame;
    const double largeArea = whole.width * whole.height * kLargeFolderShare;
    for (std::size_t next = 0; next < folders.size(); ++next) {
        const std::uint32_t index = folders[next];
        const DrawRect& frame = fileViews_.at(index).frame;
        if (frame.width * frame.height > largeArea)
            drawFolder(picture, r, index, folders, pass);
        else
            subtrees.push_back(index);
    }
    drawSubtrees(subtrees, pass);
}

void DrawTreeMap::drawSubtrees(const std::vector<std::uint32_t>& roots, const DrawPass& pass) {
    if (roots.empty()) return;
    Picture picture(*this);
    DrawRenderer& r = renderer();
    const auto drawDirectly = [&](std::size_t first, std::size_t end) {
        for (std::size_t i = first; i < end; ++i) {
            foldersToDraw_.assign(1, roots[i]);
            drawFolders(picture, r, foldersToDraw_, pass);
        }
    };
    // What a subtree costs: a rectangle for each of its files, at most as many as its area holds.
    const double rectangleArea = mergeThreshold * mergeThreshold;
    std::vector<double> upTo(roots.size()); // the cost of the subtrees up to each, inclusive
    double total = 0;
    for (std::size_t i = 0; i < roots.size(); ++i) {
        const FileView& view = fileViews_.at(roots[i]);
        const auto files = static_cast<double>(view.file->asDirectory()->fileCount());
        total += 1 + std::min(files, view.frame.width * view.frame.height / rectangleArea);
        upTo[i] = total;
    }
    WorkerPool& pool = *workers;
    const std::size_t threads = pool.threadCount();
    if (threads < 2 || total < kLeastParallelWork) {
        drawDirectly(0, roots.size());
        return;
    }
    // One thread draws the first share of the subtrees straight into the picture. The others go
    // to sheets of about equal cost, a few for each other thread so that one that finishes early
    // takes another, and are appended to the picture in order afterwards.
    const auto firstBeyond = [&](double cost) {
        return static_cast<std::size_t>(std::upper_bound(upTo.begin(), upTo.end(), cost) -
                                        upTo.begin());
    };
    const std::size_t direct = firstBeyond(total / static_cast<double>(threads));
    const double directCost = direct > 0 ? upTo[direct - 1] : 0;
    const std::size_t sheetCount =
        std::min(roots.size() - direct, (threads - 1) * kSheetsPerThread);
    while (sheets_.size() < sheetCount)
        sheets_.push_back(std::make_unique<Sheet>());
    for (std::size_t index = 0, i = direct; index < sheetCount; ++index) {
        const double end = directCost + (total - directCost) * static_cast<double>(index + 1) /
                                            static_cast<double>(sheetCount);
        const std::size_t last = index + 1 == sheetCount ? roots.size() : firstBeyond(end);
        Sheet& sheet = *sheets_[index];
        sheet.clear();
        // Room for what the subtrees are expected to draw, so that the sheet seldom grows.
        const auto expected =
            static_cast<std::size_t>(std::max(0.0, end - (i > 0 ? upTo[i - 1] : 0)));
        sheet.views.reserve(expected);
        sheet.rows.reserve(expected);
        sheet.cuts.reserve(expected);
        sheet.shapes.reset(5 * expected);
        sheet.shapes.triangleStrips().reserveCapacity(expected);
        sheet.shapes.lines().reserveCapacity(2 * expected);
        sheet.shapes.color = r.color;
        // The views of the subtrees' folders are taken now: the picture grows while the sheets
        // are drawn.
        for (; i < last; ++i)
            sheet.standIns.push_back(
                {static_cast<std::uint32_t>(sheet.store(fileViews_.at(roots[i]), true)), roots[i]});
    }
    pool.run(sheetCount + 1, [&](std::size_t job) {
        if (job == 0) {
            drawDirectly(0, direct);
            return;
        }
        Sheet& sheet = *sheets_[job - 1];
        for (const Sheet::StandIn& standIn : sheet.standIns) {
            sheet.folders.assign(1, standIn.local);
            drawFolders(sheet, sheet.shapes, sheet.folders, pass);
        }
    });
    // Each sheet's references to its rows and cuts become the picture's, then the sheets are
    // appended in order.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> bases(sheetCount); // rows, cuts
    std::size_t rowCount = rows_.size();
    std::size_t cutCount = cuts_.size();
    for (std::size_t sheet = 0; sheet < sheetCount; ++sheet) {
        bases[sheet] = {static_cast<std::uint32_t>(rowCount), static_cast<std::uint32_t>(cutCount)};
        rowCount += sheets_[sheet]->rows.size();
        cutCount += sheets_[sheet]->cuts.size();
    }
    pool.run(sheetCount, [&](std::size_t index) {
        Sheet& sheet = *sheets_[index];
        for (FileView& view : sheet.views)
            view.firstRow += bases[index].first;
        for (ContentRow& row : sheet.rows)
            row.firstCut += bases[index].second;
    });
    for (std::size_t sheet = 0; sheet < sheetCount; ++sheet)
        appendSheet(*sheets_[sheet]);
}

void DrawTreeMap::appendSheet(const Sheet& sheet) {
    rows_.insert(rows_.end(), sheet.rows.begin(), sheet.rows.end());
    cuts_.insert(cuts_.end(), sheet.cuts.begin(), sheet.cuts.end());
    auto from = sheet.views.begin();
    for (const Sheet::StandIn& standIn : sheet.standIns) {
        const auto at = sheet.views.begin() + standIn.local;
        fileViews_.append(from, at);
        fileViews_.at(standIn.picture) = *at;
        from = at + 1;
    }
    fileViews_.append(from, sheet.views.end());
    renderer().append(sheet.shapes);
}

DrawTreeMap::PictureKey DrawTreeMap::pictureKey(const File* file,
                                                const std::optional<DrawTransition>& t) const {
    PictureKey key;
    key.treeRevision = treeRevision();
    key.file = file;
    key.width = viewSize().width;
    key.height = viewSize().height;
    key.sizeMode = sizeMode;
    key.colorMode = colorMode;
    key.mergeThreshold = mergeThreshold;
    key.totalSize = totalSize;
    key.layout = layout;
    key.directoryBorderRatio = directoryBorderRatio;
    key.keepAspectRatioDuringZoom = keepAspectRatioDuringZoom;
    key.beginLayoutOnBottomEdge = beginLayoutOnBottomEdge;
    key.dark = isDarkAppearance;
    key.transition = !t                                     ? PictureKey::Transition::none
                     : t->is<DrawTransition::Rearrange>()   ? PictureKey::Transition::rearrange
                     : t->is<DrawTransition::UpdateColor>() ? PictureKey::Transition::recolour
                                                            : PictureKey::Transition::zoom;
    return key;
}

void DrawTreeMap::display(File* file, std::optional<DrawTransition> transition) {
    if (viewSize().isEmpty()) return;
    const bool startKept = !transitionFileViews_.empty();
    keepTransitionStart(transition, fileViews_, transitionFileViews_);
    const double progress = transition ? transition->progress : 0;
    const bool rearrange = transition && transition->is<DrawTransition::Rearrange>();
    const bool recolour = transition && transition->is<DrawTransition::UpdateColor>();

    // The picture made last is kept while nothing it was made from changed: shown again as it
    // stands, or, during a rearrangement or recolouring, its views are the end state and only
    // the frame between the two states is drawn.
    const PictureKey key = pictureKey(file, transition);
    const bool same = pictureKey_ == key && file != nullptr;
    if (same && !transition && renderer().revision() == pictureRevision_) return;
    if (same && (rearrange || recolour) && startKept && transitionBase_) {
        DrawRenderer& r = renderer();
        r.reset(transitionBase_->vertexCount() + 9 * fileViews_.size());
        r.append(*transitionBase_);
        drawTransitionFrame(transition->type, progress);
        r.commit();
        pictureRevision_ = r.revision();
        return;
    }
    pictureKey_.reset();
    previousViewsFound_ = false;
    beginPicture();
    if (!startKept && !transitionFileViews_.empty()) startBorderRatio_ = pictureBorderRatio_;
    pictureBorderRatio_ = directoryBorderRatio;

    mainFileView_.reset();
    clearViews();
    const double w = viewSize().width;
    const double h = viewSize().height;
    const auto n = static_cast<std::size_t>(w * h / (mergeThreshold * mergeThreshold));
    fileViews_.reserve(n);
    rows_.reserve(n); // a folder's rows hold at least one view each
    cuts_.reserve(n);
    DrawRenderer& r = renderer();
    r.reset(9 * n);
    r.triangleStrips().reserveCapacity(n);
    r.lineStrips().reserveCapacity(n);
    r.lines().reserveCapacity(n);

    if (file == nullptr) {
        if (rearrange) {
            drawRearrangeTransition(progress);
            r.commit();
        }
        return;
    }
    if (file->parent() == nullptr && totalSize >= 1) {
        // The volume's free space, hatched.
        const double m = std::max(w, h);
        const auto stripes = static_cast<int>(2 * m / 20);
        for (int i = 0; i <= stripes; ++i) {
            const double x = 20.0 * i - w / 2 - h;
            r.fillQuad(MyColor::grey(i % 2 == 0 ? 0.5 : 0.2, 0.1), {x, -h / 2}, {x + 20, -h / 2},
                       {x + m, -h / 2 + m}, {x + 20 + m, -h / 2 + m});
        }
    }

    FileView main;
    main.file = file;
    main.merged = false;
    const bool zoomIn = transition && transition->is<DrawTransition::ZoomIn>();
    const bool zoomOut = transition && transition->is<DrawTransition::ZoomOut>();
    const FileView* whole = fileView(*file, false);
    main.range = whole != nullptr ? whole->range : DrawRange{0, 1};
    const DrawRect own = whole != nullptr ? zoomedFrame(*whole) : rootFrame(*file);
    main.frame = own;
    if (zoomIn || zoomOut) {
        // Where the file lies when the other folder fills the view, and its own full frame.
        File* other =
            const_cast<File*>(zoomIn ? std::get<DrawTransition::ZoomIn>(transition->type).old
                                     : std::get<DrawTransition::ZoomOut>(transition->type).next);
        clearViews();
        const FileView* otherWhole = fileView(*other, false);
        FileView otherMain;
        otherMain.file = other;
        otherMain.range = otherWhole != nullptr ? otherWhole->range : DrawRange{0, 1};
        otherMain.frame = otherWhole != nullptr ? zoomedFrame(*otherWhole) : rootFrame(*other);
        otherMain.merged = false;
        clearViews();
        storeView(std::move(otherMain));
        const FileView* inOther = fileView(*file, false);
        const DrawRect placedInOther = inOther != nullptr ? inOther->frame : own;
        main.frame = interpolate(own, placedInOther, zoomIn ? 1 - progress : progress);
    }
    clearViews();
    const std::size_t mainIndex = storeView(main, true);
    r.color = palette::border();
    drawTree(mainIndex, transition);
    mainFileView_ = fileViews_.at(mainIndex);

    if (rearrange || recolour) {
        // What every frame of the transition draws under its moving or changing rectangles.
        if (!transitionBase_) transitionBase_ = std::make_unique<DrawRenderer>();
        transitionBase_->reset();
        transitionBase_->append(r);
        drawTransitionFrame(transition->type, progress);
    } else {
        r.color = palette::border();
        r.strokeRect(mainFileView_->frame);
    }
    r.commit();
    PictureKey made = key;
    made.treeRevision = treeRevision(); // laying out may have read what the tree loads lazily
    pictureKey_ = made;
    pictureRevision_ = r.revision();
}

void DrawTreeMap::drawTransitionFrame(const DrawTransition::Type& type, double progress) {
    if (std::holds_alternative<DrawTransition::Rearrange>(type)) {
        drawRearrangeTransition(progress);
        return;
    }
    drawColorTransition(progress);
    DrawRenderer& r = renderer();
    r.color = palette::border();
    r.strokeRect(mainFileView_->frame);
}

template <typename Draw> void DrawTreeMap::drawEach(const Views& views, Draw&& draw) {
    DrawRenderer& r = renderer();
    const std::size_t count = views.size();
    forEachRun(count, [&](std::size_t first, std::size_t end, DrawRenderer* sheetShapes) {
        DrawRenderer& shapes = sheetShapes != nullptr ? *sheetShapes : r;
        for (std::size_t i = first; i < end; ++i)
            draw(i, views.begin()[static_cast<std::ptrdiff_t>(i)], shapes);
    });
}

template <typename Work> void DrawTreeMap::forEachRun(std::size_t count, Work&& work) {
    DrawRenderer& r = renderer();
    WorkerPool& pool = *workers;
    if (pool.threadCount() < 2 || static_cast<double>(count) < kLeastParallelWork) {
        work(0, count, nullptr);
        return;
    }
    const std::size_t runs = pool.threadCount() * kSheetsPerThread;
    while (sheets_.size() < runs)
        sheets_.push_back(std::make_unique<Sheet>());
    for (std::size_t run = 0; run < runs; ++run) {
        sheets_[run]->clear();
        sheets_[run]->shapes.color = r.color;
    }
    pool.run(runs, [&](std::size_t run) {
        work(count * run / runs, count * (run + 1) / runs, &sheets_[run]->shapes);
    });
    for (std::size_t run = 0; run < runs; ++run) {
        const DrawRenderer& shapes = sheets_[run]->shapes;
        r.append(shapes);
        if (shapes.vertexCount() > 0) r.color = shapes.color; // as if drawn here
    }
}

void DrawTreeMap::findPreviousViews() {
    // Each view's previous state is looked up once per transition; the previous views that none
    // took are the ones that go.
    if (previousViewsFound_) return;
    std::vector<const FileView*>& previous = previousViews_;
    std::vector<char>& kept = keptViews_; // not bool: threads write neighbouring entries
    transitionFileViews_.index();         // looked up from several threads
    previous.assign(fileViews_.size(), nullptr);
    kept.assign(transitionFileViews_.size(), 0);
    const auto first = transitionFileViews_.begin();
    forEachRun(fileViews_.size(), [&](std::size_t from, std::size_t end, DrawRenderer*) {
        for (std::size_t i = from; i < end; ++i) {
            const FileView* old = transitionFileViews_.find(fileViews_.at(i).file);
            previous[i] = old;
            if (old != nullptr) kept[static_cast<std::size_t>(old - &*first)] = 1;
        }
    });
    previousViewsFound_ = true;
}

void DrawTreeMap::drawColorTransition(double progress) {
    findPreviousViews();
    // Views are stored in creation order: folders before what they hold. A folder whose
    // children are laid out without a border is covered by them: it is not filled.
    const bool foldersShow = directoryBorderRatio > 0;
    drawEach(fileViews_, [&](std::size_t i, const FileView& view, DrawRenderer& r) {
        if (view.opened && !foldersShow) return;
        const FileView* old = previousViews_[i];
        const double start = old != nullptr ? old->hue : view.hue;
        r.fillRect(view.frame, fillColor(view, start + (view.hue - start) * progress, 1.0));
    });
}

namespace {
/// In rearranging frames, in merge thresholds.
constexpr double kLeastOutlinedSide = 4.0;
} // namespace

void DrawTreeMap::drawRearrangeTransition(double progress) {
    findPreviousViews();
    const std::vector<const FileView*>& previous = previousViews_;
    const std::vector<char>& kept = keptViews_;
    // Only what one of the two pictures shows is drawn: of a folder whose children are laid out,
    // only the border ring around them (none without a border), or its colour would flood the
    // gaps that moving rectangles leave; and nothing thinner than the merge threshold, which
    // the pictures merge. `ring` is the border ratio of what is shown, 0 for the whole frame.
    constexpr double kNothing = -1;
    const auto shownOf = [](const FileView& view, double borderRatio) {
        return !view.opened ? 0.0 : borderRatio > 0 ? borderRatio : kNothing;
    };
    const double grey = palette::strokeGrey();
    auto draw = [&](DrawRenderer& r, const FileView& view, const DrawRect& frame, double ring,
                    double hue, double alpha) {
        const double side = std::min(frame.width, frame.height);
        if (side < mergeThreshold || ring < 0) return;
        const MyColor fill = fillColor(view, hue, alpha);
        const auto fillBand = [&](const DrawRect& band) {
            if (std::min(band.width, band.height) >= mergeThreshold) r.fillRect(band, fill);
        };
        if (ring == 0) {
            r.fillRect(frame, fill);
        } else {
            const double dx = frame.width * ring;
            const double dy = frame.height * ring;
            fillBand({frame.x, frame.y, frame.width, dy});
            fillBand({frame.x, frame.maxY() - dy, frame.width, dy});
            fillBand({frame.x, frame.y + dy, dx, frame.height - 2 * dy});
            fillBand({frame.maxX() - dx, frame.y + dy, dx, frame.height - 2 * dy});
        }
        // Outlines of small rectangles moving over each other would darken whole clumps.
        if (side < kLeastOutlinedSide * mergeThreshold) return;
        r.color = MyColor::grey(grey, alpha);
        r.strokeRect(frame);
    };
    // Views that go shrink to their centre during the first 30% (stores keep creation order).
    if (progress <= 0.3) {
        const double a = std::clamp((progress / 0.3) * (progress / 0.3), 0.0, 1.0);
        drawEach(transitionFileViews_, [&](std::size_t i, const FileView& old, DrawRenderer& r) {
            if (kept[i] == 0)
                draw(r, old, collapse(old.frame, a), shownOf(old, startBorderRatio_), old.hue,
                     1 - a);
        });
    }
    const double s = std::clamp((progress - 0.15) / 0.7, 0.0, 1.0);
    const double eased = Animation::apply(Animation::ProgressCurve::easeInOut, s);
    drawEach(fileViews_, [&](std::size_t i, const FileView& view, DrawRenderer& r) {
        const double atEnd = shownOf(view, directoryBorderRatio);
        if (const FileView* old = previous[i]) {
            // Shown whole at either end: whole on the way; else the ring between the two.
            const double atStart = shownOf(*old, startBorderRatio_);
            double ring = 0;
            if (atStart != 0 && atEnd != 0) {
                const double from = std::max(atStart, 0.0);
                ring = from + (std::max(atEnd, 0.0) - from) * eased;
                if (ring <= 0) ring = kNothing;
            }
            draw(r, view, interpolate(old->frame, view.frame, eased), ring,
                 old->hue + (view.hue - old->hue) * eased, 1.0);
        } else if (progress >= 0.7) {
            // Views that come grow from their centre during the last 30%.
            const double grown = std::clamp((progress - 0.7) / 0.3, 0.0, 1.0);
            draw(r, view, collapse(view.frame, 1 - grown), atEnd, view.hue, 1.0);
        }
    });
}

void DrawTreeMap::drawActiveFile(File& file, DrawRenderer& into) {
    const FileView* found = view(file);
    if (found == nullptr) return;
    into.reset(9);
    into.triangleStrips().reserveCapacity(1);
    into.lineStrips().reserveCapacity(1);
    const MyColor fill = found->merged ? MyColor::grey((isDarkAppearance ? 0.4 : 0.7) * 0.7, 1.0)
                                       : MyColor::fromHue(found->hue, palette::kSaturation,
                                                          palette::brightness() * 0.7,
                                                          file.isDirectory() ? 0.7 : 1.0);
    into.fillRect(found->frame, fill);
    into.color = palette::border();
    into.strokeRect(found->frame);
    into.commit();
}

void DrawTreeMap::prepareSequenceTransition(Directory& other) {
    // The views become the start of a transition: the picture made from them is not kept.
    pictureKey_.reset();
    previousViewsFound_ = false;
    startBorderRatio_ = pictureBorderRatio_;
    std::swap(fileViews_, transitionFileViews_);
    Views rekeyed;
    rekeyed.reserve(transitionFileViews_.size());
    for (const FileView& view : transitionFileViews_) {
        File* counterpart = correspondingFile(*view.file, view.merged, other);
        if (counterpart == nullptr) continue; // not in the new tree: dropped
        FileView moved = view;
        moved.file = counterpart;
        rekeyed.insertOrAssign(std::move(moved));
    }
    transitionFileViews_ = std::move(rekeyed);
}

File* DrawTreeMap::fileAt(DrawPoint point, File* previous) {
    if (previous != nullptr)
        if (const FileView* found = view(*previous)) {
            const bool onBorder = showsChildren(*previous)
                                      ? directoryBorderRatio > 0 && contains(found->frame, point) &&
                                            !contains(insetArea(found->frame), point)
                                      : contains(found->frame, point);
            if (onBorder) return previous;
        }
    if (!mainFileView_) return nullptr;
    // Down the folders: siblings do not overlap, so at most one child holds the point.
    const File* current = mainFileView_->file;
    for (;;) {
        const FileView* found = view(*current);
        if (found == nullptr || !contains(found->frame, point)) return nullptr;
        if (!showsChildren(*current) || !found->opened) return found->file;
        const File* next = nullptr;
        for (File* child : const_cast<Directory*>(current->asDirectory())->displayedContents())
            if (const FileView* childView = view(*child);
                childView != nullptr && contains(childView->frame, point)) {
                next = child;
                break;
            }
        if (next == nullptr) return directoryBorderRatio > 0 ? found->file : nullptr;
        current = next;
    }
}

File* DrawTreeMap::zoomTarget(File& file) {
    if (showsChildren(file)) return &file;
    const File* main = mainFileView_ ? mainFileView_->file : nullptr;
    File* node = &file;
    while (node->parent() != nullptr) {
        if (node->parent() == main) return node;
        node = node->parent();
    }
    return node;
}

std::optional<DrawPoint> DrawTreeMap::center(const File& file) {
    const FileView* found = view(file);
    if (found == nullptr) return std::nullopt;
    return DrawPoint{found->frame.x + found->frame.width / 2,
                     found->frame.y + found->frame.height / 2};
}

} // namespace tessera
