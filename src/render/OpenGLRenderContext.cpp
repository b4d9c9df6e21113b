#include "render/OpenGLRenderContext.h"

#include <QFile>
#include <QOpenGLContext>
#include <QOpenGLVersionFunctionsFactory>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>

namespace tessera {
namespace {

std::optional<QByteArray> readShaderText(const std::string& path) {
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "Cannot read the shader %s: %s\n", path.c_str(),
                     file.errorString().toLocal8Bit().constData());
        return std::nullopt;
    }
    return file.readAll();
}

// `definitions` go right after the "#version" line, which must stay the first.
QByteArray withDefinitions(const QByteArray& text, const char* definitions) {
    if (definitions == nullptr || *definitions == '\0') return text;
    const qsizetype lineEnd = text.startsWith("#version") ? text.indexOf('\n') : -1;
    if (lineEnd < 0) return QByteArray(definitions) + text;
    return text.left(lineEnd + 1) + definitions + text.mid(lineEnd + 1);
}

GLuint compileShader(QOpenGLFunctions_3_3_Core& gl, GLenum type, const QByteArray& text) {
    const GLuint shader = gl.glCreateShader(type);
    const char* source = text.constData();
    const auto length = static_cast<GLint>(text.size());
    gl.glShaderSource(shader, 1, &source, &length);
    gl.glCompileShader(shader);
    GLint compiled = GL_FALSE;
    gl.glGetShaderiv(shader, GL_COMPILE_STATUS, &compiled);
    if (compiled == GL_TRUE) return shader;
    GLint logLength = 0;
    gl.glGetShaderiv(shader, GL_INFO_LOG_LENGTH, &logLength);
    if (logLength > 1) {
        std::string log(static_cast<std::size_t>(logLength), '\0');
        gl.glGetShaderInfoLog(shader, logLength, nullptr, log.data());
        log.resize(log.find('\0') == std::string::npos ? log.size() : log.find('\0'));
        std::fprintf(stderr, "Shader compile log:\n%s\n", log.c_str());
    } else {
        std::fputs("Shader compile failed\n", stderr);
    }
    gl.glDeleteShader(shader);
    return 0;
}

} // namespace

ShaderSources ShaderSources::bundled() {
    return {":/shaders/TSVertexShader.vsh", ":/shaders/TSFragmentShader.fsh"};
}

bool OpenGLRenderContext::prepare(QOpenGLContext& context, const ShaderSources& sources) {
    gl_ = QOpenGLVersionFunctionsFactory::get<QOpenGLFunctions_3_3_Core>(&context);
    if (gl_ == nullptr || !gl_->initializeOpenGLFunctions()) {
        std::fputs("OpenGL 3.3 core functions are not available\n", stderr);
        gl_ = nullptr;
        return false;
    }
    alive_ = true;
    const auto vertexText = readShaderText(sources.vertexPath);
    const auto fragmentText = vertexText ? readShaderText(sources.fragmentPath) : std::nullopt;
    if (!fragmentText) return false;
    if (!build(picture_, *vertexText, *fragmentText, "#define COLOR_ONLY 1\n", true) ||
        !build(label_, *vertexText, *fragmentText, "#define TEXTURE_ONLY 1\n", false) ||
        !build(image_, *vertexText, *fragmentText, "#define IMAGE_AS_IS 1\n", false)) {
        deletePrograms();
        return false;
    }
    QOpenGLFunctions_3_3_Core& gl = *gl_;
    gl.glUseProgram(label_.name);
    current_ = &label_;

    gl.glDisable(GL_DITHER);
    gl.glEnable(GL_BLEND);
    gl.glBlendEquation(GL_FUNC_ADD);
    // The shader writes premultiplied colour, so the framebuffer's alpha stays opaque.
    gl.glBlendFuncSeparate(GL_ONE, GL_ONE_MINUS_SRC_ALPHA, GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
    gl.glEnable(GL_LINE_SMOOTH);
    gl.glHint(GL_LINE_SMOOTH_HINT, GL_NICEST);
    return true;
}

bool OpenGLRenderContext::build(Program& program, const QByteArray& vertexText,
                                const QByteArray& fragmentText, const char* definitions,
                                bool coloured) {
    QOpenGLFunctions_3_3_Core& gl = *gl_;
    const GLuint vertex = compileShader(gl, GL_VERTEX_SHADER, vertexText);
    const GLuint fragment = vertex != 0 ? compileShader(gl, GL_FRAGMENT_SHADER,
                                                        withDefinitions(fragmentText, definitions))
                                        : 0;
    if (vertex == 0 || fragment == 0) {
        if (vertex != 0) gl.glDeleteShader(vertex);
        return false;
    }
    const GLuint name = gl.glCreateProgram();
    gl.glAttachShader(name, vertex);
    gl.glAttachShader(name, fragment);
    gl.glBindAttribLocation(name, position(), "position");
    gl.glBindAttribLocation(name, color(), "color");
    gl.glBindAttribLocation(name, textureCoord(), "textureCoord");
    gl.glBindFragDataLocation(name, 0, "outColor");
    gl.glLinkProgram(name);
    gl.glDeleteShader(vertex);
    gl.glDeleteShader(fragment);
    GLint linked = GL_FALSE;
    gl.glGetProgramiv(name, GL_LINK_STATUS, &linked);
    // The picture's program may drop the texture coordinates, which nothing there reads, and
    // the texture's programs the colours.
    const bool hasInputs = gl.glGetAttribLocation(name, "position") >= 0 &&
                           gl.glGetAttribLocation(name, coloured ? "color" : "textureCoord") >= 0;
    if (linked != GL_TRUE || !hasInputs) {
        std::fputs("Shader program link failed or lacks its inputs\n", stderr);
        gl.glDeleteProgram(name);
        return false;
    }
    program = {name,
               gl.glGetUniformLocation(name, "alpha"),
               gl.glGetUniformLocation(name, "modelMat"),
               {}};
    return true;
}

void OpenGLRenderContext::use(Shading shading, double alpha, const DrawPlacement& placement) {
    Program& program = shading == Shading::picture ? picture_
                       : shading == Shading::label ? label_
                                                   : image_;
    drawnSinceClear_ = true;
    if (current_ != &program) {
        gl_->glUseProgram(program.name);
        current_ = &program;
    }
    if (program.alpha >= 0) gl_->glUniform1f(program.alpha, static_cast<GLfloat>(alpha));
    if (placement != program.placement) setModelMatrix(program, placement);
}

void OpenGLRenderContext::setModelMatrix(Program& program, const DrawPlacement& placement) {
    // Column-major: the placement first, then points to clip coordinates.
    const double sx = 2.0 / viewWidth_;
    const double sy = 2.0 / viewHeight_;
    const GLfloat matrix[16] = {static_cast<GLfloat>(sx * placement.scaleX),
                                0,
                                0,
                                0,
                                0,
                                static_cast<GLfloat>(sy * placement.scaleY),
                                0,
                                0,
                                0,
                                0,
                                0,
                                0,
                                static_cast<GLfloat>(sx * placement.offsetX),
                                static_cast<GLfloat>(sy * placement.offsetY),
                                0,
                                1};
    gl_->glUniformMatrix4fv(program.modelMat, 1, GL_FALSE, matrix);
    program.placement = placement;
}

void OpenGLRenderContext::setViewSize(double width, double height, double pixelRatio) {
    viewWidth_ = width;
    viewHeight_ = height;
    pixelRatio_ = pixelRatio;
    if (!hasProgram() || width <= 0 || height <= 0) return;
    for (Program* program : {&picture_, &label_, &image_}) {
        gl_->glUseProgram(program->name);
        setModelMatrix(*program, {});
    }
    current_ = &label_;
}

void OpenGLRenderContext::deletePrograms() {
    for (Program* program : {&picture_, &label_, &image_}) {
        if (program->name != 0) gl_->glDeleteProgram(program->name);
        *program = {};
    }
    current_ = nullptr;
    if (warmArray_ != 0) gl_->glDeleteVertexArrays(1, &warmArray_);
    if (warmBuffer_ != 0) gl_->glDeleteBuffers(1, &warmBuffer_);
    warmArray_ = warmBuffer_ = 0;
    pictureWarm_ = false;
    imageDrawingWarm_ = false;
}

void OpenGLRenderContext::beginFrame(double backgroundGrey) {
    current_ = nullptr;
    drawnSinceClear_ = false;
    // As OpenGL stores the clear colour in the window's bytes.
    backgroundByte_ =
        static_cast<std::uint8_t>(std::lround(std::clamp(backgroundGrey, 0.0, 1.0) * 255));
}

void OpenGLRenderContext::warmPictureProgram() {
    if (pictureWarm_ || !hasProgram()) return;
    pictureWarm_ = true;
    gl_->glGenVertexArrays(1, &warmArray_);
    gl_->glGenBuffers(1, &warmBuffer_);
    gl_->glBindVertexArray(warmArray_);
    gl_->glBindBuffer(GL_ARRAY_BUFFER, warmBuffer_);
    const DrawVertex corners[3]{};
    gl_->glBufferData(GL_ARRAY_BUFFER, sizeof corners, corners, GL_STATIC_DRAW);
    gl_->glEnableVertexAttribArray(position());
    gl_->glVertexAttribPointer(position(), 2, GL_FLOAT, GL_FALSE, sizeof(DrawVertex), nullptr);
    gl_->glEnableVertexAttribArray(color());
    gl_->glVertexAttribPointer(color(), 4, GL_UNSIGNED_BYTE, GL_TRUE, sizeof(DrawVertex),
                               reinterpret_cast<const void*>(offsetof(DrawVertex, red)));
    use(Shading::picture, 1.0);
    gl_->glDrawArrays(GL_TRIANGLES, 0, 3);
    gl_->glDrawArrays(GL_LINES, 0, 2);
    gl_->glBindVertexArray(0);
}

void OpenGLRenderContext::releaseBuffer(GLuint name) {
    if (alive_ && name != 0) deadBuffers_.push_back(name);
}

void OpenGLRenderContext::releaseVertexArray(GLuint name) {
    if (alive_ && name != 0) deadVertexArrays_.push_back(name);
}

void OpenGLRenderContext::releaseTexture(GLuint name) {
    if (alive_ && name != 0) deadTextures_.push_back(name);
}

void OpenGLRenderContext::collectGarbage() {
    if (!alive_) return;
    if (!deadBuffers_.empty())
        gl_->glDeleteBuffers(static_cast<GLsizei>(deadBuffers_.size()), deadBuffers_.data());
    if (!deadVertexArrays_.empty())
        gl_->glDeleteVertexArrays(static_cast<GLsizei>(deadVertexArrays_.size()),
                                  deadVertexArrays_.data());
    if (!deadTextures_.empty())
        gl_->glDeleteTextures(static_cast<GLsizei>(deadTextures_.size()), deadTextures_.data());
    deadBuffers_.clear();
    deadVertexArrays_.clear();
    deadTextures_.clear();
}

void OpenGLRenderContext::destroy() {
    collectGarbage();
    if (alive_) deletePrograms();
    // Renderers that outlive the context keep names that went with it.
    alive_ = false;
}

} // namespace tessera
