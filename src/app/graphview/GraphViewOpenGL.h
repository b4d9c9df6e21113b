// The graph drawn by the GPU: an OpenGL 3.3 core window of its own, embedded in the document
// window. Drawing straight into its own window costs a software rasteriser about a millisecond a
// frame; a QOpenGLWidget would be composed with the rest of the window every frame (about 20 ms
// at 1600 × 1000 on llvmpipe). Frames come only on request (no frame loop while nothing moves),
// at the screen's full pixel density; the clear colour and the graph's colours follow the
// desktop's light or dark palette while the program runs.
#pragma once

#include "app/graphview/GraphSurface.h"
#include "graph/GraphView.h"
#include "render/OpenGLRenderContext.h"

#include <QOpenGLWindow>
#include <memory>

namespace tessera {

class Graph;

class GraphViewOpenGL final : public QOpenGLWindow, public GraphSurface {
public:
    GraphViewOpenGL(Graph& graph, const LabelTypesetter& typesetter, ShaderSources shaders);
    ~GraphViewOpenGL() override;

    // GraphSurface.
    QWidget* widget() override { return container_; }
    QWindow* eventWindow() override { return this; }
    GraphView& graphView() override { return view_; }
    QImage grabFrame() override { return grabFramebuffer(); }
    QString backEndName() const override { return QStringLiteral("OpenGL"); }

    /// Whether the shaders compiled and linked (known after the first initialisation).
    bool hasProgram() const { return context_->hasProgram(); }

protected:
    void initializeGL() override;
    void resizeGL(int width, int height) override;
    void paintGL() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    /// What the graph sees of this window (QWindow has a size() of its own).
    class View final : public GraphView {
    public:
        explicit View(GraphViewOpenGL& window) : window_(window) {}
        DrawSize size() const override;
        bool isDarkAppearance() const override;
        void setNeedsDisplay() override { window_.update(); }
        std::unique_ptr<DrawRenderer> makeRenderer() override;
        void prepareDrawing(DrawRenderer& renderer) override;
        std::unique_ptr<LabelRenderer> makeLabelRenderer() override;
        const LabelTypesetter& labelTypesetter() const override { return window_.typesetter_; }
        double backingScale() const override { return window_.devicePixelRatio(); }
        void drawLabel(GraphLabel& label, const DrawRect& frame) override;

    private:
        GraphViewOpenGL& window_;
    };

    void releaseContext();

    Graph& graph_;
    View view_{*this};
    const LabelTypesetter& typesetter_;
    ShaderSources shaders_;
    QWidget* container_; // owns this window
    bool watchesContext_ = false;
    std::shared_ptr<OpenGLRenderContext> context_ = std::make_shared<OpenGLRenderContext>();
};

} // namespace tessera
