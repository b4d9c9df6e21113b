#include "app/graphview/GraphViewOpenGL.h"

#include "draw/Palette.h"
#include "graph/Graph.h"
#include "logs/Logger.h"
#include "render/DrawRendererOpenGL.h"
#include "render/LabelRendererOpenGL.h"

#include <QEvent>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QPalette>
#include <QWidget>
#include <cmath>

namespace tessera {

bool isDarkPalette(const QPalette& palette) {
    return palette.color(QPalette::Window).lightness() < 128;
}

GraphViewOpenGL::GraphViewOpenGL(Graph& graph, const LabelTypesetter& typesetter,
                                 ShaderSources shaders)
    : graph_(graph), typesetter_(typesetter), shaders_(std::move(shaders)),
      container_(QWidget::createWindowContainer(this)) {
    // The container hears of palette changes; the window has no palette of its own.
    container_->installEventFilter(this);
}

GraphViewOpenGL::~GraphViewOpenGL() {
    container_->removeEventFilter(this);
    // QOpenGLWindow destroys the context after this part of the object is gone.
    if (context() != nullptr) disconnect(context(), nullptr, this, nullptr);
    releaseContext();
}

bool GraphViewOpenGL::View::isDarkAppearance() const {
    return isDarkPalette(window_.container_->palette());
}

void GraphViewOpenGL::releaseContext() {
    if (context() == nullptr) return;
    makeCurrent();
    context_->destroy();
    doneCurrent();
}

DrawSize GraphViewOpenGL::View::size() const {
    return {static_cast<double>(window_.width()), static_cast<double>(window_.height())};
}

std::unique_ptr<DrawRenderer> GraphViewOpenGL::View::makeRenderer() {
    return std::make_unique<DrawRendererOpenGL>(window_.context_);
}

void GraphViewOpenGL::View::prepareDrawing(DrawRenderer& renderer) {
    renderer.prepareDrawing();
    // A new texture's first upload costs a software OpenGL a few milliseconds (its memory is
    // fresh): paid here, when a transition starts, and not by its first frame. A transition may
    // start within a frame, with the context current already.
    QOpenGLContext* own = window_.context();
    if (own == nullptr || !window_.context_->hasProgram()) return;
    const bool current = QOpenGLContext::currentContext() == own;
    if (!current && !own->makeCurrent(&window_)) return; // the frame then sends it
    renderer.prepareUpload();
    if (!current) own->doneCurrent();
}

std::unique_ptr<LabelRenderer> GraphViewOpenGL::View::makeLabelRenderer() {
    return std::make_unique<LabelRendererOpenGL>(window_.context_);
}

void GraphViewOpenGL::View::drawLabel(GraphLabel& label, const DrawRect& frame) {
    // The label's corner goes onto a device pixel's corner, so its bitmap is not blurred.
    const double scale = backingScale();
    const double halfWidth = window_.width() / 2.0;
    const double halfHeight = window_.height() / 2.0;
    const DrawRect aligned{std::round((frame.x + halfWidth) * scale) / scale - halfWidth,
                           std::round((frame.y + halfHeight) * scale) / scale - halfHeight,
                           frame.width, frame.height};
    label.renderer().draw(aligned);
}

void GraphViewOpenGL::initializeGL() {
    // A widget moved to another window gets a new context: the old one's names went with it.
    if (!watchesContext_) {
        connect(context(), &QOpenGLContext::aboutToBeDestroyed, this, [this] { releaseContext(); });
        watchesContext_ = true;
    }
    const bool ready = context_->prepare(*context(), shaders_);
    Logger::log(
        2, std::string("Graph view: OpenGL, renderer ") +
               reinterpret_cast<const char*>(context()->functions()->glGetString(GL_RENDERER)) +
               (ready ? "" : " (no shader program: frames stay empty)"));
    context_->setViewSize(width(), height(), devicePixelRatio());
}

void GraphViewOpenGL::resizeGL(int, int) {
    // Qt passes device pixels; the picture is laid out in points.
    context_->setViewSize(width(), height(), devicePixelRatio());
    graph_.viewSizeDidChange();
}

void GraphViewOpenGL::paintGL() {
    context_->collectGarbage();
    auto* gl = context()->functions();
    const auto grey = static_cast<GLfloat>(palette::backgroundGrey());
    gl->glClearColor(grey, grey, grey, 1.0f);
    gl->glClear(GL_COLOR_BUFFER_BIT);
    if (!context_->hasProgram()) return;
    context_->beginFrame(grey);
    graph_.drawFrame();
}

bool GraphViewOpenGL::eventFilter(QObject* watched, QEvent* event) {
    if (watched == container_ && event->type() == QEvent::PaletteChange) {
        graph_.updateAppearance();
        graph_.redisplay();
    }
    return false;
}

} // namespace tessera
