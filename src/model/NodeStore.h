// The process-wide store that every tree node lives in.
//
// A disk can hold tens of millions of entries, so nodes are packed tightly: they are carved out
// of one large reserved address range and refer to each other by 32-bit handles (offsets in
// 4-byte granules) instead of 8-byte pointers. The range is reserved once and the kernel commits
// its pages only as they are touched. Scans allocate from per-thread chunks without locking;
// freed blocks go to size-indexed free lists and are reused by later allocations of the same
// size.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tessera {

/// Handle of a node block in the node store; 0 is the null handle.
using NodeRef = std::uint32_t;

class NodeStore {
public:
    static constexpr std::size_t kGranule = 4;

    /// A block of `bytes` (a multiple of kGranule), aligned to kGranule. Throws std::bad_alloc
    /// when the reserved range is exhausted.
    static void* allocate(std::size_t bytes);
    /// Returns a block obtained from allocate() with the same size.
    static void release(void* block, std::size_t bytes) noexcept;

    static NodeRef toRef(const void* block) noexcept {
        return block == nullptr
                   ? 0
                   : static_cast<NodeRef>((static_cast<const char*>(block) - base()) / kGranule);
    }
    static void* fromRef(NodeRef ref) noexcept {
        return ref == 0 ? nullptr : base() + std::size_t{ref} * kGranule;
    }

    /// Bytes handed out and not yet released, for tests and benchmarks.
    static std::size_t bytesInUse() noexcept;

private:
    static char* base() noexcept { return base_ != nullptr ? base_ : reserve(); }
    static char* reserve();
    static inline char* base_ = nullptr;
};

} // namespace tessera
