#include "render/DrawRendererOpenGL.h"

#include "render/AxisAlignedRaster.h"
#include "render/LabelRendererOpenGL.h"
#include "render/StripIndices.h"

#include <cstdint>
#include <span>

namespace tessera {

namespace {

// How far a drawn edge may stray from the polyline of the picture's own vertices, in points: a
// tenth of a pixel on a screen of two pixels per point.
constexpr double kStraightnessTolerance = 0.05;

} // namespace

DrawRendererOpenGL::~DrawRendererOpenGL() {
    context_->releaseBuffer(buffer_);
    context_->releaseBuffer(indexBuffer_);
    context_->releaseVertexArray(vertexArray_);
}

void DrawRendererOpenGL::prepare() {
    auto& gl = context_->gl();
    gl.glGenVertexArrays(1, &vertexArray_);
    gl.glGenBuffers(1, &buffer_);
    gl.glGenBuffers(1, &indexBuffer_);
    gl.glBindVertexArray(vertexArray_);
    gl.glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, indexBuffer_); // recorded by the vertex array
    gl.glBindBuffer(GL_ARRAY_BUFFER, buffer_);
    const DrawVertex zero{};
    gl.glBufferData(GL_ARRAY_BUFFER, sizeof zero, &zero, GL_STREAM_DRAW);
    const GLuint position = OpenGLRenderContext::position();
    const GLuint colorAttribute = OpenGLRenderContext::color();
    gl.glEnableVertexAttribArray(position);
    gl.glVertexAttribPointer(position, 2, GL_FLOAT, GL_FALSE, sizeof(DrawVertex), nullptr);
    gl.glEnableVertexAttribArray(colorAttribute);
    gl.glVertexAttribPointer(colorAttribute, 4, GL_UNSIGNED_BYTE, GL_TRUE, sizeof(DrawVertex),
                             reinterpret_cast<const void*>(offsetof(DrawVertex, red)));
    gl.glBindVertexArray(0);
    prepared_ = true;
}

void DrawRendererOpenGL::prepareDrawing() {
    // For the view's size at its last frame.
    if (imageRevision_ != revision() && context_->viewWidth() > 0 && context_->viewHeight() > 0)
        rasterise();
}

void DrawRendererOpenGL::prepareUpload() {
    if (!context_->hasProgram() || vertexCount() == 0) return;
    if (!prepared_) prepare();
    if (buffered_ && bufferedRevision_ == revision()) return;
    auto& gl = context_->gl();
    gl.glBindVertexArray(vertexArray_);
    upload();
    gl.glBindVertexArray(0);
}

void DrawRendererOpenGL::upload() {
    // A large picture of axis-aligned shapes goes as one image (see AxisAlignedRaster.h).
    if (imageRevision_ != revision()) rasterise();
    rasterised_ = imageMade_;
    if (rasterised_) {
        quad_->uploadNow(image_);
        bufferedRevision_ = revision();
        buffered_ = true;
        return;
    }
    quad_.reset();
    image_ = {};
    auto& gl = context_->gl();
    gl.glBindBuffer(GL_ARRAY_BUFFER, buffer_);
    gl.glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(vertexCount() * sizeof(DrawVertex)),
                    vertices().data(), GL_STREAM_DRAW);
    const StripIndices strips = stripIndices(*this, kStraightnessTolerance);
    triangleIndexCount_ = static_cast<GLsizei>(strips.triangleIndexCount);
    lineIndexCount_ = static_cast<GLsizei>(strips.indices.size() - strips.triangleIndexCount);
    gl.glBufferData(GL_ELEMENT_ARRAY_BUFFER,
                    static_cast<GLsizeiptr>(strips.indices.size() * sizeof(std::uint32_t)),
                    strips.indices.data(), GL_STREAM_DRAW);
    bufferedRevision_ = revision();
    buffered_ = true;
}

void DrawRendererOpenGL::draw() {
    if (!context_->hasProgram()) return;
    if (!prepared_) prepare();
    if (vertexCount() == 0) return;
    auto& gl = context_->gl();
    // Drawn first, the picture lies over nothing but the background the window was cleared to.
    const bool first = !context_->drawnSinceClear();
    gl.glBindVertexArray(vertexArray_);
    if (!buffered_ || bufferedRevision_ != revision()) upload();
    drawnFirst_ = first;
    if (rasterised_) {
        const double width = context_->viewWidth();
        const double height = context_->viewHeight();
        // An image made over the background shows it where the picture draws nothing: over
        // anything else, or another background, it is made again over transparency.
        const bool overOther =
            imageBackground_ && (!first || *imageBackground_ != context_->backgroundByte());
        if (width != rasterisedSize_.width || height != rasterisedSize_.height ||
            context_->pixelRatio() != rasterisedScale_ || overOther) {
            rasterise();
            if (!imageMade_) return;
            quad_->uploadNow(image_);
        }
        gl.glBindVertexArray(0);
        // Only the part of the image that the picture drew into: the rest is transparent, and
        // a software OpenGL pays for every pixel of the quad.
        const PixelArea drawn = raster_.drawnArea();
        if (drawn.isEmpty()) return;
        const double scale = rasterisedScale_;
        const DrawRect target{drawn.left / scale - width / 2, height / 2 - drawn.bottom / scale,
                              (drawn.right - drawn.left) / scale,
                              (drawn.bottom - drawn.top) / scale};
        const LabelPiece part{{static_cast<double>(drawn.left), static_cast<double>(drawn.top),
                               static_cast<double>(drawn.right - drawn.left),
                               static_cast<double>(drawn.bottom - drawn.top)},
                              placement.apply(target)};
        // A fade or a placement goes to the image as a whole: nothing is drawn anew for it. An
        // image shown one to one takes each pixel as it is; a stretched one is filtered.
        quad_->alpha = alpha;
        quad_->opaque = imageBackground_.has_value();
        quad_->setSmoothSampling(!placement.isIdentity());
        quad_->drawPieces(std::span(&part, 1));
        if (!context_->imageDrawingWarm()) {
            quad_->warmImageDrawing();
            context_->setImageDrawingWarm();
        }
        context_->warmPictureProgram();
        return;
    }
    context_->use(OpenGLRenderContext::Shading::picture, alpha, placement);
    if (triangleIndexCount_ > 0)
        gl.glDrawElements(GL_TRIANGLES, triangleIndexCount_, GL_UNSIGNED_INT, nullptr);
    if (lineIndexCount_ > 0)
        gl.glDrawElements(
            GL_LINES, lineIndexCount_, GL_UNSIGNED_INT,
            reinterpret_cast<const void*>(static_cast<std::uintptr_t>(triangleIndexCount_) *
                                          sizeof(std::uint32_t)));
    gl.glBindVertexArray(0);
}

void DrawRendererOpenGL::rasterise() {
    imageRevision_ = revision();
    imageMade_ = false;
    if (vertexCount() < kLeastVerticesShownAsImage) return;
    rasterisedSize_ = {context_->viewWidth(), context_->viewHeight()};
    rasterisedScale_ = context_->pixelRatio();
    // The image's memory is kept from picture to picture: a transition makes one a frame. Its
    // pixels are blue first, as the window's, so that llvmpipe copies them (LabelRendererOpenGL).
    image_.order = PixelOrder::bgra;
    // A transition's frame, drawn first as the one before it was, is made over the view's
    // background: opaque, llvmpipe then copies it into the window instead of blending it.
    imageBackground_ = transitionFrame && drawnFirst_
                           ? std::optional<std::uint8_t>(context_->backgroundByte())
                           : std::nullopt;
    if (!raster_.draw(*this, rasterisedSize_.width, rasterisedSize_.height, rasterisedScale_,
                      image_, imageBackground_))
        return;
    if (!quad_) quad_ = std::make_unique<LabelRendererOpenGL>(context_);
    imageMade_ = true;
}

} // namespace tessera
