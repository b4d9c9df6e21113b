#include "snapshot/Snapshot.h"

#include "snapshot/JsonSnapshotReader.h"

#include <simdjson.h>

namespace tessera {

std::string Snapshot::makeData(const File& root, const SnapshotEncoder::Options& options) {
    return SnapshotEncoder(options).encode(root);
}

std::expected<FilePtr, SnapshotError> Snapshot::loadRoot(std::string data) {
    const std::size_t size = data.size();
    data.reserve(size + simdjson::SIMDJSON_PADDING);
    // A JSON snapshot is an object: anything else goes straight to the TSV reader.
    const std::size_t first = data.find_first_not_of(" \t\r\n");
    if (first != std::string::npos && data[first] == '{') {
        // The padding lies beyond size(): the reader sees exactly the file's bytes.
        auto json = readJsonSnapshot(data, SnapshotDateForm::iso8601);
        if (!json && json.error().typeMismatch)
            json = readJsonSnapshot(data, SnapshotDateForm::referenceSeconds);
        if (json) return std::move(*json);
    }
    return SnapshotDecoder().decode(data);
}

} // namespace tessera
