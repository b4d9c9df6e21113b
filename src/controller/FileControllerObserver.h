// What the views of a tree (the graph, the outline, the document) hear from its controller. Every
// call comes on the main thread.
#pragma once

#include <cstddef>

namespace tessera {

class Directory;
class File;
class FilePredicate;
struct ScanProgress;

class FileControllerObserver {
public:
    virtual ~FileControllerObserver() = default;

    /// A scan reports progress while the controller has no tree yet.
    virtual void fileControllerDidUpdateProgress(const ScanProgress& /*progress*/) {}
    /// The first scan's tree has become the controller's root.
    virtual void fileControllerDidLoadRootFile() {}

    /// The root of the tree this observer shows: the controller's root, or a filtered copy of
    /// it. An observer answering none hears of no change.
    virtual Directory* observedRootFile() const = 0;
    /// The filter of the copy this observer shows; none when it shows the full tree.
    virtual const FilePredicate* observedFilter() const { return nullptr; }

    /// A node was inserted at `index` of `parent`'s contents.
    virtual void fileControllerDidInsert(Directory& /*parent*/, std::size_t /*index*/) {}
    /// A node moved; it is now `newParent`'s child at `newIndex`.
    virtual void fileControllerDidMove(Directory& /*oldParent*/, std::size_t /*oldIndex*/,
                                       Directory& /*newParent*/, std::size_t /*newIndex*/) {}
    /// `file` was removed from `index` of `parent`'s contents. It stays valid until the main
    /// queue's next task, so that the observer can still compare it with what it shows.
    virtual void fileControllerDidRemove(File& /*file*/, Directory& /*parent*/,
                                         std::size_t /*index*/) {}
    /// One entry of an order-change batch: `file` moved inside its own parent.
    virtual void fileControllerDidChangeOrder(File& /*file*/, std::ptrdiff_t /*oldIndex*/,
                                              std::ptrdiff_t /*newIndex*/) {}
    /// A node changed without moving (the root after the location moved).
    virtual void fileControllerDidChange(File& /*file*/) {}
    /// The location is gone; the controller has no tree any more.
    virtual void fileControllerDidClose() {}
    /// How many entries the tree leaves out (unreadable, or excluded by the filter) changed,
    /// whether or not the tree did (a folder that cannot be read any more, say, but was empty).
    virtual void fileControllerDidChangeLeftOut() {}
};

} // namespace tessera
