#include "cli/ProcessEnd.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <mutex>
#include <vector>

namespace tessera::cli {
namespace {

std::mutex keptMutex;
std::vector<FilePtr>& keptTrees() {
    static std::vector<FilePtr> trees;
    return trees;
}

} // namespace

void keepUntilProcessEnd(FilePtr tree) {
    const std::lock_guard lock(keptMutex);
    keptTrees().push_back(std::move(tree));
}

void endProcess(int status) {
    errno = 0;
    std::cout.flush();
    const bool written = std::cout.good() && std::fflush(stdout) == 0 && !std::ferror(stdout);
    const int error = errno != 0 ? errno : EIO;
    if (!written && status == 0) {
        std::fprintf(stderr, "tessera: standard output could not be written: %s\n",
                     std::strerror(error));
        status = 1;
    }
    std::fflush(stderr);
    std::_Exit(status);
}

} // namespace tessera::cli
