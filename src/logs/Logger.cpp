#include "logs/Logger.h"

#include <atomic>
#include <charconv>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

namespace tessera {
namespace {

constexpr int kUnread = -1;
std::atomic<int> currentLevel{kUnread};

// The launch arguments, read from the kernel so that no front end has to hand them over.
std::vector<std::string> launchArguments() {
    std::ifstream file("/proc/self/cmdline", std::ios::binary);
    const std::string all((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::vector<std::string> arguments;
    std::size_t start = 0;
    for (std::size_t i = 0; i < all.size(); ++i) {
        if (all[i] == '\0') {
            arguments.push_back(all.substr(start, i - start));
            start = i + 1;
        }
    }
    return arguments;
}

} // namespace

std::uint8_t Logger::levelFromArguments(std::span<const std::string> arguments) {
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        if (arguments[i] != "-log") continue;
        if (i + 1 == arguments.size()) return 0;
        std::string_view text = arguments[i + 1];
        if (text.starts_with('+')) text.remove_prefix(1);
        long long value = 0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (error != std::errc() || end != text.data() + text.size() || text.empty()) return 0;
        return value >= 0 && value <= 3 ? static_cast<std::uint8_t>(value) : 0;
    }
    return 0;
}

std::uint8_t Logger::level() {
    int level = currentLevel.load(std::memory_order_relaxed);
    if (level == kUnread) {
        const auto arguments = launchArguments();
        level = levelFromArguments(arguments);
        int expected = kUnread;
        if (!currentLevel.compare_exchange_strong(expected, level)) level = expected;
    }
    return static_cast<std::uint8_t>(level);
}

void Logger::setLevel(std::uint8_t level) {
    currentLevel.store(level);
}

void Logger::log(std::uint8_t minimum, std::string_view message) {
    if (level() >= minimum)
        std::fprintf(stderr, "%.*s\n", static_cast<int>(message.size()), message.data());
}

} // namespace tessera
