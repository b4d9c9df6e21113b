#include "distributed/TreeAssembly.h"

#include <algorithm>
#include <limits>
#include <tuple>
#include <utility>

namespace tessera::distributed {
namespace {

RecordEntry readEntry(ByteReader& reader) {
    RecordEntry entry;
    const std::uint8_t kind = reader.byte();
    if (kind > 1) throw RecordError("a folder record holds an entry of unknown kind");
    entry.isFolder = kind == 1;
    entry.name = reader.text();
    entry.creationDate = Date::fromUnixSeconds(reader.i64());
    entry.modificationDate = Date::fromUnixSeconds(reader.i64());
    if (entry.isFolder) {
        entry.folderId = reader.u64();
    } else {
        entry.size = reader.i64();
        entry.allocatedSize = reader.i64();
    }
    if (entry.name.empty() || entry.name.find('/') != std::string_view::npos)
        throw RecordError("a folder record holds an entry without a proper name");
    return entry;
}

} // namespace

void TreeAssembly::add(std::string batch,
                       const std::function<void(std::string_view path, int error)>& onError) {
    if (batch.size() > std::numeric_limits<std::uint32_t>::max())
        throw RecordError("a batch of records is too large");
    const auto batchIndex = static_cast<std::uint32_t>(batches_.size());
    ByteReader reader(batch);
    std::uint32_t folders = 0;
    while (!reader.atEnd()) {
        const auto kind = static_cast<RecordKind>(reader.byte());
        if (kind == RecordKind::error) {
            const std::string_view path = reader.text();
            onError(path, static_cast<int>(reader.i64()));
        } else if (kind == RecordKind::link) {
            Link link{reader.u64(), reader.u32(), reader.u64(), reader.u64()};
            links_.push_back(link);
        } else if (kind == RecordKind::folder) {
            const std::uint64_t id = reader.u64();
            const auto offset = static_cast<std::uint32_t>(reader.offset());
            if (!places_.emplace(id, Place{batchIndex, offset}).second)
                throw RecordError("a folder was listed twice");
            ++folders;
            const std::uint32_t count = reader.u32();
            for (std::uint32_t i = 0; i < count; ++i)
                readEntry(reader);
        } else {
            throw RecordError("a record of unknown kind");
        }
    }
    batches_.push_back(std::move(batch));
    unbuilt_.push_back(folders);
}

void TreeAssembly::build(Directory& root, std::uint64_t rootId) {
    // Folders in the order they were filled, each before what it holds: adding them up in the
    // reverse order finishes every folder's children first. No recursion: chains may be deeper
    // than any stack.
    // The links, by folder, so that each folder's are found as it is filled.
    std::sort(links_.begin(), links_.end(), [](const Link& a, const Link& b) {
        return std::tie(a.folderId, a.index) < std::tie(b.folderId, b.index);
    });
    std::vector<Directory*> filled;
    std::vector<std::pair<Directory*, std::uint64_t>> pending{{&root, rootId}};
    std::vector<FilePtr> children;
    while (!pending.empty()) {
        auto [folder, id] = pending.back();
        pending.pop_back();
        const auto place = places_.find(id);
        if (place == places_.end()) throw RecordError("the record of a listed folder is missing");
        const std::uint32_t batchIndex = place->second.batch;
        std::string& batch = batches_[batchIndex];
        ByteReader reader(std::string_view(batch).substr(place->second.offset));
        places_.erase(place); // a second reference to it would be a fault
        const std::uint32_t count = reader.u32();
        children.clear();
        children.reserve(count);
        for (std::uint32_t i = 0; i < count; ++i) {
            const RecordEntry entry = readEntry(reader);
            if (entry.isFolder) {
                DirectoryPtr sub =
                    Directory::create(entry.name, entry.creationDate, entry.modificationDate, {});
                pending.emplace_back(sub.get(), entry.folderId);
                children.push_back(std::move(sub));
            } else {
                children.push_back(File::create(entry.name, entry.size, entry.allocatedSize,
                                                entry.creationDate, entry.modificationDate));
            }
        }
        auto link = std::lower_bound(links_.begin(), links_.end(), id,
                                     [](const Link& candidate, std::uint64_t wanted) {
                                         return candidate.folderId < wanted;
                                     });
        for (; link != links_.end() && link->folderId == id; ++link) {
            if (link->index >= children.size() || children[link->index]->asDirectory() != nullptr)
                throw RecordError("a file with several names out of its folder's entries");
            link->node = children[link->index].get();
        }
        folder->assignContents(std::move(children));
        filled.push_back(folder);
        if (--unbuilt_[batchIndex] == 0) std::string().swap(batch);
    }
    if (!places_.empty()) throw RecordError("a folder was listed that no folder holds");
    for (const Link& link : links_)
        if (link.node == nullptr) throw RecordError("a file with several names in no folder");
    for (auto it = filled.rbegin(); it != filled.rend(); ++it)
        (*it)->aggregate();
    batches_.clear();
    batches_.shrink_to_fit();
    unbuilt_.clear();
    places_.clear();
}

std::vector<LinkedName> TreeAssembly::linkedNames(const std::string& rootPath) const {
    std::vector<LinkedName> names;
    names.reserve(links_.size());
    const std::string prefix = rootPath == "/" ? "/" : rootPath + "/";
    for (const Link& link : links_)
        names.push_back({prefix + link.node->relativePath(), link.device, link.inode});
    return names;
}

} // namespace tessera::distributed
