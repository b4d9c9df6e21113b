#include "snapshot/JsonSnapshotReader.h"

#include "model/Directory.h"
#include "model/Iso8601.h"
#include "snapshot/JsonEventReader.h"
#include "snapshot/NodeAssembly.h"
#include "snapshot/ReadProgress.h"
#include "snapshot/StoredName.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <thread>
#include <vector>

namespace tessera {
namespace {

// 2001-01-01T00:00:00Z in Unix seconds.
constexpr double kReferenceDate = 978'307'200.0;

// Builds the tree from parse events. Each handler returns false to stop the parse, after
// noting why in `problem_`.
class TreeBuilder {
public:
    explicit TreeBuilder(std::atomic<std::uint64_t>* entries)
        : nodesMade_(std::thread::hardware_concurrency() > 1), tally_(entries) {}

    bool startObject() {
        if (skipping_ > 0) return ++skipping_, true;
        if (contexts_.empty()) {
            contexts_.push_back(Context::top);
            return true;
        }
        if (expected_ == Slot::rootFile || contexts_.back() == Context::contents) {
            // A document with two trees is damaged: neither may silently replace the other.
            if (expected_ == Slot::rootFile && sawRoot_) return fail("a second \"rootFile\"");
            expected_ = Slot::none;
            contexts_.push_back(Context::node);
            openNode();
            return true;
        }
        return skipOrFail("an object");
    }

    bool endObject(std::size_t offset) {
        if (skipping_ > 0) return --skipping_, true;
        const Context closed = contexts_.back();
        contexts_.pop_back();
        if (closed == Context::top) {
            if (!sawVersion_) return fail("there is no \"version\"");
            if (!sawRoot_) return fail("there is no \"rootFile\"");
            return true;
        }
        // The node is made on the assembly's thread; the reading stops once making one failed.
        const Node& node = current();
        tally_.count();
        if (node.isDirectory)
            nodesMade_.endFolder(node.name, node.created, node.modified, offset);
        else
            nodesMade_.addFile(node.name, node.size, node.allocatedSize, node.created,
                               node.modified, offset);
        --openNodes_;
        if (contexts_.back() == Context::top) sawRoot_ = true;
        return !nodesMade_.failed();
    }

    bool startArray() {
        if (skipping_ > 0) return ++skipping_, true;
        if (expected_ == Slot::contents) {
            expected_ = Slot::none;
            if (!current().isDirectory) nodesMade_.beginFolder();
            current().isDirectory = true;
            contexts_.push_back(Context::contents);
            return true;
        }
        return skipOrFail("an array");
    }

    bool endArray() {
        if (skipping_ > 0) return --skipping_, true;
        contexts_.pop_back();
        return true;
    }

    bool key(std::string_view key) {
        if (skipping_ > 0) return true;
        if (contexts_.back() == Context::top) {
            expected_ = key == "version"    ? Slot::version
                        : key == "rootFile" ? Slot::rootFile
                                            : Slot::ignored;
            return true;
        }
        if (key == "name")
            expected_ = meet(Slot::name, FileKey::name);
        else if (key == "size")
            expected_ = meet(Slot::size, FileKey::size);
        else if (key == "allocatedSize")
            expected_ = meet(Slot::allocatedSize, FileKey::allocatedSize);
        else if (key == "creationDate")
            expected_ = meet(Slot::creationDate, FileKey::creationDate);
        else if (key == "modificationDate")
            expected_ = meet(Slot::modificationDate, FileKey::modificationDate);
        else if (key == "contents")
            expected_ = Slot::contents;
        else
            expected_ = Slot::ignored;
        return true;
    }

    bool string(std::string_view value) {
        if (skipping_ > 0) return true;
        const Slot slot = take();
        if (slot == Slot::ignored) return true;
        if (slot == Slot::name) {
            if (isAscii(value)) {
                current().name.assign(value); // reusing the node's buffer
            } else {
                auto bytes = fromStoredName(value);
                if (!bytes) return fail("a name with a broken byte escape");
                current().name = std::move(*bytes);
            }
            if (openNodes_ > 1)
                if (const auto problem = entryNameProblem(current().name))
                    return fail(std::string(*problem));
            return true;
        }
        if (slot == Slot::creationDate || slot == Slot::modificationDate) {
            if (!settleDateForm(DateForm::iso8601)) return false;
            // Dates repeat from entry to entry (files made together, copied or unpacked): the
            // last text of each kind is read once.
            RecentDate& recent = recentDates_[slot == Slot::creationDate ? 0 : 1];
            if (recent.text.empty() || value != recent.text) {
                const auto date = parseIso8601(value);
                if (!date) return fail("a date that is not ISO 8601");
                recent.text.assign(value);
                recent.date = *date;
            }
            return storeDate(slot, recent.date);
        }
        return misplaced("a text", slot);
    }

    bool integer(std::int64_t value) {
        if (skipping_ > 0) return true;
        const Slot slot = take();
        switch (slot) {
        case Slot::ignored:
            return true;
        case Slot::version:
            sawVersion_ = true;
            return true;
        case Slot::size:
        case Slot::allocatedSize:
            if (value < 0) return fail("a negative size");
            (slot == Slot::size ? current().size : current().allocatedSize) = value;
            return true;
        case Slot::creationDate:
        case Slot::modificationDate:
            return secondsDate(slot, static_cast<double>(value));
        default:
            return misplaced("a number", slot);
        }
    }
    // A number that is not an integer in the 64-bit range: only dates in seconds may be one.
    bool number(double value, bool whole) {
        if (skipping_ > 0) return true;
        const Slot slot = take();
        if (slot == Slot::ignored) return true;
        if (slot == Slot::creationDate || slot == Slot::modificationDate)
            return secondsDate(slot, value);
        return misplaced(whole ? "a number beyond 64 bits" : "a number that is not a whole one",
                         slot);
    }
    // null for a member stands for its absence (its default); the root and the elements of a
    // folder's contents must be nodes.
    bool null() {
        if (skipping_ > 0) return true;
        const Slot slot = take();
        if (slot == Slot::none || slot == Slot::rootFile) return misplaced("null", slot);
        return true;
    }
    bool boolean(bool) { return scalar("true or false"); }

    /// Waits for the nodes of every entry read: the tree, or where making a node failed.
    std::expected<FilePtr, NodeAssembly::Failure> finishNodes() { return nodesMade_.finish(); }
    const std::string& problem() const { return problem_; }

private:
    enum class Context { top, node, contents };
    enum class Slot {
        none,
        ignored,
        version,
        rootFile,
        name,
        size,
        allocatedSize,
        creationDate,
        modificationDate,
        contents
    };
    enum class DateForm { unknown, iso8601, referenceSeconds };

    // A node whose members are being read. The nodes of closed objects are kept for the next
    // ones at their depth, with their names' buffers.
    struct Node {
        std::string name = "?";
        std::int64_t size = 0;
        std::int64_t allocatedSize = 0;
        Date created;
        Date modified;
        bool isDirectory = false;
    };

    Node& current() { return nodes_[openNodes_ - 1]; }
    void openNode() {
        if (openNodes_ == nodes_.size()) {
            nodes_.emplace_back();
        } else {
            Node& node = nodes_[openNodes_];
            node.name.assign("?");
            node.size = node.allocatedSize = 0;
            node.created = node.modified = Date();
            node.isDirectory = false;
        }
        ++openNodes_;
    }
    static bool isAscii(std::string_view text) {
        return std::all_of(text.begin(), text.end(),
                           [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    }

    bool fail(std::string what) {
        problem_ = std::move(what);
        return false;
    }
    // The slot the value now read fills; none for an element of a folder's contents or the
    // document itself, where only objects belong.
    Slot take() {
        const Slot slot = expected_;
        expected_ = Slot::none;
        return slot;
    }
    bool misplaced(const char* what, Slot slot) {
        const char* wanted = "a node";
        switch (slot) {
        case Slot::version:
            wanted = "the version number";
            break;
        case Slot::name:
            wanted = "a name";
            break;
        case Slot::size:
        case Slot::allocatedSize:
            wanted = "a size";
            break;
        case Slot::creationDate:
        case Slot::modificationDate:
            wanted = "a date";
            break;
        case Slot::contents:
            wanted = "the array of contents";
            break;
        case Slot::none:
            if (contexts_.empty()) wanted = "the snapshot's object";
            break;
        case Slot::rootFile:
        case Slot::ignored:
            break;
        }
        return fail(std::string(what) + " where " + wanted + " belongs");
    }
    // An object or array where the format has none: kept out of the tree when its key is
    // unknown, otherwise the document is damaged.
    bool skipOrFail(const char* what) {
        const Slot slot = take();
        if (slot != Slot::ignored) return misplaced(what, slot);
        skipping_ = 1;
        return true;
    }
    bool scalar(const char* what) {
        if (skipping_ > 0) return true;
        const Slot slot = take();
        if (slot == Slot::ignored) return true;
        return misplaced(what, slot);
    }

    bool settleDateForm(DateForm form) {
        if (dateForm_ == DateForm::unknown) dateForm_ = form;
        if (dateForm_ == form) return true;
        return fail("dates written both as texts and as numbers");
    }
    bool secondsDate(Slot slot, double seconds) {
        if (!settleDateForm(DateForm::referenceSeconds)) return false;
        const double unix = std::floor(seconds + kReferenceDate);
        if (!std::isfinite(unix) || unix < -9.2e18 || unix > 9.2e18)
            return fail("a date out of range");
        return storeDate(slot, Date::fromUnixSeconds(static_cast<std::int64_t>(unix)));
    }
    bool storeDate(Slot slot, Date date) {
        (slot == Slot::creationDate ? current().created : current().modified) = date;
        return true;
    }

public:
    /// The properties met in entries, in the order first met.
    const std::vector<FileKey>& keysMet() const { return keysMet_; }

private:
    struct RecentDate {
        std::string text;
        Date date;
    };
    RecentDate recentDates_[2]; // creation, modification
    NodeAssembly nodesMade_;
    EntryTally tally_;
    Slot meet(Slot slot, FileKey key) {
        const auto bit = 1u << static_cast<unsigned>(key);
        if ((keysSeen_ & bit) == 0) {
            keysSeen_ |= bit;
            keysMet_.push_back(key);
        }
        return slot;
    }

    unsigned keysSeen_ = 0;
    std::vector<FileKey> keysMet_;
    std::vector<Context> contexts_;
    std::vector<Node> nodes_;
    std::size_t openNodes_ = 0;
    Slot expected_ = Slot::none;
    int skipping_ = 0; // depth inside a value of an unknown key
    DateForm dateForm_ = DateForm::unknown;
    bool sawVersion_ = false;
    bool sawRoot_ = false;
    std::string problem_;
};

std::expected<FilePtr, std::string> parse(JsonSource& source, std::vector<FileKey>* keys = nullptr,
                                          std::atomic<std::uint64_t>* entries = nullptr) {
    TreeBuilder builder(entries);
    JsonEventReader reader(source, builder);
    const bool read = reader.read();
    const int readError = errno;
    auto made = builder.finishNodes();
    if (source.failed()) return std::unexpected(std::strerror(readError));
    const auto damaged = [](std::size_t offset, const std::string& what) {
        return std::unexpected("The snapshot is damaged (byte " + std::to_string(offset) +
                               "): " + what + ".");
    };
    // A node that could not be made lies before anything the reading met after it.
    if (!made) return damaged(made.error().offset, made.error().problem);
    if (!read)
        return damaged(reader.errorOffset(),
                       reader.error().empty() ? builder.problem() : reader.error());
    if (keys != nullptr) {
        // JSON keeps no order of its keys (written sorted): the columns take their own order,
        // so that a TSV made from it has the columns of the TSV it came from.
        *keys = builder.keysMet();
        std::ranges::sort(*keys);
    }
    return std::move(*made);
}

} // namespace

std::expected<FilePtr, std::string> readJsonSnapshot(std::string_view data) {
    JsonSource source(data);
    return parse(source);
}

std::expected<FilePtr, std::string> readJsonSnapshot(std::FILE* file, std::size_t alreadyRead,
                                                     std::vector<FileKey>* keys,
                                                     std::atomic<std::uint64_t>* entries) {
    JsonSource source(file, alreadyRead);
    return parse(source, keys, entries);
}

} // namespace tessera
