#include "cli/DistributedScan.h"

#include "cli/TerminalText.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

namespace tessera::cli {
namespace {

DistributedScanner installedScanner = nullptr;

std::string executableFolder() {
    char buffer[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (length <= 0) return {};
    std::string path(buffer, static_cast<std::size_t>(length));
    return path.substr(0, path.rfind('/'));
}

} // namespace

void setDistributedScanner(DistributedScanner scanner) {
    installedScanner = scanner;
}

DistributedScanner distributedScanner() {
    return installedScanner;
}

int runInMpiHelper(std::span<const std::string> arguments) {
#ifdef TESSERA_MPI_HELPER
    // Beside the executable in a build tree, in the helpers' folder once installed.
    const std::string folder = executableFolder();
    const std::string candidates[] = {
        folder + "/" TESSERA_MPI_HELPER,
        folder + "/" TESSERA_MPI_HELPER_FROM_BINARIES "/" TESSERA_MPI_HELPER,
    };
    for (const std::string& helper : candidates) {
        if (::access(helper.c_str(), X_OK) != 0) continue;
        std::vector<std::string> words{helper, "scan"};
        words.insert(words.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        for (std::string& word : words)
            argv.push_back(word.data());
        argv.push_back(nullptr);
        ::execv(helper.c_str(), argv.data());
        std::fprintf(stderr, "tessera scan: --mpi: cannot run %s: %s\n",
                     escapeForTerminal(helper).c_str(), std::strerror(errno));
        return 1;
    }
    std::fprintf(stderr, "tessera scan: --mpi: the MPI helper %s is missing beside %s\n",
                 TESSERA_MPI_HELPER, escapeForTerminal(folder).c_str());
    return 1;
#else
    (void)arguments;
    (void)executableFolder;
    std::fputs("tessera scan: --mpi: this tessera was built without MPI (OpenMPI was not found "
               "when it was built)\n",
               stderr);
    return 1;
#endif
}

} // namespace tessera::cli
