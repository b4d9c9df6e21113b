#include "controller/HardLinks.h"

#include "model/Directory.h"

#include <utility>

namespace tessera {

void HardLinkIndex::add(std::string path, const platform::EntryStatus& status) {
    const std::lock_guard lock(mutex_);
    assign(path, Identity{status.device, status.inode});
}

void HardLinkIndex::assign(const std::string& path, Identity identity) {
    const auto [at, added] = paths_.try_emplace(path, identity);
    if (!added && at->second == identity) return;
    if (!added) {
        noteChanged(at->second);
        unlinkName(path, at->second);
        at->second = identity;
    }
    linkName(path, identity);
    noteChanged(identity);
}

void HardLinkIndex::unlinkName(const std::string& path, Identity identity) {
    const auto file = byFile_.find(keyOf(identity));
    if (file == byFile_.end()) return;
    file->second.erase(path);
    if (file->second.empty()) byFile_.erase(file);
}

void HardLinkIndex::setTracksChanges(bool tracks) {
    const std::lock_guard lock(mutex_);
    tracksChanges_ = tracks;
    changes_ = {};
}

HardLinkIndex::Changes HardLinkIndex::takeChanges() {
    const std::lock_guard lock(mutex_);
    return std::exchange(changes_, {});
}

std::optional<HardLinkIndex::Identity> HardLinkIndex::identityOf(const std::string& path) {
    const std::lock_guard lock(mutex_);
    const auto found = paths_.find(path);
    if (found == paths_.end()) return std::nullopt;
    return found->second;
}

bool HardLinkIndex::empty() {
    const std::lock_guard lock(mutex_);
    return paths_.empty();
}

std::vector<LinkedName> HardLinkIndex::names() {
    const std::lock_guard lock(mutex_);
    std::vector<LinkedName> names;
    names.reserve(paths_.size());
    for (const auto& [path, identity] : paths_)
        names.push_back({path, identity.device, identity.inode});
    return names;
}

std::vector<LinkedName>
HardLinkIndex::namesOf(const std::set<std::pair<std::uint64_t, std::uint64_t>>& files) {
    const std::lock_guard lock(mutex_);
    std::vector<LinkedName> names;
    for (const FileKey& key : files)
        if (const auto file = byFile_.find(key); file != byFile_.end())
            for (const std::string& path : file->second)
                names.push_back({path, key.first, key.second});
    return names;
}

std::vector<std::string> HardLinkIndex::pathsAtOrBelow(const std::string& path) {
    const std::lock_guard lock(mutex_);
    std::vector<std::string> found;
    if (paths_.contains(path)) found.push_back(path);
    const auto last = paths_.lower_bound(path + '0');
    for (auto it = paths_.lower_bound(path + '/'); it != last; ++it)
        found.push_back(it->first);
    return found;
}

std::vector<HardLinkIndex::Identity> HardLinkIndex::filesAtOrBelow(const std::string& path) {
    const std::lock_guard lock(mutex_);
    std::vector<Identity> found;
    if (const auto exact = paths_.find(path); exact != paths_.end()) found.push_back(exact->second);
    const auto last = paths_.lower_bound(path + '0');
    for (auto it = paths_.lower_bound(path + '/'); it != last; ++it)
        found.push_back(it->second);
    return found;
}

void HardLinkIndex::rename(const std::string& from, const std::string& to) {
    // Every move is told here, so only the paths it concerns are visited: `from` itself, then
    // the paths below it, which sort together between "from/" and "from0" ('0' follows '/'),
    // as in `pathsAtOrBelow`.
    const std::lock_guard lock(mutex_);
    std::vector<std::pair<std::string, Identity>> moved;
    if (const auto exact = paths_.find(from); exact != paths_.end()) {
        moved.emplace_back(to, exact->second);
        unlinkName(from, exact->second);
        paths_.erase(exact);
    }
    const auto first = paths_.lower_bound(from + '/');
    const auto last = paths_.lower_bound(from + '0');
    for (auto it = first; it != last; ++it) {
        moved.emplace_back(to + it->first.substr(from.size()), it->second);
        unlinkName(it->first, it->second);
    }
    paths_.erase(first, last);
    for (auto& [path, identity] : moved) {
        if (const auto replaced = paths_.find(path); replaced != paths_.end())
            unlinkName(path, replaced->second);
        linkName(path, identity);
        paths_.insert_or_assign(std::move(path), identity);
    }
}

std::vector<std::string> HardLinkIndex::otherNamesOf(const std::string& changed,
                                                     const platform::EntryStatus& status) {
    const Identity identity{status.device, status.inode};
    {
        const std::lock_guard lock(mutex_);
        assign(changed, identity);
    }
    return otherNamesOf(changed, identity);
}

std::vector<std::string> HardLinkIndex::otherNamesOf(const std::string& changed,
                                                     Identity identity) {
    const std::lock_guard lock(mutex_);
    std::vector<std::string> others;
    const auto file = byFile_.find(keyOf(identity));
    if (file == byFile_.end()) return others;
    // The file's own names only (copied: looking at them may take some out).
    const std::vector<std::string> names(file->second.begin(), file->second.end());
    for (const std::string& path : names) {
        const auto other = platform::statusOfPath(path);
        // A name of the file counts even when it is the last one left (the others went).
        if (other && !other->isDirectory && path != changed &&
            Identity{other->device, other->inode} == identity)
            others.push_back(path);
        if (!other || other->isDirectory || other->linkCount < 2) {
            noteChanged(identity);
            if (tracksChanges_)
                changes_.forgotten.push_back({path, identity.device, identity.inode});
            paths_.erase(path);
            unlinkName(path, identity);
            continue;
        }
        // What a name stands for now (it may have been replaced since it was met).
        if (const Identity now{other->device, other->inode}; now != identity) {
            noteChanged(identity);
            noteChanged(now);
            paths_[path] = now;
            unlinkName(path, identity);
            linkName(path, now);
        }
    }
    return others;
}

bool HardLinkIndex::firstSearchOfTree(const platform::EntryStatus& status) {
    const std::lock_guard lock(mutex_);
    return searched_
        .emplace(status.device, status.inode, status.linkCount, status.creationDate.seconds)
        .second;
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
