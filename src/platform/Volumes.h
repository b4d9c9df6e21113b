// Mounted volumes: where they are mounted, what identifies them across mounts, and their space.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tessera::platform {

struct Mount {
    std::string mountPoint;
    std::uint64_t device = 0; // the st_dev of files on it
    std::string source;       // e.g. /dev/sdb1
    std::string fileSystem;   // e.g. ext4
};

/// The mounts of this process's namespace, from /proc/self/mountinfo, in mount order.
std::vector<Mount> readMounts();

/// Parses mountinfo's text.
std::vector<Mount> parseMountInfo(const std::string& text);

/// True for the volumes a user keeps at hand: the root file system and disks mounted under
/// /media, /run/media or /mnt.
bool isUserVolume(const Mount& mount);

/// The mount that holds `path` (the longest mount point that contains it).
std::optional<Mount> mountContaining(const std::string& path, const std::vector<Mount>& mounts);

/// What identifies a volume wherever it is mounted.
struct VolumeIdentity {
    std::string uuid;  // file-system UUID, when the device has one
    std::string label; // file-system label, when it has one
    std::uint64_t device = 0;
    std::string mountPoint;
};
VolumeIdentity identityOf(const Mount& mount);

/// Capacity and free space, in bytes: `free` counts the blocks the file system keeps back for
/// root, `available` only what unprivileged users can still fill.
struct VolumeSpace {
    std::int64_t total = 0;
    std::int64_t available = 0;
    std::int64_t free = 0;
    /// Kept back for root: free, but not available.
    std::int64_t reserved() const { return free - available; }
    /// In use, as df counts it: everything that is not free.
    std::int64_t used() const { return total - free; }
};
std::optional<VolumeSpace> spaceOf(const std::string& path);

/// Undoes the octal escapes of mountinfo ("\040" for a space).
std::string unescapeMountField(const std::string& field);

} // namespace tessera::platform
