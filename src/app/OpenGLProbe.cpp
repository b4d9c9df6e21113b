#include "app/OpenGLProbe.h"

#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions>

namespace tessera {

QSurfaceFormat graphSurfaceFormat() {
    QSurfaceFormat format;
    format.setRenderableType(QSurfaceFormat::OpenGL);
    format.setVersion(3, 3);
    format.setProfile(QSurfaceFormat::CoreProfile);
    // No depth buffer: nothing is depth-tested, and with one llvmpipe gives up its fast path
    // for rectangles copied from a texture (a large tree map's image).
    format.setDepthBufferSize(0);
    format.setSwapBehavior(QSurfaceFormat::DoubleBuffer);
    return format;
}

OpenGLProbeResult probeOpenGL(const QSurfaceFormat& format) {
    QOffscreenSurface surface;
    surface.setFormat(format);
    surface.create();
    if (!surface.isValid()) return {false, "no offscreen surface"};
    QOpenGLContext context;
    context.setFormat(format);
    if (!context.create()) return {false, "no OpenGL context"};
    const QSurfaceFormat got = context.format();
    // Drivers may answer with a newer version than asked for (Mesa gives 4.5 for 3.3).
    const bool version = std::make_pair(got.majorVersion(), got.minorVersion()) >=
                         std::make_pair(format.majorVersion(), format.minorVersion());
    if (!version || got.profile() != format.profile() ||
        got.renderableType() != QSurfaceFormat::OpenGL)
        return {false, "OpenGL " + std::to_string(got.majorVersion()) + "." +
                           std::to_string(got.minorVersion()) + " without a core profile"};
    if (!context.makeCurrent(&surface)) return {false, "the OpenGL context cannot be made current"};
    const auto* renderer = context.functions()->glGetString(GL_RENDERER);
    std::string name = renderer != nullptr ? reinterpret_cast<const char*>(renderer) : "unknown";
    context.doneCurrent();
    return {true, name};
}

OpenGLProbeResult probeOpenGL() {
    static const OpenGLProbeResult result = probeOpenGL(graphSurfaceFormat());
    return result;
}

} // namespace tessera
