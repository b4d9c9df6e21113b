// The tree map's transitions between two pictures: recolouring frames, rearranging frames in
// which rectangles move from where they were to where they go, and the start of a sequence's
// morph into another tree.
#include "draw/Animation.h"
#include "draw/Palette.h"
#include "layouts/DrawTreeMap.h"
#include "layouts/DrawTreeMapInternals.h"
#include "platform/WorkerPool.h"

#include <algorithm>

namespace tessera {

using namespace detail;

namespace {

// The rectangle `a` of the way from the full frame to the empty one at its centre.
DrawRect collapse(const DrawRect& frame, double a) {
    const DrawRect centre{frame.x + frame.width / 2, frame.y + frame.height / 2, 0, 0};
    return interpolate(frame, centre, a);
}

/// Whether the picture fills `view`: a folder whose children are laid out without a border is
/// covered by them.
bool isFilled(const DrawTreeMap::FileView& view, bool foldersShow) {
    return !view.opened || foldersShow;
}

/// A recolouring's hue at `progress`: the end's own at the end (the palette tells kinds and
/// folders apart by their exact hues, which a sum may miss by a rounding).
double hueBetween(double start, double end, double progress) {
    return progress >= 1 ? end : start + (end - start) * progress;
}

/// In rearranging frames, in merge thresholds.
constexpr double kLeastOutlinedSide = 4.0;

} // namespace

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

bool DrawTreeMap::endsTransition(const PictureKey& key) const {
    if (!pictureKey_ || !transitionBase_) return false;
    if (pictureKey_->transition != PictureKey::Transition::rearrange &&
        pictureKey_->transition != PictureKey::Transition::recolour)
        return false;
    PictureKey end = *pictureKey_;
    end.transition = PictureKey::Transition::none;
    return end == key;
}

void DrawTreeMap::drawTransitionEnd() {
    const bool linesDrawn = pictureKey_->transition == PictureKey::Transition::recolour;
    DrawRenderer& r = renderer();
    if (linesDrawn && recolourableFrame_ == r.revision()) {
        // A recolouring's frames have the end picture's shapes: the last is coloured in place.
        recolourInPlace(1.0);
        pictureRevision_ = r.revision();
        return;
    }
    if (transitionEnd_ && transitionEnd_->key == *pictureKey_) {
        // Made when the transition started: shown as it is, where it was drawn.
        std::unique_ptr<DrawRenderer> end = std::move(transitionEnd_->picture);
        transitionEnd_.reset();
        end->alpha = r.alpha;
        end->placement = r.placement;
        swapRenderer(std::move(end));
        pictureRevision_ = renderer().revision();
        return;
    }
    transitionEnd_.reset();
    r.reset(transitionBase_->vertexCount() + 9 * fileViews_.size());
    drawEndPicture(r);
    r.commit();
    pictureRevision_ = r.revision();
}

void DrawTreeMap::drawEndPicture(DrawRenderer& r) {
    // The frames were drawn over the free space's hatching and, while recolouring, the lines:
    // what a fresh picture draws besides them comes from the views, in their order (a folder's
    // before what it holds), so the picture is the fresh one and nothing is laid out again.
    const bool linesDrawn = pictureKey_->transition == PictureKey::Transition::recolour;
    const bool lines = strokes && !linesDrawn;
    const bool foldersShow = directoryBorderRatio > 0;
    r.append(*transitionBase_);
    r.color = palette::border();
    drawEach(r, fileViews_, [&](std::size_t, const FileView& view, DrawRenderer& shapes) {
        if (isFilled(view, foldersShow))
            shapes.fillRect(view.frame, fillColor(view, view.hue, 1.0));
        if (!view.opened || !lines) return;
        if (foldersShow) shapes.strokeRect(insetArea(view.frame));
        drawRows(shapes, contentRows(view), cuts_);
    });
    r.color = palette::border();
    r.strokeRect(mainFileView_->frame);
}

void DrawTreeMap::prepareTransitionEnd(const std::function<void(DrawRenderer&)>& prepare) {
    // A rearrangement's last frame draws every rectangle and line of its end state, about twice
    // a frame's work on a large map: it is made now, beside the first frame, and the last frame
    // only shows it. A recolouring's last frame recolours in place like the others.
    transitionEnd_.reset();
    if (!pictureKey_ || pictureKey_->transition != PictureKey::Transition::rearrange ||
        !transitionBase_ || !mainFileView_)
        return;
    std::unique_ptr<DrawRenderer> end = makeRenderer();
    end->reset(transitionBase_->vertexCount() + 9 * fileViews_.size());
    drawEndPicture(*end);
    end->commit();
    prepare(*end);
    transitionEnd_ = TransitionEnd{*pictureKey_, std::move(end)};
}

template <typename Draw>
void DrawTreeMap::drawEach(DrawRenderer& r, const Views& views, Draw&& draw) {
    const std::size_t count = views.size();
    forEachRun(r, count, [&](std::size_t first, std::size_t end, DrawRenderer* sheetShapes) {
        DrawRenderer& shapes = sheetShapes != nullptr ? *sheetShapes : r;
        for (std::size_t i = first; i < end; ++i)
            draw(i, views.begin()[static_cast<std::ptrdiff_t>(i)], shapes);
    });
}

template <typename Work>
void DrawTreeMap::forEachRun(DrawRenderer& r, std::size_t count, Work&& work) {
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
        if (sheets_[run]->shapes.recordsShapes() != r.recordsShapes())
            sheets_[run]->shapes.setRecordsShapes(r.recordsShapes());
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
    forEachRun(renderer(), fileViews_.size(),
               [&](std::size_t from, std::size_t end, DrawRenderer*) {
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
    drawEach(renderer(), fileViews_, [&](std::size_t i, const FileView& view, DrawRenderer& r) {
        if (!isFilled(view, foldersShow)) return;
        const FileView* old = previousViews_[i];
        const double start = old != nullptr ? old->hue : view.hue;
        r.fillRect(view.frame, fillColor(view, hueBetween(start, view.hue, progress), 1.0));
    });
}

void DrawTreeMap::recolourInPlace(double progress) {
    // drawColorTransition() filled the views it draws one after the other, four corners each,
    // right after the frame's base.
    DrawRenderer& r = renderer();
    const std::vector<std::uint32_t>& filled = recolouredViews_;
    const std::size_t first = transitionBase_->vertexCount();
    const auto recolour = [&](std::size_t from, std::size_t end) {
        for (std::size_t k = from; k < end; ++k) {
            const FileView& view = fileViews_.at(filled[k]);
            const FileView* old = previousViews_[filled[k]];
            const double start = old != nullptr ? old->hue : view.hue;
            r.recolourQuad(first + 4 * k,
                           fillColor(view, hueBetween(start, view.hue, progress), 1.0));
        }
    };
    WorkerPool& pool = *workers;
    const std::size_t count = filled.size();
    if (pool.threadCount() < 2 || static_cast<double>(count) < kLeastParallelWork) {
        recolour(0, count);
    } else {
        const std::size_t runs = pool.threadCount();
        pool.run(runs,
                 [&](std::size_t run) { recolour(count * run / runs, count * (run + 1) / runs); });
    }
    r.finishRecolouring();
    r.commit();
    recolourableFrame_ = r.revision();
}

void DrawTreeMap::holdRecolourablePicture() {
    recolourableFrame_ = renderer().revision();
    const bool foldersShow = directoryBorderRatio > 0;
    recolouredViews_.clear();
    recolouredViews_.reserve(fileViews_.size());
    for (std::size_t i = 0; i < fileViews_.size(); ++i)
        if (isFilled(fileViews_.at(i), foldersShow))
            recolouredViews_.push_back(static_cast<std::uint32_t>(i));
}

void DrawTreeMap::drawRearrangeTransition(double progress) {
    findPreviousViews();
    const std::vector<const FileView*>& previous = previousViews_;
    const std::vector<char>& kept = keptViews_;
    // Only what one of the two pictures shows is drawn: of a folder whose children are laid out,
    // only the border ring around them (none without a border), or its colour would flood the
    // gaps that moving rectangles leave; and nothing thinner than the merge threshold, which
    // the pictures merge. `ring` is the border ratio of what is shown, 0 for the whole frame.
    constexpr double kNothing = -1;
    const bool foldersWhole = morphsTrees_;
    const auto shownOf = [foldersWhole](const FileView& view, double borderRatio) {
        return !view.opened || foldersWhole ? 0.0 : borderRatio > 0 ? borderRatio : kNothing;
    };
    const double grey = palette::strokeGrey();
    const double leastOutlined =
        morphsTrees_ ? mergeThreshold : kLeastOutlinedSide * mergeThreshold;
    auto draw = [&](DrawRenderer& r, const FileView& view, const DrawRect& frame, double ring,
                    double hue, double alpha) {
        const double side = std::min(frame.width, frame.height);
        if (side < mergeThreshold || ring < 0) return;
        const DrawColor fill = fillColor(view, hue, alpha);
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
        // Outlines of small rectangles moving over each other would darken whole clumps; between
        // two trees of a sequence most stay where they are, and keep their outlines.
        if (side < leastOutlined || !strokes) return;
        r.color = DrawColor::grey(grey, alpha);
        r.strokeRect(frame);
    };
    // Views that go shrink to their centre during the first 30% (stores keep creation order).
    if (progress <= 0.3) {
        const double a = std::clamp((progress / 0.3) * (progress / 0.3), 0.0, 1.0);
        drawEach(renderer(), transitionFileViews_,
                 [&](std::size_t i, const FileView& old, DrawRenderer& r) {
                     if (kept[i] == 0)
                         draw(r, old, collapse(old.frame, a), shownOf(old, startBorderRatio_),
                              old.hue, 1 - a);
                 });
    }
    const double s = std::clamp((progress - 0.15) / 0.7, 0.0, 1.0);
    const double eased = Animation::apply(Animation::ProgressCurve::easeInOut, s);
    drawEach(renderer(), fileViews_, [&](std::size_t i, const FileView& view, DrawRenderer& r) {
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

void DrawTreeMap::prepareSequenceTransition(const Counterparts& counterpartOf) {
    // The views become the start of a transition: the picture made from them is not kept.
    pictureKey_.reset();
    previousViewsFound_ = false;
    morphsTrees_ = true;
    startBorderRatio_ = pictureBorderRatio_;
    std::swap(fileViews_, transitionFileViews_);
    Views rekeyed;
    rekeyed.reserve(transitionFileViews_.size());
    for (const FileView& view : transitionFileViews_) {
        // A view without a counterpart keeps its file: no new view has it, so it shrinks away.
        FileView moved = view;
        if (File* counterpart = counterpartOf(*view.file, view.merged)) moved.file = counterpart;
        rekeyed.insertOrAssign(std::move(moved));
    }
    transitionFileViews_ = std::move(rekeyed);
}

} // namespace tessera
