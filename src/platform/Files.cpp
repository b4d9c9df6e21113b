#include "platform/Files.h"

#include "base/Paths.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <climits>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <optional>
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

namespace {

// Temporary files being written, removed by the handler of the signals that end a process
// (SIGINT, SIGTERM, SIGHUP) before the signal takes its usual course. Slots hold pointers to
// the owners' strings; only async-signal-safe calls happen in the handler.
constexpr std::size_t kTemporarySlots = 64;
std::array<std::atomic<const char*>, kTemporarySlots> temporaries{};
constexpr std::array<int, 3> kEndingSignals{SIGINT, SIGTERM, SIGHUP};
std::array<struct sigaction, 3> previousActions{};

void removeTemporaries(int signalNumber) {
    for (auto& slot : temporaries)
        if (const char* path = slot.load()) ::unlink(path);
    for (std::size_t i = 0; i < kEndingSignals.size(); ++i) {
        if (kEndingSignals[i] != signalNumber) continue;
        const struct sigaction& previous = previousActions[i];
        if ((previous.sa_flags & SA_SIGINFO) == 0 && previous.sa_handler != SIG_DFL &&
            previous.sa_handler != SIG_IGN) {
            previous.sa_handler(signalNumber);
            return;
        }
        if (previous.sa_handler == SIG_IGN) return;
        ::sigaction(signalNumber, &previous, nullptr);
        ::raise(signalNumber);
    }
}

void installSignalCleanup() {
    static std::once_flag once;
    std::call_once(once, [] {
        for (std::size_t i = 0; i < kEndingSignals.size(); ++i) {
            struct sigaction current {};
            if (::sigaction(kEndingSignals[i], nullptr, &current) != 0) continue;
            // A signal that was ignored (nohup) stays ignored; one with a handler of its own
            // is passed on to it after the clean-up.
            if ((current.sa_flags & SA_SIGINFO) != 0) continue;
            previousActions[i] = current;
            struct sigaction cleanup {};
            cleanup.sa_handler = removeTemporaries;
            sigemptyset(&cleanup.sa_mask);
            if (current.sa_handler != SIG_IGN) ::sigaction(kEndingSignals[i], &cleanup, nullptr);
        }
    });
}

void registerTemporary(const std::string& path) {
    installSignalCleanup();
    for (auto& slot : temporaries) {
        const char* empty = nullptr;
        if (slot.compare_exchange_strong(empty, path.c_str())) return;
    }
}

void unregisterTemporary(const std::string& path) {
    for (auto& slot : temporaries) {
        const char* mine = path.c_str();
        if (slot.compare_exchange_strong(mine, nullptr)) return;
    }
}

// The file a symbolic link finally names (the link's target may not exist yet); the path
// itself when it is no link. Fails on a loop.
std::expected<std::string, int> followLinks(std::string path) {
    for (int hops = 0; hops < 40; ++hops) {
        struct stat status;
        if (::lstat(path.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) return path;
        std::string target(PATH_MAX, '\0');
        const ssize_t length = ::readlink(path.c_str(), target.data(), target.size());
        if (length < 0) return std::unexpected(errno);
        target.resize(static_cast<std::size_t>(length));
        if (target.starts_with('/'))
            path = target;
        else
            path = joinPath(parentPath(path).empty() ? "." : std::string(parentPath(path)), target);
    }
    return std::unexpected(ELOOP);
}

// The descriptor that /dev/stdout, /dev/stderr, /dev/fd/N or /proc/self/fd/N names.
std::optional<int> ownDescriptor(std::string_view path) {
    if (path == "/dev/stdout") return STDOUT_FILENO;
    if (path == "/dev/stderr") return STDERR_FILENO;
    for (std::string_view prefix : {"/dev/fd/", "/proc/self/fd/"}) {
        if (!path.starts_with(prefix)) continue;
        const std::string_view digits = path.substr(prefix.size());
        int descriptor = 0;
        const auto [end, error] =
            std::from_chars(digits.data(), digits.data() + digits.size(), descriptor);
        if (error == std::errc() && end == digits.data() + digits.size() && !digits.empty())
            return descriptor;
    }
    return std::nullopt;
}

} // namespace

AtomicFile::AtomicFile(std::string path, std::string temporary, int fd, bool ownsFd)
    : path_(std::move(path)), temporary_(std::move(temporary)), fd_(fd), ownsFd_(ownsFd) {}

std::expected<AtomicFile, std::string> AtomicFile::create(const std::string& path) {
    // The process's own descriptors are written through as they are, so that
    // `--export /dev/stdout >> log` appends as the shell set it up.
    if (const auto descriptor = ownDescriptor(path)) {
        const int fd = ::fcntl(*descriptor, F_DUPFD_CLOEXEC, 0);
        if (fd < 0) return std::unexpected(describe(path, errno));
        return AtomicFile(path, {}, fd);
    }
    struct stat existing;
    const bool exists = ::stat(path.c_str(), &existing) == 0;
    if (exists && (S_ISCHR(existing.st_mode) || S_ISFIFO(existing.st_mode))) {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
        if (fd < 0) return std::unexpected(describe(path, errno));
        return AtomicFile(path, {}, fd);
    }
    const auto resolved = followLinks(path);
    if (!resolved) return std::unexpected(describe(path, resolved.error()));
    const std::string& target = *resolved;
    if (exists && S_ISDIR(existing.st_mode))
        return std::unexpected(path + ": is a folder; name a file to write");
    if (exists && !S_ISREG(existing.st_mode))
        return std::unexpected(path + ": is neither a file, a character device nor a FIFO");

    std::string folder(parentPath(target));
    if (folder.empty()) folder = ".";
    std::string temporary = joinPath(folder, "." + std::string(lastComponent(target)) + ".tmp-");
    std::random_device random;
    temporary += std::to_string(random());
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) return std::unexpected(describe(path, errno));
    if (exists) {
        // The replacement is what the replaced file was to its owner: a private snapshot stays
        // private. Setting the owner works for root only; others own what they write anyway.
        if (::fchown(fd, existing.st_uid, existing.st_gid) != 0 && errno != EPERM) {
            const int error = errno;
            ::close(fd);
            ::unlink(temporary.c_str());
            return std::unexpected(describe(path, error));
        }
        ::fchmod(fd, existing.st_mode & 07777);
    }
    AtomicFile file(target, std::move(temporary), fd);
    registerTemporary(file.temporary_);
    return file;
}

AtomicFile AtomicFile::standardOutput() {
    return AtomicFile("standard output", {}, STDOUT_FILENO, false);
}

AtomicFile::AtomicFile(AtomicFile&& other) noexcept
    : path_(std::move(other.path_)), fd_(std::exchange(other.fd_, -1)), ownsFd_(other.ownsFd_) {
    // The signal handler holds the address of the temporary name's characters: hand the slot
    // over to this object's copy of the name.
    const bool registered = !other.temporary_.empty() && fd_ >= 0;
    if (registered) unregisterTemporary(other.temporary_);
    temporary_ = std::move(other.temporary_);
    other.temporary_.clear();
    if (registered) registerTemporary(temporary_);
}

AtomicFile::~AtomicFile() {
    if (fd_ < 0) return;
    if (ownsFd_) ::close(fd_);
    if (!temporary_.empty()) {
        ::unlink(temporary_.c_str());
        unregisterTemporary(temporary_);
    }
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
    if (temporary_.empty()) {
        // A device or a pipe: nothing to flush to a disk, nothing to rename.
        if (ownsFd_ && ::close(fd) != 0 && errno != EINTR)
            return std::unexpected(describe(path_, errno));
        return {};
    }
    const bool synced = ::fsync(fd) == 0;
    const int syncError = errno;
    const auto fail = [&](int error) -> std::expected<void, std::string> {
        ::unlink(temporary_.c_str());
        unregisterTemporary(temporary_);
        return std::unexpected(describe(path_, error));
    };
    if (::close(fd) != 0 || !synced) return fail(synced ? errno : syncError);
    if (::rename(temporary_.c_str(), path_.c_str()) != 0) return fail(errno);
    unregisterTemporary(temporary_);
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
