// `tessera merge`: several snapshots under one root, each under its own name.
#pragma once

#include <span>
#include <string>

namespace tessera::cli {

int runMergeCommand(std::span<const std::string> arguments);

} // namespace tessera::cli
