// What the OpenGL renderers of one graph view share: the functions of the view's context, the
// shader program with its attribute and uniform locations, and the GL names of renderers that
// went away while the context was not current, deleted at the next frame. Main thread.
#pragma once

#include <QOpenGLFunctions_3_3_Core>
#include <string>
#include <vector>

class QOpenGLContext;

namespace tessera {

/// Where the two shader texts are read from: Qt resource paths (":/...") or files.
struct ShaderSources {
    std::string vertexPath;
    std::string fragmentPath;
    /// The shaders that come with the program.
    static ShaderSources bundled();
};

class OpenGLRenderContext {
public:
    /// With `context` current: takes its functions, builds the program and sets the drawing
    /// state. A shader that does not compile prints its log on standard error and leaves no
    /// program: frames are then cleared and nothing is drawn. Returns whether there is one.
    bool prepare(QOpenGLContext& context, const ShaderSources& sources);
    /// With the context current: deletes the program and every name still held.
    void destroy();

    bool hasProgram() const { return program_ != 0; }
    QOpenGLFunctions_3_3_Core& gl() const { return *gl_; }
    GLuint program() const { return program_; }
    GLint position() const { return position_; }
    GLint color() const { return color_; }
    GLint textureCoord() const { return textureCoord_; }
    GLint alphaUniform() const { return alpha_; }
    GLint useTextureUniform() const { return useTexture_; }

    /// Sets "modelMat" so that a point (x, y) of a view of `width` × `height` points lands at
    /// clip coordinates (2x / width, 2y / height).
    void setViewSize(double width, double height);

    /// Names given up by renderers; deleted by collectGarbage() with the context current.
    void releaseBuffer(GLuint name);
    void releaseVertexArray(GLuint name);
    void releaseTexture(GLuint name);
    void collectGarbage();

private:
    QOpenGLFunctions_3_3_Core* gl_ = nullptr;
    GLuint program_ = 0;
    GLint position_ = -1;
    GLint color_ = -1;
    GLint textureCoord_ = -1;
    GLint alpha_ = -1;
    GLint useTexture_ = -1;
    GLint modelMat_ = -1;
    bool alive_ = false;
    std::vector<GLuint> deadBuffers_;
    std::vector<GLuint> deadVertexArrays_;
    std::vector<GLuint> deadTextures_;
};

} // namespace tessera
