// Opens the desktop's terminal in a folder: the one $TERMINAL names, else Debian's
// x-terminal-emulator alternative, else the first of the desktops' own terminals installed.
#pragma once

#include <expected>
#include <string>

namespace tessera {

/// Starts a terminal whose shell begins in `folder`, detached from this process; why it could
/// not, otherwise.
std::expected<void, std::string> openTerminalIn(const std::string& folder);

} // namespace tessera
