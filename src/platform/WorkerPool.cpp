#include "platform/WorkerPool.h"

#include <algorithm>
#include <sched.h>
#include <system_error>
#include <utility>

namespace tessera {
namespace {

std::size_t usableCores() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0)
        return static_cast<std::size_t>(CPU_COUNT(&set));
    return std::max(1u, std::thread::hardware_concurrency());
}

} // namespace

WorkerPool::WorkerPool(std::size_t helpers) {
    helpers_.reserve(helpers);
    try {
        for (std::size_t i = 0; i < helpers; ++i)
            helpers_.emplace_back([this] { serve(); });
    } catch (const std::system_error&) {
        // No more threads to be had: the pool makes do with those it has.
    }
}

WorkerPool::~WorkerPool() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    for (std::thread& helper : helpers_)
        helper.join();
}

WorkerPool& WorkerPool::shared() {
    static WorkerPool pool(usableCores() - 1);
    return pool;
}

void WorkerPool::run(std::size_t count, const std::function<void(std::size_t)>& job) {
    if (count == 0) return;
    const std::lock_guard turn(turn_);
    const std::size_t helping = count > 1 ? helpers_.size() : 0;
    {
        const std::lock_guard lock(mutex_);
        job_ = &job;
        count_ = count;
        next_ = 0;
        failed_ = false;
        failure_ = nullptr;
        working_ = helping;
        if (helping > 0) ++run_;
    }
    if (helping > 0) wake_.notify_all();
    work();
    std::exception_ptr failure;
    {
        std::unique_lock lock(mutex_);
        finished_.wait(lock, [this] { return working_ == 0; });
        job_ = nullptr;
        failure = std::exchange(failure_, nullptr);
    }
    if (failure) std::rethrow_exception(failure);
}

void WorkerPool::serve() {
    std::size_t served = 0;
    for (;;) {
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [&] { return stopping_ || run_ != served; });
            if (stopping_) return;
            served = run_;
        }
        work();
        {
            const std::lock_guard lock(mutex_);
            if (--working_ == 0) finished_.notify_one();
        }
    }
}

void WorkerPool::work() {
    for (std::size_t i; !failed_.load(std::memory_order_relaxed) && (i = next_++) < count_;) {
        try {
            (*job_)(i);
        } catch (...) {
            const std::lock_guard lock(mutex_);
            if (!failure_) failure_ = std::current_exception();
            failed_ = true;
        }
    }
}

} // namespace tessera
