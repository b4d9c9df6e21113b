// The graph area of a window: it makes the graph's view with the right back end (OpenGL when a
// 3.3 core context can be had and the user has not turned it off, else the CPU rasteriser),
// owns the Graph, and turns pointer, click and key events on the view into the graph's hover,
// zoom and selection. The graph does all the drawing; this only hosts it.
#pragma once

#include "app/OpenGLProbe.h"
#include "app/graphview/GraphSurface.h"
#include "render/OpenGLRenderContext.h"

#include <QObject>
#include <QPointF>
#include <QPointer>
#include <functional>
#include <memory>

class QKeyEvent;
class QMenu;
class QWidget;

namespace tessera {

class File;
class Graph;
class LabelTypesetter;
struct Settings;

struct GraphViewOptions {
    /// The user default "disableOpenGL" or --software-rendering.
    bool forceSoftware = false;
    std::function<OpenGLProbeResult()> probe = [] { return probeOpenGL(); };
    ShaderSources shaders = ShaderSources::bundled();
};

class GraphViewController final : public QObject {
    Q_OBJECT

public:
    GraphViewController(Settings& settings, std::function<void()> save,
                        const LabelTypesetter& typesetter, const GraphViewOptions& options,
                        QWidget* parent);
    ~GraphViewController() override;

    /// The graph's view, which takes the pointer and the keys.
    QWidget* view() const;
    /// The widget to put in a window: the view in its focus ring.
    QWidget* container() const;
    /// Tells assistive technology where the keyboard is in the graph (see GraphAccessible.h).
    void announceFocus();
    GraphSurface& surface() const { return *surface_; }
    Graph& graph() const { return *graph_; }
    bool usesOpenGL() const;
    /// The menu shown on a right click; its commands act on the clicked file meanwhile.
    void setContextMenu(QMenu* menu);

    /// The file the file commands act on: the clicked file while a context menu is open, else
    /// the active one.
    File* targetFile() const;
    /// Shows the target file with the desktop's previewer (nothing for a snapshot).
    void previewTargetFile();
    /// Shows the parent of the shown file.
    void showEnclosingFolder();
    bool canShowEnclosingFolder() const;

signals:
    /// Something the commands' rules read may have changed (the shown or active file).
    void stateChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void makeSurface(const LabelTypesetter& typesetter, const GraphViewOptions& options);
    void trackPointer(QPointF position);
    void trackCursor();
    bool handleKey(QKeyEvent& event);
    void showContextMenu(QPointF position, QPoint globalPosition);

    std::unique_ptr<Graph> graph_;
    GraphSurface* surface_ = nullptr; // a child widget of the window, deleted with it or here
    QPointer<QWidget> surfaceWidget_;
    QPointer<QWidget> frame_; // holds the view's widget
    QPointer<QMenu> contextMenu_;
    QPointF pressedAt_;
    bool pressed_ = false;
};

} // namespace tessera
