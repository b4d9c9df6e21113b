#include "support/TemporaryDirectory.h"

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tessera::testing {

TemporaryDirectory::TemporaryDirectory() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr ? base : "/tmp") + "/tessera-test-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
    chmod(path_.c_str(), 0755); // readable by the unprivileged user of permission tests
}

TemporaryDirectory::~TemporaryDirectory() {
    // rm walks with descriptors, so trees deeper than PATH_MAX go too; restore permissions first.
    const std::string command =
        "chmod -R u+rwx '" + path_ + "' 2>/dev/null; rm -rf '" + path_ + "'";
    [[maybe_unused]] const int status = std::system(command.c_str());
}

std::string TemporaryDirectory::writeFile(const std::string& relative, std::size_t size) const {
    const std::string file = path_ + "/" + relative;
    std::error_code ignored;
    std::filesystem::create_directories(std::filesystem::path(file).parent_path(), ignored);
    const int fd = open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) throw std::runtime_error("cannot create " + file);
    const std::vector<char> bytes(size, 'x');
    if (size > 0 && write(fd, bytes.data(), size) != static_cast<ssize_t>(size))
        throw std::runtime_error("cannot write " + file);
    close(fd);
    return file;
}

std::string TemporaryDirectory::makeDirectory(const std::string& relative) const {
    const std::string directory = path_ + "/" + relative;
    if (mkdir(directory.c_str(), 0755) != 0) throw std::runtime_error("cannot create " + directory);
    return directory;
}

void TemporaryDirectory::makeChain(const std::string& relative, int depth) const {
    int fd = open(makeDirectory(relative).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (int level = 0; level <= depth && fd >= 0; ++level) {
        if (level == depth) {
            for (const char* side : {"left", "right"}) {
                mkdirat(fd, side, 0755);
                const int file = openat(fd, (std::string(side) + "/bottom").c_str(),
                                        O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
                if (file < 0 || write(file, "12345", 5) != 5)
                    throw std::runtime_error("cannot finish the chain at " + relative);
                close(file);
            }
            break;
        }
        mkdirat(fd, "d", 0755);
        const int next = openat(fd, "d", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        close(fd);
        fd = next;
    }
    if (fd < 0) throw std::runtime_error("cannot make the chain at " + relative);
    close(fd);
}

} // namespace tessera::testing
