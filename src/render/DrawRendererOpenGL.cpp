#include "render/DrawRendererOpenGL.h"

namespace tessera {

DrawRendererOpenGL::~DrawRendererOpenGL() {
    context_->releaseBuffer(buffer_);
    context_->releaseVertexArray(vertexArray_);
}

void DrawRendererOpenGL::prepare() {
    auto& gl = context_->gl();
    gl.glGenVertexArrays(1, &vertexArray_);
    gl.glGenBuffers(1, &buffer_);
    gl.glBindVertexArray(vertexArray_);
    gl.glBindBuffer(GL_ARRAY_BUFFER, buffer_);
    const DrawVertex zero{};
    gl.glBufferData(GL_ARRAY_BUFFER, sizeof zero, &zero, GL_STREAM_DRAW);
    const auto position = static_cast<GLuint>(context_->position());
    const auto colorAttribute = static_cast<GLuint>(context_->color());
    gl.glEnableVertexAttribArray(position);
    gl.glVertexAttribPointer(position, 2, GL_FLOAT, GL_FALSE, sizeof(DrawVertex), nullptr);
    gl.glEnableVertexAttribArray(colorAttribute);
    gl.glVertexAttribPointer(colorAttribute, 4, GL_UNSIGNED_BYTE, GL_TRUE, sizeof(DrawVertex),
                             reinterpret_cast<const void*>(offsetof(DrawVertex, red)));
    gl.glBindVertexArray(0);
    prepared_ = true;
}

void DrawRendererOpenGL::draw() {
    if (!context_->hasProgram()) return;
    if (!prepared_) prepare();
    if (vertexCount() == 0) return;
    auto& gl = context_->gl();
    gl.glBindVertexArray(vertexArray_);
    if (!buffered_ || bufferedRevision_ != revision()) {
        gl.glBindBuffer(GL_ARRAY_BUFFER, buffer_);
        gl.glBufferData(GL_ARRAY_BUFFER,
                        static_cast<GLsizeiptr>(vertexCount() * sizeof(DrawVertex)),
                        vertices().data(), GL_STREAM_DRAW);
        bufferedRevision_ = revision();
        buffered_ = true;
    }
    gl.glUniform1f(context_->alphaUniform(), static_cast<GLfloat>(alpha));
    gl.glUniform1i(context_->useTextureUniform(), 0);
    for (const DrawPrimitive* primitive : {&triangleStrips(), &lineStrips(), &lines()}) {
        if (primitive->stripCount() == 0) continue;
        gl.glMultiDrawArrays(static_cast<GLenum>(primitive->type()), primitive->offset().data(),
                             primitive->length().data(),
                             static_cast<GLsizei>(primitive->stripCount()));
    }
    gl.glBindVertexArray(0);
    gl.glUniform1f(context_->alphaUniform(), 1.0f);
}

} // namespace tessera
