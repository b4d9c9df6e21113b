#include "platform/Location.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>
#include <sys/stat.h>

namespace tessera::platform {

Location classifyLocation(const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) return {Location::Kind::missing, path, errno};
    if (S_ISREG(status.st_mode)) return {Location::Kind::regularFile, path, 0};
    if (S_ISFIFO(status.st_mode)) return {Location::Kind::pipe, path, 0};
    if (!S_ISDIR(status.st_mode)) return {Location::Kind::other, path, 0};
    std::string trimmed = path;
    while (trimmed.size() > 1 && trimmed.ends_with('/'))
        trimmed.pop_back();
    struct stat own {};
    if (::lstat(trimmed.c_str(), &own) == 0 && !S_ISLNK(own.st_mode))
        return {Location::Kind::folder, trimmed, 0};
    // A symbolic link ("link" or "link/"): the folder it leads to.
    const std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(trimmed.c_str(), nullptr),
                                                               &std::free);
    if (!resolved) return {Location::Kind::missing, path, errno};
    return {Location::Kind::folder, resolved.get(), 0};
}

} // namespace tessera::platform
