#include "snapshot/NcduReader.h"

#include "model/Directory.h"
#include "snapshot/JsonEventReader.h"
#include "snapshot/ReadProgress.h"
#include "snapshot/StoredName.h"

#include <cerrno>
#include <cstring>
#include <vector>

namespace tessera {
namespace {

// Builds the tree from parse events; each returns false to stop, after noting why.
class NcduTreeBuilder {
public:
    explicit NcduTreeBuilder(std::atomic<std::uint64_t>* entries) : tally_(entries) {}

    bool startArray() {
        if (skipping_ > 0) return ++skipping_, true;
        if (!inDocument_) {
            inDocument_ = true;
            return true;
        }
        if (entryOpen_) return skipOrFail("an array");
        // The root folder (the fourth element of the document), or a folder among a folder's
        // children: its own entry comes first.
        if (folders_.empty() && (root_ || element_ != 3)) return fail("a folder out of place");
        ++element_;
        folders_.emplace_back();
        return true;
    }

    bool endArray() {
        if (skipping_ > 0) return --skipping_, true;
        if (folders_.empty()) {
            if (!root_) return fail("there is no root folder");
            inDocument_ = false;
            return true;
        }
        Folder folder = std::move(folders_.back());
        folders_.pop_back();
        if (!folder.hasEntry) return fail("a folder without its entry");
        if (folder.entry.excluded) return true;
        // The root goes unnamed, as in Tessera's trees: paths inside are relative to it (ncdu
        // names it after the scanned path).
        const std::string_view name = folders_.empty() ? std::string_view() : folder.entry.name;
        DirectoryPtr directory =
            Directory::create(name, folder.entry.modified, folder.entry.modified, {});
        directory->assignContents(std::move(folder.children));
        if (!directory->tryAggregate()) return fail("sizes add up beyond the 64-bit range");
        return add(FilePtr(std::move(directory)));
    }

    bool startObject() {
        if (skipping_ > 0) return ++skipping_, true;
        if (!inDocument_) return fail("an object where the export's array belongs");
        if (folders_.empty()) {
            // The metadata (program, version, time): not kept.
            if (element_ != 2) return fail("an object out of place");
            ++element_;
            skipping_ = 1;
            return true;
        }
        if (entryOpen_) return skipOrFail("an object");
        entryOpen_ = true;
        entry_ = Entry();
        return true;
    }

    bool endObject() {
        if (skipping_ > 0) return --skipping_, true;
        entryOpen_ = false;
        Folder& folder = folders_.back();
        const bool isRoot = folders_.size() == 1 && !folder.hasEntry;
        if (entry_.name.empty()) return fail("an entry without a name");
        if (!isRoot)
            if (const auto problem = entryNameProblem(entry_.name))
                return fail(std::string(*problem));
        if (!folder.hasEntry) {
            folder.entry = std::move(entry_);
            folder.hasEntry = true;
            return true;
        }
        if (entry_.excluded) return true;
        return add(File::create(entry_.name, entry_.size, entry_.allocated, entry_.modified,
                                entry_.modified));
    }

    bool key(std::string_view key) {
        if (skipping_ > 0) return true;
        expected_ = key == "name"       ? Slot::name
                    : key == "asize"    ? Slot::size
                    : key == "dsize"    ? Slot::allocated
                    : key == "mtime"    ? Slot::modified
                    : key == "excluded" ? Slot::excluded
                                        : Slot::ignored;
        return true;
    }

    bool string(std::string_view value) {
        if (skipping_ > 0) return true;
        const Slot slot = take();
        if (slot == Slot::name) {
            entry_.name.assign(value);
            return true;
        }
        // Left out by a pattern, another file system or a kernel one: not part of the tree,
        // as Tessera's own scans leave them out.
        if (slot == Slot::excluded) {
            entry_.excluded = true;
            return true;
        }
        return scalar(slot, "a text");
    }

    bool integer(std::int64_t value) {
        if (skipping_ > 0) return true;
        if (folders_.empty() && entryOpenOutside()) {
            // The format's major version, then its minor one.
            if (element_ == 0 && value != 1)
                return fail("an export of major version " + std::to_string(value) +
                            " (only version 1 is known)");
            if (element_ > 1) return fail("a number out of place");
            ++element_;
            return true;
        }
        const Slot slot = take();
        switch (slot) {
        case Slot::size:
        case Slot::allocated:
            if (value < 0) return fail("a negative size");
            (slot == Slot::size ? entry_.size : entry_.allocated) = value;
            return true;
        case Slot::modified:
            entry_.modified = Date::fromUnixSeconds(value);
            return true;
        default:
            return scalar(slot, "a number");
        }
    }
    bool number(double, bool whole) {
        if (skipping_ > 0) return true;
        const Slot slot = take();
        if (slot == Slot::ignored) return true;
        return fail(whole ? "a number beyond 64 bits" : "a number that is not a whole one");
    }
    bool boolean(bool) { return scalar(take(), "true or false"); }
    bool null() { return scalar(take(), "null"); }

    FilePtr takeRoot() { return std::move(root_); }
    const std::string& problem() const { return problem_; }

private:
    EntryTally tally_;
    enum class Slot { none, ignored, name, size, allocated, modified, excluded };
    struct Entry {
        std::string name;
        std::int64_t size = 0;
        std::int64_t allocated = 0;
        Date modified;
        bool excluded = false;
    };
    struct Folder {
        Entry entry;
        bool hasEntry = false;
        std::vector<FilePtr> children;
    };

    bool entryOpenOutside() const { return !entryOpen_; }
    Slot take() {
        const Slot slot = expected_;
        expected_ = Slot::none;
        return slot;
    }
    bool fail(std::string what) {
        problem_ = std::move(what);
        return false;
    }
    bool scalar(Slot slot, const char* what) {
        if (skipping_ > 0 || slot == Slot::ignored || slot == Slot::excluded) return true;
        return fail(std::string(what) + " out of place");
    }
    bool skipOrFail(const char* what) {
        if (take() != Slot::ignored) return fail(std::string(what) + " out of place");
        skipping_ = 1;
        return true;
    }
    bool add(FilePtr node) {
        tally_.count();
        if (folders_.empty()) {
            root_ = std::move(node);
            return true;
        }
        if (!folders_.back().hasEntry) return fail("a folder's child before its entry");
        folders_.back().children.push_back(std::move(node));
        return true;
    }

    bool inDocument_ = false;
    int element_ = 0; // of the document's array: version, version, metadata, root
    std::vector<Folder> folders_;
    bool entryOpen_ = false;
    Entry entry_;
    Slot expected_ = Slot::none;
    int skipping_ = 0;
    FilePtr root_;
    std::string problem_;
};

std::expected<FilePtr, std::string> parse(JsonSource& source,
                                          std::atomic<std::uint64_t>* entries = nullptr) {
    NcduTreeBuilder builder(entries);
    JsonEventReader reader(source, builder);
    reader.acceptRawBytes(); // names as they lie on disk
    const bool read = reader.read();
    if (source.failed()) return std::unexpected(std::strerror(errno));
    if (!read) {
        const std::string& what = reader.error().empty() ? builder.problem() : reader.error();
        return std::unexpected("The ncdu export is damaged (byte " +
                               std::to_string(reader.errorOffset()) + "): " + what + ".");
    }
    FilePtr root = builder.takeRoot();
    if (!root) return std::unexpected(std::string("The ncdu export holds no tree."));
    return root;
}

} // namespace

std::expected<FilePtr, std::string> readNcduExport(std::string_view data) {
    JsonSource source(data);
    return parse(source);
}

std::expected<FilePtr, std::string> readNcduExport(std::FILE* file, std::size_t alreadyRead,
                                                   std::atomic<std::uint64_t>* entries) {
    JsonSource source(file, alreadyRead);
    return parse(source, entries);
}

} // namespace tessera
