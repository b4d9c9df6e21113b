// Whole-file reads and atomic writes.
#pragma once

#include <expected>
#include <string>
#include <string_view>

namespace tessera::platform {

/// The file's bytes, or why not (the system's description, with the path).
std::expected<std::string, std::string> readWholeFile(const std::string& path);

/// A file written under a temporary name beside its target and renamed over the target only
/// when complete, so that an interrupted write never leaves a half file under the chosen name.
/// Dropped without commit(), it leaves nothing behind. The file gets the usual permissions
/// (0666 less the umask).
class AtomicFile {
public:
    static std::expected<AtomicFile, std::string> create(const std::string& path);
    AtomicFile(AtomicFile&& other) noexcept;
    AtomicFile& operator=(AtomicFile&&) = delete;
    ~AtomicFile();

    std::expected<void, std::string> write(std::string_view data);
    /// Flushes the data to the disk and renames the file over its target.
    std::expected<void, std::string> commit();

private:
    AtomicFile(std::string path, std::string temporary, int fd)
        : path_(std::move(path)), temporary_(std::move(temporary)), fd_(fd) {}
    std::string path_;
    std::string temporary_;
    int fd_ = -1;
};

/// Writes `data` through an AtomicFile.
std::expected<void, std::string> writeFileAtomically(const std::string& path,
                                                     std::string_view data);

} // namespace tessera::platform
