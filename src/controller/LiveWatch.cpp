#include "controller/LiveWatch.h"

#include "logs/Logger.h"
#include "platform/FileSystem.h"

#include <mutex>

namespace tessera {

using platform::FileEvent;

// What the watchers' threads and the queue's operations share with the watch: events not yet
// drained, and the watchers. It holds no reference to the controller, so that the controller is
// only ever released on the main thread.
struct LiveWatch::State {
    mutable std::mutex mutex;
    std::vector<FileEvent> events;
    bool drainQueued = false;
    Generation generation = 0;
    // Shared with the scan's threads while they add watches, which they do side by side
    // without the lock.
    std::shared_ptr<platform::InotifyWatcher> watcher;
    /// Mounts made or removed below the root change what a scan would count.
    std::unique_ptr<platform::MountWatcher> mounts;

    bool isCurrent(Generation expected) const {
        std::lock_guard lock(mutex);
        return generation == expected;
    }
};

namespace {

constexpr std::uint8_t kEventLevel = 2;

void logEvent(const FileEvent& event, int queued) {
    if (Logger::level() < kEventLevel) return;
    const std::string tail = ", " + std::to_string(queued) + " queued operations.";
    switch (event.kind) {
    case FileEvent::Kind::appeared:
        Logger::log(kEventLevel, "Appear " + event.path + tail);
        break;
    case FileEvent::Kind::changed:
        Logger::log(kEventLevel, "Change " + event.path + tail);
        break;
    case FileEvent::Kind::moved:
        Logger::log(kEventLevel, "Move " + event.path + " to " + event.newPath + tail);
        break;
    case FileEvent::Kind::deleted:
        Logger::log(kEventLevel, "Delete " + event.path + tail);
        break;
    case FileEvent::Kind::rootMoved:
    case FileEvent::Kind::rootDeleted:
    case FileEvent::Kind::lost:
    case FileEvent::Kind::unwatched:
    case FileEvent::Kind::unwatchedEnded:
        break;
    case FileEvent::Kind::stale:
        Logger::log(kEventLevel, "Polled change below " + event.path + tail);
        break;
    }
}

} // namespace

LiveWatch::LiveWatch(OperationQueue& queue, MainQueue& mainQueue,
                     std::shared_ptr<const std::atomic<int>> queuedOperations)
    : queue_(queue), mainQueue_(mainQueue), queuedOperations_(std::move(queuedOperations)),
      state_(std::make_shared<State>()) {}

LiveWatch::~LiveWatch() {
    stop();
}

LiveWatch::Generation LiveWatch::generation() const {
    std::lock_guard lock(state_->mutex);
    return state_->generation;
}

bool LiveWatch::isCurrent(Generation generation) const {
    return state_->isCurrent(generation);
}

std::function<void(int, const std::string&)> LiveWatch::folderOpened() const {
    return [state = state_](int directoryFd, const std::string& path) {
        std::shared_ptr<platform::InotifyWatcher> watcher;
        {
            std::lock_guard lock(state->mutex);
            watcher = state->watcher;
        }
        if (watcher) watcher->watchFolder(directoryFd, path);
    };
}

bool LiveWatch::start(std::string root, platform::InotifyWatcher::Coverage coverage,
                      Deliveries deliveries) {
    Generation generation;
    {
        std::lock_guard lock(state_->mutex);
        if (state_->watcher) return false;
        generation = state_->generation;
    }
    auto shared = std::make_shared<const Deliveries>(std::move(deliveries));
    std::shared_ptr<State> state = state_;
    OperationQueue* queue = &queue_;
    MainQueue* mainQueue = &mainQueue_;
    // Events are planned into changes on the queue, behind the scan: they are applied once its
    // tree is in place.
    const auto drain = [state, shared, mainQueue, queued = queuedOperations_](const Operation&) {
        std::vector<FileEvent> events;
        Generation drained;
        {
            std::lock_guard lock(state->mutex);
            events.swap(state->events);
            state->drainQueued = false;
            drained = state->generation;
        }
        for (const FileEvent& event : events)
            logEvent(event, queued->load());
        auto changes = std::make_shared<std::vector<LiveChange>>(planLiveChanges(
            events, [](const std::string& path) { return platform::entryExists(path); }));
        mainQueue->post([state, shared, drained, changes] {
            if (state->isCurrent(drained)) shared->changes(std::move(*changes));
        });
    };
    queue->add([state, queue, generation, drain, root = std::move(root), shared, mainQueue,
                coverage](const Operation&) {
        State* raw = state.get();
        auto handler = [raw, queue, drain, generation](std::vector<FileEvent> events) {
            std::lock_guard lock(raw->mutex);
            // A scan's thread may hold the watcher a moment past stop(): what it still tells
            // then is not the current watch's.
            if (raw->generation != generation) return;
            raw->events.insert(raw->events.end(), std::make_move_iterator(events.begin()),
                               std::make_move_iterator(events.end()));
            if (raw->drainQueued) return;
            raw->drainQueued = true;
            queue->add(drain);
        };
        auto watcher = platform::InotifyWatcher::start(root, std::move(handler), coverage);
        if (!watcher) {
            // Said at every log level: the tree no longer follows the disk.
            Logger::log(0, "Cannot watch " + root + " for changes (" + watcher.error() +
                               "); its tree is not kept up to date");
            mainQueue->post([shared, error = watcher.error()] { shared->failed(error); });
            return;
        }
        auto mounts = std::make_unique<platform::MountWatcher>(
            [state, shared, mainQueue, generation](std::vector<platform::VolumeEvent> events) {
                mainQueue->post([state, shared, generation, events = std::move(events)] {
                    if (state->isCurrent(generation)) shared->volumes(events);
                });
            });
        std::unique_ptr<platform::InotifyWatcher> unusedWatcher;
        std::unique_ptr<platform::MountWatcher> unusedMounts;
        std::lock_guard lock(state->mutex);
        if (state->generation == generation && !state->watcher) {
            state->watcher = std::move(*watcher);
            state->mounts = std::move(mounts);
        } else {
            // Stopped meanwhile; they stop after the lock is gone.
            unusedWatcher = std::move(*watcher);
            unusedMounts = std::move(mounts);
        }
    });
    return true;
}

void LiveWatch::stop() {
    std::shared_ptr<platform::InotifyWatcher> watcher;
    std::unique_ptr<platform::MountWatcher> mounts;
    {
        std::lock_guard lock(state_->mutex);
        ++state_->generation;
        watcher = std::move(state_->watcher);
        mounts = std::move(state_->mounts);
        state_->events.clear();
    }
    // Joins the watchers' threads (or the scan's thread that holds the watcher last does); the
    // lock must not be held.
    watcher.reset();
    mounts.reset();
}

} // namespace tessera
