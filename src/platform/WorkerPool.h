// Threads kept for short bursts of CPU-bound work that one call spreads over the cores and waits
// for, such as laying out the parts of one picture. Keeping them spares a thread start for every
// frame.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace tessera {

class WorkerPool {
public:
    /// A pool with `helpers` threads besides the one that calls run().
    explicit WorkerPool(std::size_t helpers);
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    /// The process's pool: one thread for each core it may run on, the caller's included.
    static WorkerPool& shared();

    /// Threads that take part in a run, the caller's included.
    std::size_t threadCount() const { return helpers_.size() + 1; }

    /// Runs `job(i)` for every i in [0, count), handing the jobs out in order as threads become
    /// free, the calling thread among them; returns when all have run. The first exception a job
    /// throws is rethrown here after the others have stopped; jobs not started by then are
    /// skipped. Runs from several threads take turns; a job must not start a run of its own pool.
    void run(std::size_t count, const std::function<void(std::size_t)>& job);

private:
    void serve();
    void work();

    std::mutex turn_; // one run at a time
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable finished_;
    const std::function<void(std::size_t)>* job_ = nullptr;
    std::size_t count_ = 0;
    std::atomic<std::size_t> next_{0};
    std::atomic<bool> failed_{false};
    std::exception_ptr failure_;
    std::size_t run_ = 0;     // counts runs, so that a helper takes part in each once
    std::size_t working_ = 0; // helpers not yet done with the current run
    bool stopping_ = false;
    std::vector<std::thread> helpers_;
};

} // namespace tessera
