#include "controller/LiveChangePlan.h"

namespace tessera {

using platform::FileEvent;

std::vector<LiveChange>
planLiveChanges(const std::vector<FileEvent>& events,
                const std::function<bool(const std::string& path)>& reachable) {
    std::vector<LiveChange> changes;
    changes.reserve(events.size());
    auto update = [&](std::optional<std::string> oldPath, std::optional<std::string> newPath) {
        changes.push_back(
            {LiveChange::Kind::update, std::move(oldPath), std::move(newPath), {}, false});
    };
    for (const FileEvent& event : events) {
        switch (event.kind) {
        case FileEvent::Kind::appeared:
            update(std::nullopt, event.path);
            break;
        case FileEvent::Kind::changed:
            if (!reachable || reachable(event.path)) {
                update(std::nullopt, event.path);
                changes.back().inPlace = true;
            } else
                update(event.path, std::nullopt);
            break;
        case FileEvent::Kind::deleted:
            update(event.path, std::nullopt);
            break;
        case FileEvent::Kind::moved:
            update(event.path, event.newPath);
            break;
        case FileEvent::Kind::rootMoved:
            changes.push_back({LiveChange::Kind::rootMoved, {}, {}, event.newPath, false});
            break;
        case FileEvent::Kind::rootDeleted:
            changes.push_back({LiveChange::Kind::rootDeleted, {}, {}, {}, false});
            break;
        case FileEvent::Kind::lost:
            changes.push_back({LiveChange::Kind::lost, {}, {}, event.path, false});
            break;
        case FileEvent::Kind::unwatched:
            changes.push_back({LiveChange::Kind::unwatched, {}, {}, event.path, false});
            break;
        case FileEvent::Kind::unwatchedEnded:
            changes.push_back({LiveChange::Kind::unwatchedEnded, {}, {}, event.path, false});
            break;
        case FileEvent::Kind::stale:
            changes.push_back({LiveChange::Kind::stale, {}, {}, event.path, false});
            break;
        }
    }
    return changes;
}

} // namespace tessera
