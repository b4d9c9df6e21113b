#include "app/defaults/UserDefaults.h"

#include "app/defaults/UserDefaultValue.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <algorithm>

namespace tessera {

std::unique_ptr<QSettings> userDefaults() {
    return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                       QStringLiteral("tessera"), QStringLiteral("tessera"));
}

bool disableOpenGL() {
    return UserDefaultValue<bool>(QStringLiteral("disableOpenGL"), false).value();
}

void restoreWindowGeometry(QWidget& window, const char* name, QSize fallback) {
    const QByteArray saved =
        userDefaults()->value(QStringLiteral("%1/geometry").arg(QLatin1String(name))).toByteArray();
    if (saved.isEmpty() || !window.restoreGeometry(saved)) window.resize(fallback);
    // Whole on the screen it opens on: no larger than the screen's free area, and inside it.
    const QScreen* screen = QGuiApplication::screenAt(window.geometry().center());
    if (screen == nullptr) screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) return;
    const QRect available = screen->availableGeometry();
    QRect frame = window.geometry();
    frame.setSize(frame.size().boundedTo(available.size()));
    frame.moveLeft(
        std::clamp(frame.left(), available.left(), available.right() - frame.width() + 1));
    frame.moveTop(
        std::clamp(frame.top(), available.top(), available.bottom() - frame.height() + 1));
    if (frame != window.geometry()) window.setGeometry(frame);
}

void saveWindowGeometry(const QWidget& window, const char* name) {
    userDefaults()->setValue(QStringLiteral("%1/geometry").arg(QLatin1String(name)),
                             window.saveGeometry());
}

} // namespace tessera
