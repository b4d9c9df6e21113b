// Previewing files the way the desktop does: with its previewer (GNOME's, over D-Bus) when one is
// on the session bus, otherwise by opening the file with its default application. A merged
// rectangle of small files offers them in a menu, one to preview.
#pragma once

class QWidget;

namespace tessera {

class File;
class FileController;

void previewFile(const FileController& controller, const File& file, QWidget* parent);

} // namespace tessera
