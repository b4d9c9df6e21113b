#include "cli/TreeArguments.h"

#include "cli/ScanRunner.h"
#include "cli/TerminalText.h"
#include "controller/TreeLoading.h"
#include "platform/Process.h"

#include <algorithm>
#include <cstdio>

namespace tessera::cli {

FilePtr loadTreeArgument(std::string& path, const char* command) {
    auto loaded = tessera::loadTree(path, Pipes::read, [](const std::string& folder) {
        return runScan(folder, nullptr, 0, platform::standardErrorIsTerminal()).root;
    });
    if (!loaded) {
        std::string message = loaded.error().message();
        std::replace(message.begin(), message.end(), '\n', ' ');
        std::fprintf(stderr, "tessera %s: %s\n", command, escapeForTerminal(message).c_str());
        return nullptr;
    }
    path = loaded->path;
    return std::move(loaded->root);
}

} // namespace tessera::cli
