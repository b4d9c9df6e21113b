// The OpenGL back end of LabelRenderer: the label's bitmap as a texture, drawn as one quad by
// the label program (texture times "alpha"), or unfaded by the image program (the texture as
// it is).
#pragma once

#include "render/LabelRenderer.h"
#include "render/OpenGLRenderContext.h"

#include <memory>
#include <span>

namespace tessera {

class LabelRendererOpenGL final : public LabelRenderer {
public:
    explicit LabelRendererOpenGL(std::shared_ptr<OpenGLRenderContext> context)
        : context_(std::move(context)) {}
    ~LabelRendererOpenGL() override;

    /// Keeps the bitmap; it is uploaded at the next draw, when the context is current.
    void updateTexture(const LabelBitmap& bitmap, bool sizeChanged) override;
    /// With the context current: uploads `bitmap` at once, without keeping a copy of it, as an
    /// image drawn at its own pixel size (sampled at the nearest pixel).
    void uploadNow(const LabelBitmap& bitmap);
    /// Whether the image uploaded now is filtered linearly where it is drawn (one shown larger
    /// or smaller than its pixels) or taken a pixel at a time. With the context current.
    void setSmoothSampling(bool smooth);
    void draw(const DrawRect& rect) override;
    void drawPieces(std::span<const LabelPiece> pieces) override;
    /// With the context current and the image uploaded: makes a software OpenGL compile the
    /// code that draws it now, as it is and faded, sharp and filtered, rather than in the
    /// frames of a zoom that first draw it so (its texture's order and filter are part of the
    /// code). Draws nothing.
    void warmImageDrawing();

    /// Whether the texture is opaque where it is drawn, over what lies below it (an image made
    /// over the view's background, drawn first in a frame): drawn unfaded, it replaces those
    /// pixels without blending, which a software OpenGL does as a copy.
    bool opaque = false;

private:
    void prepare();
    /// Binds the texture, uploading the bitmap kept since the last draw; false when there is
    /// nothing to draw.
    bool bindTexture();
    /// Draws `vertices` (x, y, s, t each) as triangles or one strip with the texture bound.
    void drawVertices(std::span<const float> vertices, GLenum mode);
    /// With the texture bound.
    void setFilter(GLint filter);
    /// With the texture bound.
    void upload(const LabelBitmap& bitmap, bool sizeChanged);

    std::shared_ptr<OpenGLRenderContext> context_;
    LabelBitmap pending_;
    bool hasPending_ = false;
    bool pendingSizeChanged_ = false;
    GLuint texture_ = 0;
    GLuint vertexArray_ = 0;
    GLuint buffer_ = 0;
    GLsizeiptr bufferBytes_ = 0;
    GLint filter_ = 0; // the texture's, both ways
    bool uploaded_ = false;
    int uploadedWidth_ = 0;
    int uploadedHeight_ = 0;
    PixelOrder uploadedOrder_ = PixelOrder::rgba;
};

} // namespace tessera
