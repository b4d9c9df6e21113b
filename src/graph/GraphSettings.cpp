// The graph's settings: each change reaches the file drawing and starts the transition it
// calls for.
#include "controller/FileController.h"
#include "draw/Palette.h"
#include "graph/Graph.h"
#include "layouts/DrawPieChart.h"
#include "layouts/DrawTreeMap.h"
#include "model/Directory.h"
#include "model/Formatting.h"
#include "model/Localization.h"

#include <algorithm>
#include <cstdio>

namespace tessera {

// MARK: Settings

void Graph::setGraphType(GraphType type) {
    settings_.graphType = type;
    saved();
    finishTransition();
    updateMainLabelBackdrop();
    setMainText({});
    if (!fileDraw_) {
        makeFileDraw();
        return;
    }
    // The old picture fades out over the new layout's.
    auto fading = fileDraw_->swapRenderer(fileDraw_->makeRenderer());
    makeFileDraw();
    fileTransition_.emplace(
        FileTransition{Fade{}, std::move(fading),
                       Animation(kSetFileDuration, Animation::ProgressType::clampedToUnit,
                                 Animation::ProgressCurve::linear)});
    setNeedsDisplay();
}

void Graph::setSizeMode(SizeMode mode) {
    finishTransition(); // the rearrangement starts from its final picture
    settings_.sizeMode = mode;
    saved();
    if (fileDraw_) {
        fileDraw_->sizeMode = mode;
        setMainText({});
        fileDraw_->totalSize = totalSize();
    }
    changeDisplay(DrawTransition::Rearrange{});
}

void Graph::setColorMode(ColorMode mode) {
    if (settings_.colorMode == mode) return;
    finishTransition(); // the recolouring starts from its final picture
    settings_.colorMode = mode;
    saved();
    if (fileDraw_) fileDraw_->colorMode = mode;
    changeDisplay(DrawTransition::UpdateColor{});
}

void Graph::setGraphLevels(int levels) {
    finishTransition(); // the rearrangement starts from its final picture
    settings_.graphLevels = levels;
    saved();
    if (auto* pie = dynamic_cast<DrawPieChart*>(fileDraw_.get())) {
        pie->levels = levels;
        pie->updateGeometry();
    }
    changeDisplay(DrawTransition::Rearrange{});
}

void Graph::loadUrlResources(File& file) {
    if (fileController_) fileController_->loadUrlResources(file);
}

void Graph::setTreeMapLayout(TreeMapLayout layout) {
    finishTransition(); // the rearrangement starts from its final picture
    settings_.treeMapLayout = layout;
    saved();
    if (auto* map = dynamic_cast<DrawTreeMap*>(fileDraw_.get())) map->layout = layout;
    changeDisplay(DrawTransition::Rearrange{});
}

void Graph::setDirectoryBorderRatio(double ratio) {
    finishTransition(); // the rearrangement starts from its final picture
    settings_.directoryBorderRatio = ratio;
    saved();
    if (auto* map = dynamic_cast<DrawTreeMap*>(fileDraw_.get())) map->directoryBorderRatio = ratio;
    changeDisplay(DrawTransition::Rearrange{});
}

void Graph::setMergeThreshold(double threshold) {
    settings_.mergeThreshold = threshold;
    saved();
    if (fileDraw_) fileDraw_->mergeThreshold = threshold;
    redisplay();
}

void Graph::setAnimationSpeed(double speed) {
    settings_.animationSpeed = speed;
    saved();
}

void Graph::setShowVolumeAvailableSpace(bool show) {
    finishTransition(); // the rearrangement starts from its final picture
    settings_.showVolumeAvailableSpace = show;
    saved();
    if (fileDraw_) fileDraw_->totalSize = totalSize();
    setMainText({});
    changeDisplay(DrawTransition::Rearrange{});
}

void Graph::setKeepAspectRatioDuringZoom(bool keep) {
    finishTransition(); // the rearrangement starts from its final picture
    settings_.keepAspectRatioDuringZoom = keep;
    saved();
    if (auto* map = dynamic_cast<DrawTreeMap*>(fileDraw_.get()))
        map->keepAspectRatioDuringZoom = keep;
    changeDisplay(DrawTransition::Rearrange{});
}

void Graph::setBeginLayoutOnBottomEdge(bool begin) {
    finishTransition(); // the rearrangement starts from its final picture
    settings_.beginLayoutOnBottomEdge = begin;
    saved();
    if (auto* map = dynamic_cast<DrawTreeMap*>(fileDraw_.get()))
        map->beginLayoutOnBottomEdge = begin;
    changeDisplay(DrawTransition::Rearrange{});
}

void Graph::changeDisplay(DrawTransition::Type type) {
    finishTransition();
    startTransition(Display{type}, false, scaledDuration(kChangeDisplayDuration),
                    Animation::ProgressCurve::linear);
    setNeedsDisplay();
}

} // namespace tessera
