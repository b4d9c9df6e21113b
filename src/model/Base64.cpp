#include "model/Base64.h"

#include <array>

namespace tessera {
namespace {

constexpr std::string_view kAlphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr std::array<int, 256> decodeTable() {
    std::array<int, 256> table{};
    table.fill(-1);
    for (std::size_t i = 0; i < kAlphabet.size(); ++i)
        table[static_cast<unsigned char>(kAlphabet[i])] = static_cast<int>(i);
    return table;
}
constexpr auto kDecode = decodeTable();

} // namespace

std::string encodeBase64(std::string_view bytes) {
    std::string text;
    text.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t left = bytes.size() - i;
        unsigned group = static_cast<unsigned char>(bytes[i]) << 16;
        if (left > 1) group |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        if (left > 2) group |= static_cast<unsigned char>(bytes[i + 2]);
        text += kAlphabet[(group >> 18) & 63];
        text += kAlphabet[(group >> 12) & 63];
        text += left > 1 ? kAlphabet[(group >> 6) & 63] : '=';
        text += left > 2 ? kAlphabet[group & 63] : '=';
    }
    return text;
}

std::optional<std::string> decodeBase64(std::string_view text) {
    if (text.size() % 4 != 0) return std::nullopt;
    std::string bytes;
    bytes.reserve(text.size() / 4 * 3);
    for (std::size_t i = 0; i < text.size(); i += 4) {
        const bool last = i + 4 == text.size();
        const int pad = (text[i + 3] == '=') + (text[i + 2] == '=' && text[i + 3] == '=');
        if (pad > 0 && !last) return std::nullopt;
        unsigned group = 0;
        for (int j = 0; j < 4 - pad; ++j) {
            const int value =
                kDecode[static_cast<unsigned char>(text[i + static_cast<std::size_t>(j)])];
            if (value < 0) return std::nullopt;
            group |= static_cast<unsigned>(value) << (18 - 6 * j);
        }
        bytes += static_cast<char>(group >> 16);
        if (pad < 2) bytes += static_cast<char>((group >> 8) & 255);
        if (pad < 1) bytes += static_cast<char>(group & 255);
        // Canonical form only: bits below the last character must be zero.
        if ((pad == 1 && (group & 255) != 0) || (pad == 2 && (group & 0xffff) != 0))
            return std::nullopt;
    }
    return bytes;
}

} // namespace tessera
