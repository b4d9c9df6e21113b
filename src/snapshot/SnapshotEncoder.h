// Writes a tree as a snapshot: a pretty-printed JSON document or TSV lines (see the README's
// format section). Encoding never touches the disk and never fails.
#pragma once

#include "model/File.h"

#include <expected>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tessera {

class SnapshotEncoder {
public:
    /// ncdu: the export format of ncdu and gdu, which holds names, sizes and modification
    /// dates whatever the keys.
    enum class FileFormat { tsv, json, ncdu };

    struct Options {
        /// The columns, in column order.
        std::vector<FileKey> includedKeys{allFileKeys.begin(), allFileKeys.end()};
        FileFormat format = FileFormat::tsv;
        /// ncdu: the root folder's name when the tree's root has none (the path scanned; ncdu
        /// shows it as the root's location).
        std::string rootName;
        static constexpr char lineSeparator = '\n';
        static constexpr char levelMarker = ' ';
        static constexpr char cellSeparator = '\t';
    };

    explicit SnapshotEncoder(Options options);

    /// Why a snapshot written with `options` could not be read back, if it could not: a key
    /// given twice, or for TSV a missing name column or no size column at all (folder and file
    /// lines then look alike). JSON reads back any set of distinct keys.
    [[nodiscard]] static std::expected<void, std::string> checkReadable(const Options& options);

    /// The complete snapshot of `root` in the options' form.
    std::string encode(const File& root) const;

    /// Receives the snapshot in pieces, in order; the pieces are valid during the call only.
    using Sink = std::function<void(std::string_view)>;
    /// Streams the snapshot of `root` to `sink` in pieces of about a megabyte, so that writing a
    /// big tree to a file needs no buffer of the file's size.
    void encode(const File& root, const Sink& sink) const;

private:
    void encodeJson(const File& root, std::string& out, const Sink& sink) const;
    void encodeTsv(const File& root, std::string& out, const Sink& sink) const;
    void appendCells(std::string& line, const File& file) const;

    Options options_;
    std::vector<FileKey> fileKeys_;
    std::vector<FileKey> directoryKeys_;
};

std::string_view rawValue(SnapshotEncoder::FileFormat format);
std::optional<SnapshotEncoder::FileFormat> fileFormatFromRaw(std::string_view raw);

} // namespace tessera
