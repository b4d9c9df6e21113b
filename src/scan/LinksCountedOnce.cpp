#include "scan/LinksCountedOnce.h"

#include "model/Directory.h"

#include <algorithm>
#include <tuple>
#include <unordered_map>

namespace tessera {
std::vector<std::size_t> GraphOrder::placeOf(const File& node) {
    std::vector<std::size_t> place;
    for (const File* at = &node; at->parent() != nullptr; at = at->parent()) {
        auto [known, added] = ranks_.try_emplace(at, 0);
        if (added) {
            const Directory& parent = *at->parent();
            const auto contents = parent.contents();
            if (parent.sizeMode() == mode_) {
                // Sorted by the same measure: the rank is the place.
                known->second = static_cast<std::size_t>(
                    std::find(contents.begin(), contents.end(), at) - contents.begin());
            } else {
                for (const File* sibling : contents)
                    if (sibling != at && comesBefore(*sibling, *at, mode_)) ++known->second;
            }
        }
        place.push_back(known->second);
    }
    std::reverse(place.begin(), place.end());
    return place;
}

File* GraphOrder::first(std::span<File* const> nodes) {
    File* first = nullptr;
    std::vector<std::size_t> firstPlace;
    for (File* node : nodes) {
        std::vector<std::size_t> place = placeOf(*node);
        if (first == nullptr || place < firstPlace) {
            first = node;
            firstPlace = std::move(place);
        }
    }
    return first;
}

std::vector<UncountedName> countLinksOnce(Directory& root, const std::string& rootPath,
                                          std::vector<LinkedName> names, SizeMode mode) {
    std::sort(names.begin(), names.end(), [](const LinkedName& a, const LinkedName& b) {
        return std::tie(a.device, a.inode, a.path) < std::tie(b.device, b.inode, b.path);
    });
    const std::string prefix = rootPath == "/" ? "/" : rootPath + "/";
    GraphOrder order(mode);
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
        const File* first = order.first(met);
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
