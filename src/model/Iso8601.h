// Dates as ISO 8601 text in UTC with whole seconds: "2024-05-01T12:30:00Z".
#pragma once

#include "base/Date.h"

#include <optional>
#include <string>
#include <string_view>

namespace tessera {

/// Years outside 0000...9999 are written with a sign and at least five digits.
std::string formatIso8601(Date date);
/// formatIso8601() appended to `out` without a temporary string.
void appendIso8601(std::string& out, Date date);

/// Reads the form formatIso8601 writes, and the same with an offset from UTC instead of "Z"
/// ("2024-05-01T14:30:00+02:00" is 12:30 UTC); no fractions.
std::optional<Date> parseIso8601(std::string_view text);

} // namespace tessera
