#include "graph/HeadlessGraphView.h"

#include "draw/Palette.h"
#include "graph/Graph.h"

#include <cmath>

namespace tessera {

std::unique_ptr<DrawRenderer> HeadlessGraphView::makeRenderer() {
    auto renderer = std::make_unique<RasterRenderer>();
    renderer->setRecordsShapes(keepsShapes_);
    return renderer;
}

std::unique_ptr<LabelRenderer> HeadlessGraphView::makeLabelRenderer() {
    return std::make_unique<RasterLabelRenderer>();
}

void HeadlessGraphView::drawLabel(GraphLabel& label, const DrawRect& frame) {
    // The label's corner goes onto a pixel corner, so its bitmap is not blurred by filtering.
    const double halfWidth = canvas_.width() / 2.0;
    const double halfHeight = canvas_.height() / 2.0;
    const DrawRect aligned{std::round(frame.x + halfWidth) - halfWidth,
                           std::round(frame.y + halfHeight) - halfHeight, frame.width,
                           frame.height};
    labels_.push_back({label.plainText(), aligned, label.renderer().alpha});
    label.renderer().draw(aligned);
    if (keepsShapes_ && label.text())
        vector_.labels.push_back({*label.text(), aligned, label.backgroundColor, label.cornerRadius,
                                  label.padding, label.renderer().alpha});
}

void HeadlessGraphView::drawFrame(Graph& graph) {
    needsDisplay_ = false;
    labels_.clear();
    canvas_.clear(palette::backgroundGrey());
    RasterRenderer::setCurrentCanvas(&canvas_);
    if (keepsShapes_) {
        vector_ = VectorPicture();
        vector_.width = canvas_.width();
        vector_.height = canvas_.height();
        vector_.background = DrawColor::grey(palette::backgroundGrey(), 1);
        RasterRenderer::setCurrentLayers(&vector_.layers);
    }
    graph.drawFrame();
    RasterRenderer::setCurrentCanvas(nullptr);
    RasterRenderer::setCurrentLayers(nullptr);
    // The names drawn last, as they stand once the picture is at rest.
    if (keepsShapes_) vector_.names = graph.chartNames();
}

} // namespace tessera
