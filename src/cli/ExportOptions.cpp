#include "cli/ExportOptions.h"

#include "platform/Files.h"

#include <optional>

namespace tessera::cli {

std::expected<SnapshotEncoder::FileFormat, std::string> parseFormat(const std::string& text) {
    if (const auto format = fileFormatFromRaw(text)) return *format;
    return std::unexpected("unknown format '" + text + "' (tsv or json)");
}

std::expected<void, std::string>
exportSnapshot(const File& root, const SnapshotEncoder::Options& options, const std::string& path) {
    if (auto readable = SnapshotEncoder::checkReadable(options); !readable)
        return std::unexpected(readable.error());
    // "-" is standard output, as for other command-line tools.
    auto file = path == "-" ? std::expected<platform::AtomicFile, std::string>(
                                  platform::AtomicFile::standardOutput())
                            : platform::AtomicFile::create(path);
    if (!file) return std::unexpected(file.error());
    std::optional<std::string> failure;
    SnapshotEncoder(options).encode(root, [&](std::string_view piece) {
        if (failure) return;
        if (auto written = file->write(piece); !written) failure = written.error();
    });
    if (failure) return std::unexpected(*failure);
    return file->commit();
}

std::expected<std::vector<FileKey>, std::string> parseKeys(const std::string& text) {
    std::vector<FileKey> keys;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t comma = std::min(text.find(',', start), text.size());
        const std::string name = text.substr(start, comma - start);
        const auto key = fileKeyFromRaw(name);
        if (!key)
            return std::unexpected("unknown key '" + name +
                                   "' (name, size, allocatedSize, creationDate, modificationDate)");
        keys.push_back(*key);
        start = comma + 1;
    }
    return keys;
}

} // namespace tessera::cli
