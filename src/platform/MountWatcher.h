// Volume events: the mount table watched through /proc/self/mountinfo (which signals a change
// through poll), its differences turned into volumes mounted, unmounted and moved ("renamed":
// the same volume, by its identity, now mounted at another path).
#pragma once

#include "platform/Volumes.h"

#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace tessera::platform {

struct VolumeEvent {
    enum class Kind { mounted, unmounted, renamed };
    Kind kind;
    std::string path;    // where the volume is (or was, when unmounted)
    std::string oldPath; // renamed: where it was before

    friend bool operator==(const VolumeEvent&, const VolumeEvent&) = default;
};

/// What identifies a mount's volume across mounts (empty when nothing does).
using VolumeIdentityOf = std::function<std::string(const Mount&)>;
/// The UUID, else the label, else nothing.
std::string volumeIdentity(const Mount& mount);

/// The events that turn the mount table `before` into `after`: renames first, then unmounts,
/// then mounts, each in table order.
std::vector<VolumeEvent> volumeEvents(const std::vector<Mount>& before,
                                      const std::vector<Mount>& after,
                                      const VolumeIdentityOf& identity = volumeIdentity);

class MountWatcher {
public:
    using Handler = std::function<void(std::vector<VolumeEvent>)>;

    /// Watches on a thread of its own and calls `handler` there with each change's events, the
    /// table as it is now being the first state.
    explicit MountWatcher(Handler handler);
    ~MountWatcher();
    MountWatcher(const MountWatcher&) = delete;
    MountWatcher& operator=(const MountWatcher&) = delete;

    /// False when the mount table could not be opened or watched.
    bool isWatching() const { return thread_.joinable(); }

private:
    void run();

    Handler handler_;
    int mountInfo_ = -1;
    int stop_ = -1; // an eventfd that ends the thread
    /// The table as last read: first when the watcher is made, so that a volume mounted right
    /// after is a change even when the thread starts later.
    std::vector<Mount> mounts_;
    std::thread thread_;
};

} // namespace tessera::platform
