// A directory node: its children, their ordering by a measure, and the size changes that travel
// up the tree.
#pragma once

#include "model/File.h"
#include "model/FileOrderChange.h"

#include <atomic>
#include <iterator>
#include <span>

namespace tessera {

class Directory;
using DirectoryPtr = std::unique_ptr<Directory, NodeDeleter>;

#pragma pack(push, 1)
class Directory : public SummedNode {
public:
    /// A detached directory that takes ownership of `contents` in the given order and aggregates
    /// their sizes and leaf counts.
    static DirectoryPtr create(std::string_view name, Date creationDate, Date modificationDate,
                               std::vector<FilePtr> contents);

    /// For tree builders (the scan): gives an empty directory its children in order without
    /// adding up their sizes. Call aggregate() once every child's own totals are final.
    void assignContents(std::vector<FilePtr> contents);
    /// For detached trees: hands the children over in order and leaves this directory empty,
    /// with the totals of an empty folder.
    std::vector<FilePtr> takeContents();
    /// Sets this directory's totals to the sums over its children (one level, checked).
    void aggregate();
    /// aggregate() for untrusted trees: false, with the totals unchanged, when a sum would
    /// leave the 64-bit range.
    bool tryAggregate();

    /// Iterates the children as File pointers.
    class Children {
    public:
        class Iterator {
        public:
            using iterator_category = std::random_access_iterator_tag;
            using value_type = File*;
            using difference_type = std::ptrdiff_t;
            using pointer = File* const*;
            using reference = File*;
            Iterator() = default;
            explicit Iterator(const NodeRef* at) : at_(at) {}
            File* operator*() const { return static_cast<File*>(NodeStore::fromRef(*at_)); }
            File* operator[](difference_type n) const { return *(*this + n); }
            Iterator& operator++() { return ++at_, *this; }
            Iterator operator++(int) { return Iterator(at_++); }
            Iterator& operator--() { return --at_, *this; }
            Iterator operator--(int) { return Iterator(at_--); }
            Iterator& operator+=(difference_type n) { return at_ += n, *this; }
            Iterator& operator-=(difference_type n) { return at_ -= n, *this; }
            friend Iterator operator+(Iterator it, difference_type n) { return it += n; }
            friend Iterator operator+(difference_type n, Iterator it) { return it += n; }
            friend Iterator operator-(Iterator it, difference_type n) { return it -= n; }
            friend difference_type operator-(Iterator a, Iterator b) { return a.at_ - b.at_; }
            friend auto operator<=>(Iterator, Iterator) = default;

        private:
            const NodeRef* at_ = nullptr;
        };
        Children(const NodeRef* begin, std::size_t count) : begin_(begin), count_(count) {}
        Iterator begin() const { return Iterator(begin_); }
        Iterator end() const { return Iterator(begin_ + count_); }
        std::size_t size() const { return count_; }
        bool empty() const { return count_ == 0; }
        File* operator[](std::size_t i) const { return *Iterator(begin_ + i); }

    private:
        const NodeRef* begin_;
        std::size_t count_;
    };

    Children contents() const { return Children(childRefs(), count_); }
    std::size_t count() const { return count_; }
    File* child(std::size_t index) const { return contents()[index]; }
    /// Starts loading the first children's handles into the cache, ahead of a walk over them.
    void prefetchContents() const { __builtin_prefetch(childRefs()); }

    /// Leaves below this directory; an empty directory is a leaf and counts 1.
    std::int64_t fileCount() const { return sizeSlot_; }

    /// The placeholder for the merged tail, created on first use; its parent is this directory.
    MergedFile& mergedContents();
    /// The placeholder if it exists, without creating it.
    MergedFile* existingMergedContents() const;

    bool expanded() const { return hasFolderFlag(expandedFlag); }
    void setExpanded(bool expanded) { setFolderFlag(expandedFlag, expanded); }
    bool didLoadPackageFlag() const { return hasFolderFlag(loadedPackageFlag); }
    bool hideContents() const { return hasFolderFlag(hiddenContents); }
    /// Records the package flag; happens at most once per node.
    void setPackageFlag(bool hideContents);

    /// A folder of the picture of a scan still running whose walk has not finished below it.
    bool isBeingRead() const { return hasFolderFlag(beingReadFlag); }
    void setBeingRead(bool reading) { setFolderFlag(beingReadFlag, reading); }

    /// The measure `contents` is sorted by; none while unsorted (scan order).
    std::optional<SizeMode> sizeMode() const;

    /// Looks up a node by the path `relativePath` gives, starting with this directory's own name.
    File* fileAtPath(std::string_view path) const;

    /// Sorts the contents by `mode` (size descending, then name ascending), stably; nothing
    /// happens when they are already sorted by `mode`.
    void sortContents(SizeMode mode);

    struct Insertion {
        std::size_t index;
        FileOrderBatch batch;
    };
    /// Attaches a detached node as a child and updates the totals of this directory and its
    /// ancestors.
    Insertion add(FilePtr file);

    struct Removal {
        FilePtr file;
        std::size_t index;
        FileOrderBatch batch;
    };
    /// Detaches a child and updates the totals. `file` must be a child.
    Removal remove(File& file);

    /// Applies size and leaf-count deltas to `child` (may be null) and to every ancestor,
    /// moving each to its new sorted place. Returns one entry per moved node, deepest first.
    FileOrderBatch updateSizes(File* child, std::int64_t sizeDelta, std::int64_t allocatedSizeDelta,
                               std::int64_t fileCountDelta);

    /// The contents with the merged tail replaced by the placeholder.
    std::vector<File*> displayedContents();

    /// What a search shows: like filtered(by:), but the folders it builds are not marked
    /// expanded, and `cancelled` is checked before every child; a cancelled filter gives none.
    FilePtr filteredForSearch(const FilePredicate& predicate,
                              const std::atomic<bool>& cancelled) const;

private:
    friend class File;
    friend struct NodeDeleter;

    enum FolderFlag : std::uint8_t {
        expandedFlag = 1 << 0,
        loadedPackageFlag = 1 << 1,
        hiddenContents = 1 << 2,
        beingReadFlag = 1 << 3,
        sizeModeShift = 4,        // two bits: 0 none, else 1 + SizeMode
        placeholderFlag = 1 << 6, // the child array's last slot holds the merged placeholder
    };

    Directory() : SummedNode(Kind::directory) {}

    bool hasFolderFlag(std::uint8_t flag) const { return (folderFlags_ & flag) != 0; }
    void setFolderFlag(std::uint8_t flag, bool on) {
        folderFlags_ = static_cast<std::uint8_t>(on ? folderFlags_ | flag : folderFlags_ & ~flag);
    }
    std::size_t capacity() const {
        return std::size_t{count_} + blocksSlot_ + (hasFolderFlag(placeholderFlag) ? 1 : 0);
    }
    void moveChildren(std::size_t capacity, std::size_t oldCapacity);

    std::size_t searchIndex(const File& file) const;
    std::size_t insertChild(File& file);
    std::size_t removeChild(File& file);
    void insertAt(std::size_t index, NodeRef ref);
    void resetMerge();
    void setFileCount(std::int64_t count);
    /// Frees the child array, leaving no children; gives back the placeholder it held, if any.
    File* releaseChildArray() noexcept;
    void releaseContents(std::vector<File*>& pending) noexcept;
    struct CopyRules {
        const FilePredicate* predicate = nullptr; // none: copy everything
        bool markExpanded = true;                 // filtered folders are shown expanded
        const std::atomic<bool>* cancelled = nullptr;
    };
    FilePtr copyTree(const CopyRules& rules) const;

    NodeRef* childRefs() const { return static_cast<NodeRef*>(NodeStore::fromRef(itemsRef_)); }

    // The leaf count lives in the record's size slot: every leaf is a node of the store, whose
    // handles are 32 bits, so it fits 32 bits too. The child array holds the children, room for
    // as many more as the blocks slot says, then the merged placeholder's handle where there is
    // one (placeholderFlag): only folders a graph has drawn pay for it.
    NodeRef itemsRef_ = 0; // the child array in the node store
    std::uint32_t count_ = 0;
    std::uint8_t folderFlags_ = 0;
};
#pragma pack(pop)

/// A folder of the picture of a scan still running that is still being read, or an entry of
/// such a folder's files.
inline bool isBeingRead(const File& file) {
    const Directory* folder = file.isDirectory() ? file.asDirectory() : file.parent();
    return folder != nullptr && folder->isBeingRead();
}

/// Sorts every folder of the tree below `root` by `mode` (iteratively; folders already sorted by
/// `mode` stay as they are).
void sortTree(Directory& root, SizeMode mode);

/// True when `a` comes before `b` in a directory sorted by `mode`: larger first, then by name
/// in plain byte order.
bool comesBefore(const File& a, const File& b, SizeMode mode);

} // namespace tessera
