#include "model/NodeStore.h"

#include "platform/Process.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#define TESSERA_POISON(p, n) ASAN_POISON_MEMORY_REGION(p, n)
#define TESSERA_UNPOISON(p, n) ASAN_UNPOISON_MEMORY_REGION(p, n)
#else
#define TESSERA_POISON(p, n) ((void)(p), (void)(n))
#define TESSERA_UNPOISON(p, n) ((void)(p), (void)(n))
#endif

namespace tessera {
namespace {

// 32-bit handles in 4-byte granules address 16 GiB: about 370 million entries at 47 bytes each,
// names and child arrays included.
constexpr std::size_t kLargestReservation = std::size_t{16} << 30;
constexpr std::size_t kChunkBytes = std::size_t{256} << 10;
// The first granules stay unused so that no block has the null handle.
constexpr std::size_t kFirstOffset = 64;

std::once_flag reserveOnce;
char* reservedBase = nullptr;
std::size_t reservedBytes = 0;
std::atomic<std::size_t> nextFree{kFirstOffset};
std::atomic<std::size_t> inUse{0};

struct FreeLists {
    std::mutex mutex;
    std::vector<void*> heads; // indexed by size in granules; each free block links to the next
    std::atomic<std::size_t> count{0};
};
FreeLists& freeLists() {
    static FreeLists lists;
    return lists;
}

struct Chunk {
    char* cursor = nullptr;
    char* end = nullptr;
    std::size_t room() const { return static_cast<std::size_t>(end - cursor); }
};

// What threads that ended left unused of their chunks, for the next threads that need one:
// without it every short-lived thread (a snapshot's reading, a scan's) would leave up to a chunk
// of the reserved range behind for good.
struct SpareChunks {
    static constexpr std::size_t kLeastKept = 4096;
    std::mutex mutex;
    std::vector<Chunk> chunks;
};
SpareChunks& spareChunks() {
    static auto* spare = new SpareChunks; // never destroyed: threads may end after main()
    return *spare;
}

struct ThreadChunk : Chunk {
    ThreadChunk() = default;
    ThreadChunk(const ThreadChunk&) = delete;
    ThreadChunk& operator=(const ThreadChunk&) = delete;
    ~ThreadChunk() {
        if (cursor == nullptr || room() < SpareChunks::kLeastKept) return;
        SpareChunks& spare = spareChunks();
        std::lock_guard lock(spare.mutex);
        spare.chunks.push_back(*this);
    }
};
thread_local ThreadChunk threadChunk;

// A chunk for a block of `bytes`: one a finished thread left, else a fresh one from the range.
Chunk takeChunk(std::size_t bytes) {
    {
        SpareChunks& spare = spareChunks();
        std::lock_guard lock(spare.mutex);
        if (!spare.chunks.empty() && spare.chunks.back().room() >= bytes) {
            const Chunk chunk = spare.chunks.back();
            spare.chunks.pop_back();
            return chunk;
        }
    }
    const std::size_t want = std::max(kChunkBytes, bytes);
    const std::size_t offset = nextFree.fetch_add(want, std::memory_order_relaxed);
    if (offset + want > reservedBytes) throw std::bad_alloc();
    return {reservedBase + offset, reservedBase + offset + want};
}

void* takeFromFreeList(std::size_t bytes) {
    FreeLists& lists = freeLists();
    if (lists.count.load(std::memory_order_relaxed) == 0) return nullptr;
    std::lock_guard lock(lists.mutex);
    const std::size_t slot = bytes / NodeStore::kGranule;
    if (slot >= lists.heads.size() || lists.heads[slot] == nullptr) return nullptr;
    void* block = lists.heads[slot];
    TESSERA_UNPOISON(block, sizeof(void*));
    std::memcpy(&lists.heads[slot], block, sizeof(void*)); // blocks are only 4-byte aligned
    lists.count.fetch_sub(1, std::memory_order_relaxed);
    return block;
}

} // namespace

char* NodeStore::reserve() {
    std::call_once(reserveOnce, [] {
        // Halve the reservation until the kernel accepts it (strict overcommit, small ulimits).
        for (std::size_t bytes = kLargestReservation; bytes >= (std::size_t{64} << 20);
             bytes /= 2) {
            if (void* p = platform::reserveAddressSpace(bytes)) {
                reservedBase = static_cast<char*>(p);
                reservedBytes = bytes;
                break;
            }
        }
        if (reservedBase == nullptr) throw std::bad_alloc();
    });
    base_ = reservedBase;
    return base_;
}

void* NodeStore::allocate(std::size_t bytes) {
    base();
    void* block = takeFromFreeList(bytes);
    if (block == nullptr) {
        ThreadChunk& chunk = threadChunk;
        if (chunk.cursor == nullptr || chunk.room() < bytes) {
            const Chunk taken = takeChunk(bytes);
            chunk.cursor = taken.cursor;
            chunk.end = taken.end;
        }
        block = chunk.cursor;
        chunk.cursor += bytes;
    }
    TESSERA_UNPOISON(block, bytes);
    inUse.fetch_add(bytes, std::memory_order_relaxed);
    return block;
}

void NodeStore::release(void* block, std::size_t bytes) noexcept {
    if (block == nullptr) return;
    inUse.fetch_sub(bytes, std::memory_order_relaxed);
    FreeLists& lists = freeLists();
    std::lock_guard lock(lists.mutex);
    const std::size_t slot = bytes / kGranule;
    if (slot >= lists.heads.size()) lists.heads.resize(slot + 1, nullptr);
    std::memcpy(block, &lists.heads[slot], sizeof(void*));
    lists.heads[slot] = block;
    lists.count.fetch_add(1, std::memory_order_relaxed);
    TESSERA_POISON(block, bytes);
}

std::size_t NodeStore::bytesInUse() noexcept {
    return inUse.load(std::memory_order_relaxed);
}

} // namespace tessera
