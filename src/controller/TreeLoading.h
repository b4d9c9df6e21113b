// Opening a location the user named: what it is (a folder, scanned; a snapshot file, read; or
// something that is never opened, such as a device), and its tree. The app's windows and
// comparisons and `tessera render` load trees here, with one set of messages for what cannot be
// opened.
#pragma once

#include "base/Date.h"
#include "model/File.h"
#include "platform/Location.h"
#include "snapshot/Snapshot.h"

#include <expected>
#include <functional>
#include <string>

namespace tessera {

struct TreeLoadError {
    enum class Kind {
        missing,            // nothing there (or it cannot be looked at)
        notOpenable,        // a device, a socket, or a pipe where pipes are not read
        unreadableFolder,   // a folder whose scan gave no tree
        unreadableSnapshot, // a file that does not decode as a snapshot
        cancelled,          // its reading was cancelled through its ReadProgress
    };
    Kind kind = Kind::missing;
    std::string path;   // as given
    std::string reason; // the system's or the snapshot reader's words; empty for notOpenable
    /// What to tell the person who named the location, in the app's language.
    std::string message() const;
};

/// Whether a pipe given as a location is read as a snapshot streaming by (the command line) or
/// refused (the app, which would wait for a writer).
enum class Pipes { refused, read };

/// What `path` is when it can be opened: a folder (a symbolic link to one gives the folder's
/// path) or a snapshot file.
[[nodiscard]] std::expected<platform::Location, TreeLoadError>
openableLocation(const std::string& path, Pipes pipes = Pipes::refused);

struct LoadedTree {
    FilePtr root;
    /// The location opened (for a symbolic link to a folder, the folder).
    std::string path;
    bool isFolder = false;
    /// When the tree was as it shows: now for a scanned folder, a snapshot file's modification.
    Date date;
};

/// Scans a folder once: its tree, or none when nothing could be read.
using FolderScan = std::function<FilePtr(const std::string& folder)>;

/// The tree at `path`: a folder scanned once by `scan` (a plain scan on all cores when none is
/// given), or a snapshot read (counting its bytes in `progress` when given, which may cancel
/// it). Any thread; blocks until the tree is in.
[[nodiscard]] std::expected<LoadedTree, TreeLoadError> loadTree(const std::string& path,
                                                                Pipes pipes = Pipes::refused,
                                                                const FolderScan& scan = {},
                                                                ReadProgress* progress = nullptr);

} // namespace tessera
