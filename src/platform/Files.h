// Whole-file reads and atomic writes.
#pragma once

#include <expected>
#include <string>
#include <string_view>

namespace tessera::platform {

/// The file's bytes, or why not (the system's description, with the path).
[[nodiscard]] std::expected<std::string, std::string> readWholeFile(const std::string& path);

/// Where written output goes, chosen by what the target path names:
/// - a regular file, or nothing yet: a file written under a temporary name beside it and renamed
///   over it only when complete, so that an interrupted write never leaves a half file under the
///   chosen name. A replaced file keeps its permissions and, where the process may set it, its
///   owner; a new one gets the usual permissions (0666 less the umask).
/// - a symbolic link: the file it names, replaced as above (the link stays a link);
/// - a character device or a FIFO (/dev/null, /dev/stdout, a pipe): written straight through;
/// - anything else (a folder, a socket, a block device) is refused.
/// Dropped without commit(), it leaves no temporary file behind, and neither does SIGINT,
/// SIGTERM or SIGHUP while it is being written.
class AtomicFile {
public:
    [[nodiscard]] static std::expected<AtomicFile, std::string> create(const std::string& path);
    /// Writes straight to standard output (a target of "-" on the command line).
    static AtomicFile standardOutput();
    AtomicFile(AtomicFile&& other) noexcept;
    AtomicFile& operator=(AtomicFile&&) = delete;
    ~AtomicFile();

    [[nodiscard]] std::expected<void, std::string> write(std::string_view data);
    /// Flushes the data to the disk and renames the file over its target (for a device or FIFO,
    /// only closes it).
    [[nodiscard]] std::expected<void, std::string> commit();

private:
    AtomicFile(std::string path, std::string temporary, int fd, bool ownsFd = true);
    std::string path_;
    std::string temporary_; // empty when written straight through
    int fd_ = -1;
    bool ownsFd_ = true;
};

/// Writes `data` through an AtomicFile.
[[nodiscard]] std::expected<void, std::string> writeFileAtomically(const std::string& path,
                                                                   std::string_view data);

} // namespace tessera::platform
