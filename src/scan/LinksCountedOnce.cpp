#include "scan/LinksCountedOnce.h"

#include "model/Directory.h"

#include <algorithm>
#include <tuple>
#include <unordered_map>

namespace tessera {
namespace {

// A node's place in the graph's order: its rank among its siblings at each level, from the root
// down. Places compare as the depth-first walk of the graph meets them.
std::vector<std::size_t> placeOf(const File& node, SizeMode mode,
                                 std::unordered_map<const File*, std::size_t>& ranks) {
    std::vector<std::size_t> place;
    for (const File* at = &node; at->parent() != nullptr; at = at->parent()) {
        auto [known, added] = ranks.try_emplace(at, 0);
        if (added) {
            for (const File* sibling : at->parent()->contents())
                if (sibling != at && comesBefore(*sibling, *at, mode)) ++known->second;
        }
        place.push_back(known->second);
    }
    std::reverse(place.begin(), place.end());
    return place;
}

// The node of `nodes` that the graph's order meets first.
File* firstOf(std::span<File* const> nodes, SizeMode mode,
              std::unordered_map<const File*, std::size_t>& ranks) {
    File* first = nullptr;
    std::vector<std::size_t> firstPlace;
    for (File* node : nodes) {
        std::vector<std::size_t> place = placeOf(*node, mode, ranks);
        if (first == nullptr || place < firstPlace) {
            first = node;
            firstPlace = std::move(place);
        }
    }
    return first;
}

} // namespace

File* firstInGraphOrder(std::span<File* const> nodes, SizeMode mode) {
    std::unordered_map<const File*, std::size_t> ranks;
    return firstOf(nodes, mode, ranks);
}

std::vector<UncountedName> countLinksOnce(Directory& root, const std::string& rootPath,
                                          std::vector<LinkedName> names, SizeMode mode) {
    std::sort(names.begin(), names.end(), [](const LinkedName& a, const LinkedName& b) {
        return std::tie(a.device, a.inode, a.path) < std::tie(b.device, b.inode, b.path);
    });
    const std::string prefix = rootPath == "/" ? "/" : rootPath + "/";
    std::unordered_map<const File*, std::size_t> ranks;
    std::vector<File*> others;
    // Chosen for every file first, then applied: taking sizes away reorders the graph.
    for (std::size_t begin = 0; begin < names.size();) {
        std::size_t end = begin + 1;
        while (end < names.size() && names[end].device == names[begin].device &&
               names[end].inode == names[begin].inode)
            ++end;
        std::vector<File*> met;
        for (std::size_t i = begin; i < end; ++i) {
            const std::string& path = names[i].path;
            if (!path.starts_with(prefix)) continue;
            File* node = root.fileAtPath(std::string_view(path).substr(prefix.size()));
            if (node != nullptr && node->asDirectory() == nullptr) met.push_back(node);
        }
        begin = end;
        std::sort(met.begin(), met.end());
        met.erase(std::unique(met.begin(), met.end()), met.end());
        if (met.size() < 2) continue;
        const File* first = firstOf(met, mode, ranks);
        for (File* node : met)
            if (node != first) others.push_back(node);
    }
    std::sort(others.begin(), others.end());
    others.erase(std::unique(others.begin(), others.end()), others.end());
    std::vector<UncountedName> taken;
    taken.reserve(others.size());
    for (File* other : others) {
        taken.push_back({other, other->size(), other->allocatedSize()});
        other->parent()->updateSizes(other, -other->size(), -other->allocatedSize(), 0);
        other->setCountedElsewhere(true);
    }
    return taken;
}

} // namespace tessera
