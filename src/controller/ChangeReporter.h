// Tells each observer of one change of the tree, in the observer's own view of it: the full tree,
// or the filtered copy it shows, which is brought along with the change.
#pragma once

#include "model/File.h"
#include "model/FileOrderChange.h"

#include <cstddef>
#include <span>
#include <string>

namespace tessera {

class Directory;
class FileControllerObserver;
class MainQueue;

class ChangeReporter {
public:
    /// `observers` in the order they are told. Removed nodes (of the tree or of a filtered
    /// copy) are kept until `mainQueue`'s next task.
    ChangeReporter(std::span<FileControllerObserver* const> observers, MainQueue& mainQueue)
        : observers_(observers), mainQueue_(mainQueue) {}

    /// A node now at `index` of `parent`; `batch` is what its insertion did to the order.
    void insertion(Directory& parent, std::size_t index, const FileOrderBatch& batch);
    /// `file` (detached, owned by the caller until this returns) was at `index` of `parent`.
    void removal(FilePtr file, Directory& parent, std::size_t index, const FileOrderBatch& batch);
    /// A node moved from (`oldParent`, `oldIndex`) to (`newParent`, `newIndex`); its old name
    /// was `oldName`. `removed` and `added` are the batches of the two halves.
    void move(Directory& oldParent, std::size_t oldIndex, std::string_view oldName,
              Directory& newParent, std::size_t newIndex, const FileOrderBatch& removed,
              const FileOrderBatch& added);

private:
    void sendBatch(FileControllerObserver& observer, const FileOrderBatch& batch);
    void sendMoves(FileControllerObserver& observer, const FileOrderBatch& batch);
    void insertCopy(FileControllerObserver& observer, File& file, Directory& parent);
    void removeCopy(FileControllerObserver& observer, const std::string& path);
    void retire(FilePtr file);

    std::span<FileControllerObserver* const> observers_;
    MainQueue& mainQueue_;
};

/// `path` in quotation marks, for diagnostics.
std::string quotedPath(std::string_view path);

} // namespace tessera
