#include "platform/OperationQueue.h"

namespace tessera {
namespace {

class ClosureOperation : public Operation {
public:
    explicit ClosureOperation(std::function<void(const Operation&)> work)
        : work_(std::move(work)) {}
    void main() override { work_(*this); }

private:
    std::function<void(const Operation&)> work_;
};

} // namespace

OperationQueue::OperationQueue() : thread_([this] { run(); }) {}

OperationQueue::~OperationQueue() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    cancelAllOperations();
    changed_.notify_all();
    thread_.join();
}

void OperationQueue::add(std::shared_ptr<Operation> operation, Priority priority) {
    {
        std::lock_guard lock(mutex_);
        // High priority goes after other high-priority work but before every normal operation.
        if (priority == Priority::high)
            queued_.insert(queued_.begin() + static_cast<std::ptrdiff_t>(highCount_++),
                           std::move(operation));
        else
            queued_.push_back(std::move(operation));
    }
    changed_.notify_all();
}

std::shared_ptr<Operation> OperationQueue::add(std::function<void(const Operation&)> work,
                                               Priority priority) {
    auto operation = std::make_shared<ClosureOperation>(std::move(work));
    add(operation, priority);
    return operation;
}

void OperationQueue::cancelAllOperations() {
    std::lock_guard lock(mutex_);
    for (const auto& operation : queued_)
        operation->cancel();
    if (running_) running_->cancel();
}

std::size_t OperationQueue::operationCount() const {
    std::lock_guard lock(mutex_);
    return queued_.size() + (running_ ? 1 : 0);
}

void OperationQueue::waitUntilAllOperationsAreFinished() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return queued_.empty() && !running_; });
}

void OperationQueue::run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stopping_ || !queued_.empty(); });
        if (queued_.empty()) return; // stopping, nothing left
        running_ = std::move(queued_.front());
        queued_.pop_front();
        if (highCount_ > 0) --highCount_;
        lock.unlock();
        if (!running_->isCancelled()) running_->main();
        lock.lock();
        running_.reset();
        changed_.notify_all();
    }
}

} // namespace tessera
