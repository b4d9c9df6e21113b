// Passing the engine's texts and paths to Qt. Paths are bytes: a URL made from one keeps every
// byte exactly (percent-encoded), even where the name is not UTF-8.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QUrl>
#include <string>
#include <string_view>

namespace tessera {

inline QString toQString(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

inline QUrl fileUrl(const std::string& path) {
    return QUrl::fromEncoded(QByteArray("file://") +
                             QByteArray::fromStdString(path).toPercentEncoding("/"));
}

/// A path chosen in a Qt dialog, as the bytes the file system knows it by.
inline std::string toPath(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

} // namespace tessera
