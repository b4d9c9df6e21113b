#include "snapshot/SnapshotDecoder.h"

#include "model/Directory.h"
#include "snapshot/JsonCell.h"
#include "snapshot/ReadProgress.h"
#include "snapshot/StoredName.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <vector>

namespace tessera {
namespace {

constexpr char kLineSeparator = '\n';
constexpr char kLevelMarker = ' ';
constexpr char kCellSeparator = '\t';
// The cells of one line: a name of 65,535 bytes with every byte escaped (at most 6 characters
// each), four dates or sizes and their separators, with room to spare.
constexpr std::size_t kLongestCells = 6 * 65535 + 1024;

std::unexpected<SnapshotError> corrupted(std::size_t line, const std::string& what) {
    return std::unexpected(SnapshotError{"The snapshot is damaged (line " + std::to_string(line) +
                                         "): " + what + "."});
}

void splitCells(std::string_view text, std::vector<std::string_view>& cells) {
    cells.clear();
    for (;;) {
        const std::size_t tab = text.find(kCellSeparator);
        cells.push_back(text.substr(0, tab));
        if (tab == std::string_view::npos) return;
        text.remove_prefix(tab + 1);
    }
}

// A directory whose children are still being read.
struct OpenDirectory {
    DirectoryPtr directory;
    std::vector<FilePtr> children;
};

class Reader {
public:
    explicit Reader(std::atomic<std::uint64_t>* entries = nullptr) : tally_(entries) {}

    /// Reads the complete lines of `data`; what follows the last line feed waits for the next
    /// piece (or for finish(), as the last line).
    std::optional<SnapshotError> feed(std::string_view data) {
        if (!pending_.empty()) {
            const std::size_t end = data.find(kLineSeparator);
            pending_.append(data.substr(0, end));
            if (end == std::string_view::npos) return checkLength(pending_);
            data.remove_prefix(end + 1);
            std::string line = std::move(pending_);
            pending_.clear();
            if (auto error = readLine(line)) return error;
        }
        for (;;) {
            const std::size_t end = data.find(kLineSeparator);
            if (end == std::string_view::npos) break;
            if (auto error = readLine(data.substr(0, end))) return error;
            data.remove_prefix(end + 1);
        }
        pending_.assign(data);
        return checkLength(pending_);
    }

    /// The header's columns, in order.
    const std::vector<FileKey>& keys() const { return fileKeys_; }

    std::expected<FilePtr, SnapshotError> finish() {
        if (!pending_.empty()) {
            const std::string line = std::move(pending_);
            pending_.clear();
            if (auto error = readLine(line)) return std::unexpected(*error);
        }
        if (!sawHeader_ && lineNumber_ == 0)
            return std::unexpected(SnapshotError{"The snapshot is empty: it holds no tree."});
        if (!sawHeader_) return corrupted(lineNumber_, "there is no header line");
        if (!root_ && stack_.empty())
            return corrupted(lineNumber_, "there is no line after the header");
        if (root_) return std::move(root_);
        while (stack_.size() > 1)
            if (auto error = close(lineNumber_)) return std::unexpected(*error);
        if (auto error = close(lineNumber_)) return std::unexpected(*error);
        return std::move(root_);
    }

private:
    EntryTally tally_;
    /// Fails as soon as a line, complete or not, is longer than any snapshot's can be: a line
    /// holds at most one level marker per level of the tree read so far (plus one) and cells of
    /// bounded length. So a damaged or hostile file costs no more memory than its tree.
    std::optional<SnapshotError> checkLength(std::string_view line) const {
        if (line.size() <= kLongestCells) return std::nullopt;
        const std::size_t markers = std::min(line.find_first_not_of(kLevelMarker), line.size());
        if (markers > stack_.size() + 1)
            return corrupted(lineNumber_ + 1, "a line goes deeper than one level below the last")
                .error();
        if (line.size() - markers > kLongestCells)
            return corrupted(lineNumber_ + 1, "a line is longer than any entry's can be").error();
        return std::nullopt;
    }

    std::optional<SnapshotError> readLine(std::string_view line) {
        if (auto error = checkLength(line)) return error;
        ++lineNumber_;
        if (line.empty()) return std::nullopt;
        if (!sawHeader_) {
            if (auto error = readHeader(line, lineNumber_)) return error;
            sawHeader_ = true;
            return std::nullopt;
        }
        std::size_t depth = 0;
        while (depth < line.size() && line[depth] == kLevelMarker)
            ++depth;
        splitCells(line.substr(depth), cells_);
        return readNode(depth, cells_, lineNumber_);
    }

private:
    std::optional<SnapshotError> readHeader(std::string_view line, std::size_t lineNumber) {
        std::vector<std::string_view> cells;
        splitCells(line, cells);
        for (std::string_view cell : cells) {
            auto name = jsoncell::readString(cell);
            if (!name) return corrupted(lineNumber, "header: " + name.error()).error();
            const auto key = fileKeyFromRaw(*name);
            if (!key)
                return corrupted(lineNumber, "header: unknown column \"" + *name + "\"").error();
            if (std::find(fileKeys_.begin(), fileKeys_.end(), *key) != fileKeys_.end())
                return corrupted(lineNumber, "header: column \"" + *name + "\" appears twice")
                    .error();
            fileKeys_.push_back(*key);
            if (*key != FileKey::size && *key != FileKey::allocatedSize)
                directoryKeys_.push_back(*key);
        }
        return std::nullopt;
    }

    std::optional<SnapshotError> readNode(std::size_t depth,
                                          const std::vector<std::string_view>& cells,
                                          std::size_t lineNumber) {
        const bool isDirectory = cells.size() != fileKeys_.size();
        const auto& keys = isDirectory ? directoryKeys_ : fileKeys_;
        std::string_view name = "?";
        Date created, modified;
        std::int64_t size = 0, allocated = 0;
        for (std::size_t i = 0; i < std::min(keys.size(), cells.size()); ++i) {
            if (jsoncell::isNull(cells[i])) continue;
            const auto column = [&] { return std::string(rawValue(keys[i])); };
            switch (keys[i]) {
            case FileKey::name: {
                auto text = jsoncell::readStringView(cells[i], scratch_);
                if (!text) return corrupted(lineNumber, column() + ": " + text.error()).error();
                name = *text;
                if (!std::all_of(name.begin(), name.end(),
                                 [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
                    auto bytes = fromStoredName(name);
                    if (!bytes) return corrupted(lineNumber, "name: broken byte escape").error();
                    nameBytes_ = std::move(*bytes);
                    name = nameBytes_;
                }
                if (name.size() > 65535)
                    return corrupted(lineNumber, "name: longer than 65535 bytes").error();
                if (depth > 0)
                    if (const auto problem = entryNameProblem(name))
                        return corrupted(lineNumber, "name: " + std::string(*problem)).error();
                break;
            }
            case FileKey::creationDate:
            case FileKey::modificationDate: {
                auto date = jsoncell::readDate(cells[i]);
                if (!date) return corrupted(lineNumber, column() + ": " + date.error()).error();
                (keys[i] == FileKey::creationDate ? created : modified) = *date;
                break;
            }
            case FileKey::size:
            case FileKey::allocatedSize: {
                auto number = jsoncell::readInteger(cells[i]);
                if (!number) return corrupted(lineNumber, column() + ": " + number.error()).error();
                if (*number < 0) return corrupted(lineNumber, column() + ": negative").error();
                (keys[i] == FileKey::size ? size : allocated) = *number;
                break;
            }
            }
        }
        FilePtr node = isDirectory ? FilePtr(Directory::create(name, created, modified, {}))
                                   : File::create(name, size, allocated, created, modified);
        tally_.count();
        if (depth == 0) {
            if (root_ || !stack_.empty())
                return corrupted(lineNumber, "a second root line").error();
            if (!isDirectory) {
                root_ = std::move(node);
                return std::nullopt;
            }
        } else {
            if (stack_.size() < depth)
                return corrupted(lineNumber, "a line deeper than its parent allows").error();
            while (stack_.size() > depth)
                if (auto error = close(lineNumber)) return error;
            if (!isDirectory) {
                stack_.back().children.push_back(std::move(node));
                return std::nullopt;
            }
        }
        stack_.push_back({DirectoryPtr(static_cast<Directory*>(node.release())), {}});
        return std::nullopt;
    }

    // Gives the innermost open directory its children and sums; it joins its parent.
    std::optional<SnapshotError> close(std::size_t lineNumber) {
        OpenDirectory open = std::move(stack_.back());
        stack_.pop_back();
        open.directory->assignContents(std::move(open.children));
        if (!open.directory->tryAggregate())
            return corrupted(lineNumber, "sizes add up beyond the 64-bit range").error();
        if (stack_.empty())
            root_ = std::move(open.directory);
        else
            stack_.back().children.push_back(std::move(open.directory));
        return std::nullopt;
    }

    std::vector<FileKey> fileKeys_;
    std::vector<FileKey> directoryKeys_;
    std::vector<OpenDirectory> stack_;
    std::size_t lineNumber_ = 0;
    bool sawHeader_ = false;
    std::string pending_; // the start of a line whose end has not been fed yet
    std::vector<std::string_view> cells_;
    std::string scratch_;   // a name whose escapes were undone
    std::string nameBytes_; // a name whose stored bytes were undone
    FilePtr root_;
};

} // namespace

std::expected<FilePtr, SnapshotError> SnapshotDecoder::decode(std::string_view data) {
    Reader reader;
    if (auto error = reader.feed(data)) return std::unexpected(*error);
    return reader.finish();
}

std::expected<FilePtr, SnapshotError> SnapshotDecoder::decode(std::FILE* file,
                                                              std::string_view alreadyRead,
                                                              std::vector<FileKey>* keys,
                                                              std::atomic<std::uint64_t>* entries) {
    Reader reader(entries);
    if (auto error = reader.feed(alreadyRead)) return std::unexpected(*error);
    std::vector<char> buffer(1 << 20);
    for (;;) {
        const std::size_t got = std::fread(buffer.data(), 1, buffer.size(), file);
        if (got > 0)
            if (auto error = reader.feed({buffer.data(), got})) return std::unexpected(*error);
        if (got < buffer.size()) break;
    }
    if (std::ferror(file)) return std::unexpected(SnapshotError{std::strerror(errno)});
    if (keys != nullptr) *keys = reader.keys();
    return reader.finish();
}

} // namespace tessera
