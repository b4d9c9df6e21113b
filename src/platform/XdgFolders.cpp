#include "platform/XdgFolders.h"

#include "base/Paths.h"

#include <cstdlib>

namespace tessera::platform {
namespace {

std::string folder(const char* variable, const char* underHome) {
    if (const char* value = std::getenv(variable); value != nullptr && value[0] == '/')
        return value;
    const char* home = std::getenv("HOME");
    return joinPath(home != nullptr && home[0] == '/' ? home : "/", underHome);
}

} // namespace

std::string configHome() {
    return folder("XDG_CONFIG_HOME", ".config");
}

std::string dataHome() {
    return folder("XDG_DATA_HOME", ".local/share");
}

} // namespace tessera::platform
