#include "layouts/DrawPieChart.h"

#include "draw/Animation.h"
#include "draw/Palette.h"
#include "model/Directory.h"
#include "model/MergedFile.h"

#include <algorithm>
#include <cmath>

namespace tessera {
namespace {

constexpr DrawPoint kOrigin{0, 0};

DrawRange toward(const DrawRange& from, const DrawRange& to, double q) {
    return {from.lower + (to.lower - from.lower) * q, from.upper + (to.upper - from.upper) * q};
}

// Each bound moved by `s` of the way toward the middle (s = 1: collapsed).
DrawRange shrink(const DrawRange& range, double s) {
    const double middle = range.middle();
    return {range.lower + s * (middle - range.lower), range.upper + s * (middle - range.upper)};
}

std::int64_t measureOf(const File& file, SizeMode mode) {
    return file.size(mode);
}

} // namespace

DrawPieChart::DrawPieChart(RendererFactory factory) : DrawGraph(std::move(factory)) {}

void DrawPieChart::setViewSize(DrawSize size) {
    DrawGraph::setViewSize(size);
    updateGeometry();
}

void DrawPieChart::updateGeometry() {
    const double half = std::min(viewSize().width, viewSize().height) * 0.5;
    radius_ = {radiusFraction.max * half, radiusFraction.mid * half, radiusFraction.min * half};
    levelHeight_.big = (radius_.mid - radius_.min) / (levels - 3);
    levelHeight_.small = (radius_.max - radius_.mid) / 3;
}

double DrawPieChart::ringOuterRadius(double inner) const {
    const double big = levelHeight_.big;
    const double small = levelHeight_.small;
    if (radius_.mid <= inner) return inner + std::min(radius_.max - inner, small);
    if (inner < radius_.mid - big) return inner + big;
    // The ring straddles the mid radius: its thickness blends from big to small.
    return inner + big + (inner - (radius_.mid - big)) / big * (small - big);
}

PieSector DrawPieChart::mainSector(const File& file) const {
    double span = kFullCircle;
    if (file.parent() == nullptr && totalSize >= 1)
        span = static_cast<double>(measureOf(file, sizeMode)) * kFullCircle /
               static_cast<double>(totalSize);
    return {{0, span}, {0, radius_.min}};
}

double DrawPieChart::hueOf(const FileView& view) const {
    if (colorMode == ColorMode::hueWheel) return wheelHue(view);
    return modeHue(*view.file);
}

const DrawPieChart::FileView* DrawPieChart::view(const File& file) const {
    const auto found = fileViews_.find(&file);
    return found != fileViews_.end() ? &found->second : nullptr;
}

DrawPieChart::FileView* DrawPieChart::fileView(File& file, bool merge) {
    const std::vector<File*> chain = chainToLaidOut(file, fileViews_);
    File* top = chain.back();
    if (!fileViews_.contains(top)) {
        FileView root{{top, {0, 1}, 0}, mainSector(*top), false};
        fileViews_.emplace(top, root);
    }
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        const auto found = fileViews_.find(*it);
        if (found == fileViews_.end()) return nullptr; // merged away: not laid out
        if (Directory* directory = (*it)->asDirectory())
            layOutChildren(*directory, found->second, merge);
    }
    const auto found = fileViews_.find(&file);
    return found != fileViews_.end() ? &found->second : nullptr;
}

void DrawPieChart::layOutChildren(Directory& directory, const FileView& parentView, bool merge) {
    if (directory.hideContents() || directory.count() == 0) return;
    const FileView view = parentView; // the map may rehash below
    directory.sortContents(sizeMode);
    MergedFile& remainder = directory.mergedContents();
    remainder.setMerge(0, 0);
    const double outer = ringOuterRadius(view.sector.radius.upper);
    const auto total = measureOf(directory, sizeMode);
    const DrawRange& angle = view.sector.angle;
    const double span = angle.upper - angle.lower;
    const auto maxMerged =
        span == 0
            ? 0
            : static_cast<std::int64_t>(mergeThreshold / outer / span * static_cast<double>(total));
    std::int64_t cumulative = 0;
    double anglePosition = angle.upper;
    double rangePosition = view.range.upper;
    const std::size_t count = directory.count();
    // In a comparison the children keep the sequence's one order, and only a tail of children
    // all too thin to show is merged; else the folder's own order, whose tail is its smallest.
    const std::vector<File*> placed =
        orderKey ? placedOrder(directory, sizeMode, orderKey) : std::vector<File*>();
    const auto childAt = [&](std::size_t i) {
        return placed.empty() ? directory.child(i) : placed[i];
    };
    std::size_t thinTail = count;
    if (!placed.empty())
        while (thinTail > 0 && measureOf(*placed[thinTail - 1], sizeMode) <= maxMerged)
            --thinTail;
    std::size_t laidOut = 0;
    const FileView* last = nullptr;
    for (std::size_t i = 0; i < count; ++i) {
        File* child = childAt(i);
        const std::int64_t size = measureOf(*child, sizeMode);
        const bool isLast = i + 1 == count;
        const bool thin = placed.empty() ? size <= maxMerged : i >= thinTail;
        if (merge && thin && !isLast) break;
        cumulative += size;
        const double fraction =
            total == 0 ? 0 : static_cast<double>(cumulative) / static_cast<double>(total);
        const double lowerAngle = isLast ? angle.lower : angle.upper - span * fraction;
        const double lowerRange =
            isLast ? view.range.lower
                   : view.range.upper + (view.range.lower - view.range.upper) * fraction;
        FileView childView{{child, {lowerRange, rangePosition}, 0},
                           {{lowerAngle, anglePosition}, {view.sector.radius.upper, outer}},
                           false};
        childView.hue = hueOf(childView);
        last = &(fileViews_.insert_or_assign(child, childView).first->second);
        anglePosition = lowerAngle;
        rangePosition = lowerRange;
        ++laidOut;
    }
    remainder.setMerge(static_cast<std::ptrdiff_t>(count - laidOut), total - cumulative);
    FileView merged{{&remainder, view.range, 0}, view.sector, true};
    if (laidOut == 0) {
        merged.sector.radius = {
            view.sector.radius.upper,
            std::max(view.sector.radius.upper, ringOuterRadius(view.sector.radius.upper))};
    } else {
        merged.range = {view.range.lower, last->range.lower};
        merged.sector.angle = {angle.lower, last->sector.angle.lower};
        merged.sector.radius = last->sector.radius;
    }
    fileViews_.insert_or_assign(&remainder, merged);
}

DrawPieChart::FileView DrawPieChart::zoomedMainView(File& file, File& other, double progress) {
    const FileView* otherView = fileView(other, false);
    const DrawRange otherRange = otherView != nullptr ? otherView->range : DrawRange{0, 1};
    fileViews_.clear();
    fileViews_.emplace(&other, FileView{{&other, otherRange, 0}, mainSector(other), false});
    const FileView* inside = fileView(file, false);
    const FileView within =
        inside != nullptr ? *inside : FileView{{&file, otherRange, 0}, mainSector(other), false};
    fileViews_.clear();
    const double eased = std::clamp(1 - (1 - progress) * (1 - progress), 0.0, 1.0);
    const double span = mainSector(file).angle.upper;
    const DrawRange& a = within.sector.angle;
    const DrawRange& r = within.sector.radius;
    FileView zoomed{{&file, within.range, 0}, {}, false};
    zoomed.sector.angle.lower = eased * a.lower;
    zoomed.sector.angle.upper =
        std::max(zoomed.sector.angle.lower, span + eased * (a.upper - span));
    zoomed.sector.radius.lower = progress * r.lower;
    zoomed.sector.radius.upper =
        std::max(zoomed.sector.radius.lower, radius_.min + (r.upper - radius_.min) * progress);
    return zoomed;
}

void DrawPieChart::drawCapacityShares(const File& root) {
    // The root's ring goes on round the circle with the rest of the volume, the free space
    // faintest.
    DrawRenderer& r = renderer();
    const DrawRange ring{radius_.min, radius_.min + levelHeight_.small};
    double angle = mainSector(root).angle.upper;
    for (const AccountLine& share : capacityShares) {
        const double span = static_cast<double>(share.bytes.value_or(0)) * kFullCircle /
                            static_cast<double>(totalSize);
        const double end = std::min(kFullCircle, angle + span);
        if (end <= angle) continue;
        r.fillRingSector(angle, end, ring.lower, ring.upper, kOrigin,
                         capacityShareColor(share.part));
        shareShapes_.push_back({share.part, true, {angle, end}, ring});
        angle = end;
    }
}

void DrawPieChart::display(File* file, std::optional<DrawTransition> transition) {
    if (viewSize().isEmpty()) return;
    beginPicture();
    keepTransitionStart(transition, fileViews_, transitionFileViews_);
    const double progress = transition ? transition->progress : 0;
    const bool rearrange = transition && transition->is<DrawTransition::Rearrange>();

    mainFileView_.reset();
    fileViews_.clear();
    levelInfos_.clear();
    shareShapes_.clear();
    const auto n = static_cast<std::size_t>(radius_.max * kFullCircle * (levels + 1));
    fileViews_.reserve(n);
    DrawRenderer& r = renderer();
    r.reset(5 * n);
    r.lines().reserveCapacity(n);
    r.triangleStrips().reserveCapacity(n);
    r.lineStrips().reserveCapacity(n);

    if (file == nullptr) {
        if (rearrange) {
            drawRearrangeTransition(nullptr, progress);
            r.commit();
        }
        return;
    }
    if (file->parent() == nullptr && totalSize >= 1) drawCapacityShares(*file);

    FileView main{{file, {0, 1}, 0}, mainSector(*file), false};
    double mainAlpha = 0;
    if (transition && transition->is<DrawTransition::ZoomIn>()) {
        File* old = const_cast<File*>(std::get<DrawTransition::ZoomIn>(transition->type).old);
        main = zoomedMainView(*file, *old, 1 - progress);
        mainAlpha = 1 - progress;
    } else if (transition && transition->is<DrawTransition::ZoomOut>()) {
        File* next = const_cast<File*>(std::get<DrawTransition::ZoomOut>(transition->type).next);
        main = zoomedMainView(*file, *next, progress);
        mainAlpha = progress;
    } else {
        if (const FileView* inTree = fileView(*file, false)) main.range = inTree->range;
        fileViews_.clear();
    }
    main.hue = hueOf(main);
    fileViews_.insert_or_assign(file, main);
    fileView(*file, true);

    if (main.sector.radius.lower > radius_.max) {
        r.commit();
        return;
    }
    mainFileView_ = main;
    double ring = main.sector.radius.upper;
    for (int level = 0; level < levels; ++level) {
        const double outer = ringOuterRadius(ring);
        levelInfos_.push_back({-1.0, 0.0, ring, outer});
        ring = outer;
    }
    r.color = palette::border();
    const auto [upperReach, lowerReach] = drawSectors(main, 0, transition);
    if (rearrange) {
        drawRearrangeTransition(file, progress);
        r.commit();
        return;
    }
    if (transition && transition->is<DrawTransition::UpdateColor>())
        drawColorTransition(file, progress);
    drawMainFile(main, mainAlpha);
    for (const LevelInfo& level : levelInfos_)
        if (level.startAngle != -1.0)
            r.strokeArc(kOrigin, std::min(level.endRadius, radius_.max), level.startAngle,
                        std::max(level.startAngle, level.endAngle));
    const double from = levelInfos_.front().startRadius;
    auto radialLine = [&](double angle, double to) {
        const double c = std::cos(angle);
        const double s = std::sin(angle);
        r.strokeLine({c * from, s * from}, {c * to, s * to});
    };
    const DrawRange& angle = main.sector.angle;
    if (angle.lower == 0 && angle.upper == kFullCircle) {
        radialLine(kFullCircle, std::max(upperReach, lowerReach));
    } else {
        radialLine(angle.lower, lowerReach);
        radialLine(angle.upper, upperReach);
    }
    r.commit();
}

void DrawPieChart::fillView(const FileView& view, double hue, double alpha) {
    if (!view.merged && isBeingRead(*view.file)) alpha *= palette::kBeingReadAlpha;
    const DrawColor color = view.merged ? palette::merged(alpha) : palette::file(hue, alpha);
    renderer().fillRingSector(view.sector.angle.lower, view.sector.angle.upper,
                              view.sector.radius.lower, view.sector.radius.upper, kOrigin, color);
}

std::pair<double, double>
DrawPieChart::drawSectors(const FileView& view, std::size_t level,
                          const std::optional<DrawTransition>& transition) {
    if (delegate != nullptr) delegate->loadPackageFlag(*view.file);
    const double reach = view.sector.radius.upper;
    const Directory* directory = view.file->asDirectory();
    if (level >= static_cast<std::size_t>(levels) || reach >= radius_.max || directory == nullptr ||
        directory->hideContents() || directory->count() == 0)
        return {reach, reach};
    const bool rearrange = transition && transition->is<DrawTransition::Rearrange>();
    const bool recolour = transition && transition->is<DrawTransition::UpdateColor>();
    DrawRenderer& r = renderer();
    LevelInfo& info = levelInfos_[level];
    if (!rearrange && view.sector.angle.upper != info.startAngle) {
        // A new run of arcs at this level: the finished one is stroked.
        if (info.startAngle != -1.0)
            r.strokeArc(kOrigin, info.endRadius, info.startAngle,
                        std::max(info.startAngle, info.endAngle));
        info.endAngle = view.sector.angle.upper;
    }
    double firstUpper = reach;
    double previousLower = reach;
    bool first = true;
    for (File* child : shownInOrder(*const_cast<Directory*>(directory), sizeMode, orderKey)) {
        const FileView* childView = fileView(*child, true);
        if (childView == nullptr) continue;
        const FileView drawn = *childView;
        const auto [childUpper, childLower] = drawSectors(drawn, level + 1, transition);
        if (!rearrange && !recolour) fillView(drawn, drawn.hue, 1.0);
        if (first) {
            firstUpper = childUpper;
        } else if (!rearrange) {
            const double c = std::cos(drawn.sector.angle.upper);
            const double s = std::sin(drawn.sector.angle.upper);
            const double from = levelInfos_[level].startRadius;
            const double to = std::max(previousLower, childUpper);
            r.strokeLine({c * from, s * from}, {c * to, s * to});
        }
        previousLower = childLower;
        first = false;
    }
    levelInfos_[level].startAngle = view.sector.angle.lower;
    return {firstUpper, previousLower};
}

void DrawPieChart::drawMainFile(const FileView& view, double alpha) {
    DrawRenderer& r = renderer();
    const PieSector& sector = view.sector;
    if (sector.angle.lower == 0 && sector.angle.upper == kFullCircle) {
        r.strokeCircle(kOrigin, sector.radius.upper);
        return;
    }
    r.strokeArc(kOrigin, sector.radius.upper, sector.angle.lower, sector.angle.upper);
    r.fillRingSector(sector.angle.lower, sector.angle.upper, sector.radius.lower,
                     sector.radius.upper, kOrigin, palette::file(view.hue, alpha));
}

void DrawPieChart::drawColorTransition(const File* mainFile, double progress) {
    for (const auto& [file, view] : fileViews_) {
        if (file == mainFile) continue;
        const auto old = transitionFileViews_.find(file);
        const double start = old != transitionFileViews_.end() ? old->second.hue : view.hue;
        fillView(view, start + (view.hue - start) * progress, 1.0);
    }
}

void DrawPieChart::drawRearrangeTransition(const File* mainFile, double progress) {
    DrawRenderer& r = renderer();
    const double grey = palette::strokeGrey();
    auto outline = [&](const PieSector& sector, double alpha) {
        r.color = DrawColor::grey(grey, alpha);
        r.strokeRingSector(sector.angle.lower, sector.angle.upper, sector.radius.lower,
                           sector.radius.upper, kOrigin);
    };
    // Views that go shrink toward their middle during the first 30%.
    if (progress / 0.3 <= 1) {
        const double s = std::clamp((progress / 0.3) * (progress / 0.3), 0.0, 1.0);
        for (const auto& [file, old] : transitionFileViews_) {
            if (fileViews_.contains(file)) continue;
            FileView shrunk = old;
            shrunk.sector.angle = shrink(old.sector.angle, s);
            shrunk.sector.radius = shrink(old.sector.radius, s);
            fillView(shrunk, old.hue, 1 - s);
            outline(shrunk.sector, 1 - s);
        }
    }
    const double u = std::clamp((progress - 0.15) / 0.7, 0.0, 1.0);
    const double q = std::clamp(Animation::apply(Animation::ProgressCurve::easeInOut, u), 0.0, 1.0);
    for (const auto& [file, view] : fileViews_) {
        if (file == mainFile) continue;
        FileView moving = view;
        double alpha = 1.0;
        double hue = view.hue;
        const auto old = transitionFileViews_.find(file);
        if (old != transitionFileViews_.end()) {
            moving.sector.angle = toward(old->second.sector.angle, view.sector.angle, q);
            moving.sector.radius = toward(old->second.sector.radius, view.sector.radius, q);
            hue = old->second.hue + (view.hue - old->second.hue) * q;
        } else {
            // Views that come grow from their middle during the last 30%.
            const double w = (progress - 0.7) / (1 - 0.7);
            if (w < 0) continue;
            moving.sector.angle = shrink(view.sector.angle, 1 - w);
            moving.sector.radius = shrink(view.sector.radius, 1 - w);
            alpha = w;
        }
        fillView(moving, hue, alpha);
        outline(moving.sector, alpha);
    }
}

void DrawPieChart::prepareSequenceTransition(const Counterparts& counterpartOf) {
    std::swap(fileViews_, transitionFileViews_);
    Views rekeyed;
    rekeyed.reserve(transitionFileViews_.size());
    for (auto& [file, view] : transitionFileViews_) {
        // A view without a counterpart keeps its key: no new view has it, so it vanishes.
        File* counterpart = counterpartOf(*file, view.merged);
        const File* key = counterpart != nullptr ? counterpart : file;
        FileView moved = view;
        if (counterpart != nullptr) moved.file = counterpart;
        rekeyed.insert_or_assign(key, moved);
    }
    transitionFileViews_ = std::move(rekeyed);
}

void DrawPieChart::drawActiveFile(File& file, DrawRenderer& into) {
    const FileView* found = view(file);
    if (found == nullptr) return;
    const PieSector& sector = found->sector;
    into.reset(static_cast<std::size_t>(sector.radius.upper * kFullCircle * 4.0));
    if (sector.radius.lower != 0) {
        into.triangleStrips().reserveCapacity(1);
        into.lineStrips().reserveCapacity(1);
        const DrawColor fill =
            found->merged ? palette::activeMerged() : palette::activeFile(found->hue);
        into.fillRingSector(sector.angle.lower, sector.angle.upper, sector.radius.lower,
                            sector.radius.upper, kOrigin, fill);
        into.color = palette::border();
        into.strokeRingSector(sector.angle.lower, sector.angle.upper, sector.radius.lower,
                              sector.radius.upper, kOrigin);
    } else {
        into.triangleStrips().reserveCapacity(1);
        into.fillCircle(kOrigin, sector.radius.upper, palette::file(found->hue, 0.3));
    }
    into.commit();
}

File* DrawPieChart::fileAt(DrawPoint point, File* previous) {
    const double distance = std::sqrt(point.x * point.x + point.y * point.y);
    double angle = std::atan2(point.y, point.x);
    if (angle < 0) angle += kFullCircle;
    if (previous != nullptr)
        if (const FileView* found = view(*previous);
            found != nullptr && found->sector.contains(angle, distance))
            return previous;
    if (!mainFileView_) return nullptr;
    // Down the rings: into the child whose angle holds the point, until a sector holds it.
    std::vector<const File*> pending{mainFileView_->file};
    while (!pending.empty()) {
        const File* candidate = pending.back();
        pending.pop_back();
        const FileView* found = view(*candidate);
        if (found == nullptr) continue;
        const PieSector& sector = found->sector;
        if (!(sector.angle.lower <= angle && angle < sector.angle.upper) ||
            distance < sector.radius.lower)
            continue;
        if (distance < sector.radius.upper) return found->file;
        const Directory* directory = candidate->asDirectory();
        if (directory == nullptr || directory->hideContents() || directory->count() == 0) continue;
        auto children = shownInOrder(*const_cast<Directory*>(directory), sizeMode, orderKey);
        for (auto it = children.rbegin(); it != children.rend(); ++it)
            pending.push_back(*it); // first child tried first
    }
    return nullptr;
}

std::optional<DrawPoint> DrawPieChart::center(const File& file) {
    const FileView* found = view(file);
    if (found == nullptr) return std::nullopt;
    const double angle = found->sector.angle.middle();
    const double r = found->sector.radius.middle();
    return DrawPoint{std::cos(angle) * r, std::sin(angle) * r};
}

} // namespace tessera
