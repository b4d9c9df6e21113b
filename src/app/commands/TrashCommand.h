// Moving a file of a live tree to the trash as an undoable step: undo puts it back where it was,
// redo moves it to the trash again. Failures are shown as error dialogs and change nothing.
#pragma once

#include "platform/Trash.h"

#include <QUndoCommand>
#include <memory>
#include <string>

class QWidget;

namespace tessera {

class FileController;

class TrashCommand final : public QUndoCommand {
public:
    /// `item` was just moved to the trash by `controller`; `relativePath` was its place in the
    /// tree. Errors are shown over `window`.
    TrashCommand(std::shared_ptr<FileController> controller, platform::TrashedItem item,
                 std::string relativePath, QWidget* window);

    void undo() override;
    /// The first call (when the command is pushed) does nothing: the move has been made.
    void redo() override;

    /// Moves the tree's node to the trash and shows an error if that fails; the trashed item
    /// on success.
    static std::optional<platform::TrashedItem>
    moveToTrash(FileController& controller, const class File& file, QWidget* window);

private:
    std::shared_ptr<FileController> controller_;
    platform::TrashedItem item_;
    std::string relativePath_;
    QWidget* window_;
    bool done_ = true;
};

} // namespace tessera
