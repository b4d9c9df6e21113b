#include "render/HeadlessGraphView.h"

#include "graph/Graph.h"
#include "graph/Palette.h"

#include <algorithm>

namespace tessera {

std::unique_ptr<DrawRenderer> HeadlessGraphView::makeRenderer() {
    return std::make_unique<RasterRenderer>();
}

DrawSize HeadlessGraphView::measureLabel(const std::string& text, bool) const {
    std::size_t lines = 1;
    std::size_t longest = 0;
    std::size_t current = 0;
    for (char c : text) {
        if (c == '\n') {
            ++lines;
            longest = std::max(longest, current);
            current = 0;
        } else {
            ++current;
        }
    }
    longest = std::max(longest, current);
    return {7.0 * static_cast<double>(longest) + 20, 16.0 * static_cast<double>(lines) + 12};
}

void HeadlessGraphView::drawLabel(const std::string& text, const DrawRect& frame, double alpha,
                                  bool active) {
    labels_.push_back({text, frame, alpha, active});
}

void HeadlessGraphView::drawFrame(Graph& graph) {
    needsDisplay_ = false;
    labels_.clear();
    canvas_.clear(palette::backgroundGrey());
    RasterRenderer::setCurrentCanvas(&canvas_);
    graph.drawFrame();
    RasterRenderer::setCurrentCanvas(nullptr);
}

} // namespace tessera
