#include "model/Directory.h"

#include "model/CheckedMath.h"
#include "model/FilePredicate.h"
#include "model/MergedFile.h"
#include "model/TreeRevision.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <vector>

namespace tessera {

// A folder's record: a file's, its sums, its child array's handle and count, and its flags.
static_assert(sizeof(Directory) == 41);

namespace {

// Child arrays live in the node store too; a freed block must hold the free list's link.
constexpr std::size_t kLeastCapacity = 2;
// The most room a child array keeps for more children: what its folder's blocks slot holds.
constexpr std::uint32_t kMostRoom = (1u << 19) - 1;

[[noreturn]] void brokenInvariant(const char* what) {
    std::fprintf(stderr, "tessera: broken tree invariant: %s\n", what);
    std::abort();
}

std::int64_t countOf(const File& file) {
    const Directory* directory = file.asDirectory();
    return directory != nullptr ? directory->fileCount() : 1;
}

} // namespace

bool comesBefore(const File& a, const File& b, SizeMode mode) {
    const std::int64_t sizeA = a.size(mode);
    const std::int64_t sizeB = b.size(mode);
    if (sizeA != sizeB) return sizeA > sizeB;
    return a.path() < b.path();
}

DirectoryPtr Directory::create(std::string_view name, Date creationDate, Date modificationDate,
                               std::vector<FilePtr> contents) {
    void* block = allocateNode(sizeof(Directory), name, creationDate, modificationDate);
    DirectoryPtr directory(new (block) Directory());
    directory->storeTrailer(name, creationDate, modificationDate);
    directory->assignContents(std::move(contents));
    directory->aggregate();
    return directory;
}

void Directory::assignContents(std::vector<FilePtr> contents) {
    if (count_ != 0) brokenInvariant("assigning contents to a directory that has some");
    if (contents.size() > std::numeric_limits<std::uint32_t>::max())
        throw std::length_error("directory with more than 2^32 entries");
    if (contents.empty()) return;
    File* placeholder = releaseChildArray();
    const std::size_t slots = contents.size() + (placeholder != nullptr ? 1 : 0);
    const std::size_t capacity = std::max<std::size_t>(slots, kLeastCapacity);
    auto* refs = static_cast<NodeRef*>(NodeStore::allocate(capacity * sizeof(NodeRef)));
    itemsRef_ = NodeStore::toRef(refs);
    blocksSlot_ = static_cast<std::uint32_t>(capacity - slots);
    if (placeholder != nullptr) {
        setFolderFlag(placeholderFlag, true);
        refs[capacity - 1] = NodeStore::toRef(placeholder);
    }
    for (FilePtr& child : contents) {
        child->setParent(this);
        refs[count_++] = NodeStore::toRef(child.release());
    }
}

std::vector<FilePtr> Directory::takeContents() {
    if (parent() != nullptr) brokenInvariant("taking the contents of an attached directory");
    std::vector<FilePtr> taken;
    taken.reserve(count_);
    for (File* child : contents()) {
        child->setParent(nullptr);
        taken.emplace_back(child);
    }
    FilePtr placeholder(releaseChildArray()); // made afresh when next asked for
    storeSizes(0, 0);
    sizeSlot_ = 1;
    return taken;
}

void Directory::aggregate() {
    std::int64_t size = 0, allocated = 0, leaves = count_ == 0 ? 1 : 0;
    for (const File* child : contents()) {
        size = checkedAdd(size, child->size());
        allocated = checkedAdd(allocated, child->allocatedSize());
        leaves += countOf(*child);
    }
    storeSizes(size, allocated);
    setFileCount(leaves);
}

void Directory::setFileCount(std::int64_t count) {
    if (count < 0 || count > std::numeric_limits<std::uint32_t>::max())
        brokenInvariant("a folder's leaf count out of range");
    sizeSlot_ = static_cast<std::uint32_t>(count);
}

bool Directory::tryAggregate() {
    std::int64_t size = 0, allocated = 0, leaves = count_ == 0 ? 1 : 0;
    for (const File* child : contents()) {
        const auto nextSize = addOrNone(size, child->size());
        const auto nextAllocated = addOrNone(allocated, child->allocatedSize());
        const auto nextLeaves = addOrNone(leaves, countOf(*child));
        if (!nextSize || !nextAllocated || !nextLeaves) return false;
        size = *nextSize;
        allocated = *nextAllocated;
        leaves = *nextLeaves;
    }
    storeSizes(size, allocated);
    setFileCount(leaves);
    return true;
}

void Directory::releaseContents(std::vector<File*>& pending) noexcept {
    for (File* child : contents())
        pending.push_back(child);
    if (File* placeholder = releaseChildArray()) pending.push_back(placeholder);
}

File* Directory::releaseChildArray() noexcept {
    File* placeholder = existingMergedContents();
    if (itemsRef_ != 0) NodeStore::release(childRefs(), capacity() * sizeof(NodeRef));
    itemsRef_ = 0;
    count_ = 0;
    blocksSlot_ = 0;
    setFolderFlag(placeholderFlag, false);
    return placeholder;
}

MergedFile* MergedFile::createFor(Directory& owner) {
    void* block = allocateNode(sizeof(MergedFile), kName, Date::distantPast(), Date::distantPast());
    auto* merged = new (block) MergedFile();
    merged->storeTrailer(kName, Date::distantPast(), Date::distantPast());
    merged->setParent(&owner);
    return merged;
}

MergedFile& Directory::mergedContents() {
    if (MergedFile* existing = existingMergedContents()) return *existing;
    if (blocksSlot_ == 0) moveChildren(std::max(capacity() + 1, kLeastCapacity), capacity());
    MergedFile* placeholder = MergedFile::createFor(*this);
    --blocksSlot_;
    setFolderFlag(placeholderFlag, true);
    childRefs()[capacity() - 1] = NodeStore::toRef(placeholder);
    return *placeholder;
}

MergedFile* Directory::existingMergedContents() const {
    if (!hasFolderFlag(placeholderFlag)) return nullptr;
    return static_cast<MergedFile*>(NodeStore::fromRef(childRefs()[capacity() - 1]));
}

void Directory::setPackageFlag(bool hideContents) {
    if (hideContents != this->hideContents()) treeDidChange();
    setFolderFlag(loadedPackageFlag, true);
    setFolderFlag(hiddenContents, hideContents);
}

std::optional<SizeMode> Directory::sizeMode() const {
    const int stored = (folderFlags_ >> sizeModeShift) & 3;
    if (stored == 0) return std::nullopt;
    return static_cast<SizeMode>(stored - 1);
}

File* Directory::fileAtPath(std::string_view path) const {
    // Depth-first, as a recursive search would go, but with an explicit stack: a directory may
    // hold two children of the same name, and the tree may be deeper than the call stack.
    struct Frame {
        const Directory* directory;
        std::string_view remainder;
        std::size_t next;
    };
    auto enter = [](const Directory& directory, std::string_view wanted,
                    std::vector<Frame>& stack) -> File* {
        const std::string_view own = directory.path();
        if (wanted == own) return const_cast<Directory*>(&directory);
        if (own.empty()) {
            if (!wanted.empty() && wanted.front() != '/') stack.push_back({&directory, wanted, 0});
        } else {
            const std::size_t prefix = own.ends_with('/') ? own.size() : own.size() + 1;
            if (wanted.size() > prefix && wanted.starts_with(own) &&
                (own.ends_with('/') || wanted[own.size()] == '/'))
                stack.push_back({&directory, wanted.substr(prefix), 0});
        }
        return nullptr;
    };
    std::vector<Frame> stack;
    if (File* found = enter(*this, path, stack)) return found;
    while (!stack.empty()) {
        Frame& frame = stack.back();
        if (frame.next == frame.directory->count()) {
            stack.pop_back();
            continue;
        }
        File* child = frame.directory->child(frame.next++);
        const std::string_view remainder = frame.remainder;
        if (const Directory* directory = child->asDirectory()) {
            if (File* found = enter(*directory, remainder, stack)) return found;
        } else if (child->path() == remainder) {
            return child;
        }
    }
    return nullptr;
}

void Directory::sortContents(SizeMode mode) {
    if (sizeMode() == mode) return;
    folderFlags_ = static_cast<std::uint8_t>((folderFlags_ & ~(3 << sizeModeShift)) |
                                             ((static_cast<int>(mode) + 1) << sizeModeShift));
    const auto node = [](NodeRef ref) { return static_cast<const File*>(NodeStore::fromRef(ref)); };
    constexpr std::uint32_t kFewChildren = 16;
    NodeRef* refs = childRefs();
    if (count_ <= kFewChildren) {
        std::stable_sort(refs, refs + count_, [&](NodeRef a, NodeRef b) {
            return comesBefore(*node(a), *node(b), mode);
        });
        return;
    }
    // The children lie anywhere in memory: their measures are read once, in order, and sorted
    // beside their handles; names are read only to order equal measures.
    struct Keyed {
        std::int64_t size;
        NodeRef ref;
    };
    thread_local std::vector<Keyed> keyed;
    keyed.resize(count_);
    constexpr std::uint32_t kFetchAhead = 8;
    for (std::uint32_t i = 0; i < count_; ++i) {
        if (i + kFetchAhead < count_) __builtin_prefetch(node(refs[i + kFetchAhead]));
        keyed[i] = {node(refs[i])->size(mode), refs[i]};
    }
    std::stable_sort(keyed.begin(), keyed.end(), [&](const Keyed& a, const Keyed& b) {
        if (a.size != b.size) return a.size > b.size;
        return node(a.ref)->path() < node(b.ref)->path();
    });
    for (std::uint32_t i = 0; i < count_; ++i)
        refs[i] = keyed[i].ref;
    constexpr std::uint32_t kKeptKeys = 1u << 20;
    if (count_ > kKeptKeys) std::vector<Keyed>().swap(keyed); // keep no huge buffer around
}

void sortTree(Directory& root, SizeMode mode) {
    std::vector<Directory*> pending{&root};
    while (!pending.empty()) {
        Directory* directory = pending.back();
        pending.pop_back();
        directory->sortContents(mode);
        for (File* child : directory->contents())
            if (Directory* sub = child->asDirectory()) pending.push_back(sub);
    }
}

std::size_t Directory::searchIndex(const File& file) const {
    const SizeMode mode = *sizeMode();
    std::size_t low = 0;
    std::size_t high = count_;
    while (low < high) {
        const std::size_t mid = (low + high) / 2;
        const File* candidate = child(mid);
        if (candidate == &file) return mid;
        if (comesBefore(file, *candidate, mode))
            high = mid;
        else
            low = mid + 1;
    }
    return low;
}

void Directory::moveChildren(std::size_t capacity, std::size_t oldCapacity) {
    auto* items = static_cast<NodeRef*>(NodeStore::allocate(capacity * sizeof(NodeRef)));
    if (count_ > 0) std::memcpy(items, childRefs(), count_ * sizeof(NodeRef));
    const bool placeholder = hasFolderFlag(placeholderFlag);
    if (placeholder) items[capacity - 1] = childRefs()[oldCapacity - 1];
    if (itemsRef_ != 0) NodeStore::release(childRefs(), oldCapacity * sizeof(NodeRef));
    itemsRef_ = NodeStore::toRef(items);
    blocksSlot_ = static_cast<std::uint32_t>(capacity - count_ - (placeholder ? 1 : 0));
}

void Directory::insertAt(std::size_t index, NodeRef ref) {
    if (blocksSlot_ == 0) {
        if (count_ == std::numeric_limits<std::uint32_t>::max() - 1)
            throw std::length_error("directory with more than 2^32 entries");
        const std::size_t room =
            std::min<std::size_t>(std::clamp<std::size_t>(count_ / 2, 4, kMostRoom),
                                  std::numeric_limits<std::uint32_t>::max() - 1 - count_);
        moveChildren(capacity() + room, capacity());
    }
    NodeRef* refs = childRefs();
    std::memmove(refs + index + 1, refs + index, (count_ - index) * sizeof(NodeRef));
    refs[index] = ref;
    ++count_;
    --blocksSlot_;
}

std::size_t Directory::insertChild(File& file) {
    const std::size_t index = sizeMode() ? searchIndex(file) : count_;
    insertAt(index, NodeStore::toRef(&file));
    resetMerge();
    return index;
}

std::size_t Directory::removeChild(File& file) {
    const NodeRef ref = NodeStore::toRef(&file);
    NodeRef* refs = childRefs();
    std::size_t index = count_;
    if (sizeMode()) {
        index = searchIndex(file);
        if (index >= count_ || refs[index] != ref)
            brokenInvariant("a sorted directory does not hold a child where its size puts it");
    } else {
        index = static_cast<std::size_t>(std::find(refs, refs + count_, ref) - refs);
        if (index == count_) brokenInvariant("removing a node that is not a child");
    }
    std::memmove(refs + index, refs + index + 1, (count_ - index - 1) * sizeof(NodeRef));
    const std::size_t capacity = this->capacity();
    --count_;
    if (blocksSlot_ < kMostRoom)
        ++blocksSlot_;
    else // more room than the slot can say: the array shrinks to half that room
        moveChildren(capacity - 1 - kMostRoom / 2, capacity);
    resetMerge();
    return index;
}

void Directory::resetMerge() {
    if (MergedFile* merged = existingMergedContents()) merged->resetMerge();
}

FileOrderBatch Directory::updateSizes(File* child, std::int64_t sizeDelta,
                                      std::int64_t allocatedSizeDelta,
                                      std::int64_t fileCountDelta) {
    // A node's sizes change only while it is out of its parent's sorted contents, so the binary
    // searches of removal stay valid. The walk up is a loop: trees can be deeper than the stack.
    treeDidChange();
    FileOrderBatch batch;
    File* moving = child;
    Directory* holder = this;
    if (moving == nullptr) {
        moving = this;
        holder = parent();
    }
    while (holder != nullptr) {
        const std::size_t oldIndex = holder->removeChild(*moving);
        moving->addToSizes(sizeDelta, allocatedSizeDelta, fileCountDelta);
        const std::size_t newIndex = holder->insertChild(*moving);
        batch.push_back(
            {moving, static_cast<std::ptrdiff_t>(oldIndex), static_cast<std::ptrdiff_t>(newIndex)});
        moving = holder;
        holder = holder->parent();
    }
    moving->addToSizes(sizeDelta, allocatedSizeDelta, fileCountDelta);
    return batch;
}

Directory::Insertion Directory::add(FilePtr file) {
    const std::int64_t countDelta = countOf(*file) - (count_ == 0 ? 1 : 0);
    FileOrderBatch batch = updateSizes(nullptr, file->size(), file->allocatedSize(), countDelta);
    File& child = *file.release();
    child.setParent(this);
    const std::size_t index = insertChild(child);
    return {index, std::move(batch)};
}

Directory::Removal Directory::remove(File& file) {
    if (file.parent() != this) brokenInvariant("removing a node that is not a child");
    const std::size_t index = removeChild(file);
    file.setParent(nullptr);
    const std::int64_t countDelta = (count_ == 0 ? 1 : 0) - countOf(file);
    FileOrderBatch batch = updateSizes(nullptr, -file.size(), -file.allocatedSize(), countDelta);
    return {FilePtr(&file), index, std::move(batch)};
}

std::vector<File*> Directory::displayedContents() {
    const MergedFile* merged = existingMergedContents();
    const std::ptrdiff_t mergedCount = merged != nullptr ? merged->mergedContentCount() : 0;
    if (mergedCount > static_cast<std::ptrdiff_t>(count_))
        brokenInvariant("merged tail longer than the contents");
    std::vector<File*> shown(contents().begin(), contents().end() - mergedCount);
    if (mergedCount > 0) shown.push_back(&mergedContents());
    return shown;
}

FilePtr Directory::filteredForSearch(const FilePredicate& predicate,
                                     const std::atomic<bool>& cancelled) const {
    return copyTree({&predicate, false, &cancelled});
}

FilePtr Directory::copyTree(const CopyRules& rules) const {
    const FilePredicate* predicate = rules.predicate;
    const auto stopped = [&rules] {
        return rules.cancelled != nullptr && rules.cancelled->load(std::memory_order_relaxed);
    };
    // Post-order with an explicit stack: each frame collects the copies of its children and
    // becomes a new directory when its last child is done.
    struct Frame {
        const Directory* source;
        std::size_t next = 0;
        std::vector<FilePtr> copies;
    };
    std::vector<Frame> stack;
    stack.push_back({this, 0, {}});
    FilePtr result;
    while (!stack.empty()) {
        if (stopped()) return nullptr; // the partial copies go with the stack
        Frame& frame = stack.back();
        if (frame.next < frame.source->count()) {
            const File* child = frame.source->child(frame.next++);
            if (const Directory* directory = child->asDirectory()) {
                stack.push_back({directory, 0, {}});
            } else if (predicate == nullptr || predicate->evaluate(*child)) {
                frame.copies.push_back(child->copy());
            }
            continue;
        }
        const bool empty = frame.copies.empty();
        DirectoryPtr built = create(frame.source->path(), frame.source->creationDate(),
                                    frame.source->modificationDate(), std::move(frame.copies));
        FilePtr kept;
        if (predicate == nullptr) {
            kept = std::move(built);
        } else if (!empty || predicate->evaluate(*built)) {
            if (rules.markExpanded) built->setExpanded(true);
            kept = std::move(built);
        }
        stack.pop_back();
        if (stack.empty())
            result = std::move(kept);
        else if (kept)
            stack.back().copies.push_back(std::move(kept));
    }
    return result;
}

} // namespace tessera
