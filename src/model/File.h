// A node of the file tree: a file, and the base of directories and of the merged placeholder.
//
// Nodes are compact records in the node store (NodeStore.h): no virtual table, a kind tag in the
// flags instead, 32-bit handles for the parent and children, dates in 32 bits where they fit, a
// file's length in 32 bits and its allocated blocks in 19 where they fit (a folder's sums in 48),
// and the name's bytes stored right behind the record. Names are bytes, exactly as the kernel gave
// them; the few over 255 bytes (a snapshot's root may be named by a whole path) live beside the
// store. Records are packed to the byte, so that a file's takes 20; a folder puts its leaf count
// and the room left in its child array where a file keeps its sizes.
#pragma once

#include "base/Date.h"
#include "model/FileEnums.h"
#include "model/NodeStore.h"

#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace tessera {

class Directory;
class File;
class FilePredicate;
class MergedFile;

/// Frees a node and, for a directory, everything below it (iteratively: trees can be deeper than
/// any stack).
struct NodeDeleter {
    void operator()(File* file) const noexcept;
};
using FilePtr = std::unique_ptr<File, NodeDeleter>;

/// What key-value access gives: a name, a byte count or a date.
using KeyValue = std::variant<std::string_view, std::int64_t, Date>;

#pragma pack(push, 1)
class File {
public:
    using SizeMode = tessera::SizeMode;
    using Key = tessera::FileKey;
    enum class Kind : std::uint8_t { file, directory, merged };

    /// A detached file node.
    static FilePtr create(std::string_view name, std::int64_t size, std::int64_t allocatedSize,
                          Date creationDate, Date modificationDate);

    File(const File&) = delete;
    File& operator=(const File&) = delete;

    Kind kind() const { return static_cast<Kind>((flags_ >> kindShift) & 3u); }
    bool isDirectory() const { return kind() == Kind::directory; }
    Directory* asDirectory();
    const Directory* asDirectory() const;
    MergedFile* asMerged();
    const MergedFile* asMerged() const;

    /// The node's own name, as bytes. Empty for the root of a finished scan.
    std::string_view path() const;
    void setPath(std::string_view name);
    /// The name as valid UTF-8, for display.
    std::string displayName() const;

    std::int64_t size() const;
    std::int64_t allocatedSize() const;
    Date creationDate() const;
    Date modificationDate() const;
    /// Takes new dates in place (a live node measured again). False, changing nothing, when they
    /// need wider storage than the node was made with: the node must then be built afresh.
    bool setDates(Date creation, Date modification);
    /// The directory whose contents hold this node (non-owning); none for roots and detached
    /// nodes.
    Directory* parent() const;

    /// Key-value access for predicates: "path", "size", "allocatedSize", "creationDate",
    /// "modificationDate"; none for any other key.
    std::optional<KeyValue> value(std::string_view key) const;

    std::string relativePath() const;
    /// From the topmost ancestor down to this node, inclusive.
    std::vector<File*> ancestors() const;
    bool isDescendant(const File& other) const;
    File* commonAncestor(const File& other) const;
    bool isLeaf() const;

    std::int64_t size(SizeMode mode) const;
    std::optional<std::string> sizeString(SizeMode mode) const;
    std::optional<std::string> displaySizeString(SizeMode mode) const;
    std::optional<Date> date(ColorMode mode) const;

    /// A file with several names whose size is counted at another of them (hard links counted
    /// once): this name keeps its place with no size. Always false for folders.
    bool isCountedElsewhere() const {
        return kind() == Kind::file && hasFlag(countedElsewhereFlag);
    }
    void setCountedElsewhere(bool elsewhere) {
        if (kind() == Kind::file) setFlag(countedElsewhereFlag, elsewhere);
    }

    /// A detached deep copy (a merged placeholder copies to a plain file).
    FilePtr copy() const;
    /// A detached copy of what satisfies `predicate`, or none (see Directory for the rules).
    FilePtr filtered(const FilePredicate& predicate) const;

protected:
    // The kind and the flags share five bits. A folder keeps its own flags in a byte of its
    // record.
    enum Flag : std::uint8_t {
        externalName = 1 << 0,         // renamed, or too long: the name lives outside the record
        kindShift = 1,                 // two bits: the Kind
        countedElsewhereFlag = 1 << 3, // a plain file's isCountedElsewhere
        wideSizes = 1 << 4, // a file's sizes, or a folder's sums, live in the table of wide sizes
    };
    static constexpr std::uint32_t kFlagBits = 0x1f;
    // In the creation date's slot: the dates live in 64-bit slots behind the record. No date that
    // fits 32 bits is stored as this.
    static constexpr std::uint32_t kWideDates = 0xffff'ffff;

    explicit File(Kind kind) : flags_(static_cast<std::uint32_t>(kind) << kindShift) {}
    ~File() = default;

    /// A block for a record of `recordBytes` followed by the dates (when they need 64 bits) and
    /// the name. Construct the record in it, then call storeTrailer() with the same values.
    static void* allocateNode(std::size_t recordBytes, std::string_view name, Date creation,
                              Date modification);
    void storeTrailer(std::string_view name, Date creation, Date modification);

    std::size_t blockBytes() const;
    void addToSizes(std::int64_t sizeDelta, std::int64_t allocatedSizeDelta,
                    std::int64_t fileCountDelta);
    /// A file's own sizes, or a folder's sums: in its slots where they fit, else in a table
    /// beside the store.
    void storeSizes(std::int64_t size, std::int64_t allocatedSize);
    void setParent(Directory* parent);
    bool hasFlag(std::uint8_t flag) const { return (flags_ & flag) != 0; }
    void setFlag(std::uint8_t flag, bool on) {
        flags_ = (on ? flags_ | flag : flags_ & ~std::uint32_t{flag}) & kFlagBits;
    }
    bool hasWideDates() const { return creation_ == kWideDates; }

    NodeRef parent_ = 0;
    // A plain file's length, unless wideSizes; a folder's leaf count.
    std::uint32_t sizeSlot_ = 0;
    // A plain file's allocated size in 512-byte blocks, unless wideSizes; a folder's room for
    // more children in its child array.
    std::uint32_t blocksSlot_ : 19 = 0;
    std::uint32_t nameLength_ : 8 = 0; // length of the name stored behind the record
    std::uint32_t flags_ : 5;
    std::uint32_t creation_ = 0; // 0 unknown, else Unix seconds + 1; see kWideDates
    std::uint32_t modification_ = 0;

    friend class Directory;
    friend struct NodeDeleter;

private:
    std::size_t recordBytes() const;
    const char* trailer() const;
    static void releaseExternalName(const File* file);
    std::int64_t wideSize() const;
    std::int64_t wideAllocatedSize() const;
    static void releaseWideSizes(const File* file);
};

/// A node whose sizes are the sums over its children: the base of Directory, kept here so that
/// File's size accessors stay inline. The sums take 48 bits each (256 TiB) where they fit; the
/// few larger ones (the root of a petabyte file system, or what a snapshot claims) live in the
/// table of wide sizes, as a big file's do.
class SummedNode : public File {
protected:
    explicit SummedNode(Kind kind) : File(kind) {}

    static constexpr std::int64_t kLargestSum = (std::int64_t{1} << 48) - 1;
    static constexpr std::size_t kSumBytes = 6;
    static bool fitsSums(std::int64_t size, std::int64_t allocatedSize) {
        return size >= 0 && size <= kLargestSum && allocatedSize >= 0 &&
               allocatedSize <= kLargestSum;
    }
    std::int64_t compactSum(std::size_t index) const {
        // Little-endian, the low four bytes first. Read as two loads: one 6-byte copy into a
        // 64-bit value goes through memory and stalls on the CPU's store forwarding.
        std::uint32_t low;
        std::uint16_t high;
        std::memcpy(&low, sums_ + index * kSumBytes, sizeof low);
        std::memcpy(&high, sums_ + index * kSumBytes + sizeof low, sizeof high);
        return static_cast<std::int64_t>(std::uint64_t{high} << 32 | low);
    }
    void storeCompactSums(std::int64_t size, std::int64_t allocatedSize) {
        std::memcpy(sums_, &size, kSumBytes);
        std::memcpy(sums_ + kSumBytes, &allocatedSize, kSumBytes);
    }

    std::uint8_t sums_[2 * kSumBytes] = {}; // size, then allocated size, unless wideSizes

    friend class File;
};
#pragma pack(pop)

static_assert(std::endian::native == std::endian::little, "sums are stored as little-endian");

inline std::int64_t File::size() const {
    if (hasFlag(wideSizes)) return wideSize();
    if (isDirectory()) return static_cast<const SummedNode*>(this)->compactSum(0);
    return sizeSlot_;
}

inline std::int64_t File::allocatedSize() const {
    if (hasFlag(wideSizes)) return wideAllocatedSize();
    if (isDirectory()) return static_cast<const SummedNode*>(this)->compactSum(1);
    return std::int64_t{blocksSlot_} * 512;
}

} // namespace tessera
