// Text for terminals: names are bytes, and a terminal must never see them raw.
#pragma once

#include <string>
#include <string_view>

namespace tessera::cli {

/// `name` with control characters, DEL and invalid UTF-8 bytes written as \xHH (and a backslash
/// as \\), safe to print on a terminal.
std::string escapeForTerminal(std::string_view name);

} // namespace tessera::cli
