#include "render/LabelRendererOpenGL.h"

#include <array>

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
    gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    upload(bitmap, bitmap.width != uploadedWidth_ || bitmap.height != uploadedHeight_);
    hasPending_ = false;
}

void LabelRendererOpenGL::upload(const LabelBitmap& bitmap, bool sizeChanged) {
    auto& gl = context_->gl();
    gl.glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    if (sizeChanged || !uploaded_)
        gl.glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, bitmap.width, bitmap.height, 0, GL_RGBA,
                        GL_UNSIGNED_BYTE, bitmap.pixels.data());
    else
        gl.glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, bitmap.width, bitmap.height, GL_RGBA,
                           GL_UNSIGNED_BYTE, bitmap.pixels.data());
    uploadedWidth_ = bitmap.width;
    uploadedHeight_ = bitmap.height;
    uploaded_ = true;
}

void LabelRendererOpenGL::prepare() {
    auto& gl = context_->gl();
    gl.glGenTextures(1, &texture_);
    gl.glBindTexture(GL_TEXTURE_2D, texture_);
    gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    gl.glGenVertexArrays(1, &vertexArray_);
    gl.glGenBuffers(1, &buffer_);
    gl.glBindVertexArray(vertexArray_);
    gl.glBindBuffer(GL_ARRAY_BUFFER, buffer_);
    gl.glBufferData(GL_ARRAY_BUFFER, 16 * 4, nullptr, GL_STREAM_DRAW);
    const GLuint position = OpenGLRenderContext::position();
    const GLuint textureCoord = OpenGLRenderContext::textureCoord();
    gl.glEnableVertexAttribArray(position);
    gl.glVertexAttribPointer(position, 2, GL_FLOAT, GL_FALSE, 16, nullptr);
    gl.glEnableVertexAttribArray(textureCoord);
    gl.glVertexAttribPointer(textureCoord, 2, GL_FLOAT, GL_FALSE, 16,
                             reinterpret_cast<const void*>(8));
    gl.glBindVertexArray(0);
}

void LabelRendererOpenGL::draw(const DrawRect& rect) {
    if (!context_->hasProgram()) return;
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
    if (!uploaded_) return;
    // The bitmap's rows run from the top: its first row is the quad's upper edge.
    const auto x0 = static_cast<float>(rect.x);
    const auto y0 = static_cast<float>(rect.y);
    const auto x1 = static_cast<float>(rect.maxX());
    const auto y1 = static_cast<float>(rect.maxY());
    const std::array<float, 16> quad{x0, y1, 0, 0, x0, y0, 0, 1, x1, y1, 1, 0, x1, y0, 1, 1};
    gl.glBindVertexArray(vertexArray_);
    gl.glBindBuffer(GL_ARRAY_BUFFER, buffer_);
    gl.glBufferSubData(GL_ARRAY_BUFFER, 0, sizeof quad, quad.data());
    context_->use(OpenGLRenderContext::Shading::label, alpha);
    gl.glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    gl.glBindVertexArray(0);
}

} // namespace tessera
