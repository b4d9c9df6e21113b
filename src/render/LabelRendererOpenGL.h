// The OpenGL back end of LabelRenderer: the label's bitmap as a texture, drawn as one quad by
// the same program as the picture (with "useTexture" set).
#pragma once

#include "render/LabelRenderer.h"
#include "render/OpenGLRenderContext.h"

#include <memory>

namespace tessera {

class LabelRendererOpenGL final : public LabelRenderer {
public:
    explicit LabelRendererOpenGL(std::shared_ptr<OpenGLRenderContext> context)
        : context_(std::move(context)) {}
    ~LabelRendererOpenGL() override;

    /// Keeps the bitmap; it is uploaded at the next draw, when the context is current.
    void updateTexture(const LabelBitmap& bitmap, bool sizeChanged) override;
    void draw(const DrawRect& rect) override;

private:
    void prepare();

    std::shared_ptr<OpenGLRenderContext> context_;
    LabelBitmap pending_;
    bool hasPending_ = false;
    bool pendingSizeChanged_ = false;
    GLuint texture_ = 0;
    GLuint vertexArray_ = 0;
    GLuint buffer_ = 0;
    bool uploaded_ = false;
};

} // namespace tessera
