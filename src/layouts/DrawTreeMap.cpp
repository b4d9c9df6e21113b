#include "layouts/DrawTreeMap.h"

#include "controller/FileController.h"
#include "graph/Animation.h"
#include "graph/Palette.h"
#include "model/Directory.h"
#include "model/MergedFile.h"

#include <algorithm>
#include <cmath>
#include <limits>

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

} // namespace

std::string_view DrawTreeMap::rawValue(Layout layout) {
    switch (layout) {
    case Layout::stack:
        return "stack";
    case Layout::snake:
        return "snake";
    case Layout::spiral:
        return "spiral";
    case Layout::spiralSnake:
        return "spiralSnake";
    }
    return "spiralSnake";
}

std::optional<DrawTreeMap::Layout> DrawTreeMap::layoutNamed(std::string_view name) {
    for (Layout layout : allLayouts)
        if (rawValue(layout) == name) return layout;
    return std::nullopt;
}

DrawTreeMap::DrawTreeMap(RendererFactory factory) : DrawGraph(std::move(factory)) {}

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

DrawRect DrawTreeMap::insetArea(const DrawRect& frame) const {
    if (directoryBorderRatio <= 0) return frame;
    const double dx = frame.width * directoryBorderRatio;
    const double dy = frame.height * directoryBorderRatio;
    return {frame.x + dx, frame.y + dy, frame.width - 2 * dx, frame.height - 2 * dy};
}

std::size_t DrawTreeMap::storeView(FileView view, bool isNew) {
    view.hue = view.merged ? 0 : hueOf(view);
    return isNew ? fileViews_.append(std::move(view)) : fileViews_.insertOrAssign(std::move(view));
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
    layOutAt(directory, static_cast<std::size_t>(fileViews_.indexOf(&key)), merge, false);
}

void DrawTreeMap::layOutAt(Directory& directory, std::size_t parentIndex, bool merge,
                           bool childrenAreNew) {
    const FileView parent = fileViews_.at(parentIndex); // storing children may move the views
    const auto firstRow = static_cast<std::uint32_t>(rows_.size());
    fileViews_.at(parentIndex).firstRow = firstRow;
    fileViews_.at(parentIndex).rowCount = 0;
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

    measures_.resize(count);
    auto measure = [&](std::size_t i) { return measures_[i]; };
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
        storeView(std::move(merged), childrenAreNew);
    };
    // Places children first..last (sum `sum`) in one row of thickness t.
    auto placeRow = [&](std::size_t first, std::size_t last, double sum, double t) {
        ContentRow row{direction, rowFrame(direction, cursor, t, length),
                       static_cast<std::uint32_t>(cuts_.size()), 0};
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
                cuts_.push_back(horizontal(direction.edge) ? cursor.x : cursor.y);
                ++row.cutCount;
            }
            const double fraction = total == 0 ? 0 : cumulative / total;
            const double childLower = upper - fraction * (upper - lower);
            child.range = {childLower, std::max(childLower, previousLower)};
            previousLower = childLower;
            child.merged = false;
            storeView(std::move(child), childrenAreNew);
        }
        rows_.push_back(row);
        fileViews_.at(parentIndex).rowCount = static_cast<std::uint32_t>(rows_.size()) - firstRow;
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
        const double m = measures_[i] = static_cast<double>(directory.child(i)->size(sizeMode));
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
        measures_[i] = static_cast<double>(directory.child(i)->size(sizeMode));
    placeRow(start, count - 1, lastSum, depth);
}

MyColor DrawTreeMap::fillColor(const FileView& view, double hue, double alpha) const {
    return view.merged ? palette::merged(alpha) : palette::file(hue, alpha);
}

void DrawTreeMap::drawRows(const FileView& view) {
    DrawRenderer& r = renderer();
    for (const ContentRow& row : contentRows(view)) {
        const DrawRect& f = row.frame;
        switch (row.direction.edge) {
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
        for (double cut : cuts(row)) {
            if (horizontal(row.direction.edge))
                r.strokeLine({cut, f.y}, {cut, f.maxY()});
            else
                r.strokeLine({f.x, cut}, {f.maxX(), cut});
        }
    }
}

void DrawTreeMap::drawTree(std::size_t mainIndex, const std::optional<DrawTransition>& transition) {
    const bool rearrange = transition && transition->is<DrawTransition::Rearrange>();
    const bool recolour = transition && transition->is<DrawTransition::UpdateColor>();
    const bool fill = !rearrange && !recolour;
    DrawRenderer& r = renderer();
    FileController* controller = delegate != nullptr ? delegate->fileController() : nullptr;
    // Files are filled as soon as their folder has placed them, and folders wait on a stack to
    // be laid out in turn: each view is reached by its position, never looked up. Siblings do
    // not overlap and a folder's fill goes down before its children's, so the picture is the
    // same as drawing in pre-order.
    std::vector<std::uint32_t>& pending = pendingFolders_;
    pending.clear();
    const auto visit = [&](std::size_t index) {
        const FileView& view = fileViews_.at(index);
        if (controller != nullptr) controller->loadUrlResources(*view.file);
        if (showsChildren(*view.file))
            pending.push_back(static_cast<std::uint32_t>(index));
        else if (fill)
            r.fillRect(view.frame, fillColor(view, view.hue, 1.0));
    };
    visit(mainIndex);
    while (!pending.empty()) {
        const std::uint32_t index = pending.back();
        pending.pop_back();
        const std::size_t firstChild = fileViews_.size();
        layOutAt(*fileViews_.at(index).file->asDirectory(), index, true, true);
        const FileView& folder = fileViews_.at(index);
        if (fill && directoryBorderRatio > 0)
            r.fillRect(folder.frame, fillColor(folder, folder.hue, 1.0));
        if (!rearrange) {
            if (directoryBorderRatio > 0) r.strokeRect(insetArea(folder.frame));
            drawRows(folder);
        }
        for (std::size_t child = firstChild; child < fileViews_.size(); ++child)
            visit(child);
    }
}

void DrawTreeMap::display(File* file, std::optional<DrawTransition> transition) {
    if (viewSize().isEmpty()) return;
    keepTransitionStart(transition, fileViews_, transitionFileViews_);
    const double progress = transition ? transition->progress : 0;
    const bool rearrange = transition && transition->is<DrawTransition::Rearrange>();

    mainFileView_.reset();
    clearViews();
    const double w = viewSize().width;
    const double h = viewSize().height;
    const auto n = static_cast<std::size_t>(w * h / (mergeThreshold * mergeThreshold));
    fileViews_.reserve(n);
    DrawRenderer& r = renderer();
    r.reset(9 * n);
    r.triangleStrips().reserveCapacity(n);
    r.lineStrips().reserveCapacity(n);

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

    if (rearrange)
        drawRearrangeTransition(progress);
    else if (transition && transition->is<DrawTransition::UpdateColor>())
        drawColorTransition(progress);
    if (!rearrange) {
        r.color = palette::border();
        r.strokeRect(mainFileView_->frame);
    }
    r.commit();
}

void DrawTreeMap::drawColorTransition(double progress) {
    // Views are stored in creation order: folders before what they hold.
    for (const FileView& view : fileViews_) {
        const FileView* old = transitionFileViews_.find(view.file);
        const double start = old != nullptr ? old->hue : view.hue;
        renderer().fillRect(view.frame,
                            fillColor(view, start + (view.hue - start) * progress, 1.0));
    }
}

void DrawTreeMap::drawRearrangeTransition(double progress) {
    DrawRenderer& r = renderer();
    const double grey = palette::strokeGrey();
    auto draw = [&](const FileView& view, const DrawRect& frame, double hue, double alpha) {
        r.fillRect(frame, fillColor(view, hue, alpha));
        r.color = MyColor::grey(grey, alpha);
        r.strokeRect(frame);
    };
    // Views that go shrink to their centre during the first 30% (stores keep creation order).
    if (progress <= 0.3) {
        const double a = std::clamp((progress / 0.3) * (progress / 0.3), 0.0, 1.0);
        for (const FileView& old : transitionFileViews_)
            if (!fileViews_.contains(old.file)) draw(old, collapse(old.frame, a), old.hue, 1 - a);
    }
    const double s = std::clamp((progress - 0.15) / 0.7, 0.0, 1.0);
    const double eased = Animation::apply(Animation::ProgressCurve::easeInOut, s);
    for (const FileView& view : fileViews_) {
        if (const FileView* old = transitionFileViews_.find(view.file)) {
            draw(view, interpolate(old->frame, view.frame, eased),
                 old->hue + (view.hue - old->hue) * eased, 1.0);
        } else if (progress >= 0.7) {
            // Views that come grow from their centre during the last 30%.
            const double grown = std::clamp((progress - 0.7) / 0.3, 0.0, 1.0);
            draw(view, collapse(view.frame, 1 - grown), view.hue, 1.0);
        }
    }
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
        if (!showsChildren(*current)) return found->file;
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
