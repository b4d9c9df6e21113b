// Dates as ISO 8601 text in UTC with whole seconds: "2024-05-01T12:30:00Z".
#pragma once

#include "model/Date.h"

#include <optional>
#include <string>
#include <string_view>

namespace tessera {

/// Years outside 0000...9999 are written with a sign and at least five digits.
std::string formatIso8601(Date date);
/// formatIso8601() appended to `out` without a temporary string.
void appendIso8601(std::string& out, Date date);

/// Reads exactly the form formatIso8601 writes ("Z" only; no fractions, no offsets).
std::optional<Date> parseIso8601(std::string_view text);

} // namespace tessera
