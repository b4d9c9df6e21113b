#include "render/LabelRendererOpenGL.h"

#include <array>
#include <vector>

namespace tessera {

LabelRendererOpenGL::~LabelRendererOpenGL() {
    context_->releaseTexture(texture_);
    context_->releaseBuffer(buffer_);
    context_->releaseVertexArray(vertexArray_);
}

void LabelRendererOpenGL::updateTexture(const LabelBitmap& bitmap, bool sizeChanged) {
    pending_ = bitmap;
    pendingSizeChanged_ = pendingSizeChanged_ || sizeChanged || !uploaded_;
    hasPending_ = true;
}

void LabelRendererOpenGL::uploadNow(const LabelBitmap& bitmap) {
    if (!context_->hasProgram() || bitmap.width <= 0 || bitmap.height <= 0) return;
    auto& gl = context_->gl();
    if (texture_ == 0) prepare();
    gl.glActiveTexture(GL_TEXTURE0);
    gl.glBindTexture(GL_TEXTURE_2D, texture_);
    // An image of the view's own pixels, drawn one to one: each pixel is taken as it is.
    setFilter(GL_NEAREST);
    upload(bitmap, bitmap.width != uploadedWidth_ || bitmap.height != uploadedHeight_);
    hasPending_ = false;
}

void LabelRendererOpenGL::setSmoothSampling(bool smooth) {
    if (texture_ == 0 || !context_->hasProgram()) return;
    const GLint filter = smooth ? GL_LINEAR : GL_NEAREST;
    if (filter == filter_) return;
    context_->gl().glBindTexture(GL_TEXTURE_2D, texture_);
    setFilter(filter);
}

void LabelRendererOpenGL::setFilter(GLint filter) {
    auto& gl = context_->gl();
    gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
    gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
    filter_ = filter;
}

void LabelRendererOpenGL::upload(const LabelBitmap& bitmap, bool sizeChanged) {
    auto& gl = context_->gl();
    gl.glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    // Bytes blue first, given as 32-bit words, make Mesa keep the texture as BGRA, the
    // window's own order: llvmpipe then copies or blends its pixels without running a shader.
    const bool bgra = bitmap.order == PixelOrder::bgra;
    const GLenum format = bgra ? GL_BGRA : GL_RGBA;
    const GLenum type = bgra ? GL_UNSIGNED_INT_8_8_8_8_REV : GL_UNSIGNED_BYTE;
    if (sizeChanged || !uploaded_ || bitmap.order != uploadedOrder_)
        // Unsized: a sized RGBA8 would be kept red first whatever the data's order.
        gl.glTexImage2D(GL_TEXTURE_2D, 0, bgra ? GL_RGBA : GL_RGBA8, bitmap.width, bitmap.height, 0,
                        format, type, bitmap.pixels.data());
    else
        gl.glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, bitmap.width, bitmap.height, format, type,
                           bitmap.pixels.data());
    uploadedWidth_ = bitmap.width;
    uploadedHeight_ = bitmap.height;
    uploadedOrder_ = bitmap.order;
    uploaded_ = true;
}

void LabelRendererOpenGL::prepare() {
    auto& gl = context_->gl();
    gl.glGenTextures(1, &texture_);
    gl.glBindTexture(GL_TEXTURE_2D, texture_);
    setFilter(GL_LINEAR);
    gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    gl.glGenVertexArrays(1, &vertexArray_);
    gl.glGenBuffers(1, &buffer_);
    gl.glBindVertexArray(vertexArray_);
    gl.glBindBuffer(GL_ARRAY_BUFFER, buffer_);
    gl.glBufferData(GL_ARRAY_BUFFER, 16 * 4, nullptr, GL_STREAM_DRAW);
    bufferBytes_ = 16 * 4;
    const GLuint position = OpenGLRenderContext::position();
    const GLuint textureCoord = OpenGLRenderContext::textureCoord();
    gl.glEnableVertexAttribArray(position);
    gl.glVertexAttribPointer(position, 2, GL_FLOAT, GL_FALSE, 16, nullptr);
    gl.glEnableVertexAttribArray(textureCoord);
    gl.glVertexAttribPointer(textureCoord, 2, GL_FLOAT, GL_FALSE, 16,
                             reinterpret_cast<const void*>(8));
    gl.glBindVertexArray(0);
}

bool LabelRendererOpenGL::bindTexture() {
    if (!context_->hasProgram()) return false;
    auto& gl = context_->gl();
    if (texture_ == 0) prepare();
    gl.glActiveTexture(GL_TEXTURE0);
    gl.glBindTexture(GL_TEXTURE_2D, texture_);
    if (hasPending_ && pending_.width > 0 && pending_.height > 0) {
        upload(pending_, pendingSizeChanged_);
        hasPending_ = false;
        pendingSizeChanged_ = false;
        pending_ = {};
    }
    return uploaded_;
}

void LabelRendererOpenGL::warmImageDrawing() {
    if (!bindTexture()) return;
    // Three vertices at one point cover no pixel, but llvmpipe makes the program's code for
    // the state it is drawn in: as it is and faded, each filter.
    const GLint filter = filter_;
    const double ownAlpha = alpha;
    const bool ownOpaque = opaque;
    const std::array<float, 12> nothing{};
    for (const GLint each : {GL_NEAREST, GL_LINEAR}) {
        setFilter(each);
        for (const double faded : {1.0, 0.5})
            for (const bool copied : {false, true}) {
                alpha = faded;
                opaque = copied;
                drawVertices(nothing, GL_TRIANGLES);
            }
    }
    setFilter(filter);
    alpha = ownAlpha;
    opaque = ownOpaque;
}

void LabelRendererOpenGL::drawVertices(std::span<const float> vertices, GLenum mode) {
    auto& gl = context_->gl();
    gl.glBindVertexArray(vertexArray_);
    gl.glBindBuffer(GL_ARRAY_BUFFER, buffer_);
    const auto bytes = static_cast<GLsizeiptr>(vertices.size_bytes());
    if (bytes > bufferBytes_) {
        gl.glBufferData(GL_ARRAY_BUFFER, bytes, vertices.data(), GL_STREAM_DRAW);
        bufferBytes_ = bytes;
    } else {
        gl.glBufferSubData(GL_ARRAY_BUFFER, 0, bytes, vertices.data());
    }
    // Unfaded, the texture goes to the window as it is: a program a software OpenGL recognises
    // as a copy.
    context_->use(alpha >= 1 ? OpenGLRenderContext::Shading::image
                             : OpenGLRenderContext::Shading::label,
                  alpha);
    const bool copied = opaque && alpha >= 1;
    if (copied) gl.glDisable(GL_BLEND);
    gl.glDrawArrays(mode, 0, static_cast<GLsizei>(vertices.size() / 4));
    if (copied) gl.glEnable(GL_BLEND);
    gl.glBindVertexArray(0);
}

void LabelRendererOpenGL::draw(const DrawRect& rect) {
    if (!bindTexture()) return;
    // The bitmap's rows run from the top: its first row is the quad's upper edge.
    const auto x0 = static_cast<float>(rect.x);
    const auto y0 = static_cast<float>(rect.y);
    const auto x1 = static_cast<float>(rect.maxX());
    const auto y1 = static_cast<float>(rect.maxY());
    const std::array<float, 16> quad{x0, y1, 0, 0, x0, y0, 0, 1, x1, y1, 1, 0, x1, y0, 1, 1};
    drawVertices(quad, GL_TRIANGLE_STRIP);
}

void LabelRendererOpenGL::drawPieces(std::span<const LabelPiece> pieces) {
    if (pieces.empty() || !bindTexture()) return;
    const auto width = static_cast<float>(uploadedWidth_);
    const auto height = static_cast<float>(uploadedHeight_);
    std::vector<float> vertices;
    vertices.reserve(pieces.size() * 24);
    for (const LabelPiece& piece : pieces) {
        const auto x0 = static_cast<float>(piece.target.x);
        const auto y0 = static_cast<float>(piece.target.y);
        const auto x1 = static_cast<float>(piece.target.maxX());
        const auto y1 = static_cast<float>(piece.target.maxY());
        const auto s0 = static_cast<float>(piece.source.x) / width;
        const auto s1 = static_cast<float>(piece.source.maxX()) / width;
        const auto t0 = static_cast<float>(piece.source.y) / height; // the piece's top row
        const auto t1 = static_cast<float>(piece.source.maxY()) / height;
        const std::array<float, 24> two{x0, y1, s0, t0, x0, y0, s0, t1, x1, y1, s1, t0,
                                        x1, y1, s1, t0, x0, y0, s0, t1, x1, y0, s1, t1};
        vertices.insert(vertices.end(), two.begin(), two.end());
    }
    drawVertices(vertices, GL_TRIANGLES);
}

} // namespace tessera
