// `tessera diff`: what changed between two trees of one place, the largest changes first.
#pragma once

#include <span>
#include <string>

namespace tessera::cli {

int runDiffCommand(std::span<const std::string> arguments);

} // namespace tessera::cli
