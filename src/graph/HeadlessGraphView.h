// A graph view without a window: frames are drawn by the CPU back end into an image, labels
// included. The tests drive graphs through it frame by frame, and the command line renders with
// it.
#pragma once

#include "graph/GraphView.h"
#include "render/RasterCanvas.h"
#include "render/SvgPicture.h"

#include <functional>
#include <string>
#include <vector>

namespace tessera {

class Graph;

class HeadlessGraphView final : public GraphView {
public:
    /// A view of `width` × `height` points with samples² subsamples per pixel; labels are drawn
    /// at the subsamples' density, so text stays sharp.
    HeadlessGraphView(const LabelTypesetter& typesetter, int width, int height, bool dark = false,
                      int samples = 1)
        : typesetter_(typesetter), canvas_(width, height, samples), dark_(dark), samples_(samples) {
    }

    DrawSize size() const override {
        return {static_cast<double>(canvas_.width()), static_cast<double>(canvas_.height())};
    }
    bool isDarkAppearance() const override { return dark_; }
    void setNeedsDisplay() override {
        needsDisplay_ = true;
        if (onNeedsDisplay) onNeedsDisplay();
    }
    std::unique_ptr<DrawRenderer> makeRenderer() override;
    std::unique_ptr<LabelRenderer> makeLabelRenderer() override;
    const LabelTypesetter& labelTypesetter() const override { return typesetter_; }
    double backingScale() const override { return samples_; }
    void drawLabel(GraphLabel& label, const DrawRect& frame) override;

    /// Called whenever the graph asks for a frame (a window schedules its repaint here).
    std::function<void()> onNeedsDisplay;
    /// A new size in points; the picture is cleared.
    void resize(int width, int height) { canvas_ = RasterCanvas(width, height, samples_); }
    void setDarkAppearance(bool dark) { dark_ = dark; }

    /// Draws one frame of `graph` into the canvas.
    void drawFrame(Graph& graph);
    /// Keeps each frame as shapes too (vectorPicture()). Set before the graph makes its
    /// renderers (before Graph::setView).
    void setKeepsShapes(bool keeps) { keepsShapes_ = keeps; }
    /// The last frame as shapes, names and labels, while keepsShapes.
    const VectorPicture& vectorPicture() const { return vector_; }
    bool needsDisplay() const { return needsDisplay_; }
    const RasterCanvas& canvas() const { return canvas_; }

    struct DrawnLabel {
        std::string text;
        DrawRect frame; // aligned to pixels
        double alpha;
    };
    /// The labels of the last frame, in the order drawn.
    const std::vector<DrawnLabel>& labels() const { return labels_; }

private:
    const LabelTypesetter& typesetter_;
    RasterCanvas canvas_;
    bool dark_;
    int samples_;
    bool needsDisplay_ = false;
    std::vector<DrawnLabel> labels_;
    bool keepsShapes_ = false;
    VectorPicture vector_;
};

} // namespace tessera
