// The app's user defaults: a few values outside settings.json, kept by QSettings in its own INI
// file beside it ($XDG_CONFIG_HOME/tessera/tessera.ini): the back-end switch and window state.
#pragma once

#include <QSettings>
#include <QSize>
#include <memory>

class QWidget;

namespace tessera {

/// The app's user defaults file.
std::unique_ptr<QSettings> userDefaults();

/// "disableOpenGL": draw the graph with the CPU rasteriser even where OpenGL works.
bool disableOpenGL();

/// Restores a window's frame saved under `name`, or gives it `fallback` size.
void restoreWindowGeometry(QWidget& window, const char* name, QSize fallback);
void saveWindowGeometry(const QWidget& window, const char* name);

} // namespace tessera
