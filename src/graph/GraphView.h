// What a graph needs of the view that shows it: its size and appearance, a way to ask for a
// frame, renderers of its back end, and text labels. The app's OpenGL widget and the headless
// view of the command line and the tests both implement it.
#pragma once

#include "draw/DrawGraph.h"
#include "render/DrawRenderer.h"
#include "render/GraphLabel.h"

#include <memory>
#include <string>

namespace tessera {

class Directory;
class File;

class GraphView {
public:
    virtual ~GraphView() = default;
    /// Size in points.
    virtual DrawSize size() const = 0;
    virtual bool isDarkAppearance() const = 0;
    /// Asks for a frame soon (never draws at once; may be called from within a frame).
    virtual void setNeedsDisplay() = 0;
    /// A renderer of the view's back end.
    virtual std::unique_ptr<DrawRenderer> makeRenderer() = 0;
    /// Does ahead of the frame that first shows `renderer`'s picture what that frame would do
    /// first: its image, and where the back end can, sending it to the GPU.
    virtual void prepareDrawing(DrawRenderer& renderer) { renderer.prepareDrawing(); }
    /// A label renderer of the view's back end.
    virtual std::unique_ptr<LabelRenderer> makeLabelRenderer() = 0;
    /// The text facilities that measure labels and draw their bitmaps.
    virtual const LabelTypesetter& labelTypesetter() const = 0;
    /// Pixels per point of the screen the view is on.
    virtual double backingScale() const { return 1.0; }
    /// Draws `label` (its bitmap up to date) over `frame`, in view coordinates (origin at the
    /// centre, y up), aligned to the view's pixels.
    virtual void drawLabel(GraphLabel& label, const DrawRect& frame) = 0;
};

/// Hears of the graph (the document).
class GraphDelegate {
public:
    virtual ~GraphDelegate() = default;
    virtual void graphDidLoadTree(Directory& /*root*/) {}
    virtual void graphDidChangeFile(File* /*file*/) {}
};

} // namespace tessera
