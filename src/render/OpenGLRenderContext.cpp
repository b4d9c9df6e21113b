#include "render/OpenGLRenderContext.h"

#include <QFile>
#include <QOpenGLContext>
#include <QOpenGLVersionFunctionsFactory>
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

GLuint compileShader(QOpenGLFunctions_3_3_Core& gl, GLenum type, const std::string& path) {
    const auto text = readShaderText(path);
    if (!text) return 0;
    const GLuint shader = gl.glCreateShader(type);
    const char* source = text->constData();
    const GLint length = static_cast<GLint>(text->size());
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
    QOpenGLFunctions_3_3_Core& gl = *gl_;
    const GLuint vertex = compileShader(gl, GL_VERTEX_SHADER, sources.vertexPath);
    const GLuint fragment =
        vertex != 0 ? compileShader(gl, GL_FRAGMENT_SHADER, sources.fragmentPath) : 0;
    if (vertex == 0 || fragment == 0) {
        if (vertex != 0) gl.glDeleteShader(vertex);
        return false;
    }
    const GLuint program = gl.glCreateProgram();
    gl.glAttachShader(program, vertex);
    gl.glAttachShader(program, fragment);
    gl.glBindFragDataLocation(program, 0, "outColor");
    gl.glLinkProgram(program);
    gl.glDeleteShader(vertex);
    gl.glDeleteShader(fragment);
    GLint linked = GL_FALSE;
    gl.glGetProgramiv(program, GL_LINK_STATUS, &linked);
    position_ = gl.glGetAttribLocation(program, "position");
    color_ = gl.glGetAttribLocation(program, "color");
    textureCoord_ = gl.glGetAttribLocation(program, "textureCoord");
    if (linked != GL_TRUE || position_ < 0 || color_ < 0 || textureCoord_ < 0) {
        std::fputs("Shader program link failed or lacks position, color and textureCoord\n",
                   stderr);
        gl.glDeleteProgram(program);
        return false;
    }
    program_ = program;
    alpha_ = gl.glGetUniformLocation(program, "alpha");
    useTexture_ = gl.glGetUniformLocation(program, "useTexture");
    modelMat_ = gl.glGetUniformLocation(program, "modelMat");
    gl.glUseProgram(program);

    gl.glDisable(GL_DITHER);
    gl.glEnable(GL_BLEND);
    gl.glBlendEquation(GL_FUNC_ADD);
    // The shader writes premultiplied colour, so the framebuffer's alpha stays opaque.
    gl.glBlendFuncSeparate(GL_ONE, GL_ONE_MINUS_SRC_ALPHA, GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
    gl.glEnable(GL_LINE_SMOOTH);
    gl.glHint(GL_LINE_SMOOTH_HINT, GL_NICEST);
    return true;
}

void OpenGLRenderContext::setViewSize(double width, double height) {
    if (!hasProgram() || modelMat_ < 0 || width <= 0 || height <= 0) return;
    const GLfloat matrix[16] = {static_cast<GLfloat>(2.0 / width),
                                0,
                                0,
                                0,
                                0,
                                static_cast<GLfloat>(2.0 / height),
                                0,
                                0,
                                0,
                                0,
                                0,
                                0,
                                0,
                                0,
                                0,
                                1};
    gl_->glUseProgram(program_);
    gl_->glUniformMatrix4fv(modelMat_, 1, GL_FALSE, matrix);
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
    if (alive_ && program_ != 0) gl_->glDeleteProgram(program_);
    program_ = 0;
    // Renderers that outlive the context keep names that went with it.
    alive_ = false;
}

} // namespace tessera
