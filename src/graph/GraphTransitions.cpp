// The graph's transitions (zooms, fades, rearrangements, recolourings) and the morph
// between the trees of a sequence.
#include "compare/ChangeText.h"
#include "controller/FileController.h"
#include "draw/Palette.h"
#include "graph/Graph.h"
#include "layouts/DrawPieChart.h"
#include "layouts/DrawTreeMap.h"
#include "model/Directory.h"
#include "model/Formatting.h"
#include "model/Localization.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace tessera {

// MARK: Transitions

void Graph::startTransition(FileTransitionType type, bool swapRenderer, double duration,
                            Animation::ProgressCurve curve) {
    std::unique_ptr<DrawRenderer> fading;
    if (swapRenderer && fileDraw_)
        fading = fileDraw_->swapRenderer(fileDraw_->makeRenderer());
    else if (swapRenderer && view_ != nullptr)
        fading = view_->makeRenderer();
    fileTransition_.emplace(
        FileTransition{std::move(type), std::move(fading),
                       Animation(duration, Animation::ProgressType::clampedToUnit, curve)});
    // The first frame's work (laying out where the picture goes, which for a large tree map
    // takes longer than a frame, and its image) is done now, with the last frame's where the
    // layout makes it ahead, and the animation's clock starts after it: the first frame only
    // draws, and no part of the way is skipped.
    if (fileDraw_ && file_ != nullptr) {
        stepFileTransition();
        const auto prepare = [this](DrawRenderer& renderer) {
            if (view_ != nullptr)
                view_->prepareDrawing(renderer);
            else
                renderer.prepareDrawing();
        };
        prepare(fileDraw_->renderer());
        if (fileTransition_) {
            fileDraw_->prepareTransitionEnd(prepare);
            prepareNextNames();
            fileTransition_->animation =
                Animation(duration, Animation::ProgressType::clampedToUnit, curve);
        }
    }
}

void Graph::finishTransition() {
    setActiveFile(nullptr);
    if (fileTransition_) {
        // Whatever kind, an interrupted transition ends in its final state: a zoom out and in
        // ends on the folder it was going into, and the layout shows the final picture, so
        // that a transition started next begins from it rather than from a frame half-way.
        const bool throughCommonFolder = std::holds_alternative<ZoomOutIn>(fileTransition_->type);
        File* destination =
            throughCommonFolder ? std::get<ZoomOutIn>(fileTransition_->type).in : file_;
        fileTransition_.reset();
        if (destination != file_) {
            file_ = destination;
            setMainText({});
        }
        if (file_ != nullptr && fileDraw_) fileDraw_->display(file_);
    }
    if (fileDraw_) fileDraw_->renderer().alpha = 1.0;
    mainTextAlpha_ = 1.0;
}

void Graph::stepFileTransition() {
    if (!fileTransition_ || !fileDraw_ || file_ == nullptr) return;
    FileTransition& transition = *fileTransition_;
    transition.animation.update();
    const double p = transition.animation.progress();
    DrawGraph& layout = *fileDraw_;
    auto newAnimation = [](double duration, Animation::ProgressCurve curve) {
        return Animation(duration, Animation::ProgressType::clampedToUnit, curve);
    };
    if (std::holds_alternative<Fade>(transition.type)) {
        if (layout.rendererIsEmpty()) layout.display(file_);
        layout.renderer().alpha = p;
        if (transition.fadingDraw) transition.fadingDraw->alpha = 1 - p;
        if (p >= 1) {
            layout.renderer().alpha = 1.0;
            fileTransition_.reset();
        }
    } else if (const auto* display = std::get_if<Display>(&transition.type)) {
        layout.display(file_, DrawTransition{display->type, p});
        if (p >= 1) fileTransition_.reset();
    } else if (const auto* zoomIn = std::get_if<ZoomIn>(&transition.type)) {
        if (transition.fadingDraw) {
            if (layout.rendererIsEmpty())
                layout.display(file_, DrawTransition{DrawTransition::ZoomIn{zoomIn->old}, 0});
            transition.fadingDraw->alpha = 1 - p;
            mainTextAlpha_ = 1 - p;
            if (p >= 1) {
                setMainText({});
                transition.fadingDraw.reset();
                transition.animation = newAnimation(scaledDuration(kSetFileDuration),
                                                    Animation::ProgressCurve::easeInOut);
            }
        } else {
            layout.display(file_, DrawTransition{DrawTransition::ZoomIn{zoomIn->old}, p});
            mainTextAlpha_ = p;
            if (p >= 1) fileTransition_.reset();
        }
    } else {
        File* deeper = nullptr;
        if (const auto* out = std::get_if<ZoomOut>(&transition.type)) deeper = out->old;
        if (const auto* outIn = std::get_if<ZoomOutIn>(&transition.type)) deeper = outIn->out;
        if (!transition.fadingDraw) {
            layout.display(deeper, DrawTransition{DrawTransition::ZoomOut{file_}, p});
            mainTextAlpha_ = 1 - p;
            if (p >= 1) {
                transition.fadingDraw = layout.swapRenderer(layout.makeRenderer());
                transition.animation =
                    newAnimation(kSetFileDuration, Animation::ProgressCurve::linear);
                setMainText({});
                stepFileTransition(); // the second phase starts in this same frame
                return;
            }
        } else {
            if (layout.rendererIsEmpty()) layout.display(file_);
            layout.renderer().alpha = p;
            mainTextAlpha_ = p;
            if (p >= 1) {
                layout.renderer().alpha = 1.0;
                if (const auto* outIn = std::get_if<ZoomOutIn>(&transition.type)) {
                    File* in = outIn->in;
                    fileTransition_.reset();
                    setFile(*in);
                } else {
                    fileTransition_.reset();
                }
            }
        }
    }
    setNeedsDisplay();
}

// MARK: File sequences

void Graph::setFileSequence(std::vector<Directory*> files, std::size_t index, double progress) {
    finishTransition();
    if (!fileDraw_ || index >= files.size()) return;
    sequenceTrees_ = files;
    sequenceIndex_ = index;
    updateVolumeScale(); // the sequence's scale
    const std::string path = file_ != nullptr ? file_->relativePath() : std::string();
    File* const previous = file_;
    auto at = [&](Directory* root) -> File* {
        File* found = root->fileAtPath(path);
        return found != nullptr ? found : root;
    };
    if (progress != 0 && index + 1 < files.size()) {
        file_ = at(files[index + 1]);
        const bool newPair = !fileSequence_ || fileSequence_->index != index;
        File* from = at(files[index]);
        fileSequence_ = FileSequence{std::move(files), index, progress};
        if (newPair) {
            // The pair's comparison first: the start picture's change colours come from it.
            const DrawGraph::Counterparts counterparts = sequenceCounterparts();
            fileDraw_->display(from);
            fileDraw_->prepareSequenceTransition(counterparts);
        }
        fileDraw_->display(file_, DrawTransition{DrawTransition::Rearrange{}, progress});
        // The centre's size goes from the one tree's to the other's with the picture.
        const SizeMode mode = settings_.sizeMode;
        const auto was = static_cast<double>(from->size(mode));
        const auto is = static_cast<double>(file_->size(mode));
        setMainText(measureText(std::llround(was + (is - was) * progress), mode));
        setNeedsDisplay();
        return;
    }
    const bool wasBetween = fileSequence_.has_value();
    file_ = at(files[index]);
    fileDraw_->endSequenceTransition();
    fileSequence_.reset();
    sequenceComparison(); // the source of the order and the colours
    fileDraw_->display(file_);
    // Standing on a tree, the centre says its size as any picture does.
    if (file_ != previous || wasBetween) setMainText({});
    setNeedsDisplay();
}

} // namespace tessera
