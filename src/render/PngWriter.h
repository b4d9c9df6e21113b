// PNG files from RGBA pictures (libpng), written atomically.
#pragma once

#include <cstdint>
#include <expected>
#include <string>
#include <vector>

namespace tessera {

/// Encodes straight RGBA rows (from the top) as a PNG file at `path`.
[[nodiscard]] std::expected<void, std::string>
writePng(const std::string& path, int width, int height, const std::vector<std::uint8_t>& rgba);

} // namespace tessera
