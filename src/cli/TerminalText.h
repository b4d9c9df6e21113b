// Text for terminals and scripts: names are bytes, and neither a terminal nor a JSON reader may
// ever see them raw.
#pragma once

#include <string>
#include <string_view>

namespace tessera::cli {

/// `name` with control characters, DEL and invalid UTF-8 bytes written as \xHH (and a backslash
/// as \\), safe to print on a terminal.
std::string escapeForTerminal(std::string_view name);

/// `text` as a JSON string literal, quotes included. Invalid UTF-8 bytes become U+FFFD.
std::string jsonString(std::string_view text);

} // namespace tessera::cli
