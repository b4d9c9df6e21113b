// Bookmarks of locations: the path plus the identity of the volume that holds it, so that a
// folder on a removable disk resolves again when the disk is mounted somewhere else.
#pragma once

#include <expected>
#include <optional>
#include <string>

namespace tessera {

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
    static std::expected<Bookmark, std::string> fromBytes(const std::string& bytes);

    /// True when `path` lies on the volume this bookmark was made on (by UUID, else label,
    /// else the mounted device): a folder left behind where a disk was mounted is not it.
    bool isOnItsVolume(const std::string& path) const;

    /// Where the location is now: its path when that exists, else the same place on the same
    /// volume (by UUID, then label) wherever that is mounted now; none when neither exists.
    std::optional<std::string> resolve() const;

    friend bool operator==(const Bookmark&, const Bookmark&) = default;
};

} // namespace tessera
