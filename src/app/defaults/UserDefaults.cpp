#include "app/defaults/UserDefaults.h"

#include "app/defaults/UserDefaultValue.h"

#include <QWidget>

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
}

void saveWindowGeometry(const QWidget& window, const char* name) {
    userDefaults()->setValue(QStringLiteral("%1/geometry").arg(QLatin1String(name)),
                             window.saveGeometry());
}

} // namespace tessera
