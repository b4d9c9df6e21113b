// Small helpers that build trees for tests.
#pragma once

#include "model/Directory.h"
#include "model/MergedFile.h"

#include <initializer_list>
#include <utility>

namespace tessera::testing {

inline const Date kCreated = Date::fromUnixSeconds(1'600'000'000);
inline const Date kModified = Date::fromUnixSeconds(1'700'000'000);

inline FilePtr file(std::string_view name, std::int64_t size, std::int64_t allocated = -1) {
    return File::create(name, size, allocated < 0 ? size : allocated, kCreated, kModified);
}

template <typename... Children> DirectoryPtr dir(std::string_view name, Children&&... children) {
    std::vector<FilePtr> contents;
    (contents.push_back(FilePtr(std::forward<Children>(children))), ...);
    return Directory::create(name, kCreated, kModified, std::move(contents));
}

/// Sums recomputed from the leaves, to compare with what the tree maintains.
struct Totals {
    std::int64_t size = 0;
    std::int64_t allocated = 0;
    std::int64_t leaves = 0;
};
inline Totals recompute(const File& node) {
    const Directory* directory = node.asDirectory();
    if (directory == nullptr) return {node.size(), node.allocatedSize(), 1};
    Totals totals;
    for (const File* child : directory->contents()) {
        const Totals sub = recompute(*child);
        totals.size += sub.size;
        totals.allocated += sub.allocated;
        totals.leaves += sub.leaves;
    }
    if (directory->count() == 0) totals.leaves = 1;
    return totals;
}

} // namespace tessera::testing
