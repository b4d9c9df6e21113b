// What a graph needs of the view that shows it: its size and appearance, a way to ask for a
// frame, renderers of its back end, and text labels. The app's OpenGL widget and the headless
// view of the command line and the tests both implement it.
#pragma once

#include "graph/DrawGraph.h"
#include "render/DrawRenderer.h"

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
    /// The size a label of `text` takes (lines separated by "\n"); `small` for the centre label.
    virtual DrawSize measureLabel(const std::string& text, bool active) const = 0;
    /// Draws a label of `text` in `frame` (view coordinates, origin at the centre, y up).
    virtual void drawLabel(const std::string& text, const DrawRect& frame, double alpha,
                           bool active) = 0;
};

/// Hears of the graph (the document).
class GraphDelegate {
public:
    virtual ~GraphDelegate() = default;
    virtual void graphDidLoadTree(Directory& /*root*/) {}
    virtual void graphDidChangeFile(File* /*file*/) {}
};

} // namespace tessera
