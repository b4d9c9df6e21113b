// The graph drawn by the GPU: an OpenGL 3.3 core widget. Frames come only on request (no frame
// loop while nothing moves), at the screen's full pixel density; the clear colour and the
// graph's colours follow the desktop's light or dark palette while the program runs.
#pragma once

#include "app/GraphSurface.h"
#include "graph/GraphView.h"
#include "render/OpenGLRenderContext.h"

#include <QOpenGLWidget>
#include <memory>

namespace tessera {

class Graph;

class GraphViewOpenGL final : public QOpenGLWidget, public GraphView, public GraphSurface {
public:
    GraphViewOpenGL(Graph& graph, const LabelTypesetter& typesetter, ShaderSources shaders,
                    QWidget* parent = nullptr);
    ~GraphViewOpenGL() override;

    // GraphView.
    DrawSize size() const override;
    bool isDarkAppearance() const override { return isDarkPalette(palette()); }
    void setNeedsDisplay() override { update(); }
    std::unique_ptr<DrawRenderer> makeRenderer() override;
    std::unique_ptr<LabelRenderer> makeLabelRenderer() override;
    const LabelTypesetter& labelTypesetter() const override { return typesetter_; }
    double backingScale() const override { return devicePixelRatioF(); }
    void drawLabel(MyLabel& label, const DrawRect& frame) override;

    // GraphSurface.
    QWidget* widget() override { return this; }
    GraphView& graphView() override { return *this; }
    QImage grabFrame() override { return grabFramebuffer(); }
    QString backEndName() const override { return QStringLiteral("OpenGL"); }

    /// Whether the shaders compiled and linked (known after the first initialisation).
    bool hasProgram() const { return context_->hasProgram(); }

protected:
    void initializeGL() override;
    void resizeGL(int width, int height) override;
    void paintGL() override;
    void changeEvent(QEvent* event) override;

private:
    void releaseContext();

    Graph& graph_;
    const LabelTypesetter& typesetter_;
    ShaderSources shaders_;
    bool watchesContext_ = false;
    std::shared_ptr<OpenGLRenderContext> context_ = std::make_shared<OpenGLRenderContext>();
};

} // namespace tessera
