// Developer diagnostics on standard error, gated by the level given as "-log N" at launch.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace tessera {

class Logger {
public:
    /// The diagnostic level, 0 to 3, read once from the launch arguments on first use.
    static std::uint8_t level();
    /// The level the arguments give: the integer after the first "-log" when it lies from 0 to
    /// 3, else 0.
    static std::uint8_t levelFromArguments(std::span<const std::string> arguments);
    /// Overrides the level (tests, and front ends that parse their own arguments).
    static void setLevel(std::uint8_t level);

    /// Writes `message` to standard error when the level is at least `minimum`.
    static void log(std::uint8_t minimum, std::string_view message);
};

} // namespace tessera
