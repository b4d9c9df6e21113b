// What changed between two trees of the same place (two scans, a scan and a snapshot): each
// entry of either tree paired with its counterpart in the other, folders that were renamed or
// moved found by their contents, and the changes that say what happened, largest first.
#pragma once

#include "model/FileEnums.h"

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace tessera {

class Directory;
class File;

/// How an entry differs from its counterpart in the other tree.
enum class ChangeKind : std::uint8_t {
    unchanged,
    grown,
    shrunk,
    added,   // only in the later tree
    removed, // only in the earlier tree
    renamed, // a folder found under another name or in another folder, with the same contents
};

/// One change, as `TreeComparison::changes()` lists it.
struct EntryChange {
    ChangeKind kind = ChangeKind::unchanged;
    const File* before = nullptr; // in the earlier tree; none for an added entry
    const File* after = nullptr;  // in the later tree; none for a removed one
    /// The sizes on either side. A folder that came has as its size before what moved into it
    /// from elsewhere (a folder that went, what moved out of it), so that the differences of
    /// the changes listed add up to the change of the whole.
    std::int64_t sizeBefore = 0;
    std::int64_t sizeAfter = 0;

    std::int64_t difference() const { return sizeAfter - sizeBefore; }
    /// The entry as it stands: in the later tree, or the earlier for a removed one.
    const File& entry() const { return after != nullptr ? *after : *before; }
};

/// Counts of the changes of a comparison.
struct ChangeCounts {
    std::int64_t grown = 0;
    std::int64_t shrunk = 0;
    std::int64_t added = 0;
    std::int64_t removed = 0;
    std::int64_t renamed = 0;
};

class TreeComparison {
public:
    /// Compares `before` with `after` (roots of trees that do not change while the comparison
    /// is kept) by `mode`'s measure.
    TreeComparison(const Directory& before, const Directory& after, SizeMode mode);

    SizeMode sizeMode() const { return mode_; }
    const Directory& before() const { return before_; }
    const Directory& after() const { return after_; }

    /// The entries that changed, the largest change first (by its size for a rename): files
    /// that grew or shrank; entries that came or went, a folder whole rather than what it held;
    /// folders renamed or moved. Folders that only grew or shrank with what they hold are not
    /// listed, as what they hold is.
    const std::vector<EntryChange>& changes() const { return changes_; }
    const ChangeCounts& counts() const { return counts_; }

    /// The counterpart in the other tree of an entry of either tree (renames followed), or
    /// none for an entry that came or went.
    const File* counterpart(const File& file) const;
    /// The same for a picture's shape: `file`, or, when `merged`, the remainder of the folder
    /// `file` (a merged remainder) lies in, whose counterpart is the counterpart folder's.
    File* counterpartOfShape(const File& file, bool merged) const;
    /// How `file`, an entry of either tree, changed between the two.
    ChangeKind changeOf(const File& file) const;
    /// The size of `file`, an entry of either tree, in the earlier and the later tree (0 where
    /// it is not).
    std::int64_t sizeBefore(const File& file) const;
    std::int64_t sizeAfter(const File& file) const;
    /// The folders of the earlier tree found renamed or moved in the later one, by their
    /// relative paths: earlier path to later path.
    std::vector<std::pair<std::string, std::string>> renamedPaths() const;

private:
    using Pairs = std::vector<std::pair<const File*, const File*>>;
    /// The second of the pair whose first is `file`, in pairs sorted by their first.
    static const File* lookUp(const Pairs& pairs, const File& file);
    void pairContents(const Directory& before, const Directory& after);
    void findRenames();
    void listChanges();
    bool inBefore(const File& file) const;

    const Directory& before_;
    const Directory& after_;
    SizeMode mode_;
    Pairs pairs_;   // (earlier, later) of every entry in both trees; sorted once paired
    Pairs byAfter_; // the same pairs as (later, earlier), sorted
    std::vector<const File*> removed_; // earlier entries with no counterpart, outermost only
    std::vector<const File*> added_;   // later entries with no counterpart, outermost only
    std::vector<std::pair<const File*, const File*>> renames_;
    // Of the folders that came (went), the size of the renamed folders moved into (out of) them.
    std::unordered_map<const File*, std::int64_t> movedIntoAdded_;
    std::unordered_map<const File*, std::int64_t> movedOutOfRemoved_;
    std::vector<EntryChange> changes_;
    ChangeCounts counts_;
};

/// How strongly `file` (of either tree) changed, from -1 (gone) through 0 (no change) to 1
/// (new): a change of any size at least a quarter of the way, more as it nears the whole of
/// the entry's larger size.
double changeStrength(const TreeComparison& comparison, const File& file);

/// The name of a change kind as text and JSON give it: "grown", "new", "gone" and so on.
const char* changeKindName(ChangeKind kind);

} // namespace tessera
