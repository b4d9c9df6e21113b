// Passing the engine's texts and paths to Qt. Paths are bytes: a URL made from one keeps every
// byte exactly (percent-encoded), even where the name is not UTF-8.
#pragma once

#include "model/Localization.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QUrl>
#include <optional>
#include <string>
#include <string_view>

namespace tessera {

inline QString toQString(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

/// The program's text for `key`, for a widget.
inline QString localizedQString(std::string_view key) {
    return toQString(localizedText(key));
}

inline QUrl fileUrl(const std::string& path) {
    return QUrl::fromEncoded(QByteArray("file://") +
                             QByteArray::fromStdString(path).toPercentEncoding("/"));
}

/// The path of a file URL (as launchers pass them), its bytes exactly; a plain absolute path is
/// taken as it is; none for other schemes.
inline std::optional<std::string> pathOfUrl(const QString& text) {
    if (text.startsWith(QLatin1Char('/'))) return QFile::encodeName(text).toStdString();
    const QUrl url = QUrl::fromEncoded(text.toUtf8());
    if (!url.isLocalFile()) return std::nullopt;
    return QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()).toStdString();
}

/// A path chosen in a Qt dialog, as the bytes the file system knows it by.
inline std::string toPath(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

} // namespace tessera
