#include "layouts/DrawTreeMap.h"

#include "draw/Palette.h"
#include "layouts/DrawTreeMapInternals.h"
#include "model/Directory.h"
#include "model/MergedFile.h"
#include "model/TreeRevision.h"
#include "platform/WorkerPool.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <span>

namespace tessera {
namespace {

bool contains(const DrawRect& rect, DrawPoint p) {
    return rect.x <= p.x && p.x < rect.maxX() && rect.y <= p.y && p.y < rect.maxY();
}

bool showsChildren(const File& file) {
    const Directory* directory = file.asDirectory();
    return directory != nullptr && !directory->hideContents() && directory->count() > 0;
}

using Edge = TreeMapEdge;

} // namespace

void detail::drawRows(DrawRenderer& r, std::span<const DrawTreeMap::ContentRow> rows,
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
            if (isHorizontal(row.direction.edge))
                r.strokeLine({cut, f.y}, {cut, f.maxY()});
            else
                r.strokeLine({f.x, cut}, {f.maxX(), cut});
        }
    }
}

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

void DrawTreeMap::drawCapacityShares(const File& root) {
    DrawRenderer& r = renderer();
    const double w = viewSize().width;
    const double h = viewSize().height;
    const double m = std::max(w, h);
    const auto stripes = static_cast<int>(2 * m / 20);
    for (int i = 0; i <= stripes; ++i) {
        const double x = 20.0 * i - w / 2 - h;
        r.fillQuad(DrawColor::grey(i % 2 == 0 ? 0.5 : 0.2, 0.1), {x, -h / 2}, {x + 20, -h / 2},
                   {x + m, -h / 2 + m}, {x + 20 + m, -h / 2 + m});
    }
    // The tiles follow the root's frame along the longer side, each covering the hatching.
    const DrawRect frame = rootFrame(root);
    const bool down = w < h;
    double at = down ? frame.y + frame.height : frame.x + frame.width;
    const double end = down ? h / 2 : w / 2;
    const double length = down ? h : w;
    const double background = palette::backgroundGrey();
    for (const AccountLine& share : capacityShares) {
        const double next = std::min(end, at + static_cast<double>(share.bytes.value_or(0)) *
                                                   length / static_cast<double>(totalSize));
        if (next <= at) continue;
        const DrawRect tile =
            down ? DrawRect{-w / 2, at, w, next - at} : DrawRect{at, -h / 2, next - at, h};
        if (share.part != AccountPart::free) {
            const DrawColor c = capacityShareColor(share.part);
            r.fillRect(tile, DrawColor::grey(background + (c.red - background) * c.alpha, 1.0));
        }
        shareShapes_.push_back(
            {share.part, false, {tile.x, tile.x + tile.width}, {tile.y, tile.y + tile.height}});
        at = next;
    }
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
    if (colorMode == ColorMode::hueWheel) return wheelHue(view);
    return modeHue(*view.file);
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
    view.beingRead = !view.merged && isBeingRead(*view.file);
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

    // In a comparison the children keep the sequence's one order; else the folder's own.
    const std::vector<File*> inOrder =
        orderKey ? placedOrder(directory, sizeMode, orderKey) : std::vector<File*>();
    const auto childAt = [&](std::size_t i) {
        return inOrder.empty() ? directory.child(i) : inOrder[i];
    };
    // A thin row merges what is left, which by size is smaller still; in that one order what is
    // left may hold a larger child, which must not be merged away: the largest from each on.
    std::vector<double> largestFrom;
    if (!inOrder.empty()) {
        largestFrom.assign(count + 1, 0);
        for (std::size_t i = count; i-- > 0;)
            largestFrom[i] =
                std::max(largestFrom[i + 1], static_cast<double>(childAt(i)->size(sizeMode)));
    }

    TreeMapRowPlacer placer(area, layout, beginLayoutOnBottomEdge);
    const auto total = static_cast<double>(directory.size(sizeMode));
    double remaining = total;
    double placed = 0;
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
        merged.frame = placer.remainder();
        merged.merged = true;
        store(std::move(merged));
    };
    // Places children first..last (sum `sum`) in one row of thickness t.
    auto placeRow = [&](std::size_t first, std::size_t last, double sum, double t) {
        const double length = placer.length();
        ContentRow row{placer.direction(), placer.rowFrame(t),
                       static_cast<std::uint32_t>(out.cuts.size()), 0};
        placer.beginRow();
        double cumulative = placed;
        for (std::size_t k = first; k <= last; ++k) {
            const double m = measure(k);
            const double l = sum == 0 ? 0 : length * m / sum;
            cumulative += m;
            FileView child;
            child.file = childAt(k);
            // Drawing goes down into it soon.
            if (const Directory* sub = child.file->asDirectory()) sub->prefetchContents();
            child.frame = placer.place(t, l);
            if (k != last) {
                out.cuts.push_back(placer.cut());
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

    std::size_t start = 0;
    double sum = 0;
    double best = std::numeric_limits<double>::infinity();
    // Children are read one after another, but they lie anywhere in memory: they are fetched
    // ahead.
    constexpr std::size_t kFetchAhead = 8;
    const auto fetch = [&](std::size_t i) { __builtin_prefetch(childAt(i)); };
    for (std::size_t i = 0; i < std::min(count, kFetchAhead); ++i)
        fetch(i);
    std::size_t measured = 0;
    for (std::size_t i = 0; i < count && remaining > 0; ++i) {
        if (i + kFetchAhead < count) fetch(i + kFetchAhead);
        const double m = measures[i] = static_cast<double>(childAt(i)->size(sizeMode));
        measured = i + 1;
        const double grown = sum + m;
        const double thickness = placer.depth() * grown / remaining;
        const double l = placer.length() * m / grown;
        const double ratio = std::max(l / thickness, thickness / l);
        if (i == start || ratio < best) {
            best = ratio;
            sum = grown;
            continue;
        }
        // The row is closed without child i.
        const double t = placer.depth() * sum / remaining;
        const bool allThin = largestFrom.empty() ||
                             placer.depth() * largestFrom[start] / remaining <= mergeThreshold;
        if (merge && std::min(placer.length(), t) <= mergeThreshold && start < count - 1 &&
            allThin) {
            mergeFrom(start);
            return;
        }
        placeRow(start, i - 1, sum, t);
        placed += sum;
        remaining -= sum;
        placer.endRow(t);
        start = i;
        sum = m;
        const double alone = placer.depth() * m / remaining;
        best = std::max(placer.length() / alone, alone / placer.length());
    }
    // The last row takes the whole remaining depth; with nothing left to measure, the rest
    // of the children go into it with no length.
    const double lastSum = std::max(remaining, 0.0); // what the children from `start` measure
    if (merge && std::min(placer.length(), placer.depth()) <= mergeThreshold && start < count - 1) {
        mergeFrom(start);
        return;
    }
    for (std::size_t i = measured; i < count; ++i)
        measures[i] = static_cast<double>(childAt(i)->size(sizeMode));
    placeRow(start, count - 1, lastSum, placer.depth());
}

DrawColor DrawTreeMap::fillColor(const FileView& view, double hue, double alpha) const {
    if (view.merged) return palette::merged(alpha);
    return palette::file(hue, view.beingRead ? alpha * palette::kBeingReadAlpha : alpha);
}

template <typename Out>
void DrawTreeMap::visit(Out& out, DrawRenderer& r, std::size_t index,
                        std::vector<std::uint32_t>& folders, const DrawPass& pass) const {
    const FileView& view = out.view(index);
    if (pass.delegate != nullptr) pass.delegate->loadPackageFlag(*view.file);
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
        detail::drawRows(r, {out.rows.data() + folder.firstRow, folder.rowCount}, out.cuts);
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
    const DrawPass pass{!rearrange && !recolour, !rearrange && strokes, delegate};
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
    const double largeArea = whole.width * whole.height * detail::kLargeFolderShare;
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

DrawTreeMap::PictureKey DrawTreeMap::pictureKey(const File* file,
                                                const std::optional<DrawTransition>& t) const {
    PictureKey key;
    key.treeRevision = treeRevision();
    key.file = file;
    key.width = viewSize().width;
    key.height = viewSize().height;
    key.sizeMode = sizeMode;
    key.colorMode = colorMode;
    key.comparisonRevision =
        colorMode == ColorMode::change || orderKey || identityHue ? comparisonRevision : 0;
    key.mergeThreshold = mergeThreshold;
    key.totalSize = totalSize;
    key.capacityShares = capacityShares;
    key.layout = layout;
    key.directoryBorderRatio = directoryBorderRatio;
    key.keepAspectRatioDuringZoom = keepAspectRatioDuringZoom;
    key.beginLayoutOnBottomEdge = beginLayoutOnBottomEdge;
    key.strokes = strokes;
    key.dark = isDarkAppearance;
    // A zoom shows the picture at rest (displayZoom()).
    key.transition =
        !t || !(t->is<DrawTransition::Rearrange>() || t->is<DrawTransition::UpdateColor>())
            ? PictureKey::Transition::none
        : t->is<DrawTransition::Rearrange>() ? PictureKey::Transition::rearrange
                                             : PictureKey::Transition::recolour;
    return key;
}

DrawTreeMap::ZoomFrames DrawTreeMap::zoomFrames(File& file, File& other) {
    pictureKey_.reset();
    clearViews();
    const FileView* whole = fileView(file, false);
    const DrawRect own = whole != nullptr ? zoomedFrame(*whole) : rootFrame(file);
    clearViews();
    const FileView* otherWhole = fileView(other, false);
    FileView otherMain;
    otherMain.file = &other;
    otherMain.range = otherWhole != nullptr ? otherWhole->range : DrawRange{0, 1};
    otherMain.frame = otherWhole != nullptr ? zoomedFrame(*otherWhole) : rootFrame(other);
    otherMain.merged = false;
    clearViews();
    storeView(std::move(otherMain));
    const FileView* inOther = fileView(file, false);
    const DrawRect placed = inOther != nullptr ? inOther->frame : own;
    clearViews();
    return {&other, own, placed};
}

void DrawTreeMap::displayZoom(File& file, const DrawTransition& transition) {
    // The file's picture at rest, made once, is shown moved and stretched from where the file
    // lies when the other folder fills the view to its own frame: nothing is laid out anew
    // while it grows or shrinks, and no rectangle jumps as the frame's shape changes.
    const bool in = transition.is<DrawTransition::ZoomIn>();
    File* other = const_cast<File*>(in ? std::get<DrawTransition::ZoomIn>(transition.type).old
                                       : std::get<DrawTransition::ZoomOut>(transition.type).next);
    const bool kept = zoom_ && zoom_->other == other && pictureKey_ &&
                      *pictureKey_ == pictureKey(&file, std::nullopt) &&
                      renderer().revision() == pictureRevision_;
    if (!kept) {
        const ZoomFrames frames = zoomFrames(file, *other);
        display(&file, std::nullopt);
        zoom_ = frames;
    }
    const DrawRect& own = zoom_->own;
    const double shrunk = in ? 1 - transition.progress : transition.progress;
    renderer().placement =
        own.width <= 0 || own.height <= 0
            ? DrawPlacement{}
            : DrawPlacement::between(own, detail::interpolate(own, zoom_->placed, shrunk));
}

void DrawTreeMap::display(File* file, std::optional<DrawTransition> transition) {
    if (viewSize().isEmpty()) return;
    if (file != nullptr && transition &&
        (transition->is<DrawTransition::ZoomIn>() || transition->is<DrawTransition::ZoomOut>())) {
        displayZoom(*file, *transition);
        return;
    }
    const bool startKept = !transitionFileViews_.empty();
    keepTransitionStart(transition, fileViews_, transitionFileViews_);
    const double progress = transition ? transition->progress : 0;
    const bool rearrange = transition && transition->is<DrawTransition::Rearrange>();
    const bool recolour = transition && transition->is<DrawTransition::UpdateColor>();
    renderer().placement = {};
    // A recolouring's frames change the colours of its pictures' rectangles in place.
    renderer().recolourable = recolour && !renderer().recordsShapes();
    renderer().transitionFrame = rearrange || recolour;

    // The picture made last is kept while nothing it was made from changed: shown again as it
    // stands, or, during a rearrangement or recolouring, its views are the end state and only
    // the frame between the two states is drawn.
    const PictureKey key = pictureKey(file, transition);
    const bool same = pictureKey_ == key && file != nullptr;
    if (same && !transition && renderer().revision() == pictureRevision_) return;
    if (!transition && file != nullptr && endsTransition(key)) {
        drawTransitionEnd();
        pictureKey_ = key;
        return;
    }
    if (same && (rearrange || recolour) && startKept && transitionBase_) {
        DrawRenderer& r = renderer();
        if (recolour && recolourableFrame_ == r.revision()) {
            recolourInPlace(progress);
        } else {
            r.reset(transitionBase_->vertexCount() + 9 * fileViews_.size());
            r.append(*transitionBase_);
            drawTransitionFrame(transition->type, progress);
            r.commit();
            if (recolour && !r.recordsShapes()) holdRecolourablePicture();
        }
        pictureRevision_ = r.revision();
        return;
    }
    pictureKey_.reset();
    transitionEnd_.reset();
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
    shareShapes_.clear();
    if (file->parent() == nullptr && totalSize >= 1) drawCapacityShares(*file);

    FileView main;
    main.file = file;
    main.merged = false;
    const FileView* whole = fileView(*file, false);
    main.range = whole != nullptr ? whole->range : DrawRange{0, 1};
    main.frame = whole != nullptr ? zoomedFrame(*whole) : rootFrame(*file);
    clearViews();
    const std::size_t mainIndex = storeView(main, true);
    r.color = palette::border();
    drawTree(mainIndex, transition);
    mainFileView_ = fileViews_.at(mainIndex);

    if (rearrange || recolour) {
        // What every frame of the transition draws under its moving or changing rectangles.
        if (!transitionBase_) transitionBase_ = std::make_unique<DrawRenderer>();
        if (transitionBase_->recordsShapes() != r.recordsShapes())
            transitionBase_->setRecordsShapes(r.recordsShapes());
        transitionBase_->reset();
        transitionBase_->append(r);
        drawTransitionFrame(transition->type, progress);
    } else {
        r.color = palette::border();
        r.strokeRect(mainFileView_->frame);
    }
    r.commit();
    if (r.recolourable) holdRecolourablePicture();
    PictureKey made = key;
    made.treeRevision = treeRevision(); // laying out may have read what the tree loads lazily
    pictureKey_ = made;
    pictureRevision_ = r.revision();
}

void DrawTreeMap::drawActiveFile(File& file, DrawRenderer& into) {
    const FileView* found = view(file);
    if (found == nullptr) return;
    into.reset(9);
    into.triangleStrips().reserveCapacity(1);
    into.lineStrips().reserveCapacity(1);
    const DrawColor fill =
        found->merged
            ? DrawColor::grey((isDarkAppearance ? 0.4 : 0.7) * 0.7, 1.0)
            : DrawColor::fromHue(found->hue, palette::kSaturation, palette::brightness() * 0.7,
                                 file.isDirectory() ? 0.7 : 1.0);
    into.fillRect(found->frame, fill);
    into.color = palette::border();
    into.strokeRect(found->frame);
    into.placement = renderer().placement; // over the file as the picture shows it
    into.commit();
}

File* DrawTreeMap::fileAt(DrawPoint shown, File* previous) {
    const DrawPoint point = renderer().placement.unapply(shown);
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
        // In a comparison's one order the remainder holds another tail than the folder's own:
        // every child is tried.
        for (File* child :
             shownInOrder(*const_cast<Directory*>(current->asDirectory()), sizeMode, orderKey))
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
    return renderer().placement.apply(DrawPoint{found->frame.x + found->frame.width / 2,
                                                found->frame.y + found->frame.height / 2});
}

// Drawing subtrees on several cores draws their folders into sheets as well as into the picture.
template void DrawTreeMap::drawFolders(Picture&, DrawRenderer&, std::vector<std::uint32_t>&,
                                       const DrawPass&) const;
template void DrawTreeMap::drawFolders(Sheet&, DrawRenderer&, std::vector<std::uint32_t>&,
                                       const DrawPass&) const;

} // namespace tessera
