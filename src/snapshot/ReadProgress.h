// How far a snapshot file's reading has come, and a way to stop it.
#pragma once

#include <atomic>
#include <cstdint>

namespace tessera {

/// Written by the reading thread, read and cancelled from any other.
struct ReadProgress {
    std::atomic<std::uint64_t> bytes{0};
    std::atomic<std::uint64_t> entries{0}; // nodes made so far, counted now and then
    std::atomic<bool> cancelled{false};
};

/// Counts the nodes a reader makes into a ReadProgress's `entries` (none: counts nothing),
/// a few thousand at a time so that counting costs the reading nothing measurable.
class EntryTally {
public:
    explicit EntryTally(std::atomic<std::uint64_t>* total = nullptr) : total_(total) {}
    EntryTally(const EntryTally&) = delete;
    EntryTally& operator=(const EntryTally&) = delete;
    ~EntryTally() { publish(); }

    void count() {
        if (++pending_ == kBatch) publish();
    }

private:
    static constexpr std::uint64_t kBatch = 4096;
    void publish() {
        if (total_ != nullptr && pending_ > 0)
            total_->fetch_add(pending_, std::memory_order_relaxed);
        pending_ = 0;
    }
    std::atomic<std::uint64_t>* total_;
    std::uint64_t pending_ = 0;
};

} // namespace tessera
