// Moving files to the desktop's trash, as the freedesktop.org Trash specification describes:
// the home trash ($XDG_DATA_HOME/Trash) for the home volume, `$topdir/.Trash/$uid` or
// `$topdir/.Trash-$uid` on other volumes. Never a permanent delete, and undoable.
#pragma once

#include <expected>
#include <string>

namespace tessera::platform {

/// Where a trashed item went, enough to put it back.
struct TrashedItem {
    std::string originalPath;
    std::string trashedPath; // inside the trash's files/ folder
    std::string infoPath;    // its .trashinfo file
};

class Trash {
public:
    /// The trash of the user's home volume: $XDG_DATA_HOME/Trash, else ~/.local/share/Trash.
    static std::string homeTrash();

    /// Moves `path` (absolute) into the trash of its volume, with a .trashinfo record of where it
    /// came from and when. Fails, leaving the item where it was, when no trash on its volume
    /// can be used.
    [[nodiscard]] static std::expected<TrashedItem, std::string>
    moveToTrash(const std::string& path);

    /// Puts a trashed item back where it was (undo). Fails when something is in the way.
    [[nodiscard]] static std::expected<void, std::string> restore(const TrashedItem& item);

    /// True for paths inside a trash folder ("/.Trash", "/.Trash-", or the home trash), which
    /// cannot be trashed again.
    static bool isInsideTrash(const std::string& path);
};

} // namespace tessera::platform
