#include "snapshot/SnapshotMerge.h"

#include "base/Paths.h"
#include "snapshot/StoredName.h"

#include <algorithm>
#include <set>

namespace tessera {

std::string defaultMergeName(const File& root, std::string_view fallback) {
    std::string_view name = root.path();
    while (name.size() > 1 && name.ends_with('/'))
        name.remove_suffix(1);
    name = lastComponent(name);
    if (name.empty() || name == "/" || name == "." || name == "..") name = fallback;
    return std::string(name);
}

std::vector<std::string> uniqueMergeNames(std::vector<std::string> names) {
    std::set<std::string> taken(names.begin(), names.end());
    std::set<std::string> used;
    for (std::string& name : names) {
        if (used.insert(name).second) continue;
        std::string candidate;
        for (int n = 2;; ++n) {
            candidate = name + " " + std::to_string(n);
            if (!taken.contains(candidate) && !used.contains(candidate)) break;
        }
        name = candidate;
        used.insert(name);
    }
    return names;
}

std::expected<DirectoryPtr, std::string> mergeTrees(std::vector<FilePtr> trees,
                                                    const std::vector<std::string>& names) {
    if (names.size() != trees.size())
        return std::unexpected(std::to_string(names.size()) + " names for " +
                               std::to_string(trees.size()) + " trees");
    std::set<std::string_view> seen;
    Date latest = Date::distantPast();
    for (std::size_t i = 0; i < trees.size(); ++i) {
        if (const auto problem = entryNameProblem(names[i]))
            return std::unexpected("the name \"" + names[i] + "\": " + std::string(*problem));
        if (!seen.insert(names[i]).second)
            return std::unexpected("the name \"" + names[i] + "\" is given twice");
        trees[i]->setPath(names[i]);
        latest = std::max(latest, trees[i]->modificationDate());
    }
    DirectoryPtr root = Directory::create("", latest, latest, {});
    root->assignContents(std::move(trees));
    if (!root->tryAggregate())
        return std::unexpected(std::string("the sizes add up beyond 64 bits"));
    return root;
}

} // namespace tessera
