// The path control of a document window: one button per folder from the root down to the shown
// file, named as the file controller names them. Clicking one but the last shows that folder.
// It takes the toolbar's free width: when the path is longer, its first folders give way to an
// ellipsis button whose menu lists them, so that the path never pushes the search field out of
// the toolbar.
#pragma once

#include <QWidget>
#include <functional>
#include <vector>

class QHBoxLayout;
class QLabel;
class QMenu;
class QToolButton;

namespace tessera {

class File;
class FileController;

class PathBar final : public QWidget {
    Q_OBJECT

public:
    explicit PathBar(QWidget* parent = nullptr);

    /// Called with the node of a clicked component.
    std::function<void(File&)> onChoose;
    /// Shows the ancestors of `shown` (none: empty).
    void setPath(const FileController* controller, File* shown);

    /// The folders shown by name; the others are in the ellipsis button's menu.
    int shownComponentCount() const;
    /// Its last button in the order Tab goes (the shown file's, once there is one).
    QWidget* lastButton() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    struct Component {
        File* node;
        QLabel* separator; // before the button; none for the first
        QToolButton* button;
        QString name;
    };
    /// Shows the last components that fit the width, the rest behind the ellipsis.
    void fit();
    int widthOf(const Component& component) const;

    QHBoxLayout* layout_;
    QToolButton* ellipsis_;
    QMenu* hidden_;
    std::vector<Component> components_;
};

} // namespace tessera
