#include "model/File.h"

#include "model/CheckedMath.h"
#include "model/Directory.h"
#include "model/FilePredicate.h"
#include "model/Formatting.h"
#include "model/Localization.h"
#include "model/MergedFile.h"
#include "model/TreeRevision.h"
#include "model/Utf8.h"

#include <cstring>
#include <limits>
#include <mutex>
#include <stdexcept>
#include <unordered_map>

namespace tessera {

// A file's record: parent, length, one word of blocks, name length, kind and flags, two dates.
static_assert(sizeof(File) == 20);

namespace {

constexpr std::uint32_t kUnknownDate = 0;
constexpr std::int64_t kLargestCompactSeconds = std::numeric_limits<std::uint32_t>::max() - 1;

std::optional<std::uint32_t> compactDate(Date date) {
    if (date.isDistantPast()) return kUnknownDate;
    if (date.seconds < 0 || date.seconds >= kLargestCompactSeconds) return std::nullopt;
    return static_cast<std::uint32_t>(date.seconds + 1);
}

Date expandDate(std::uint32_t compact) {
    return compact == kUnknownDate ? Date::distantPast() : Date::fromUnixSeconds(compact - 1);
}

bool needsWideDates(Date creation, Date modification) {
    return !compactDate(creation) || !compactDate(modification);
}

constexpr std::size_t roundUp(std::size_t bytes) {
    return (bytes + NodeStore::kGranule - 1) / NodeStore::kGranule * NodeStore::kGranule;
}

// Names of renamed nodes, and names too long for a record. Both are rare (live updates of a
// shown tree, a snapshot's root), so they pay for a map instead of every node paying for a
// pointer.
struct ExternalNames {
    std::mutex mutex;
    std::unordered_map<const File*, std::string> names;
};
ExternalNames& externalNames() {
    static ExternalNames table;
    return table;
}

// Sizes of files that do not fit the record's slots: 4 GiB and over, or an allocated size that is
// no whole number of 512-byte blocks under 256 MiB (big files, and what snapshots may hold). A disk
// holds a few of them among millions of files, so they pay for a map instead of every file paying
// for 64-bit slots.
struct WideSizeTable {
    std::mutex mutex;
    std::unordered_map<const File*, std::pair<std::int64_t, std::int64_t>> sizes;
};
WideSizeTable& wideSizeTable() {
    static WideSizeTable table;
    return table;
}

constexpr std::int64_t kBlock = 512;
constexpr std::int64_t kLargestCompactSize = std::numeric_limits<std::uint32_t>::max();
constexpr std::int64_t kLargestCompactBlocks = (std::int64_t{1} << 19) - 1;

bool fitsCompactly(std::int64_t size, std::int64_t allocatedSize) {
    return size >= 0 && size <= kLargestCompactSize && allocatedSize >= 0 &&
           allocatedSize % kBlock == 0 && allocatedSize / kBlock <= kLargestCompactBlocks;
}

// Names up to this long are stored behind the record; a longer one (no entry's name on Linux,
// but a snapshot's root may be named by a whole path) lives with the renamed ones.
constexpr std::size_t kLongestRecordName = 255;

bool fitsRecord(std::string_view name) {
    return name.size() <= kLongestRecordName;
}

} // namespace

void* File::allocateNode(std::size_t recordBytes, std::string_view name, Date creation,
                         Date modification) {
    if (name.size() > std::numeric_limits<std::uint16_t>::max())
        throw std::length_error("file name longer than 65535 bytes");
    const std::size_t dates = needsWideDates(creation, modification) ? 2 * sizeof(std::int64_t) : 0;
    const std::size_t nameBytes = fitsRecord(name) ? name.size() : 0;
    return NodeStore::allocate(roundUp(recordBytes + dates + nameBytes));
}

void File::storeTrailer(std::string_view name, Date creation, Date modification) {
    char* tail = reinterpret_cast<char*>(this) + recordBytes();
    if (needsWideDates(creation, modification)) {
        creation_ = kWideDates;
        std::memcpy(tail, &creation.seconds, sizeof(std::int64_t));
        std::memcpy(tail + sizeof(std::int64_t), &modification.seconds, sizeof(std::int64_t));
        tail += 2 * sizeof(std::int64_t);
    } else {
        creation_ = *compactDate(creation);
        modification_ = *compactDate(modification);
    }
    if (!fitsRecord(name)) {
        nameLength_ = 0;
        ExternalNames& table = externalNames();
        std::lock_guard lock(table.mutex);
        table.names[this] = std::string(name);
        setFlag(externalName, true);
        return;
    }
    nameLength_ = static_cast<std::uint8_t>(name.size());
    if (!name.empty()) std::memcpy(tail, name.data(), name.size());
}

std::size_t File::recordBytes() const {
    switch (kind()) {
    case Kind::file:
        return sizeof(File);
    case Kind::directory:
        return sizeof(Directory);
    case Kind::merged:
        return sizeof(MergedFile);
    }
    return sizeof(File);
}

const char* File::trailer() const {
    return reinterpret_cast<const char*>(this) + recordBytes();
}

std::size_t File::blockBytes() const {
    const std::size_t dates = hasWideDates() ? 2 * sizeof(std::int64_t) : 0;
    return roundUp(recordBytes() + dates + nameLength_);
}

FilePtr File::create(std::string_view name, std::int64_t size, std::int64_t allocatedSize,
                     Date creationDate, Date modificationDate) {
    void* block = allocateNode(sizeof(File), name, creationDate, modificationDate);
    auto* file = new (block) File(Kind::file);
    file->storeTrailer(name, creationDate, modificationDate);
    file->storeSizes(size, allocatedSize);
    return FilePtr(file);
}

void NodeDeleter::operator()(File* root) const noexcept {
    std::vector<File*> pending{root};
    while (!pending.empty()) {
        File* file = pending.back();
        pending.pop_back();
        if (file == nullptr) continue;
        if (Directory* directory = file->asDirectory()) directory->releaseContents(pending);
        if (file->hasFlag(File::externalName)) File::releaseExternalName(file);
        if (file->hasFlag(File::wideSizes)) File::releaseWideSizes(file);
        const std::size_t bytes = file->blockBytes();
        file->~File();
        NodeStore::release(file, bytes);
    }
}

void File::releaseExternalName(const File* file) {
    ExternalNames& table = externalNames();
    std::lock_guard lock(table.mutex);
    table.names.erase(file);
}

void File::storeSizes(std::int64_t size, std::int64_t allocatedSize) {
    auto* summed = isDirectory() ? static_cast<SummedNode*>(this) : nullptr;
    if (summed != nullptr ? SummedNode::fitsSums(size, allocatedSize)
                          : fitsCompactly(size, allocatedSize)) {
        if (summed != nullptr) {
            summed->storeCompactSums(size, allocatedSize);
        } else {
            sizeSlot_ = static_cast<std::uint32_t>(size);
            blocksSlot_ = static_cast<std::uint32_t>(allocatedSize / kBlock);
        }
        if (hasFlag(wideSizes)) {
            setFlag(wideSizes, false);
            releaseWideSizes(this);
        }
        return;
    }
    WideSizeTable& table = wideSizeTable();
    std::lock_guard lock(table.mutex);
    table.sizes[this] = {size, allocatedSize};
    setFlag(wideSizes, true);
}

std::int64_t File::wideSize() const {
    WideSizeTable& table = wideSizeTable();
    std::lock_guard lock(table.mutex);
    return table.sizes.at(this).first;
}

std::int64_t File::wideAllocatedSize() const {
    WideSizeTable& table = wideSizeTable();
    std::lock_guard lock(table.mutex);
    return table.sizes.at(this).second;
}

void File::releaseWideSizes(const File* file) {
    WideSizeTable& table = wideSizeTable();
    std::lock_guard lock(table.mutex);
    table.sizes.erase(file);
}

Directory* File::asDirectory() {
    return isDirectory() ? static_cast<Directory*>(this) : nullptr;
}
const Directory* File::asDirectory() const {
    return isDirectory() ? static_cast<const Directory*>(this) : nullptr;
}
MergedFile* File::asMerged() {
    return kind() == Kind::merged ? static_cast<MergedFile*>(this) : nullptr;
}
const MergedFile* File::asMerged() const {
    return kind() == Kind::merged ? static_cast<const MergedFile*>(this) : nullptr;
}

std::string_view File::path() const {
    if (hasFlag(externalName)) {
        ExternalNames& table = externalNames();
        std::lock_guard lock(table.mutex);
        return table.names.at(this);
    }
    const std::size_t dates = hasWideDates() ? 2 * sizeof(std::int64_t) : 0;
    return {trailer() + dates, nameLength_};
}

void File::setPath(std::string_view name) {
    if (name == path()) return;
    ExternalNames& table = externalNames();
    std::lock_guard lock(table.mutex);
    table.names[this] = std::string(name);
    setFlag(externalName, true);
}

std::string File::displayName() const {
    return toDisplayString(path());
}

Date File::creationDate() const {
    if (!hasWideDates()) return expandDate(creation_);
    Date date;
    std::memcpy(&date.seconds, trailer(), sizeof(std::int64_t));
    return date;
}

Date File::modificationDate() const {
    if (!hasWideDates()) return expandDate(modification_);
    Date date;
    std::memcpy(&date.seconds, trailer() + sizeof(std::int64_t), sizeof(std::int64_t));
    return date;
}

bool File::setDates(Date creation, Date modification) {
    treeDidChange();
    if (hasWideDates()) {
        char* tail = reinterpret_cast<char*>(this) + recordBytes();
        std::memcpy(tail, &creation.seconds, sizeof(std::int64_t));
        std::memcpy(tail + sizeof(std::int64_t), &modification.seconds, sizeof(std::int64_t));
        return true;
    }
    const auto compactCreation = compactDate(creation);
    const auto compactModification = compactDate(modification);
    if (!compactCreation || !compactModification) return false;
    creation_ = *compactCreation;
    modification_ = *compactModification;
    return true;
}

Directory* File::parent() const {
    return static_cast<Directory*>(NodeStore::fromRef(parent_));
}

void File::setParent(Directory* parent) {
    parent_ = NodeStore::toRef(parent);
}

void File::addToSizes(std::int64_t sizeDelta, std::int64_t allocatedSizeDelta,
                      std::int64_t fileCountDelta) {
    storeSizes(checkedAdd(size(), sizeDelta), checkedAdd(allocatedSize(), allocatedSizeDelta));
    if (Directory* directory = asDirectory())
        directory->setFileCount(checkedAdd(directory->fileCount(), fileCountDelta));
}

std::optional<KeyValue> File::value(std::string_view key) const {
    if (key == "path") return KeyValue{path()};
    if (key == "size") return KeyValue{size()};
    if (key == "allocatedSize") return KeyValue{allocatedSize()};
    if (key == "creationDate") return KeyValue{creationDate()};
    if (key == "modificationDate") return KeyValue{modificationDate()};
    return std::nullopt;
}

std::string File::relativePath() const {
    // The join rule applied in place, so that deep paths cost their length, not its square.
    std::string path;
    for (const File* node : ancestors()) {
        const std::string_view name = node->path();
        if (name.empty()) continue;
        if (!path.empty() && path != "/") path += '/';
        path += name;
    }
    return path;
}

std::vector<File*> File::ancestors() const {
    std::vector<File*> chain;
    for (auto* node = const_cast<File*>(this); node != nullptr; node = node->parent())
        chain.push_back(node);
    return {chain.rbegin(), chain.rend()};
}

bool File::isDescendant(const File& other) const {
    for (const File* node = this; node != nullptr; node = node->parent())
        if (node == &other) return true;
    return false;
}

File* File::commonAncestor(const File& other) const {
    const auto mine = ancestors();
    const auto theirs = other.ancestors();
    for (std::size_t i = std::min(mine.size(), theirs.size()); i > 0; --i)
        if (mine[i - 1] == theirs[i - 1]) return mine[i - 1];
    return nullptr;
}

bool File::isLeaf() const {
    if (const Directory* directory = asDirectory())
        return directory->hideContents() || directory->count() == 0;
    return true;
}

std::int64_t File::size(SizeMode mode) const {
    if (const MergedFile* merged = asMerged()) return merged->mergedDisplaySize();
    switch (mode) {
    case SizeMode::fileSize:
        return size();
    case SizeMode::allocatedFileSize:
        return allocatedSize();
    case SizeMode::childCount: {
        const Directory* directory = asDirectory();
        return directory != nullptr ? directory->fileCount() : 1;
    }
    }
    return size();
}

std::optional<std::string> File::sizeString(SizeMode mode) const {
    if (const MergedFile* merged = asMerged())
        return mode == SizeMode::childCount ? formatCount(merged->mergedContentCount())
                                            : formatByteCount(merged->mergedDisplaySize());
    switch (mode) {
    case SizeMode::fileSize:
        return formatByteCount(size());
    case SizeMode::allocatedFileSize:
        return formatByteCount(allocatedSize());
    case SizeMode::childCount:
        if (const Directory* directory = asDirectory()) return formatCount(directory->fileCount());
        return std::nullopt;
    }
    return std::nullopt;
}

std::optional<std::string> File::displaySizeString(SizeMode mode) const {
    const MergedFile* merged = asMerged();
    switch (mode) {
    case SizeMode::fileSize:
        return formatByteCount(merged != nullptr ? merged->mergedDisplaySize() : size());
    case SizeMode::allocatedFileSize:
        return localizedFormat(
            "file.display.allocatedSize",
            formatByteCount(merged != nullptr ? merged->mergedDisplaySize() : allocatedSize()));
    case SizeMode::childCount:
        if (merged != nullptr)
            return localizedCountFormat("file.display.childCount", merged->mergedDisplaySize());
        if (const Directory* directory = asDirectory())
            return localizedCountFormat("file.display.childCount", directory->fileCount());
        return std::nullopt;
    }
    return std::nullopt;
}

std::optional<Date> File::date(ColorMode mode) const {
    Date date;
    switch (mode) {
    case ColorMode::hueWheel:
    case ColorMode::fileType:
    case ColorMode::change:
        return std::nullopt;
    case ColorMode::creationDate:
        date = creationDate();
        break;
    case ColorMode::modificationDate:
        date = modificationDate();
        break;
    }
    if (date.isDistantPast()) return std::nullopt;
    return date;
}

FilePtr File::copy() const {
    if (const Directory* directory = asDirectory()) return directory->copyTree({});
    FilePtr copied = create(path(), size(), allocatedSize(), creationDate(), modificationDate());
    copied->setCountedElsewhere(isCountedElsewhere());
    return copied;
}

FilePtr File::filtered(const FilePredicate& predicate) const {
    if (const Directory* directory = asDirectory()) return directory->copyTree({&predicate});
    return predicate.evaluate(*this) ? copy() : nullptr;
}

} // namespace tessera
