// Whether an OpenGL 3.3 core context can be had here, found out on an offscreen surface before
// any OpenGL widget exists: in Qt 6 a widget whose context fails can take its whole window down
// (remote X, some virtual machines, Wayland without GPU buffers).
#pragma once

#include <QSurfaceFormat>
#include <string>

namespace tessera {

struct OpenGLProbeResult {
    bool usable = false;
    /// GL_RENDERER of the probed context, or why there is none.
    std::string detail;
};

/// The format every graph view asks for: OpenGL 3.3 core, double buffered, 24-bit depth.
QSurfaceFormat graphSurfaceFormat();

/// Probes once per process (later calls return the first answer). Needs a QGuiApplication.
OpenGLProbeResult probeOpenGL();
/// Probes for `format` now.
OpenGLProbeResult probeOpenGL(const QSurfaceFormat& format);

} // namespace tessera
