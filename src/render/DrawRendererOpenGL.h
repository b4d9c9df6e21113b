// The OpenGL back end of DrawRenderer: the picture's vertices go to a vertex buffer once per
// picture, with an index buffer that turns every strip into independent triangles or lines
// (straight runs of an arc as one piece: StripIndices.h), and each frame draws them with two
// calls. Thousands of small strips in one multi-draw call cost a software rasteriser (Mesa's
// llvmpipe) a draw each; indexed primitives cost one. A large picture of axis-aligned shapes
// (the tree map's) is rasterised on the CPU instead and drawn as one textured quad
// (AxisAlignedRaster.h).
#pragma once

#include "render/AxisAlignedRaster.h"
#include "render/DrawRenderer.h"
#include "render/LabelRenderer.h"
#include "render/OpenGLRenderContext.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace tessera {

class DrawRendererOpenGL final : public DrawRenderer {
public:
    explicit DrawRendererOpenGL(std::shared_ptr<OpenGLRenderContext> context)
        : context_(std::move(context)) {}
    ~DrawRendererOpenGL() override;

    /// Makes the image of a large picture (on the CPU: no context needed).
    void prepareDrawing() override;
    void prepareUpload() override;
    /// With the view's context current, during a frame.
    void draw() override;

private:
    void prepare();
    void upload();
    /// Makes the picture's image for the view's size at its last frame, when the picture is
    /// large and all its shapes are axis-aligned (imageMade_).
    void rasterise();

    std::shared_ptr<OpenGLRenderContext> context_;
    GLuint vertexArray_ = 0;
    GLuint buffer_ = 0;
    GLuint indexBuffer_ = 0;
    GLsizei triangleIndexCount_ = 0;
    GLsizei lineIndexCount_ = 0;
    bool prepared_ = false;
    std::uint64_t bufferedRevision_ = 0;
    bool buffered_ = false;
    bool rasterised_ = false;         // the picture uploaded is its image
    std::uint64_t imageRevision_ = 0; // the revision rasterise() last went over...
    bool imageMade_ = false;          // ...and whether it made the picture's image
    LabelBitmap image_;
    RecolouringRaster raster_;                        // draws image_
    std::unique_ptr<class LabelRendererOpenGL> quad_; // draws image_
    DrawSize rasterisedSize_;
    double rasterisedScale_ = 0;
    std::optional<std::uint8_t> imageBackground_; // the grey image_ was made over, if any
    bool drawnFirst_ = false;                     // at its last draw, over the cleared window alone
};

} // namespace tessera
