#include "platform/Files.h"

#include "model/Paths.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace tessera::platform {
namespace {

std::string describe(const std::string& path, int error) {
    return path + ": " + std::strerror(error);
}

} // namespace

std::expected<std::string, std::string> readWholeFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::unexpected(describe(path, errno));
    struct stat status;
    std::size_t expected = 1 << 16;
    if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode))
        expected = static_cast<std::size_t>(status.st_size) + 1;
    // Read straight into the string.
    std::string data;
    data.reserve(expected);
    std::size_t used = 0;
    for (;;) {
        if (used == data.size()) data.resize(std::max(expected, data.size() * 2));
        const ssize_t got = ::read(fd, data.data() + used, data.size() - used);
        if (got == 0) break;
        if (got < 0) {
            if (errno == EINTR) continue;
            const int error = errno;
            ::close(fd);
            return std::unexpected(describe(path, error));
        }
        used += static_cast<std::size_t>(got);
    }
    ::close(fd);
    data.resize(used);
    return data;
}

std::expected<AtomicFile, std::string> AtomicFile::create(const std::string& path) {
    std::string folder(parentPath(path));
    if (folder.empty()) folder = ".";
    std::string temporary = joinPath(folder, "." + std::string(lastComponent(path)) + ".tmp-");
    std::random_device random;
    temporary += std::to_string(random());
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) return std::unexpected(describe(path, errno));
    return AtomicFile(path, std::move(temporary), fd);
}

AtomicFile::AtomicFile(AtomicFile&& other) noexcept
    : path_(std::move(other.path_)), temporary_(std::move(other.temporary_)),
      fd_(std::exchange(other.fd_, -1)) {}

AtomicFile::~AtomicFile() {
    if (fd_ < 0) return;
    ::close(fd_);
    ::unlink(temporary_.c_str());
}

std::expected<void, std::string> AtomicFile::write(std::string_view data) {
    while (!data.empty()) {
        const ssize_t written = ::write(fd_, data.data(), data.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return std::unexpected(describe(path_, errno));
        }
        data.remove_prefix(static_cast<std::size_t>(written));
    }
    return {};
}

std::expected<void, std::string> AtomicFile::commit() {
    const int fd = std::exchange(fd_, -1);
    const bool synced = ::fsync(fd) == 0;
    const int syncError = errno;
    if (::close(fd) != 0 || !synced) {
        const int error = synced ? errno : syncError;
        ::unlink(temporary_.c_str());
        return std::unexpected(describe(path_, error));
    }
    if (::rename(temporary_.c_str(), path_.c_str()) != 0) {
        const int error = errno;
        ::unlink(temporary_.c_str());
        return std::unexpected(describe(path_, error));
    }
    return {};
}

std::expected<void, std::string> writeFileAtomically(const std::string& path,
                                                     std::string_view data) {
    auto file = AtomicFile::create(path);
    if (!file) return std::unexpected(file.error());
    if (auto written = file->write(data); !written) return written;
    return file->commit();
}

} // namespace tessera::platform
