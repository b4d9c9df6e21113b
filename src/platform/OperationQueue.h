// A serial queue of cancellable operations on its own thread. High-priority operations run
// before queued normal ones; an operation cancelled before it starts is skipped.
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace tessera {

class Operation {
public:
    virtual ~Operation() = default;
    /// The work, on the queue's thread; long work checks isCancelled() now and then.
    virtual void main() = 0;
    /// Any thread.
    void cancel() {
        cancelled_.store(true);
        didCancel();
    }
    bool isCancelled() const { return cancelled_.load(); }
    /// The flag itself, for work that polls it without knowing about operations.
    const std::atomic<bool>& cancellationFlag() const { return cancelled_; }

protected:
    /// Called on the cancelling thread after the flag is set.
    virtual void didCancel() {}

private:
    std::atomic<bool> cancelled_{false};
};

class OperationQueue {
public:
    enum class Priority { normal, high };

    OperationQueue();
    /// Cancels everything and waits for the running operation to return.
    ~OperationQueue();
    OperationQueue(const OperationQueue&) = delete;
    OperationQueue& operator=(const OperationQueue&) = delete;

    void add(std::shared_ptr<Operation> operation, Priority priority = Priority::normal);
    /// A closure as an operation; returns it so that it can be cancelled.
    std::shared_ptr<Operation> add(std::function<void(const Operation&)> work,
                                   Priority priority = Priority::normal);

    /// Cancels the queued operations and the running one.
    void cancelAllOperations();
    /// Operations queued or running.
    std::size_t operationCount() const;
    /// Blocks until nothing is queued or running.
    void waitUntilAllOperationsAreFinished();

private:
    void run();

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::shared_ptr<Operation>> queued_;
    std::size_t highCount_ = 0; // high-priority operations at the front of queued_
    std::shared_ptr<Operation> running_;
    bool stopping_ = false;
    std::thread thread_;
};

} // namespace tessera
