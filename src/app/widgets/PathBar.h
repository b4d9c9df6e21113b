// The path control of a document window: one button per folder from the root down to the shown
// file, named as the file controller names them. Clicking one but the last shows that folder.
#pragma once

#include <QWidget>
#include <functional>

class QHBoxLayout;

namespace tessera {

class File;
class FileController;

class PathBar final : public QWidget {
public:
    explicit PathBar(QWidget* parent = nullptr);

    /// Called with the node of a clicked component.
    std::function<void(File&)> onChoose;
    /// Shows the ancestors of `shown` (none: empty).
    void setPath(const FileController* controller, File* shown);

private:
    QHBoxLayout* layout_;
};

} // namespace tessera
