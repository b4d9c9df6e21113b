// A graph view whose renderers only collect vertices: what a frame costs the engine (layout and
// vertices, labels typeset and drawn into their bitmaps by Qt as in the app), without any
// rasterising.
#pragma once

#include "graph/GraphView.h"
#include "render/QtLabelTypesetter.h"
#include "render/RasterCanvas.h"

#include <memory>

namespace tessera::bench {

class EngineOnlyView final : public GraphView {
public:
    explicit EngineOnlyView(DrawSize size = {1600, 1000}) : size_(size) {}
    DrawSize size() const override { return size_; }
    bool isDarkAppearance() const override { return false; }
    void setNeedsDisplay() override {}
    std::unique_ptr<DrawRenderer> makeRenderer() override {
        return std::make_unique<DrawRenderer>();
    }
    // The bitmaps are kept, not painted.
    std::unique_ptr<LabelRenderer> makeLabelRenderer() override {
        return std::make_unique<RasterLabelRenderer>();
    }
    const LabelTypesetter& labelTypesetter() const override { return typesetter_; }
    void drawLabel(GraphLabel& label, const DrawRect& frame) override {
        label.renderer().draw(frame);
    }

private:
    DrawSize size_;
    QtLabelTypesetter typesetter_;
};

} // namespace tessera::bench
