// Follows a live folder on disk for its controller: an inotify watcher over the folder and a
// watcher of the mount table, both started on the controller's operation queue (before the scan
// reads anything, so that no change is missed and the main thread never waits for them). The
// watcher's events are coalesced and planned into live changes off the main thread; changes,
// volume events and a failure to start are delivered on the main queue until stop().
#pragma once

#include "controller/LiveChangePlan.h"
#include "platform/InotifyWatcher.h"
#include "platform/MainQueue.h"
#include "platform/MountWatcher.h"
#include "platform/OperationQueue.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tessera {

class LiveWatch {
public:
    /// What the watch hands over, each on the main thread.
    struct Deliveries {
        /// Changes planned from one drain of the watcher's events, in order.
        std::function<void(std::vector<LiveChange>)> changes;
        /// Volumes mounted, unmounted or renamed.
        std::function<void(std::vector<platform::VolumeEvent>)> volumes;
        /// The folder cannot be watched (the system's reason); nothing else is delivered.
        std::function<void(std::string reason)> failed;
    };
    /// Counts one stop() of the watch: work queued before it is dropped when it comes back.
    using Generation = std::uint64_t;

    /// A watch started on `queue`. `queuedOperations` is read for the log's lines.
    LiveWatch(OperationQueue& queue, MainQueue& mainQueue,
              std::shared_ptr<const std::atomic<int>> queuedOperations);
    LiveWatch(const LiveWatch&) = delete;
    LiveWatch& operator=(const LiveWatch&) = delete;
    /// Stops.
    ~LiveWatch();

    /// Queues the start of the watchers of the folder `root`; false when a watcher runs already.
    bool start(std::string root, platform::InotifyWatcher::Coverage coverage,
               Deliveries deliveries);
    /// Stops the watchers (joining their threads) and drops the events not yet delivered.
    void stop();

    /// What a scan calls as it opens each folder (any thread), so that the folder is watched
    /// before its entries are read.
    std::function<void(int directoryFd, const std::string& path)> folderOpened() const;

    Generation generation() const;
    /// True while no stop() came since `generation` was read.
    bool isCurrent(Generation generation) const;

private:
    struct State;
    OperationQueue& queue_;
    MainQueue& mainQueue_;
    std::shared_ptr<const std::atomic<int>> queuedOperations_;
    std::shared_ptr<State> state_; // shared with the watchers' threads and the queue
};

} // namespace tessera
