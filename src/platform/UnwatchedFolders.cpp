#include "platform/UnwatchedFolders.h"

#include "base/Paths.h"
#include "platform/FileSystem.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tessera::platform {
namespace {

std::uint64_t mix(std::uint64_t value) {
    // splitmix64's finaliser: each bit of the input moves about half of the output.
    value += 0x9e3779b97f4a7c15ULL;
    value = (value ^ (value >> 30)) * 0xbf58476d1ce4e5b9ULL;
    value = (value ^ (value >> 27)) * 0x94d049bb133111ebULL;
    return value ^ (value >> 31);
}

std::uint64_t hashName(const char* name) {
    std::uint64_t hash = 0xcbf29ce484222325ULL; // FNV-1a
    for (const char* c = name; *c != '\0'; ++c)
        hash = (hash ^ static_cast<unsigned char>(*c)) * 0x100000001b3ULL;
    return hash;
}

} // namespace

std::optional<std::uint64_t> UnwatchedFolders::signatureOf(int directoryFd) {
    const int own = ::openat(directoryFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (own < 0) return std::nullopt;
    // A sum of the entries' hashes: the order in which the folder lists them does not count.
    std::uint64_t signature = 0;
    std::uint64_t count = 0;
    const int error = forEachEntry(own, [&](const char* name) {
        struct statx stx {};
        std::uint64_t entry = hashName(name);
        if (::statx(own, name, AT_SYMLINK_NOFOLLOW | AT_STATX_DONT_SYNC | AT_NO_AUTOMOUNT,
                    STATX_BASIC_STATS, &stx) == 0) {
            for (const std::uint64_t field :
                 {std::uint64_t{stx.stx_ino}, std::uint64_t{stx.stx_size},
                  std::uint64_t{stx.stx_blocks}, std::uint64_t{stx.stx_mode},
                  std::uint64_t{stx.stx_nlink}, std::uint64_t(stx.stx_mtime.tv_sec),
                  std::uint64_t{stx.stx_mtime.tv_nsec}, std::uint64_t(stx.stx_ctime.tv_sec),
                  std::uint64_t{stx.stx_ctime.tv_nsec}})
                entry = mix(entry ^ field);
        }
        signature += mix(entry);
        ++count;
        return true;
    });
    ::close(own);
    if (error != 0) return std::nullopt;
    return signature + mix(count);
}

bool UnwatchedFolders::add(int directoryFd, const std::string& path) {
    if (folders_.contains(path)) return false;
    folders_.emplace(path, signatureOf(directoryFd).value_or(0));
    return true;
}

void UnwatchedFolders::rename(const std::string& from, const std::string& to) {
    std::vector<std::pair<std::string, std::uint64_t>> moved;
    for (auto it = folders_.begin(); it != folders_.end();) {
        const PathRelation relation = relatePaths(it->first, from);
        if (relation == PathRelation::equal || relation == PathRelation::firstInsideSecond) {
            moved.emplace_back(to + it->first.substr(from.size()), it->second);
            it = folders_.erase(it);
        } else {
            ++it;
        }
    }
    for (auto& [path, signature] : moved)
        folders_.insert_or_assign(std::move(path), signature);
}

std::vector<std::string> UnwatchedFolders::remove(const std::string& path) {
    std::vector<std::string> removed;
    for (auto it = folders_.begin(); it != folders_.end();) {
        const PathRelation relation = relatePaths(it->first, path);
        if (relation == PathRelation::equal || relation == PathRelation::firstInsideSecond) {
            removed.push_back(it->first);
            it = folders_.erase(it);
        } else {
            ++it;
        }
    }
    return removed;
}

} // namespace tessera::platform
