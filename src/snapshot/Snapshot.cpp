#include "snapshot/Snapshot.h"

#include "snapshot/JsonSnapshotReader.h"
#include "snapshot/NcduReader.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <unistd.h>

namespace tessera {
namespace {

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

} // namespace

std::string Snapshot::makeData(const File& root, const SnapshotEncoder::Options& options) {
    return SnapshotEncoder(options).encode(root);
}

std::expected<void, std::string>
Snapshot::save(const File& root, const SnapshotEncoder::Options& options, const std::string& path) {
    if (auto readable = SnapshotEncoder::checkReadable(options); !readable) return readable;
    auto file = platform::AtomicFile::create(path);
    if (!file) return std::unexpected(file.error());
    return save(root, options, *file);
}

std::expected<void, std::string> Snapshot::save(const File& root,
                                                const SnapshotEncoder::Options& options,
                                                platform::AtomicFile& file) {
    if (auto readable = SnapshotEncoder::checkReadable(options); !readable) return readable;
    std::optional<std::string> failure;
    SnapshotEncoder(options).encode(root, [&](std::string_view piece) {
        if (failure) return;
        if (auto written = file.write(piece); !written) failure = written.error();
    });
    if (failure) return std::unexpected(*failure);
    return file.commit();
}

std::expected<FilePtr, SnapshotError> Snapshot::loadRoot(std::string_view data) {
    // A JSON snapshot is an object; the TSV form cannot begin with "{" (its first line names
    // keys as JSON strings), so anything else is TSV.
    // An ncdu or gdu export is an array.
    const std::size_t first = data.find_first_not_of(" \t\r\n");
    if (first != std::string_view::npos && data[first] == '[') {
        auto ncdu = readNcduExport(data);
        if (!ncdu) return std::unexpected(SnapshotError{std::move(ncdu.error())});
        return std::move(*ncdu);
    }
    if (first == std::string_view::npos || data[first] != '{')
        return SnapshotDecoder().decode(data);
    auto json = readJsonSnapshot(data);
    if (!json) return std::unexpected(SnapshotError{std::move(json.error())});
    return std::move(*json);
}

namespace {

// A file read through stdio that counts the bytes it hands over and fails once cancelled (the
// readers then stop as at any read error).
struct CountedFile {
    int fd;
    ReadProgress* progress;
};

ssize_t readCounted(void* cookie, char* buffer, std::size_t size) {
    auto* counted = static_cast<CountedFile*>(cookie);
    if (counted->progress->cancelled.load(std::memory_order_relaxed)) {
        errno = ECANCELED;
        return -1;
    }
    ssize_t got;
    do
        got = ::read(counted->fd, buffer, size);
    while (got < 0 && errno == EINTR);
    if (got > 0) counted->progress->bytes.fetch_add(static_cast<std::uint64_t>(got));
    return got;
}

int closeCounted(void* cookie) {
    auto* counted = static_cast<CountedFile*>(cookie);
    const int closed = ::close(counted->fd);
    delete counted;
    return closed;
}

std::FILE* openForReading(const std::string& path, ReadProgress* progress) {
    if (progress == nullptr) return std::fopen(path.c_str(), "rbe");
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return nullptr;
    auto* cookie = new CountedFile{fd, progress};
    std::FILE* file = ::fopencookie(cookie, "rb", {readCounted, nullptr, nullptr, closeCounted});
    if (file == nullptr) {
        const int error = errno;
        closeCounted(cookie);
        errno = error;
    }
    return file;
}

} // namespace

std::expected<FilePtr, SnapshotError> Snapshot::loadRootFromFile(const std::string& path,
                                                                 std::vector<FileKey>* keys,
                                                                 ReadProgress* progress) {
    const auto unreadable = [](int error) {
        return std::unexpected(SnapshotError{std::strerror(error)});
    };
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(openForReading(path, progress),
                                                         &std::fclose);
    if (!file) return unreadable(errno);
    std::atomic<std::uint64_t>* entries = progress != nullptr ? &progress->entries : nullptr;
    auto loaded = [&]() -> std::expected<FilePtr, SnapshotError> {
        // The whitespace before the first other byte is kept: TSV counts its lines.
        std::string lead;
        int c;
        while ((c = std::fgetc(file.get())) != EOF && isSpace(static_cast<char>(c)))
            lead += static_cast<char>(c);
        if (std::ferror(file.get())) return unreadable(errno);
        if (c != EOF) std::ungetc(c, file.get());
        if (c == '[') {
            auto ncdu = readNcduExport(file.get(), lead.size(), entries);
            if (!ncdu) return std::unexpected(SnapshotError{std::move(ncdu.error())});
            if (keys != nullptr)
                *keys = {FileKey::name, FileKey::modificationDate, FileKey::size,
                         FileKey::allocatedSize};
            return std::move(*ncdu);
        }
        if (c != '{') return SnapshotDecoder().decode(file.get(), lead, keys, entries);
        auto json = readJsonSnapshot(file.get(), lead.size(), keys, entries);
        if (!json) return std::unexpected(SnapshotError{std::move(json.error())});
        return std::move(*json);
    }();
    // Whatever a reader made of the failed read, a cancelled reading says so.
    if (progress != nullptr && progress->cancelled.load())
        return std::unexpected(SnapshotError{std::string(kCancelled)});
    return loaded;
}

} // namespace tessera
