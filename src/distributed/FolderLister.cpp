#include "distributed/FolderLister.h"

#include "base/Paths.h"
#include "platform/FileSystem.h"
#include "scan/WalkedEntries.h"

namespace tessera::distributed {

FolderLister::FolderLister(const Predicate* exclusion, const std::atomic<bool>* cancelled,
                           std::function<std::uint64_t()> newId)
    : newId_(std::move(newId)) {
    hooks_.cancelled = cancelled;
    hooks_.exclusion = exclusion;
    hooks_.onError = [this](std::string path, int errorNumber) {
        writeErrorRecord(*records_, path, errorNumber);
    };
    hooks_.onExclude = [this](std::string) { ++excluded_; };
}

std::vector<FolderUnit> FolderLister::list(FolderUnit unit, std::string& records) {
    records_ = &records;
    std::vector<FolderUnit> others;
    std::string path = std::move(unit.path);
    std::uint64_t id = unit.id;
    std::uint64_t device = unit.device;
    std::expected<platform::UniqueFd, int> opened = platform::openDirectory(path);
    for (;;) {
        FolderRecordWriter record(records);
        record.begin(id);
        std::uint32_t index = 0;
        struct Link {
            std::uint32_t index;
            std::uint64_t device, inode;
        };
        std::vector<Link> links;
        // The first subfolder met is listed next by this thread; the others become units.
        std::optional<FolderUnit> next;
        if (!opened) {
            writeErrorRecord(records, path, opened.error());
        } else {
            const int readError = forEachWalkedEntry(
                opened->get(), device, hooks_, [&]() -> const std::string& { return path; },
                [&](std::string_view name, const platform::EntryStatus& status) {
                    RecordEntry entry{name, status.isDirectory, status.creationDate,
                                      status.modificationDate};
                    if (status.isDirectory) {
                        entry.folderId = newId_();
                        FolderUnit sub{entry.folderId, status.device, {}};
                        if (next) {
                            sub.path = joinPath(path, name);
                            others.push_back(std::move(sub));
                        } else {
                            sub.path = std::string(name); // joined below, once chosen
                            next = std::move(sub);
                        }
                    } else {
                        entry.size = status.size;
                        entry.allocatedSize = status.allocatedSize;
                        if (keepsLinks_ && status.linkCount > 1)
                            links.push_back({index, status.device, status.inode});
                    }
                    record.add(entry);
                    ++index;
                },
                [] {});
            if (readError != 0) writeErrorRecord(records, path, readError);
        }
        record.end();
        for (const Link& link : links)
            writeLinkRecord(records, id, link.index, link.device, link.inode);
        const bool cancelled = hooks_.cancelled != nullptr && hooks_.cancelled->load();
        if (!next || cancelled) break; // a cancelled scan is dropped whole
        opened = opened ? platform::openDirectoryAt(opened->get(), next->path.c_str())
                        : platform::openDirectory(joinPath(path, next->path));
        if (path != "/") path += '/';
        path += next->path;
        id = next->id;
        device = next->device;
    }
    records_ = nullptr;
    return others;
}

} // namespace tessera::distributed
