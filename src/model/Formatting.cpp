#include "model/Formatting.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace tessera {
namespace {

struct Unit {
    const char* name;
    int decimals;
};

// Kilobytes are shown whole, megabytes with one decimal and larger units with two, as file
// managers do; trailing zeros are dropped.
constexpr std::array<Unit, 6> units{
    {{"KB", 0}, {"MB", 1}, {"GB", 2}, {"TB", 2}, {"PB", 2}, {"EB", 2}}};

std::string formatLocalTime(Date date, const char* format) {
    if (date.isDistantPast()) return "unknown";
    const auto seconds = static_cast<std::time_t>(date.seconds);
    std::tm local{};
    if (localtime_r(&seconds, &local) == nullptr) return std::to_string(date.seconds);
    char text[64];
    if (std::strftime(text, sizeof text, format, &local) == 0) return std::to_string(date.seconds);
    return text;
}

std::string trimZeros(std::string text) {
    if (text.find('.') == std::string::npos) return text;
    while (text.back() == '0')
        text.pop_back();
    if (text.back() == '.') text.pop_back();
    return text;
}

} // namespace

std::string formatByteCount(std::int64_t bytes) {
    const bool negative = bytes < 0;
    // The magnitude of INT64_MIN does not fit in int64_t; long double holds it.
    const long double magnitude = negative ? -static_cast<long double>(bytes) : bytes;
    const char* sign = negative ? "-" : "";
    char text[64];
    if (magnitude < 1000) {
        const auto whole = static_cast<long long>(magnitude);
        std::snprintf(text, sizeof text, "%s%lld %s", sign, whole, whole == 1 ? "byte" : "bytes");
        return text;
    }
    long double scaled = magnitude / 1000;
    std::size_t unit = 0;
    for (;;) {
        const long double factor = std::pow(10.0L, units[unit].decimals);
        const long double rounded = std::round(scaled * factor) / factor;
        if (rounded < 1000 || unit + 1 == units.size()) {
            std::snprintf(text, sizeof text, "%.*Lf", units[unit].decimals, rounded);
            std::string shown = trimZeros(text);
            shown.insert(0, sign);
            shown.append(" ").append(units[unit].name);
            return shown;
        }
        scaled /= 1000;
        ++unit;
    }
}

std::string formatCount(std::int64_t count) {
    std::string digits = std::to_string(count);
    const std::size_t start = count < 0 ? 1 : 0;
    for (std::size_t i = digits.size(); i > start + 3; i -= 3)
        digits.insert(i - 3, ",");
    return digits;
}

std::string formatShortDateMediumTime(Date date) {
    return formatLocalTime(date, "%x, %X");
}

std::string formatMediumDateShortTime(Date date) {
    return formatLocalTime(date, "%b %-d, %Y, %H:%M");
}

} // namespace tessera
