// The graph's settings: a change reaches the file drawing and starts the transition it calls
// for.
#include "graph/Graph.h"
#include "layouts/DrawPieChart.h"
#include "layouts/DrawTreeMap.h"
#include "settings/SettingsTable.h"

#include <algorithm>

namespace tessera {
namespace {

// What a changed setting asks of the picture, from least to most.
enum class Effect { none, redisplay, recolour, rearrange, newDrawing };

Effect effectOf(SettingKey key) {
    switch (key) {
    case SettingKey::animationSpeed:
        return Effect::none; // the next transition's duration
    case SettingKey::mergeThreshold:
    case SettingKey::showNames:
    case SettingKey::cushions:
        return Effect::redisplay;
    case SettingKey::colorMode:
        return Effect::recolour;
    case SettingKey::graphType:
        return Effect::newDrawing;
    case SettingKey::beginLayoutOnBottomEdge:
    case SettingKey::directoryBorderRatio:
    case SettingKey::graphLevels:
    case SettingKey::keepAspectRatioDuringZoom:
    case SettingKey::sameScale:
    case SettingKey::showVolumeAvailableSpace:
    case SettingKey::sizeMode:
    case SettingKey::treeMapLayout:
        return Effect::rearrange;
    }
    return Effect::rearrange;
}

} // namespace

void Graph::applySettings(const Settings& next) {
    Effect effect = Effect::none;
    bool changed = false;
    bool measureChanged = false; // what the centre label says
    for (const SettingDefinition& setting : settingsTable()) {
        if (setting.get(settings_) == setting.get(next)) continue;
        changed = true;
        effect = std::max(effect, effectOf(setting.id));
        measureChanged = measureChanged || setting.id == SettingKey::sizeMode ||
                         setting.id == SettingKey::showVolumeAvailableSpace ||
                         setting.id == SettingKey::sameScale;
    }
    if (!changed) return;
    // A kind of file lit from the legend goes with the colour mode by file type.
    if (next.colorMode != ColorMode::fileType && legend_.lit) lightCategory(std::nullopt);
    // A rearrangement or recolouring starts from the final picture of the transition under way.
    if (effect == Effect::rearrange || effect == Effect::recolour) finishTransition();
    for (const SettingDefinition& setting : settingsTable())
        setting.set(settings_, setting.get(next));
    saved();
    if (effect == Effect::newDrawing) {
        showNewDrawing();
        return;
    }
    if (fileDraw_) configureFileDraw();
    if (measureChanged && fileDraw_) setMainText({});
    switch (effect) {
    case Effect::none:
    case Effect::newDrawing:
        break;
    case Effect::redisplay:
        redisplay();
        break;
    case Effect::recolour:
        changeDisplay(DrawTransition::UpdateColor{});
        break;
    case Effect::rearrange:
        changeDisplay(DrawTransition::Rearrange{});
        break;
    }
}

void Graph::configureFileDraw() {
    if (auto* map = dynamic_cast<DrawTreeMap*>(fileDraw_.get())) {
        map->layout = settings_.treeMapLayout;
        map->directoryBorderRatio = settings_.directoryBorderRatio;
        map->keepAspectRatioDuringZoom = settings_.keepAspectRatioDuringZoom;
        map->beginLayoutOnBottomEdge = settings_.beginLayoutOnBottomEdge;
        map->strokes = !settings_.cushions;
    } else if (auto* pie = dynamic_cast<DrawPieChart*>(fileDraw_.get())) {
        if (pie->levels != settings_.graphLevels) {
            pie->levels = settings_.graphLevels;
            pie->updateGeometry();
        }
    }
    fileDraw_->sizeMode = settings_.sizeMode;
    fileDraw_->colorMode = settings_.colorMode;
    if (comparesTrees()) sequenceComparison(); // the source of the order and the colours
    fileDraw_->mergeThreshold = settings_.mergeThreshold;
    updateVolumeScale();
}

void Graph::showNewDrawing() {
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

void Graph::changeDisplay(DrawTransition::Type type) {
    finishTransition();
    startTransition(Display{type}, false, scaledDuration(kChangeDisplayDuration),
                    Animation::ProgressCurve::linear);
    setNeedsDisplay();
}

} // namespace tessera
