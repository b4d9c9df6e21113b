// Reads the single JSON values of TSV cells: strings, integers, dates and null.
#pragma once

#include "base/Date.h"

#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>

namespace tessera::jsoncell {

/// The cell without the JSON whitespace around it.
std::string_view trim(std::string_view cell);
bool isNull(std::string_view cell);

/// A JSON string literal's text (escapes undone, UTF-8 validated).
[[nodiscard]] std::expected<std::string, std::string> readString(std::string_view cell);
/// readString() without a copy where the literal has no escapes: the text lies in `cell` or, when
/// escapes had to be undone, in `scratch`.
[[nodiscard]] std::expected<std::string_view, std::string> readStringView(std::string_view cell,
                                                                          std::string& scratch);
/// A JSON integer in the signed 64-bit range.
[[nodiscard]] std::expected<std::int64_t, std::string> readInteger(std::string_view cell);
/// A JSON string holding an ISO 8601 date.
[[nodiscard]] std::expected<Date, std::string> readDate(std::string_view cell);

} // namespace tessera::jsoncell
