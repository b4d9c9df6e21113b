#include "platform/FileSystem.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <linux/limits.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace tessera::platform {
namespace {

constexpr int kOpenFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
constexpr int kStatFlags = AT_SYMLINK_NOFOLLOW | AT_STATX_DONT_SYNC | AT_NO_AUTOMOUNT;
constexpr unsigned kStatMask =
    STATX_TYPE | STATX_SIZE | STATX_BLOCKS | STATX_MTIME | STATX_BTIME | STATX_INO | STATX_NLINK;
constexpr std::size_t kListingBuffer = 64 * 1024;

EntryStatus toStatus(const struct statx& stx, std::uint64_t parentDevice) {
    EntryStatus status;
    status.isDirectory = S_ISDIR(stx.stx_mode);
    status.device = makedev(stx.stx_dev_major, stx.stx_dev_minor);
    if ((stx.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) != 0) {
        status.isMountPoint = (stx.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0;
    } else {
        status.isMountPoint = status.device != parentDevice;
    }
    status.inode = stx.stx_ino;
    status.linkCount = stx.stx_nlink;
    status.size = static_cast<std::int64_t>(stx.stx_size);
    status.allocatedSize = static_cast<std::int64_t>(stx.stx_blocks) * 512;
    if ((stx.stx_mask & STATX_BTIME) != 0)
        status.creationDate = Date::fromUnixSeconds(stx.stx_btime.tv_sec);
    if ((stx.stx_mask & STATX_MTIME) != 0)
        status.modificationDate = Date::fromUnixSeconds(stx.stx_mtime.tv_sec);
    return status;
}

} // namespace

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

UniqueFd::~UniqueFd() {
    if (fd_ >= 0) ::close(fd_);
}

std::expected<UniqueFd, int> openDirectory(const std::string& path) {
    if (path.size() < PATH_MAX) {
        const int fd = ::open(path.c_str(), kOpenFlags);
        if (fd < 0) return std::unexpected(errno);
        return UniqueFd(fd);
    }
    // Too long for one call: open it piece by piece, each piece shorter than PATH_MAX and
    // ending at a slash.
    UniqueFd current;
    int base = AT_FDCWD;
    std::size_t start = 0;
    while (start < path.size()) {
        std::size_t end = path.size();
        if (end - start >= PATH_MAX) {
            end = path.rfind('/', start + PATH_MAX - 1);
            if (end == std::string::npos || end <= start) return std::unexpected(ENAMETOOLONG);
        }
        std::string piece = path.substr(start, end - start);
        if (piece.empty()) piece = "/";
        const int fd = ::openat(base, piece.c_str(), kOpenFlags);
        if (fd < 0) return std::unexpected(errno);
        current = UniqueFd(fd);
        base = current.get();
        start = end + 1;
    }
    return current;
}

std::expected<UniqueFd, int> openDirectoryAt(int directoryFd, const char* name) {
    const int fd = ::openat(directoryFd, name, kOpenFlags);
    if (fd < 0) return std::unexpected(errno);
    return UniqueFd(fd);
}

std::expected<void, int> renameWithoutReplacing(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) != 0)
        return std::unexpected(errno);
    return {};
}

std::expected<void, int> renameEntry(const std::string& from, const std::string& to) {
    if (::rename(from.c_str(), to.c_str()) != 0) return std::unexpected(errno);
    return {};
}

std::expected<void, int> createFolders(const std::string& path) {
    std::error_code error;
    std::filesystem::create_directories(path, error);
    if (error) return std::unexpected(error.value());
    return {};
}

namespace detail {

std::vector<char>& entryBuffer() {
    thread_local std::vector<char> buffer(kListingBuffer);
    return buffer;
}

long readEntries(int fd, std::vector<char>& buffer) {
    for (;;) {
        const long bytes = ::syscall(SYS_getdents64, fd, buffer.data(), buffer.size());
        if (bytes >= 0) return bytes;
        if (errno != EINTR) return -errno;
    }
}

} // namespace detail

std::expected<EntryStatus, int> statusAt(int directoryFd, const char* name,
                                         std::uint64_t parentDevice) {
    struct statx stx;
    if (::statx(directoryFd, name, kStatFlags, kStatMask, &stx) != 0) return std::unexpected(errno);
    return toStatus(stx, parentDevice);
}

std::expected<EntryStatus, int> statusOfOpen(int fd) {
    struct statx stx;
    if (::statx(fd, "", kStatFlags | AT_EMPTY_PATH, kStatMask, &stx) != 0)
        return std::unexpected(errno);
    return toStatus(stx, makedev(stx.stx_dev_major, stx.stx_dev_minor));
}

namespace {

// A path too long for one call is reached through its parent's descriptor, opened piece by
// piece: `visit(directoryFd, name)` with the parent's descriptor and the last component.
template <typename Visit> auto atParentOf(const std::string& path, Visit&& visit) {
    const std::size_t slash = path.rfind('/');
    auto parent = openDirectory(slash == 0 ? std::string("/") : path.substr(0, slash));
    const std::string name = path.substr(slash + 1);
    return visit(parent ? parent->get() : -1, parent ? 0 : parent.error(), name.c_str());
}

} // namespace

std::expected<EntryStatus, int> statusOfPath(const std::string& path) {
    struct statx stx;
    if (path.size() >= PATH_MAX && path.rfind('/') != std::string::npos) {
        return atParentOf(
            path,
            [&](int parentFd, int error, const char* name) -> std::expected<EntryStatus, int> {
                if (parentFd < 0) return std::unexpected(error);
                if (::statx(parentFd, name, kStatFlags, kStatMask, &stx) != 0)
                    return std::unexpected(errno);
                struct stat parent;
                const bool known = (stx.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) != 0;
                const std::uint64_t parentDevice =
                    known || ::fstat(parentFd, &parent) != 0
                        ? makedev(stx.stx_dev_major, stx.stx_dev_minor)
                        : parent.st_dev;
                return toStatus(stx, parentDevice);
            });
    }
    if (::statx(AT_FDCWD, path.c_str(), kStatFlags, kStatMask, &stx) != 0)
        return std::unexpected(errno);
    // Without the kernel's flag, a path is a mount point when its parent is on another device.
    std::uint64_t parentDevice = makedev(stx.stx_dev_major, stx.stx_dev_minor);
    if ((stx.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) == 0) {
        struct stat parent;
        const std::string up = path + "/..";
        if (S_ISDIR(stx.stx_mode) && ::stat(up.c_str(), &parent) == 0) parentDevice = parent.st_dev;
    }
    return toStatus(stx, parentDevice);
}

std::optional<std::uint64_t> usedInodes(const std::string& mountPoint) {
    struct statvfs volume;
    if (::statvfs(mountPoint.c_str(), &volume) != 0 || volume.f_files == 0) return std::nullopt;
    return static_cast<std::uint64_t>(volume.f_files - volume.f_ffree);
}

FolderAccess folderAccess(const std::string& path) {
    auto directory = openDirectory(path);
    if (!directory)
        return directory.error() == ENOENT || directory.error() == ENOTDIR
                   ? FolderAccess::missing
                   : FolderAccess::unreadable;
    // Listing needs read permission, measuring the entries search permission.
    return ::faccessat(directory->get(), ".", X_OK, AT_EACCESS) == 0 ? FolderAccess::readable
                                                                     : FolderAccess::unreadable;
}

std::optional<std::uint64_t> mountIdOf(const std::string& path, bool followLinks) {
    struct statx stx;
    const int flags =
        AT_STATX_DONT_SYNC | AT_NO_AUTOMOUNT | (followLinks ? 0 : AT_SYMLINK_NOFOLLOW);
    if (::statx(AT_FDCWD, path.c_str(), flags, STATX_MNT_ID, &stx) != 0 ||
        (stx.stx_mask & STATX_MNT_ID) == 0)
        return std::nullopt;
    return stx.stx_mnt_id;
}

bool entryExistsAt(int directoryFd, const char* name) {
    return ::faccessat(directoryFd, name, F_OK, AT_SYMLINK_NOFOLLOW) == 0;
}

bool isHiddenCompanion(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const std::string_view name = std::string_view(path).substr(slash + 1);
    if (!name.starts_with("._") || slash == std::string::npos) return false;
    return entryExists(path.substr(0, slash + 1) + std::string(name.substr(2)));
}

bool entryExists(const std::string& path) {
    if (path.size() >= PATH_MAX && path.rfind('/') != std::string::npos)
        return atParentOf(path, [](int parentFd, int, const char* name) {
            return parentFd >= 0 && entryExistsAt(parentFd, name);
        });
    struct stat status;
    return ::lstat(path.c_str(), &status) == 0;
}

} // namespace tessera::platform
