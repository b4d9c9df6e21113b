#include "platform/WorkerPool.h"

#include <chrono>
#include <gtest/gtest.h>
#include <stdexcept>
#include <thread>

namespace tessera {
namespace {

TEST(WorkerPoolTest, EveryJobRunsOnceWhateverTheThreads) {
    for (std::size_t helpers : {0, 1, 3}) {
        WorkerPool pool(helpers);
        EXPECT_EQ(pool.threadCount(), helpers + 1);
        for (std::size_t count : {0, 1, 2, 7, 1000}) {
            std::vector<std::atomic<int>> runs(count);
            pool.run(count, [&](std::size_t i) { ++runs[i]; });
            for (std::size_t i = 0; i < count; ++i)
                ASSERT_EQ(runs[i].load(), 1) << helpers << " helpers, job " << i << " of " << count;
        }
    }
}

TEST(WorkerPoolTest, AFailingJobStopsTheRunAndTheCallerHearsOfIt) {
    WorkerPool pool(2);
    std::atomic<int> ran{0};
    EXPECT_THROW(pool.run(10'000,
                          [&](std::size_t i) {
                              ++ran;
                              if (i == 3) throw std::runtime_error("job 3");
                              std::this_thread::sleep_for(std::chrono::microseconds(100));
                          }),
                 std::runtime_error);
    EXPECT_LT(ran.load(), 10'000); // the rest were skipped

    // The pool serves the next run as usual.
    std::atomic<int> after{0};
    pool.run(50, [&](std::size_t) { ++after; });
    EXPECT_EQ(after.load(), 50);
}

TEST(WorkerPoolTest, RunsFromSeveralThreadsTakeTurns) {
    WorkerPool pool(2);
    std::atomic<int> inside{0};
    std::atomic<bool> overlapped{false};
    std::atomic<int> total{0};
    const auto runMany = [&] {
        for (int round = 0; round < 50; ++round) {
            // A run's jobs see only their own run's jobs in flight.
            std::atomic<int> mine{0};
            pool.run(8, [&](std::size_t) {
                ++mine;
                if (++inside > 3) overlapped = true;
                ++total;
                --inside;
            });
            ASSERT_EQ(mine.load(), 8);
        }
    };
    std::thread other(runMany);
    runMany();
    other.join();
    EXPECT_FALSE(overlapped.load());
    EXPECT_EQ(total.load(), 2 * 50 * 8);
}

} // namespace
} // namespace tessera
