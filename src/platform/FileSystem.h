// Reading directories and measuring entries on Linux: getdents64 for names, one statx per entry
// relative to the directory's descriptor, statvfs for volumes.
#pragma once

#include "model/Date.h"

#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tessera::platform {

/// An owned file descriptor.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept;
    ~UniqueFd();
    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

/// Opens a directory for reading without following a final symbolic link. Works for paths
/// longer than PATH_MAX by walking down relative to descriptors. Fails with an errno value.
std::expected<UniqueFd, int> openDirectory(const std::string& path);

/// The names of a directory in the order the kernel returns them.
struct DirectoryListing {
    std::string names;                 // all names, each followed by a NUL
    std::vector<std::uint32_t> starts; // offset of each name in `names`
    std::string_view name(std::size_t i) const {
        return {names.data() + starts[i],
                (i + 1 < starts.size() ? starts[i + 1] : names.size()) - starts[i] - 1};
    }
    const char* cName(std::size_t i) const { return names.data() + starts[i]; }
    std::size_t size() const { return starts.size(); }
    void clear() {
        names.clear();
        starts.clear();
    }
};

/// Appends the names of the open directory `fd` ("." and ".." left out) to `listing`. Returns 0,
/// or the errno value of a failed read; names read before the failure stay.
int readDirectory(int fd, DirectoryListing& listing);

/// The measurements of one entry.
struct EntryStatus {
    bool isDirectory = false;
    bool isMountPoint = false;   // the root of a mounted file system
    std::int64_t size = 0;       // logical length
    std::int64_t allocatedSize = 0;
    Date creationDate;           // distant past where the file system keeps no birth time
    Date modificationDate;
    std::uint64_t device = 0;    // the file system it lives on
};

/// Measures `name` inside the open directory `directoryFd` without following links.
/// `parentDevice` detects mount points on kernels that do not flag them.
std::expected<EntryStatus, int> statusAt(int directoryFd, const char* name,
                                         std::uint64_t parentDevice);
/// Measures a path without following a final link.
std::expected<EntryStatus, int> statusOfPath(const std::string& path);

/// For a mount point: the number of inodes in use on its volume, when the file system counts
/// them.
std::optional<std::uint64_t> usedInodes(const std::string& mountPoint);

/// True when `path` names an existing entry (links not followed).
bool entryExists(const std::string& path);

} // namespace tessera::platform
