#include "snapshot/SnapshotEncoder.h"

#include "model/Directory.h"
#include "model/Iso8601.h"
#include "model/TextFolding.h"
#include "snapshot/NcduWriter.h"
#include "snapshot/StoredName.h"

#include "json/JsonWriter.h"
#include <algorithm>
#include <charconv>

namespace tessera {
namespace {

bool contains(const std::vector<FileKey>& keys, FileKey key) {
    return std::find(keys.begin(), keys.end(), key) != keys.end();
}

void appendName(std::string& out, std::string_view name) {
    appendStoredName(out, name);
}

void appendDate(std::string& out, Date date) {
    out += '"';
    appendIso8601(out, date);
    out += '"';
}

// Folded names are lower case already; ASCII ones are compared as if they were, whatever the
// process's locale.
unsigned char asciiLower(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte >= 'A' && byte <= 'Z' ? static_cast<unsigned char>(byte + ('a' - 'A')) : byte;
}

void appendInteger(std::string& out, std::int64_t value) {
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    out.append(digits, end);
}

// The order of TSV children: by name, ignoring case, stable. ASCII names are compared in place,
// others folded once into one buffer.
struct SortEntry {
    const File* file;
    std::string_view key;
    std::size_t position; // in the directory: ties keep it
    std::size_t foldedAt; // where the folded name begins in the buffer, or npos
    std::size_t foldedLength;
};

class TsvOrder {
public:
    /// The children of `directory` in TSV order; valid until the next call.
    const std::vector<SortEntry>& sort(const Directory& directory) {
        entries_.clear();
        folded_.clear();
        for (const File* child : directory.contents()) {
            const std::string_view name = child->path();
            const bool ascii = std::all_of(name.begin(), name.end(), [](char c) {
                return static_cast<unsigned char>(c) < 0x80;
            });
            SortEntry entry{child, name, entries_.size(), std::string::npos, 0};
            if (!ascii) {
                entry.foldedAt = folded_.size();
                folded_ += foldText(name, TextFolding::caseInsensitive);
                entry.foldedLength = folded_.size() - entry.foldedAt;
            }
            entries_.push_back(entry);
        }
        // The buffer has stopped moving: folded keys can point into it.
        for (SortEntry& entry : entries_)
            if (entry.foldedAt != std::string::npos)
                entry.key = std::string_view(folded_).substr(entry.foldedAt, entry.foldedLength);
        std::sort(entries_.begin(), entries_.end(), [](const SortEntry& a, const SortEntry& b) {
            const std::size_t common = std::min(a.key.size(), b.key.size());
            for (std::size_t i = 0; i < common; ++i) {
                const unsigned char l = asciiLower(a.key[i]);
                const unsigned char r = asciiLower(b.key[i]);
                if (l != r) return l < r;
            }
            if (a.key.size() != b.key.size()) return a.key.size() < b.key.size();
            return a.position < b.position;
        });
        return entries_;
    }

private:
    std::vector<SortEntry> entries_;
    std::string folded_;
};

// Writes one member of a pretty-printed object: separator, newline, indentation, key.
class MemberWriter {
public:
    MemberWriter(std::string& out, std::size_t indent) : out_(out), indent_(indent) {}
    void key(std::string_view name) {
        out_ += first_ ? "\n" : ",\n";
        first_ = false;
        out_.append(indent_, ' ');
        out_ += '"';
        out_ += name;
        out_ += "\" : ";
    }
    bool empty() const { return first_; }

private:
    std::string& out_;
    std::size_t indent_;
    bool first_ = true;
};

} // namespace

std::string_view rawValue(SnapshotEncoder::FileFormat format) {
    switch (format) {
    case SnapshotEncoder::FileFormat::json:
        return "json";
    case SnapshotEncoder::FileFormat::ncdu:
        return "ncdu";
    case SnapshotEncoder::FileFormat::tsv:
        break;
    }
    return "tsv";
}

std::optional<SnapshotEncoder::FileFormat> fileFormatFromRaw(std::string_view raw) {
    if (raw == "tsv") return SnapshotEncoder::FileFormat::tsv;
    if (raw == "json") return SnapshotEncoder::FileFormat::json;
    if (raw == "ncdu") return SnapshotEncoder::FileFormat::ncdu;
    return std::nullopt;
}

std::expected<void, std::string> SnapshotEncoder::checkReadable(const Options& options) {
    const std::vector<FileKey>& keys = options.includedKeys;
    for (std::size_t i = 0; i < keys.size(); ++i)
        for (std::size_t j = i + 1; j < keys.size(); ++j)
            if (keys[i] == keys[j])
                return std::unexpected("the key " + std::string(rawValue(keys[i])) +
                                       " is given twice");
    if (options.format != FileFormat::tsv) return {};
    const auto has = [&keys](FileKey key) {
        return std::find(keys.begin(), keys.end(), key) != keys.end();
    };
    if (!has(FileKey::name))
        return std::unexpected(
            "a TSV snapshot without the name key could not be read back; JSON can hold it");
    if (!has(FileKey::size) && !has(FileKey::allocatedSize))
        return std::unexpected("without size or allocatedSize, the folders and files of a TSV "
                               "snapshot look alike and could not be read back; JSON can hold it");
    return {};
}

SnapshotEncoder::SnapshotEncoder(Options options)
    : options_(std::move(options)), fileKeys_(options_.includedKeys) {
    for (FileKey key : fileKeys_)
        if (key != FileKey::size && key != FileKey::allocatedSize) directoryKeys_.push_back(key);
}

constexpr std::size_t kPieceBytes = 1 << 20;

// Hands `out` to the sink once it holds a piece's worth.
void flushIfFull(std::string& out, const SnapshotEncoder::Sink& sink) {
    if (out.size() < kPieceBytes) return;
    sink(out);
    out.clear();
}

std::string SnapshotEncoder::encode(const File& root) const {
    // A guess from the number of leaves, so that the string grows about once.
    const Directory* directory = root.asDirectory();
    const auto leaves = static_cast<std::size_t>(directory != nullptr ? directory->fileCount() : 1);
    const std::size_t perEntry = options_.format == FileFormat::json
                                     ? 64 + 72 * options_.includedKeys.size()
                                     : 24 + 28 * options_.includedKeys.size();
    std::string whole;
    whole.reserve(std::min<std::size_t>(leaves * perEntry * 11 / 10, std::size_t{1} << 34));
    encode(root, [&whole](std::string_view piece) { whole.append(piece); });
    return whole;
}

void SnapshotEncoder::encode(const File& root, const Sink& sink) const {
    std::string out;
    out.reserve(kPieceBytes + 64 * 1024);
    if (options_.format == FileFormat::json)
        encodeJson(root, out, sink);
    else if (options_.format == FileFormat::ncdu)
        encodeNcdu(root, options_.rootName, out, sink, kPieceBytes);
    else
        encodeTsv(root, out, sink);
    if (!out.empty()) sink(out);
}

void SnapshotEncoder::appendCells(std::string& line, const File& file) const {
    const auto& keys = file.isDirectory() ? directoryKeys_ : fileKeys_;
    bool first = true;
    for (FileKey key : keys) {
        if (!first) line += Options::cellSeparator;
        first = false;
        switch (key) {
        case FileKey::name:
            appendName(line, file.path());
            break;
        case FileKey::creationDate:
            appendDate(line, file.creationDate());
            break;
        case FileKey::modificationDate:
            appendDate(line, file.modificationDate());
            break;
        case FileKey::size:
            appendInteger(line, file.size());
            break;
        case FileKey::allocatedSize:
            appendInteger(line, file.allocatedSize());
            break;
        }
    }
}

void SnapshotEncoder::encodeTsv(const File& root, std::string& out, const Sink& sink) const {
    for (std::size_t i = 0; i < fileKeys_.size(); ++i) {
        if (i > 0) out += Options::cellSeparator;
        out += '"';
        out += rawValue(fileKeys_[i]);
        out += '"';
    }
    // Pre-order with an explicit stack: trees can be deeper than the call stack.
    std::vector<std::pair<const File*, std::size_t>> pending{{&root, 0}};
    TsvOrder order;
    while (!pending.empty()) {
        const auto [file, level] = pending.back();
        pending.pop_back();
        flushIfFull(out, sink);
        out += Options::lineSeparator;
        out.append(level, Options::levelMarker);
        appendCells(out, *file);
        if (const Directory* directory = file->asDirectory()) {
            const std::vector<SortEntry>& sorted = order.sort(*directory);
            for (auto it = sorted.rbegin(); it != sorted.rend(); ++it)
                pending.emplace_back(it->file, level + 1);
        }
    }
}

void SnapshotEncoder::encodeJson(const File& root, std::string& out, const Sink& sink) const {
    const auto& keys = options_.includedKeys;
    const bool name = contains(keys, FileKey::name);
    const bool created = contains(keys, FileKey::creationDate);
    const bool modified = contains(keys, FileKey::modificationDate);
    const bool size = contains(keys, FileKey::size);
    const bool allocated = contains(keys, FileKey::allocatedSize);

    // Members are written in byte order of their keys: allocatedSize, contents, creationDate,
    // modificationDate, name, size. A directory's own members after "contents" wait until its
    // children are written.
    auto writeTail = [&](const File& file, MemberWriter& members) {
        if (created) {
            members.key("creationDate");
            appendDate(out, file.creationDate());
        }
        if (modified) {
            members.key("modificationDate");
            appendDate(out, file.modificationDate());
        }
        if (name) {
            members.key("name");
            appendName(out, file.path());
        }
        if (size && !file.isDirectory()) {
            members.key("size");
            appendInteger(out, file.size());
        }
    };
    auto closeObject = [&out](const MemberWriter& members, std::size_t indent) {
        if (!members.empty()) {
            out += '\n';
            out.append(indent, ' ');
        }
        out += '}';
    };

    struct Frame {
        const Directory* directory;
        std::size_t next;
        std::size_t indent; // of the directory's object
        MemberWriter members;
    };
    out += "{\n  \"rootFile\" : ";
    std::vector<Frame> stack;
    auto open = [&](const File& file, std::size_t indent) {
        out += '{';
        MemberWriter members(out, indent + 2);
        if (allocated && !file.isDirectory()) {
            members.key("allocatedSize");
            appendInteger(out, file.allocatedSize());
        }
        if (const Directory* directory = file.asDirectory()) {
            members.key("contents");
            out += '[';
            stack.push_back({directory, 0, indent, members});
            return;
        }
        writeTail(file, members);
        closeObject(members, indent);
    };
    open(root, 2);
    while (!stack.empty()) {
        Frame& frame = stack.back();
        const std::size_t childIndent = frame.indent + 4;
        flushIfFull(out, sink);
        if (frame.next < frame.directory->count()) {
            out += frame.next == 0 ? "\n" : ",\n";
            out.append(childIndent, ' ');
            const File* child = frame.directory->child(frame.next++);
            open(*child, childIndent); // may push: `frame` is not used after this
            continue;
        }
        if (frame.directory->count() > 0) {
            out += '\n';
            out.append(frame.indent + 2, ' ');
        }
        out += ']';
        MemberWriter members = frame.members;
        const Directory* directory = frame.directory;
        const std::size_t indent = frame.indent;
        stack.pop_back();
        writeTail(*directory, members);
        closeObject(members, indent);
    }
    out += ",\n  \"version\" : 1\n}";
}

} // namespace tessera
