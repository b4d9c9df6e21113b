// Points in time as the tree stores them: whole seconds since the Unix epoch.
#pragma once

#include <compare>
#include <cstdint>

namespace tessera {

/// A point in time in whole seconds since 1970-01-01T00:00:00Z. The distant past,
/// 0001-01-01T00:00:00Z, stands for "unknown" and is treated as absent everywhere.
struct Date {
    static constexpr std::int64_t kDistantPastSeconds = -62'135'596'800;
    std::int64_t seconds = kDistantPastSeconds;

    static constexpr Date distantPast() { return Date{}; }
    static constexpr Date fromUnixSeconds(std::int64_t s) { return Date{s}; }
    constexpr bool isDistantPast() const { return seconds == distantPast().seconds; }

    friend constexpr auto operator<=>(Date, Date) = default;
};

} // namespace tessera
