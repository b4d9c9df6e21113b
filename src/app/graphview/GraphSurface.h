// The widget a graph is drawn on, whichever back end draws it: the OpenGL view or the software
// view that shows the CPU rasteriser's image. The graph view controller holds one.
#pragma once

#include <QImage>
#include <QString>

class QWidget;
class QWindow;

namespace tessera {

class GraphView;

class GraphSurface {
public:
    virtual ~GraphSurface() = default;
    virtual QWidget* widget() = 0;
    /// The window of its own that pointer and key events reach, when it has one.
    virtual QWindow* eventWindow() { return nullptr; }
    /// What the graph draws through.
    virtual GraphView& graphView() = 0;
    /// The last frame as the screen shows it.
    virtual QImage grabFrame() = 0;
    /// "OpenGL" or "software", for diagnostics and the About box.
    virtual QString backEndName() const = 0;
};

/// True when the palette's window colour is dark: the graph then uses its dark appearance.
bool isDarkPalette(const class QPalette& palette);

} // namespace tessera
