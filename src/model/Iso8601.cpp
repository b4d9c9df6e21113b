#include "model/Iso8601.h"

#include <charconv>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <limits>

namespace tessera {
namespace {

// Howard Hinnant's civil-date algorithms: exact for every 64-bit day count we can meet.
constexpr std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

struct Civil {
    std::int64_t year;
    unsigned month, day;
};
constexpr Civil civilFromDays(std::int64_t z) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t y = static_cast<std::int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    return {y + (m <= 2), m, d};
}

constexpr std::int64_t kSecondsPerDay = 86400;

// Years outside 0...9999, with their sign and at least five digits.
void appendWideYear(std::string& out, const Civil& civil, std::int64_t secondOfDay) {
    char buffer[64];
    const int length =
        std::snprintf(buffer, sizeof buffer, "%+06lld", static_cast<long long>(civil.year));
    std::snprintf(buffer + length, sizeof buffer - static_cast<std::size_t>(length),
                  "-%02u-%02uT%02d:%02d:%02dZ", civil.month, civil.day,
                  static_cast<int>(secondOfDay / 3600), static_cast<int>(secondOfDay / 60 % 60),
                  static_cast<int>(secondOfDay % 60));
    out += buffer;
}

template <typename Int> bool readNumber(std::string_view text, Int& value) {
    if (text.empty() || text.front() == '+' || text.front() == '-') return false;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
}

} // namespace

static std::optional<Date> parseAnyIso8601(std::string_view text);

std::string formatIso8601(Date date) {
    std::string text;
    appendIso8601(text, date);
    return text;
}

void appendIso8601(std::string& out, Date date) {
    std::int64_t days = date.seconds / kSecondsPerDay;
    std::int64_t rest = date.seconds % kSecondsPerDay;
    if (rest < 0) {
        rest += kSecondsPerDay;
        --days;
    }
    // Snapshots write two dates per entry, and files of one folder often share a day: the date
    // part of the last day written is kept.
    thread_local std::int64_t lastDays = std::numeric_limits<std::int64_t>::min();
    thread_local char text[20] = {'0', '0', '0', '0', '-', '0', '0', '-', '0', '0',
                                  'T', '0', '0', ':', '0', '0', ':', '0', '0', 'Z'};
    const auto put = [](char* at, unsigned value, int digits) {
        for (int i = digits - 1; i >= 0; --i, value /= 10)
            at[i] = static_cast<char>('0' + value % 10);
    };
    if (days != lastDays) {
        const Civil civil = civilFromDays(days);
        if (civil.year < 0 || civil.year > 9999) {
            appendWideYear(out, civil, rest);
            return;
        }
        put(text, static_cast<unsigned>(civil.year), 4);
        put(text + 5, civil.month, 2);
        put(text + 8, civil.day, 2);
        lastDays = days;
    }
    put(text + 11, static_cast<unsigned>(rest / 3600), 2);
    put(text + 14, static_cast<unsigned>(rest / 60 % 60), 2);
    put(text + 17, static_cast<unsigned>(rest % 60), 2);
    out.append(text, sizeof text);
}

namespace {

// The canonical form, "YYYY-MM-DDTHH:MM:SSZ", as every snapshot writes it, read digit by digit.
// The day's count is kept for the next date of the same day. Nothing when the text is not in
// that form or names no real date; the general reader then decides.
std::optional<Date> parseCanonical(std::string_view text) {
    if (text.size() != 20) return std::nullopt;
    const char* c = text.data();
    if (c[4] != '-' || c[7] != '-' || c[10] != 'T' || c[13] != ':' || c[16] != ':' || c[19] != 'Z')
        return std::nullopt;
    static constexpr int kDigitsAt[] = {0, 1, 2, 3, 5, 6, 8, 9, 11, 12, 14, 15, 17, 18};
    unsigned digit[std::size(kDigitsAt)];
    for (std::size_t i = 0; i < std::size(kDigitsAt); ++i) {
        digit[i] = static_cast<unsigned>(static_cast<unsigned char>(c[kDigitsAt[i]]) - '0');
        if (digit[i] > 9) return std::nullopt;
    }
    const unsigned hour = digit[8] * 10 + digit[9];
    const unsigned minute = digit[10] * 10 + digit[11];
    const unsigned second = digit[12] * 10 + digit[13];
    if (hour > 23 || minute > 59 || second > 59) return std::nullopt;

    thread_local char lastDay[10] = {};
    thread_local std::int64_t lastDays = 0;
    if (std::memcmp(c, lastDay, 10) != 0) {
        const unsigned year = digit[0] * 1000 + digit[1] * 100 + digit[2] * 10 + digit[3];
        const unsigned month = digit[4] * 10 + digit[5];
        const unsigned day = digit[6] * 10 + digit[7];
        static constexpr unsigned monthDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
        const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
        if (month < 1 || month > 12 || day < 1 || day > monthDays[month - 1] ||
            (month == 2 && day == 29 && !leap))
            return std::nullopt;
        lastDays = daysFromCivil(year, month, day);
        std::memcpy(lastDay, c, 10);
    }
    return Date::fromUnixSeconds(lastDays * kSecondsPerDay + hour * 3600 + minute * 60 + second);
}

} // namespace

std::optional<Date> parseIso8601(std::string_view text) {
    if (const auto date = parseCanonical(text)) return date;
    return parseAnyIso8601(text);
}

static std::optional<Date> parseAnyIso8601(std::string_view text) {
    // The zone: "Z", or an offset from UTC ("+02:00", "-05:30"), whose instant is kept.
    std::int64_t offset = 0;
    std::string_view body;
    const std::size_t size = text.size();
    if (size > 0 && text.back() == 'Z') {
        body = text.substr(0, size - 1);
    } else if (size >= 6 && (text[size - 6] == '+' || text[size - 6] == '-') &&
               text[size - 3] == ':') {
        unsigned hours = 0, minutes = 0;
        if (!readNumber(text.substr(size - 5, 2), hours) ||
            !readNumber(text.substr(size - 2, 2), minutes) || hours > 23 || minutes > 59)
            return std::nullopt;
        offset = (text[size - 6] == '-' ? -1 : 1) *
                 static_cast<std::int64_t>(hours * 3600 + minutes * 60);
        body = text.substr(0, size - 6);
    } else {
        return std::nullopt;
    }
    // The fixed tail "-MM-DDTHH:MM:SS" is 15 characters; the year comes before it.
    if (body.size() < 19) return std::nullopt;
    const std::string_view tail = body.substr(body.size() - 15);
    std::string_view yearText = body.substr(0, body.size() - 15);
    bool negative = false;
    if (yearText.front() == '+' || yearText.front() == '-') {
        negative = yearText.front() == '-';
        yearText.remove_prefix(1);
        if (yearText.size() < 5) return std::nullopt;
    } else if (yearText.size() != 4) {
        return std::nullopt;
    }
    if (tail[0] != '-' || tail[3] != '-' || tail[6] != 'T' || tail[9] != ':' || tail[12] != ':')
        return std::nullopt;
    std::int64_t year = 0;
    unsigned month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (yearText.size() > 11 || !readNumber(yearText, year) ||
        !readNumber(tail.substr(1, 2), month) || !readNumber(tail.substr(4, 2), day) ||
        !readNumber(tail.substr(7, 2), hour) || !readNumber(tail.substr(10, 2), minute) ||
        !readNumber(tail.substr(13, 2), second))
        return std::nullopt;
    if (negative) year = -year;
    if (month < 1 || month > 12 || day < 1 || hour > 23 || minute > 59 || second > 59)
        return std::nullopt;
    static constexpr unsigned monthDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    if (day > monthDays[month - 1] || (month == 2 && day == 29 && !leap)) return std::nullopt;
    const std::int64_t days = daysFromCivil(year, month, day);
    return Date::fromUnixSeconds(days * kSecondsPerDay + hour * 3600 + minute * 60 + second -
                                 offset);
}

} // namespace tessera
