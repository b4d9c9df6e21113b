#include "platform/Trash.h"

#include "base/Paths.h"
#include "platform/FileSystem.h"
#include "platform/Volumes.h"
#include "platform/XdgFolders.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace tessera::platform {
namespace {

std::string failure(const std::string& path, int error) {
    return path + ": " + std::strerror(error);
}

// Path= holds the original path percent-encoded, as URIs encode paths.
std::string percentEncodePath(const std::string& path) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string out;
    for (const char ch : path) {
        const auto c = static_cast<unsigned char>(ch);
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '/' || c == '-' || c == '_' || c == '.' ||
                           c == '~';
        if (plain) {
            out += ch;
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

// The mount an entry lies on, the entry itself when it is a link: a bind mount of a volume is a
// mount of its own, and a rename cannot leave it.
std::optional<std::uint64_t> mountOfEntry(const std::string& path) {
    return mountIdOf(path, false);
}

// `name` shortened so that it and `suffix` take at most `limit` bytes: bytes go from the end of
// the part before the extension (kept when it is short), at a character's start, so that the
// rest stays valid UTF-8 where it was.
std::string shortenedName(const std::string& name, const std::string& suffix, std::size_t limit) {
    if (name.size() + suffix.size() <= limit) return name + suffix;
    std::size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0 || name.size() - dot > 16) dot = name.size();
    const std::string extension = name.substr(dot);
    std::size_t keep = limit - suffix.size() - extension.size();
    // Back to the first byte of a character (not a continuation byte 10xxxxxx).
    while (keep > 0 && keep < dot && (static_cast<unsigned char>(name[keep]) & 0xC0) == 0x80)
        --keep;
    return name.substr(0, std::min(keep, dot)) + suffix + extension;
}

bool makeFolder(const std::string& path, mode_t mode) {
    return ::mkdir(path.c_str(), mode) == 0 || errno == EEXIST;
}

// A usable trash folder for items on the volume mounted at `topdir`, or empty.
std::string trashForVolume(const std::string& topdir) {
    const std::string uid = std::to_string(::getuid());
    // $topdir/.Trash shared by users: only when it is a real folder with the sticky bit.
    const std::string shared = joinPath(topdir, ".Trash");
    struct stat status;
    if (::lstat(shared.c_str(), &status) == 0 && S_ISDIR(status.st_mode) &&
        (status.st_mode & S_ISVTX) != 0) {
        const std::string mine = joinPath(shared, uid);
        if (makeFolder(mine, 0700)) return mine;
    }
    const std::string own = joinPath(topdir, ".Trash-" + uid);
    if (makeFolder(own, 0700) && ::lstat(own.c_str(), &status) == 0 && S_ISDIR(status.st_mode) &&
        status.st_uid == ::getuid())
        return own;
    return {};
}

std::string deletionDate() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
    return text;
}

} // namespace

std::string Trash::homeTrash() {
    return joinPath(dataHome(), "Trash");
}

bool Trash::isInsideTrash(const std::string& path) {
    if (path.find("/.Trash/") != std::string::npos || path.ends_with("/.Trash") ||
        path.find("/.Trash-") != std::string::npos)
        return true;
    const PathRelation relation = relatePaths(path, homeTrash());
    return relation == PathRelation::equal || relation == PathRelation::firstInsideSecond;
}

std::expected<TrashedItem, std::string> Trash::moveToTrash(const std::string& path) {
    if (path.empty() || path.front() != '/' || path == "/")
        return std::unexpected(path + ": only an absolute path below / can be trashed");
    if (isInsideTrash(path)) return std::unexpected(path + ": already in the trash");
    const auto itemMount = mountOfEntry(path);
    if (!itemMount) return std::unexpected(failure(path, errno));

    // The home trash serves items on the home trash's own mount; elsewhere the mount's own.
    std::string trash = homeTrash();
    std::error_code ignored;
    std::filesystem::create_directories(trash, ignored);
    if (mountOfEntry(trash) != itemMount) {
        const auto mounts = readMounts();
        const auto mount = mountContaining(path, mounts);
        if (!mount) return std::unexpected(path + ": no volume found for it");
        trash = trashForVolume(mount->mountPoint);
        if (trash.empty())
            return std::unexpected(path + ": the volume at " + mount->mountPoint +
                                   " has no usable trash");
    }
    const std::string files = joinPath(trash, "files");
    const std::string info = joinPath(trash, "info");
    if (!makeFolder(files, 0700) || !makeFolder(info, 0700))
        return std::unexpected(failure(trash, errno));

    // Claim a unique name by creating its info file exclusively, then move the item. A name
    // is shortened where the record's name would not fit in the folder; the record keeps the
    // whole path.
    const std::string name(lastComponent(path));
    static constexpr std::string_view kInfoExtension = ".trashinfo";
    const long folderLimit = ::pathconf(info.c_str(), _PC_NAME_MAX);
    const std::size_t limit =
        static_cast<std::size_t>(folderLimit > 0 ? folderLimit : NAME_MAX) - kInfoExtension.size();
    const std::string record =
        "[Trash Info]\nPath=" + percentEncodePath(path) + "\nDeletionDate=" + deletionDate() + "\n";
    for (int attempt = 1; attempt < 10'000; ++attempt) {
        const std::string candidate = shortenedName(
            name, attempt == 1 ? std::string() : "." + std::to_string(attempt), limit);
        const std::string infoPath = joinPath(info, candidate + std::string(kInfoExtension));
        const int fd = ::open(infoPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            return std::unexpected(failure(infoPath, errno));
        }
        const bool written =
            ::write(fd, record.data(), record.size()) == static_cast<ssize_t>(record.size());
        const bool closed = ::close(fd) == 0;
        if (!written || !closed) {
            ::unlink(infoPath.c_str());
            return std::unexpected(failure(infoPath, EIO));
        }
        const std::string trashedPath = joinPath(files, candidate);
        struct stat existing;
        if (::lstat(trashedPath.c_str(), &existing) == 0) {
            ::unlink(infoPath.c_str()); // a stray item without its record: take the next name
            continue;
        }
        if (::rename(path.c_str(), trashedPath.c_str()) != 0) {
            const int error = errno;
            ::unlink(infoPath.c_str());
            return std::unexpected(failure(path, error));
        }
        return TrashedItem{path, trashedPath, infoPath};
    }
    return std::unexpected(path + ": no free name in the trash");
}

std::expected<void, std::string> Trash::restore(const TrashedItem& item) {
    struct stat existing;
    if (::lstat(item.originalPath.c_str(), &existing) == 0)
        return std::unexpected(item.originalPath + ": something else is there now");
    if (::rename(item.trashedPath.c_str(), item.originalPath.c_str()) != 0)
        return std::unexpected(failure(item.originalPath, errno));
    ::unlink(item.infoPath.c_str());
    return {};
}

} // namespace tessera::platform
