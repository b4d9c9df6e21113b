// What the OpenGL renderers of one graph view share: the functions of the view's context, the
// shader programs (one for pictures, one for labels, one for images drawn unfaded, built from the
// same two texts) with their uniform locations, and the GL names of renderers that went away while
// the context was not current, deleted at the next frame. Main thread.
#pragma once

#include "render/DrawRenderer.h"

#include <QByteArray>
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
    /// With `context` current: takes its functions, builds the programs and sets the drawing
    /// state. A shader that does not compile prints its log on standard error and leaves no
    /// program: frames are then cleared and nothing is drawn. Returns whether there is one.
    bool prepare(QOpenGLContext& context, const ShaderSources& sources);
    /// With the context current: deletes the programs and every name still held.
    void destroy();

    bool hasProgram() const { return picture_.name != 0; }
    QOpenGLFunctions_3_3_Core& gl() const { return *gl_; }
    /// Attribute locations, the same in every program.
    static constexpr GLuint position() { return 0; }
    static constexpr GLuint color() { return 1; }
    static constexpr GLuint textureCoord() { return 2; }

    /// A picture's coloured shapes; a texture times "alpha"; a texture as it is (alpha 1).
    enum class Shading { picture, label, image };
    /// Makes the program for `shading` current, with `alpha` as its "alpha" and "modelMat"
    /// showing each point where `placement` puts it.
    void use(Shading shading, double alpha, const DrawPlacement& placement = {});
    /// At the start of each frame, the window cleared to `backgroundGrey` (0...1): the program
    /// current may have changed since the last one.
    void beginFrame(double backgroundGrey);
    /// Whether anything was drawn in this frame yet, over the background it was cleared to.
    bool drawnSinceClear() const { return drawnSinceClear_; }
    /// The background's grey, as each of a pixel's colour bytes.
    std::uint8_t backgroundByte() const { return backgroundByte_; }
    /// With the context current, in a frame that drew a large tree map's image: the picture
    /// program draws a triangle and a line of no area, so that a software OpenGL compiles its
    /// code for both kinds of shape now, not in the frame that first draws one (a highlight, or
    /// the small picture that a zoom's second phase starts from, which has outlines). A
    /// highlight's triangles before it do not make the lines' code. Once per context.
    void warmPictureProgram();
    /// Whether a picture's image was drawn in every state a zoom draws it in, in this context
    /// (LabelRendererOpenGL::warmImageDrawing()).
    bool imageDrawingWarm() const { return imageDrawingWarm_; }
    void setImageDrawingWarm() { imageDrawingWarm_ = true; }

    /// Sets "modelMat" so that a point (x, y) of a view of `width` × `height` points lands at
    /// clip coordinates (2x / width, 2y / height); the view has `pixelRatio` pixels a point.
    void setViewSize(double width, double height, double pixelRatio);
    double viewWidth() const { return viewWidth_; }
    double viewHeight() const { return viewHeight_; }
    double pixelRatio() const { return pixelRatio_; }

    /// Names given up by renderers; deleted by collectGarbage() with the context current.
    void releaseBuffer(GLuint name);
    void releaseVertexArray(GLuint name);
    void releaseTexture(GLuint name);
    void collectGarbage();

private:
    struct Program {
        GLuint name = 0;
        GLint alpha = -1;
        GLint modelMat = -1;
        DrawPlacement placement; // in its "modelMat"
    };
    void setModelMatrix(Program& program, const DrawPlacement& placement);
    /// `coloured`: the program reads the vertices' colours (else their texture coordinates).
    bool build(Program& program, const QByteArray& vertexText, const QByteArray& fragmentText,
               const char* definitions, bool coloured);
    void deletePrograms();

    QOpenGLFunctions_3_3_Core* gl_ = nullptr;
    Program picture_;
    Program label_;
    Program image_;
    Program* current_ = nullptr;
    bool pictureWarm_ = false; // warmPictureProgram() drew in this context
    bool imageDrawingWarm_ = false;
    bool drawnSinceClear_ = false;
    std::uint8_t backgroundByte_ = 0;
    GLuint warmArray_ = 0; // warmPictureProgram()'s triangle and line
    GLuint warmBuffer_ = 0;
    double viewWidth_ = 0;
    double viewHeight_ = 0;
    double pixelRatio_ = 1;
    bool alive_ = false;
    std::vector<GLuint> deadBuffers_;
    std::vector<GLuint> deadVertexArrays_;
    std::vector<GLuint> deadTextures_;
};

} // namespace tessera
