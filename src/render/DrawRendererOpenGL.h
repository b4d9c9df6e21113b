// The OpenGL back end of DrawRenderer: the picture's vertices go to a vertex buffer once per
// picture, and each frame draws them with one multi-draw call per kind of primitive.
#pragma once

#include "render/DrawRenderer.h"
#include "render/OpenGLRenderContext.h"

#include <memory>

namespace tessera {

class DrawRendererOpenGL final : public DrawRenderer {
public:
    explicit DrawRendererOpenGL(std::shared_ptr<OpenGLRenderContext> context)
        : context_(std::move(context)) {}
    ~DrawRendererOpenGL() override;

    /// With the view's context current, during a frame.
    void draw() override;

private:
    void prepare();

    std::shared_ptr<OpenGLRenderContext> context_;
    GLuint vertexArray_ = 0;
    GLuint buffer_ = 0;
    bool prepared_ = false;
    std::uint64_t bufferedRevision_ = 0;
    bool buffered_ = false;
};

} // namespace tessera
