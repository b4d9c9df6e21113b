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
    /// `file` took new figures or dates in place. With new sizes it moved from `oldIndex` to
    /// `newIndex` of its parent (told as a move, the same index when it kept its place), and
    /// `batch` is what that did to its ancestors; with new dates alone it is told as a change.
    void change(File& file, bool resized, std::size_t oldIndex, std::size_t newIndex,
                const FileOrderBatch& batch);

private:
    void retire(FilePtr file);

    std::span<FileControllerObserver* const> observers_;
    MainQueue& mainQueue_;
};

/// Tells `observer` of the order changes in `batch` (ancestors that kept their place are left
/// out).
void reportOrderChanges(FileControllerObserver& observer, const FileOrderBatch& batch);

/// `path` in quotation marks, for diagnostics.
std::string quotedPath(std::string_view path);

} // namespace tessera
