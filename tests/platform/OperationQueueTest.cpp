#include "platform/OperationQueue.h"

#include <future>
#include <gtest/gtest.h>
#include <string>

namespace tessera {
namespace {

TEST(OperationQueueTest, RunsInOrderWithHighPriorityFirstAndSkipsCancelled) {
    OperationQueue queue;
    std::mutex mutex;
    std::string order;
    auto note = [&](char c) {
        return [&, c](const Operation&) {
            std::lock_guard lock(mutex);
            order += c;
        };
    };
    // Hold the queue until everything is queued, so that the order is decided by the queue.
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    queue.add([released](const Operation&) { released.wait(); });
    queue.add(note('a'));
    auto cancelled = queue.add(note('x'));
    queue.add(note('b'));
    queue.add(note('H'), OperationQueue::Priority::high);
    queue.add(note('I'), OperationQueue::Priority::high);
    cancelled->cancel();
    EXPECT_EQ(queue.operationCount(), 6u);
    release.set_value();
    queue.waitUntilAllOperationsAreFinished();
    EXPECT_EQ(order, "HIab");
    EXPECT_EQ(queue.operationCount(), 0u);
}

TEST(OperationQueueTest, CancellingReachesTheRunningOperationAndTheQueue) {
    std::promise<void> started;
    std::atomic<bool> sawCancel{false};
    std::atomic<bool> laterRan{false};
    {
        OperationQueue queue;
        queue.add([&](const Operation& self) {
            started.set_value();
            while (!self.isCancelled())
                std::this_thread::yield();
            sawCancel = true;
        });
        queue.add([&](const Operation&) { laterRan = true; });
        started.get_future().wait();
        queue.cancelAllOperations();
        queue.waitUntilAllOperationsAreFinished();
    }
    EXPECT_TRUE(sawCancel);
    EXPECT_FALSE(laterRan);
}

} // namespace
} // namespace tessera
