// The escapes that every quoted text this program writes shares (JSON strings, the text form of
// predicates): a quotation mark, a backslash and the common white-space controls.
#pragma once

#include <string_view>

namespace tessera {

/// The two-character escape of `c` inside a quoted text, or empty when it has none.
constexpr std::string_view commonEscape(unsigned char c) {
    switch (c) {
    case '"':
        return "\\\"";
    case '\\':
        return "\\\\";
    case '\n':
        return "\\n";
    case '\t':
        return "\\t";
    case '\r':
        return "\\r";
    default:
        return {};
    }
}

} // namespace tessera
