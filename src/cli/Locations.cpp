#include "cli/Locations.h"

#include "cli/TerminalText.h"
#include "platform/Location.h"
#include "scan/ScanOperation.h"

#include <cstdio>
#include <cstring>

namespace tessera::cli {
namespace {

void refuse(const char* command, const std::string& path, const char* why) {
    std::fprintf(stderr, "tessera %s: %s %s\n", command, escapeForTerminal(path).c_str(), why);
}

} // namespace

std::optional<std::string> folderToScan(const std::string& path, const char* command) {
    const platform::Location location = platform::classifyLocation(standardizedPath(path));
    switch (location.kind) {
    case platform::Location::Kind::folder:
        return location.path;
    case platform::Location::Kind::missing:
        std::fprintf(stderr, "tessera %s: %s: %s\n", command, escapeForTerminal(path).c_str(),
                     std::strerror(location.error));
        return std::nullopt;
    case platform::Location::Kind::regularFile:
        refuse(command, path, "is a file, not a folder");
        break;
    case platform::Location::Kind::pipe:
    case platform::Location::Kind::other:
        refuse(command, path, "is neither a folder nor a regular file: it is not opened");
        break;
    }
    return std::nullopt;
}

std::optional<std::string> snapshotToRead(const std::string& path, const char* command) {
    const platform::Location location = platform::classifyLocation(path);
    switch (location.kind) {
    case platform::Location::Kind::regularFile:
    case platform::Location::Kind::pipe:
        return path;
    case platform::Location::Kind::missing:
        std::fprintf(stderr, "tessera %s: %s: %s\n", command, escapeForTerminal(path).c_str(),
                     std::strerror(location.error));
        return std::nullopt;
    case platform::Location::Kind::folder:
        refuse(command, path, "is a folder, not a snapshot (tessera scan reads folders)");
        break;
    case platform::Location::Kind::other:
        refuse(command, path, "is a device or socket, not a snapshot file: it is not read");
        break;
    }
    return std::nullopt;
}

} // namespace tessera::cli
