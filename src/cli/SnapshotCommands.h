// `tessera info` and `tessera convert`: reading snapshots, and rewriting one form as the other.
#pragma once

#include <span>
#include <string>

namespace tessera::cli {

int runInfoCommand(std::span<const std::string> arguments);
int runConvertCommand(std::span<const std::string> arguments);

} // namespace tessera::cli
