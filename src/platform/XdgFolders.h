// The user's folders as the XDG base directory rules name them.
#pragma once

#include <string>

namespace tessera::platform {

/// $XDG_CONFIG_HOME when it is an absolute path, else ~/.config.
std::string configHome();
/// $XDG_DATA_HOME when it is an absolute path, else ~/.local/share.
std::string dataHome();

} // namespace tessera::platform
