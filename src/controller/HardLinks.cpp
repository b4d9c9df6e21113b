#include "controller/HardLinks.h"

#include "model/Directory.h"

namespace tessera {

void HardLinkIndex::add(std::string path) {
    const std::lock_guard lock(mutex_);
    paths_.insert(std::move(path));
}

void HardLinkIndex::rename(const std::string& from, const std::string& to) {
    // Every move is told here, so only the paths it concerns are visited: `from` itself, then
    // the paths below it, which sort together between "from/" and "from0" ('0' follows '/').
    const std::lock_guard lock(mutex_);
    std::vector<std::string> moved;
    if (const auto exact = paths_.find(from); exact != paths_.end()) {
        moved.push_back(to);
        paths_.erase(exact);
    }
    const auto first = paths_.lower_bound(from + '/');
    const auto last = paths_.lower_bound(from + '0');
    for (auto it = first; it != last; ++it)
        moved.push_back(to + it->substr(from.size()));
    paths_.erase(first, last);
    paths_.insert(moved.begin(), moved.end());
}

std::vector<std::string> HardLinkIndex::otherNamesOf(const std::string& changed,
                                                     const platform::EntryStatus& status) {
    const std::lock_guard lock(mutex_);
    paths_.insert(changed);
    std::vector<std::string> others;
    for (auto it = paths_.begin(); it != paths_.end();) {
        const auto other = platform::statusOfPath(*it);
        if (!other || other->isDirectory || other->linkCount < 2) {
            it = paths_.erase(it);
            continue;
        }
        if (*it != changed && other->inode == status.inode && other->device == status.device)
            others.push_back(*it);
        ++it;
    }
    return others;
}

bool HardLinkIndex::firstSearchOfTree(const platform::EntryStatus& status) {
    const std::lock_guard lock(mutex_);
    return searched_.emplace(status.device, status.inode, status.linkCount).second;
}

std::vector<std::string> namesInTree(const Directory& root, const platform::EntryStatus& status,
                                     const std::function<std::string(const File&)>& pathOf,
                                     const std::function<bool(const File&)>& worthAsking) {
    std::vector<std::string> names;
    std::vector<const Directory*> pending{&root};
    while (!pending.empty()) {
        const Directory* folder = pending.back();
        pending.pop_back();
        for (const File* child : folder->contents()) {
            if (const Directory* sub = child->asDirectory()) {
                pending.push_back(sub);
                continue;
            }
            if (!worthAsking(*child)) continue;
            std::string path = pathOf(*child);
            const auto other = platform::statusOfPath(path);
            if (other && other->inode == status.inode && other->device == status.device)
                names.push_back(std::move(path));
        }
    }
    return names;
}

} // namespace tessera
