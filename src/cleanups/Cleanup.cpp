#include "cleanups/Cleanup.h"

#include "base/Paths.h"

namespace tessera {

std::vector<Cleanup> defaultCleanups() {
    return {
        {"Compress to Archive", "tar -czf %p.tar.gz -C %d %n", false},
        {"Make Clean", "make -C %p clean", false},
        {"Git Clean", "git -C %p clean -dfx", true},
        {"Delete Junk Files",
         "find %p -type f \\( -name '*~' -o -name '*.bak' -o -name '*.tmp' -o -name '*.swp' -o "
         "-name core -o -name .DS_Store \\) -print -delete",
         true},
    };
}

std::string shellQuoted(std::string_view text) {
    // Single quotes keep every byte as it is but the single quote itself, which is closed,
    // escaped and reopened.
    std::string quoted = "'";
    for (const char c : text) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + "'";
}

std::string expandedCommand(const Cleanup& cleanup, std::string_view path) {
    const std::string_view& command = cleanup.command;
    std::string out;
    for (std::size_t i = 0; i < command.size(); ++i) {
        if (command[i] != '%' || i + 1 == command.size()) {
            out += command[i];
            continue;
        }
        switch (command[i + 1]) {
        case 'p':
            out += shellQuoted(path);
            break;
        case 'n':
            out += shellQuoted(lastComponent(path));
            break;
        case 'd':
            out += shellQuoted(parentPath(path));
            break;
        case '%':
            out += '%';
            break;
        default:
            out += '%';
            continue; // the next character as it is
        }
        ++i;
    }
    return out;
}

} // namespace tessera
