// A file with several names (hard links) changes under all of them at once, but the kernel tells
// only the folder of the name it was written through. The live tree keeps the names of such
// files as the scan and its measurements meet them, so that the other names of a file that
// changed are measured again too.
#pragma once

#include "model/File.h"
#include "platform/FileSystem.h"
#include "scan/LinksCountedOnce.h"

#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace tessera {

class HardLinkIndex {
public:
    /// Which file a name stands for: the same device and inode are the same file.
    struct Identity {
        std::uint64_t device = 0;
        std::uint64_t inode = 0;
        friend bool operator==(const Identity&, const Identity&) = default;
    };

    /// A file met with more than one name, by absolute path, with its status then. Any thread.
    void add(std::string path, const platform::EntryStatus& status);
    /// The file `path` stood for when it was met, if it was.
    std::optional<Identity> identityOf(const std::string& path);
    /// True while no file with several names was met: nothing to align.
    bool empty();
    /// Every name the index holds, with the file it stood for when last looked at.
    std::vector<LinkedName> names();
    /// The names the index holds of the files given by device and inode.
    std::vector<LinkedName> namesOf(const std::set<std::pair<std::uint64_t, std::uint64_t>>& files);
    /// The paths the index holds that are `path` or lie below it.
    std::vector<std::string> pathsAtOrBelow(const std::string& path);
    /// The files those paths stand for.
    std::vector<Identity> filesAtOrBelow(const std::string& path);
    /// An entry moved: the paths at or below `from` now lie below `to`.
    void rename(const std::string& from, const std::string& to);
    /// The names, other than `changed`, of the file whose fresh status is `status`. Only that
    /// file's names are looked at (one look at the disk each); those that no longer name a file
    /// with several names are forgotten, and those that name another file now move to it.
    std::vector<std::string> otherNamesOf(const std::string& changed,
                                          const platform::EntryStatus& status);
    /// The names the index holds of the file `identity`, other than `changed` (which may no
    /// longer exist), that still name it.
    std::vector<std::string> otherNamesOf(const std::string& changed, Identity identity);
    /// What changed in the index since the last take: the files whose names came, went or
    /// changed, and the names it let go (with the file they stood for).
    struct Changes {
        std::set<std::pair<std::uint64_t, std::uint64_t>> files; // device, inode
        std::vector<LinkedName> forgotten;
    };
    /// Records changes from now on (for takeChanges), or no longer.
    void setTracksChanges(bool tracks);
    Changes takeChanges();

    /// True the first time it is asked for a file at its link count: a search of the whole tree
    /// for names the index has not met is made once, not at every change of a file whose other
    /// names lie outside the tree. A file is told by its birth time as well as its inode, which
    /// the file system gives again to files made after one is deleted.
    bool firstSearchOfTree(const platform::EntryStatus& status);

private:
    using FileKey = std::pair<std::uint64_t, std::uint64_t>; // device, inode
    static FileKey keyOf(Identity identity) { return {identity.device, identity.inode}; }
    /// Enters `path` as a name of `identity` (mutex held), recording the change.
    void assign(const std::string& path, Identity identity);
    /// Keeps `byFile_` in line with `paths_` (mutex held).
    void linkName(const std::string& path, Identity identity) {
        byFile_[keyOf(identity)].insert(path);
    }
    void unlinkName(const std::string& path, Identity identity);
    void noteChanged(Identity identity) {
        if (tracksChanges_) changes_.files.emplace(identity.device, identity.inode);
    }

    std::mutex mutex_;
    std::map<std::string, Identity> paths_; // sorted, so that a folder's paths lie together
    /// The same names by file: a change of a file visits its own names only.
    std::map<FileKey, std::set<std::string>> byFile_;
    bool tracksChanges_ = false;
    Changes changes_;
    std::set<std::tuple<std::uint64_t, std::uint64_t, std::uint32_t, std::int64_t>> searched_;
};

/// The absolute paths of the files in the tree below `root` that `worthAsking` lets through and
/// that are the same file on disk as `status` (by device and inode).
std::vector<std::string> namesInTree(const Directory& root, const platform::EntryStatus& status,
                                     const std::function<std::string(const File&)>& pathOf,
                                     const std::function<bool(const File&)>& worthAsking);

} // namespace tessera
