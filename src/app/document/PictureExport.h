// File > Save Picture: the graph as the window shows it (its size, the folder zoomed into, the
// colours, the names and lit matches; the bubble left out) written as PNG or SVG, the form
// chosen by the file's extension or the dialog's filter. The dialog opens in the folder of the
// last picture ("pictureFolder"); a failed write is shown as an error, and nothing is written
// on cancel.
#pragma once

#include <QString>
#include <expected>
#include <memory>
#include <string>

class QWidget;

namespace tessera {

class FileController;
class Graph;

/// Draws `shown`'s picture anew at rest, `width` × `height` points, into `path`: SVG when it
/// ends in ".svg", else PNG.
[[nodiscard]] std::expected<void, std::string>
writeGraphPicture(const Graph& shown, const std::shared_ptr<FileController>& controller, int width,
                  int height, bool dark, const std::string& path);

/// Asks where to save the picture (named `name` by default) and writes it.
void savePicture(const Graph& shown, const std::shared_ptr<FileController>& controller, int width,
                 int height, bool dark, const QString& name, QWidget* parent);

} // namespace tessera
