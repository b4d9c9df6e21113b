// Turns a run of file-system events into the changes the live tree goes through, in order.
#pragma once

#include "platform/InotifyWatcher.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tessera {

struct LiveChange {
    enum class Kind {
        update,         // the update step: oldPath gone from where it was, newPath to be measured
        rootMoved,      // path: where the location is now
        rootDeleted,    // the location is gone
        lost,           // events below path were lost: log it, then measure path again
        unwatched,      // the folder path is polled instead of watched: log it
        unwatchedEnded, // the folder path is watched again, or gone
        stale,          // polling saw the folder path change: measure it again
    };
    Kind kind;
    std::optional<std::string> oldPath;
    std::optional<std::string> newPath;
    std::string path;
    /// An update for an entry's own contents or attributes (not a new entry at the path).
    bool inPlace = false;

    friend bool operator==(const LiveChange&, const LiveChange&) = default;
};

/// The changes for `events` (absolute paths), in order. `reachable` tells whether a changed
/// entry can still be reached (else its change is a removal).
std::vector<LiveChange>
planLiveChanges(const std::vector<platform::FileEvent>& events,
                const std::function<bool(const std::string& path)>& reachable);

} // namespace tessera
