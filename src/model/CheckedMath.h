// Size and count arithmetic of the tree is checked: an overflow is a broken invariant.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>

namespace tessera {

/// a + b, or none when the sum does not fit in 64 bits. For callers that must reject bad input.
inline std::optional<std::int64_t> addOrNone(std::int64_t a, std::int64_t b) {
    std::int64_t sum;
    if (__builtin_add_overflow(a, b, &sum)) return std::nullopt;
    return sum;
}

/// a + b; stops the program when the sum overflows, since the tree's sums are then wrong.
inline std::int64_t checkedAdd(std::int64_t a, std::int64_t b) {
    std::int64_t sum;
    if (__builtin_add_overflow(a, b, &sum)) {
        std::fprintf(stderr, "tessera: 64-bit size arithmetic overflowed (%lld + %lld)\n",
                     static_cast<long long>(a), static_cast<long long>(b));
        std::abort();
    }
    return sum;
}

} // namespace tessera
