#include "controller/HardLinks.h"

#include "base/Paths.h"
#include "model/Directory.h"

namespace tessera {

void HardLinkIndex::add(std::string path) {
    const std::lock_guard lock(mutex_);
    paths_.insert(std::move(path));
}

void HardLinkIndex::rename(const std::string& from, const std::string& to) {
    const std::lock_guard lock(mutex_);
    std::vector<std::string> moved;
    for (auto it = paths_.begin(); it != paths_.end();) {
        const PathRelation relation = relatePaths(*it, from);
        if (relation == PathRelation::equal || relation == PathRelation::firstInsideSecond) {
            moved.push_back(to + it->substr(from.size()));
            it = paths_.erase(it);
        } else {
            ++it;
        }
    }
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
