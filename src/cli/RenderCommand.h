// `tessera render`: the picture of a folder or a snapshot as a PNG file, without a display.
#pragma once

#include <span>
#include <string>

namespace tessera::cli {

int runRenderCommand(std::span<const std::string> arguments);

} // namespace tessera::cli
