// Folders that inotify would not watch (the user's watch budget, fs.inotify.max_user_watches, was
// spent): each is remembered with a signature of its entries (names, inodes, sizes, dates, modes),
// taken when the watch failed, before anyone read the folder. Polling compares the signatures
// with what the folders hold now, so that a change below such a folder is noticed a few seconds
// late instead of never.
#pragma once

#include "platform/FileSystem.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tessera::platform {

class UnwatchedFolders {
public:
    /// Remembers the folder open at `directoryFd` (its signature is taken now); false when it
    /// was remembered already (its first signature stays, so that no change is forgotten).
    bool add(int directoryFd, const std::string& path);
    bool contains(const std::string& path) const { return folders_.contains(path); }
    bool empty() const { return folders_.empty(); }
    std::size_t size() const { return folders_.size(); }

    /// A folder moved: it and the folders below it are remembered under the new path.
    void rename(const std::string& from, const std::string& to);
    /// Forgets `path` and the folders below it (gone from the tree); returns what was forgotten.
    std::vector<std::string> remove(const std::string& path);

    struct Poll {
        std::vector<std::string> changed; // entries differ from the last signature
        std::vector<std::string> gone;    // cannot be opened any more: forgotten
    };
    /// Compares every folder with its signature, and remembers the new ones. `watch` is offered
    /// each folder first, open: when it returns true the folder is watched now and is
    /// forgotten (reported as changed when its entries differ all the same).
    template <typename Watch> Poll poll(Watch&& watch);

    /// The signature of the entries of the folder open at `directoryFd` (read through a
    /// descriptor of its own, so that the caller's position in the folder stays); none when
    /// it cannot be read.
    static std::optional<std::uint64_t> signatureOf(int directoryFd);

private:
    std::map<std::string, std::uint64_t> folders_;
};

template <typename Watch> UnwatchedFolders::Poll UnwatchedFolders::poll(Watch&& watch) {
    Poll result;
    for (auto it = folders_.begin(); it != folders_.end();) {
        auto directory = openDirectory(it->first);
        if (!directory) {
            result.gone.push_back(it->first);
            it = folders_.erase(it);
            continue;
        }
        const bool watched = watch(directory->get(), it->first);
        const auto signature = signatureOf(directory->get());
        if (signature != it->second) result.changed.push_back(it->first);
        if (signature) it->second = *signature;
        if (watched) {
            result.gone.push_back(it->first);
            it = folders_.erase(it);
        } else {
            ++it;
        }
    }
    return result;
}

} // namespace tessera::platform
