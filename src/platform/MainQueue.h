// The main thread's queue. Trees, observers, the log and everything the user sees belong to the
// main thread; other threads hand work to it through this queue. The app drives it from Qt's
// event loop (through the wake handler); tests and the command line run it until a condition
// holds.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <optional>

namespace tessera {

class MainQueue {
public:
    using Clock = std::chrono::steady_clock;
    using Task = std::move_only_function<void()>;

    /// The process's main queue.
    static MainQueue& shared();

    /// Runs `task` on the main thread, after everything posted before it. Any thread.
    void post(Task task);
    /// Runs `task` on the main thread once `delay` has passed. Any thread.
    void postAfter(Clock::duration delay, Task task);

    /// Main thread: runs due tasks until `done()` holds, waiting for more as needed. Returns
    /// false when `timeout` passed first.
    bool runUntil(const std::function<bool()>& done, Clock::duration timeout);
    /// Main thread: runs the tasks that are due now, including those they post.
    void runPending();

    /// When the earliest queued task falls due; none while the queue is empty. Any thread.
    std::optional<Clock::time_point> nextDueTime();

    /// Called (on any thread) whenever a task is posted, so an outer event loop can wake up.
    void setWakeHandler(std::function<void()> handler);

private:
    bool runOneDue(std::unique_lock<std::mutex>& lock);

    std::mutex mutex_;
    std::condition_variable posted_;
    std::multimap<Clock::time_point, Task> tasks_; // equal times keep posting order
    std::function<void()> wake_;
};

} // namespace tessera
