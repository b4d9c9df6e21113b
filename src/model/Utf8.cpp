#include "model/Utf8.h"

#include <utf8proc.h>

namespace tessera {
namespace {

// Length of the well-formed sequence at the start of `bytes`, or -1 when the first byte does
// not start one.
utf8proc_ssize_t sequenceLength(std::string_view bytes) {
    utf8proc_int32_t codepoint = 0;
    return utf8proc_iterate(reinterpret_cast<const utf8proc_uint8_t*>(bytes.data()),
                            static_cast<utf8proc_ssize_t>(bytes.size()), &codepoint);
}

} // namespace

bool isValidUtf8(std::string_view bytes) {
    while (!bytes.empty()) {
        const auto length = sequenceLength(bytes);
        if (length <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(length));
    }
    return true;
}

std::string toDisplayString(std::string_view bytes) {
    std::string shown;
    shown.reserve(bytes.size());
    while (!bytes.empty()) {
        const auto length = sequenceLength(bytes);
        if (length <= 0) {
            shown += "\xEF\xBF\xBD";
            bytes.remove_prefix(1);
        } else {
            shown.append(bytes.substr(0, static_cast<std::size_t>(length)));
            bytes.remove_prefix(static_cast<std::size_t>(length));
        }
    }
    return shown;
}

std::string isolatedName(std::string_view name) {
    // U+200E, U+200F, U+202A to U+202E and U+2066 to U+2069, in UTF-8.
    bool controls = false;
    for (std::size_t i = 0; i + 2 < name.size() && !controls; ++i) {
        if (name[i] != '\xE2') continue;
        const auto second = static_cast<unsigned char>(name[i + 1]);
        const auto third = static_cast<unsigned char>(name[i + 2]);
        controls = (second == 0x80 &&
                    (third == 0x8E || third == 0x8F || (third >= 0xAA && third <= 0xAE))) ||
                   (second == 0x81 && third >= 0xA6 && third <= 0xA9);
    }
    if (!controls) return std::string(name);
    return "\u2068" + std::string(name) + "\u2069";
}

} // namespace tessera
