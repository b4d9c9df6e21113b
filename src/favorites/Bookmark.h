// Bookmarks of locations: the path plus the identity of the volume that holds it, so that a
// folder on a removable disk resolves again when the disk is mounted somewhere else.
#pragma once

#include "platform/Volumes.h"

#include <expected>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tessera {

/// The mounts a bookmark is resolved against, with how a mount's volume is identified.
struct MountTable {
    std::vector<platform::Mount> mounts;
    std::function<platform::VolumeIdentity(const platform::Mount&)> identityOf;

    /// This process's mounts, identified by the links under /dev/disk.
    static MountTable current();
};

struct Bookmark {
    std::string path;
    std::string mountPoint; // where the volume was mounted when the bookmark was made
    std::string uuid;       // file-system UUID, if any
    std::string label;      // file-system label, if any
    std::string source;     // the mounted device, e.g. /dev/sdb1

    /// A bookmark of `path` as mounted now; none when the path does not exist.
    static std::optional<Bookmark> make(const std::string& path);

    /// The bytes stored for it: "key=value" lines with the values percent-encoded.
    std::string bytes() const;
    [[nodiscard]] static std::expected<Bookmark, std::string> fromBytes(const std::string& bytes);

    /// True when `where` lies on the volume this bookmark was made on (by UUID, else label,
    /// else the mounted device): a folder left behind where a disk was mounted is not it.
    bool isOnItsVolume(const std::string& where) const {
        return isOnItsVolume(where, MountTable::current());
    }
    bool isOnItsVolume(const std::string& where, const MountTable& table) const;

    /// Where the location is now: its path when that exists, else the same place on the same
    /// volume (by UUID, then label) wherever that is mounted now; none when neither exists.
    std::optional<std::string> resolve() const { return resolve(MountTable::current()); }
    std::optional<std::string> resolve(const MountTable& table) const;

    friend bool operator==(const Bookmark&, const Bookmark&) = default;
};

} // namespace tessera
