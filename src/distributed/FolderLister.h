// Lists the folders of a distributed scan into records, one thread at a time per lister: the
// work one process does on the folders it holds.
#pragma once

#include "distributed/FolderRecords.h"
#include "scan/ParallelWalk.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tessera {
class Predicate;
}

namespace tessera::distributed {

class FolderLister {
public:
    /// `exclusion` leaves out entries whose absolute path it matches (none: nothing is left
    /// out); `newId` numbers the records of the subfolders met, on the lister's thread.
    FolderLister(const Predicate* exclusion, const std::atomic<bool>* cancelled,
                 std::function<std::uint64_t()> newId);
    // Its hooks know it by address.
    FolderLister(const FolderLister&) = delete;
    FolderLister& operator=(const FolderLister&) = delete;

    /// Lists `unit` and then, while the folder just listed has subfolders, goes on with the
    /// first of them opened relative to its parent, as the local walk does (a deep chain costs
    /// one short open per level). Appends a record for each folder listed, and one for each
    /// unreadable entry, to `records`; returns the other subfolders in the order they were met.
    /// A folder that cannot be opened gets an empty record and an error.
    std::vector<FolderUnit> list(FolderUnit unit, std::string& records);

    /// Entries left out by the exclusion so far.
    std::uint64_t excludedCount() const { return excluded_; }

    /// Records the files met with several names too (for counting them once).
    void keepLinks() { keepsLinks_ = true; }

private:
    WalkHooks hooks_;
    std::function<std::uint64_t()> newId_;
    std::string* records_ = nullptr;
    std::uint64_t excluded_ = 0;
    bool keepsLinks_ = false;
};

} // namespace tessera::distributed
