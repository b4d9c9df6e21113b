// Base64 (RFC 4648, with padding), for bytes stored in JSON.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tessera {

std::string encodeBase64(std::string_view bytes);
/// None when `text` is not canonical padded Base64.
std::optional<std::string> decodeBase64(std::string_view text);

} // namespace tessera
