// Snapshots of measured trees: written in either form, read back whatever the form.
#pragma once

#include "platform/Files.h"
#include "snapshot/ReadProgress.h"
#include "snapshot/SnapshotDecoder.h"
#include "snapshot/SnapshotEncoder.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

namespace tessera {

class Snapshot {
public:
    /// The bytes of a snapshot file of `root`.
    static std::string makeData(const File& root, const SnapshotEncoder::Options& options);
    /// Writes a snapshot of `root` to `path` as it is encoded (see platform::AtomicFile for
    /// what each kind of target becomes). Options that give an unreadable snapshot are refused
    /// before anything is written.
    [[nodiscard]] static std::expected<void, std::string>
    save(const File& root, const SnapshotEncoder::Options& options, const std::string& path);
    /// The same to an output already chosen (standard output, say).
    [[nodiscard]] static std::expected<void, std::string>
    save(const File& root, const SnapshotEncoder::Options& options, platform::AtomicFile& file);

    /// The tree in a snapshot's bytes: JSON when they open with "{" (dates as ISO 8601 texts,
    /// or as seconds since 2001 from older versions), else TSV.
    [[nodiscard]] static std::expected<FilePtr, SnapshotError> loadRoot(std::string_view data);
    /// The same from a file, read as it streams by: only the tree is kept in memory. `keys`,
    /// when given, receives the properties the snapshot holds (its columns). `progress`, when
    /// given, counts the bytes read; cancelled, the reading stops with the error
    /// kCancelled and what was read is freed.
    [[nodiscard]] static std::expected<FilePtr, SnapshotError>
    loadRootFromFile(const std::string& path, std::vector<FileKey>* keys = nullptr,
                     ReadProgress* progress = nullptr);
    /// The error of a reading cancelled through its ReadProgress.
    static constexpr std::string_view kCancelled = "The reading was cancelled.";
};

} // namespace tessera
