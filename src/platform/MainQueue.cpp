#include "platform/MainQueue.h"

namespace tessera {

MainQueue& MainQueue::shared() {
    // Never destroyed: tasks still queued at exit (nodes kept for observers, say) must not run
    // their destructors after the statics they use are gone.
    static MainQueue* queue = new MainQueue;
    return *queue;
}

void MainQueue::post(Task task) {
    postAfter(Clock::duration::zero(), std::move(task));
}

void MainQueue::postAfter(Clock::duration delay, Task task) {
    std::function<void()> wake;
    {
        std::lock_guard lock(mutex_);
        tasks_.emplace(Clock::now() + delay, std::move(task));
        wake = wake_;
    }
    posted_.notify_all();
    if (wake) wake();
}

bool MainQueue::runOneDue(std::unique_lock<std::mutex>& lock) {
    if (tasks_.empty() || tasks_.begin()->first > Clock::now()) return false;
    Task task = std::move(tasks_.begin()->second);
    tasks_.erase(tasks_.begin());
    lock.unlock();
    task();
    lock.lock();
    return true;
}

void MainQueue::runPending() {
    std::unique_lock lock(mutex_);
    while (runOneDue(lock)) {
    }
}

bool MainQueue::runUntil(const std::function<bool()>& done, Clock::duration timeout) {
    const auto deadline = Clock::now() + timeout;
    std::unique_lock lock(mutex_);
    for (;;) {
        while (runOneDue(lock)) {
            lock.unlock();
            const bool finished = done();
            lock.lock();
            if (finished) return true;
        }
        lock.unlock();
        if (done()) return true;
        lock.lock();
        const auto now = Clock::now();
        if (now >= deadline) return false;
        auto wakeAt = deadline;
        if (!tasks_.empty() && tasks_.begin()->first < wakeAt) wakeAt = tasks_.begin()->first;
        posted_.wait_until(lock, wakeAt);
    }
}

std::optional<MainQueue::Clock::time_point> MainQueue::nextDueTime() {
    std::lock_guard lock(mutex_);
    if (tasks_.empty()) return std::nullopt;
    return tasks_.begin()->first;
}

void MainQueue::setWakeHandler(std::function<void()> handler) {
    std::lock_guard lock(mutex_);
    wake_ = std::move(handler);
}

} // namespace tessera
