// A graph view without a window: frames are drawn by the CPU back end into an image. The tests
// drive graphs through it frame by frame, and the command line renders with it.
#pragma once

#include "graph/GraphView.h"
#include "render/RasterCanvas.h"

#include <string>
#include <vector>

namespace tessera {

class Graph;

class HeadlessGraphView final : public GraphView {
public:
    HeadlessGraphView(int width, int height, bool dark = false, int samples = 1)
        : canvas_(width, height, samples), dark_(dark) {}

    DrawSize size() const override {
        return {static_cast<double>(canvas_.width()), static_cast<double>(canvas_.height())};
    }
    bool isDarkAppearance() const override { return dark_; }
    void setNeedsDisplay() override { needsDisplay_ = true; }
    std::unique_ptr<DrawRenderer> makeRenderer() override;
    /// Labels are measured as lines of 7-point characters, 16 points high.
    DrawSize measureLabel(const std::string& text, bool active) const override;
    void drawLabel(const std::string& text, const DrawRect& frame, double alpha,
                   bool active) override;

    /// Draws one frame of `graph` into the canvas.
    void drawFrame(Graph& graph);
    bool needsDisplay() const { return needsDisplay_; }
    const RasterCanvas& canvas() const { return canvas_; }

    struct DrawnLabel {
        std::string text;
        DrawRect frame;
        double alpha;
        bool active;
    };
    /// The labels of the last frame.
    const std::vector<DrawnLabel>& labels() const { return labels_; }

private:
    RasterCanvas canvas_;
    bool dark_;
    bool needsDisplay_ = false;
    std::vector<DrawnLabel> labels_;
};

} // namespace tessera
