#include "render/DrawRendererOpenGL.h"

#include <cstdint>

namespace tessera {

namespace {

// Independent triangles of every triangle strip, then the independent lines of every line strip
// and of the lines: the strips' own order, so the picture is drawn as the strips would draw it.
std::vector<std::uint32_t> stripIndices(const DrawRenderer& renderer, GLsizei& triangles) {
    std::size_t count = 0;
    const DrawPrimitive& strips = renderer.triangleStrips();
    for (const std::int32_t length : strips.length())
        count += length >= 3 ? 3 * static_cast<std::size_t>(length - 2) : 0;
    for (const std::int32_t length : renderer.lineStrips().length())
        count += length >= 2 ? 2 * static_cast<std::size_t>(length - 1) : 0;
    for (const std::int32_t length : renderer.lines().length())
        count += static_cast<std::size_t>(length / 2) * 2;
    std::vector<std::uint32_t> indices;
    indices.reserve(count);
    for (std::size_t s = 0; s < strips.stripCount(); ++s) {
        const auto first = static_cast<std::uint32_t>(strips.offset()[s]);
        const std::int32_t length = strips.length()[s];
        for (std::int32_t i = 0; i + 2 < length; ++i) {
            const std::uint32_t at = first + static_cast<std::uint32_t>(i);
            indices.insert(indices.end(), {at, at + 1, at + 2});
        }
    }
    triangles = static_cast<GLsizei>(indices.size());
    const DrawPrimitive& lineStrips = renderer.lineStrips();
    for (std::size_t s = 0; s < lineStrips.stripCount(); ++s) {
        const auto first = static_cast<std::uint32_t>(lineStrips.offset()[s]);
        for (std::int32_t i = 0; i + 1 < lineStrips.length()[s]; ++i) {
            const std::uint32_t at = first + static_cast<std::uint32_t>(i);
            indices.insert(indices.end(), {at, at + 1});
        }
    }
    const DrawPrimitive& lines = renderer.lines();
    for (std::size_t s = 0; s < lines.stripCount(); ++s) {
        const auto first = static_cast<std::uint32_t>(lines.offset()[s]);
        for (std::int32_t i = 0; i + 1 < lines.length()[s]; i += 2) {
            const std::uint32_t at = first + static_cast<std::uint32_t>(i);
            indices.insert(indices.end(), {at, at + 1});
        }
    }
    return indices;
}

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

void DrawRendererOpenGL::upload() {
    auto& gl = context_->gl();
    gl.glBindBuffer(GL_ARRAY_BUFFER, buffer_);
    gl.glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(vertexCount() * sizeof(DrawVertex)),
                    vertices().data(), GL_STREAM_DRAW);
    const std::vector<std::uint32_t> indices = stripIndices(*this, triangleIndexCount_);
    lineIndexCount_ = static_cast<GLsizei>(indices.size()) - triangleIndexCount_;
    gl.glBufferData(GL_ELEMENT_ARRAY_BUFFER,
                    static_cast<GLsizeiptr>(indices.size() * sizeof(std::uint32_t)), indices.data(),
                    GL_STREAM_DRAW);
    bufferedRevision_ = revision();
    buffered_ = true;
}

void DrawRendererOpenGL::draw() {
    if (!context_->hasProgram()) return;
    if (!prepared_) prepare();
    if (vertexCount() == 0) return;
    auto& gl = context_->gl();
    gl.glBindVertexArray(vertexArray_);
    if (!buffered_ || bufferedRevision_ != revision()) upload();
    gl.glUniform1f(context_->alphaUniform(), static_cast<GLfloat>(alpha));
    gl.glUniform1i(context_->useTextureUniform(), 0);
    if (triangleIndexCount_ > 0)
        gl.glDrawElements(GL_TRIANGLES, triangleIndexCount_, GL_UNSIGNED_INT, nullptr);
    if (lineIndexCount_ > 0)
        gl.glDrawElements(
            GL_LINES, lineIndexCount_, GL_UNSIGNED_INT,
            reinterpret_cast<const void*>(static_cast<std::uintptr_t>(triangleIndexCount_) *
                                          sizeof(std::uint32_t)));
    gl.glBindVertexArray(0);
    gl.glUniform1f(context_->alphaUniform(), 1.0f);
}

} // namespace tessera
