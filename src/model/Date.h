// Points in time as the tree stores them: whole seconds since the Unix epoch.
#pragma once

#include <compare>
#include <cstdint>
#include <limits>

namespace tessera {

/// A point in time in whole seconds since 1970-01-01T00:00:00Z. The distant past stands for
/// "unknown" and is treated as absent everywhere.
struct Date {
    std::int64_t seconds = std::numeric_limits<std::int64_t>::min();

    static constexpr Date distantPast() { return Date{}; }
    static constexpr Date fromUnixSeconds(std::int64_t s) { return Date{s}; }
    constexpr bool isDistantPast() const { return seconds == distantPast().seconds; }

    friend constexpr auto operator<=>(Date, Date) = default;
};

} // namespace tessera
