#include "cli/ExportOptions.h"

#include "platform/Files.h"
#include "snapshot/Snapshot.h"

#include <optional>

namespace tessera::cli {

std::expected<SnapshotEncoder::FileFormat, std::string> parseFormat(const std::string& text) {
    if (const auto format = fileFormatFromRaw(text)) return *format;
    return std::unexpected("unknown format '" + text + "' (tsv, json or ncdu)");
}

std::expected<void, std::string>
exportSnapshot(const File& root, const SnapshotEncoder::Options& options, const std::string& path) {
    // "-" is standard output, as for other command-line tools.
    if (path != "-") return Snapshot::save(root, options, path);
    platform::AtomicFile out = platform::AtomicFile::standardOutput();
    return Snapshot::save(root, options, out);
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
