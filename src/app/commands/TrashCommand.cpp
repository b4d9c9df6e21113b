#include "app/commands/TrashCommand.h"

#include "app/QtConversions.h"
#include "base/Paths.h"
#include "controller/FileController.h"
#include "model/Directory.h"
#include "model/Localization.h"
#include "model/Utf8.h"

#include <QMessageBox>

namespace tessera {
namespace {

void showError(QWidget* window, const char* title, const std::string& message) {
    auto* box = new QMessageBox(QMessageBox::Critical, localizedQString(title), toQString(message),
                                QMessageBox::Ok, window);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

} // namespace

TrashCommand::TrashCommand(std::shared_ptr<FileController> controller, platform::TrashedItem item,
                           std::string relativePath, QWidget* window)
    : controller_(std::move(controller)), item_(std::move(item)),
      relativePath_(std::move(relativePath)), window_(window) {
    setText(toQString(localizedFormat("menu.edit.undo.move",
                                      toDisplayString(lastComponent(item_.originalPath)))));
}

std::optional<platform::TrashedItem> TrashCommand::moveToTrash(FileController& controller,
                                                               const File& file, QWidget* window) {
    auto trashed = controller.moveToTrash(file);
    if (!trashed) {
        showError(window, "trash.error.title", trashed.error());
        return std::nullopt;
    }
    return *trashed;
}

void TrashCommand::undo() {
    if (!done_) return;
    if (auto restored = controller_->restore(item_); !restored) {
        showError(window_, "trash.restoreError.title", restored.error());
        setObsolete(true);
        return;
    }
    done_ = false;
}

void TrashCommand::redo() {
    if (done_) return; // pushed right after the move
    File* file = controller_->rootFile() != nullptr
                     ? controller_->rootFile()->fileAtPath(relativePath_)
                     : nullptr;
    if (file == nullptr) {
        setObsolete(true);
        return;
    }
    auto trashed = moveToTrash(*controller_, *file, window_);
    if (!trashed) {
        setObsolete(true);
        return;
    }
    item_ = std::move(*trashed);
    done_ = true;
}

} // namespace tessera
