// Reading directories and measuring entries on Linux: getdents64 for names, one statx per entry
// relative to the directory's descriptor, statvfs for volumes.
#pragma once

#include "base/Date.h"

#include <cstdint>
#include <dirent.h>
#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
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
[[nodiscard]] std::expected<UniqueFd, int> openDirectory(const std::string& path);
/// Opens the directory `name` inside the open directory `directoryFd`, as openDirectory does.
[[nodiscard]] std::expected<UniqueFd, int> openDirectoryAt(int directoryFd, const char* name);

/// Renames `from` to `to` on one volume, never replacing an entry already at `to` and never
/// copying: across volumes it fails instead of leaving two halves. Fails with an errno value.
[[nodiscard]] std::expected<void, int> renameWithoutReplacing(const std::string& from,
                                                              const std::string& to);
/// Renames `from` to `to`, replacing what is at `to` as rename(2) does. Fails with an errno value.
[[nodiscard]] std::expected<void, int> renameEntry(const std::string& from, const std::string& to);
/// Creates the folder at `path` and any missing folders above it. Fails with an errno value.
[[nodiscard]] std::expected<void, int> createFolders(const std::string& path);

/// Calls `visit(name)` (a NUL-terminated name), or `visit(name, EntryType)`, for every entry of the
/// open directory `fd` in the order the kernel returns them, "." and ".." left out; stops early
/// when `visit` returns false. Returns 0, or the errno value of a failed read; entries visited
/// before the failure stay.
template <typename Visit> int forEachEntry(int fd, Visit&& visit);

/// The measurements of one entry.
struct EntryStatus {
    bool isDirectory = false;
    bool isMountPoint = false; // the root of a mounted file system
    std::int64_t size = 0;     // logical length
    std::int64_t allocatedSize = 0;
    Date creationDate; // distant past where the file system keeps no birth time
    Date modificationDate;
    std::uint64_t device = 0; // the file system it lives on
    std::uint64_t inode = 0;
    std::uint32_t linkCount = 1; // names of the file (hard links)
};

/// Measures `name` inside the open directory `directoryFd` without following links.
/// `parentDevice` detects mount points on kernels that do not flag them.
[[nodiscard]] std::expected<EntryStatus, int> statusAt(int directoryFd, const char* name,
                                                       std::uint64_t parentDevice);
/// Measures the entry open at `fd` (a folder opened for reading, say).
[[nodiscard]] std::expected<EntryStatus, int> statusOfOpen(int fd);
/// Measures a path without following a final link.
[[nodiscard]] std::expected<EntryStatus, int> statusOfPath(const std::string& path);

/// For a mount point: the number of inodes in use on its volume, when the file system counts
/// them.
std::optional<std::uint64_t> usedInodes(const std::string& mountPoint);

/// The kernel's number of the mount that holds `path` (a final link followed unless
/// `followLinks` is false); none where it cannot be measured.
std::optional<std::uint64_t> mountIdOf(const std::string& path, bool followLinks = true);

enum class FolderAccess { readable, unreadable, missing };
/// Whether this process may list the folder at `path` and look at its entries.
FolderAccess folderAccess(const std::string& path);

/// True when `path` names an existing entry (links not followed).
bool entryExists(const std::string& path);
/// True when `name` exists in the open directory `directoryFd` (links not followed).
bool entryExistsAt(int directoryFd, const char* name);
/// True for "._name" beside an existing "name": the companions that other systems leave on
/// shared disks to hold a file's extended attributes, which scans leave out.
bool isHiddenCompanion(const std::string& path);

/// What a directory read says of an entry's type, when the file system tells.
enum class EntryType { directory, other, unknown };

namespace detail {
/// One read of directory entries into `buffer`: bytes read, 0 at the end, or -errno.
long readEntries(int fd, std::vector<char>& buffer);
struct Dirent64 {
    std::uint64_t d_ino;
    std::int64_t d_off;
    unsigned short d_reclen;
    unsigned char d_type;
    char d_name[1]; // NUL-terminated, as long as the record allows
};
std::vector<char>& entryBuffer();
} // namespace detail

template <typename Visit> int forEachEntry(int fd, Visit&& visit) {
    std::vector<char>& buffer = detail::entryBuffer();
    for (;;) {
        const long bytes = detail::readEntries(fd, buffer);
        if (bytes <= 0) return static_cast<int>(-bytes);
        for (long offset = 0; offset < bytes;) {
            const auto* entry = reinterpret_cast<const detail::Dirent64*>(buffer.data() + offset);
            offset += entry->d_reclen;
            const char* name = entry->d_name;
            if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
                continue;
            if constexpr (std::is_invocable_v<Visit, const char*, EntryType>) {
                const EntryType type = entry->d_type == DT_DIR       ? EntryType::directory
                                       : entry->d_type == DT_UNKNOWN ? EntryType::unknown
                                                                     : EntryType::other;
                if (!visit(name, type)) return 0;
            } else {
                if (!visit(name)) return 0;
            }
        }
    }
}

} // namespace tessera::platform
