#include "cli/TerminalText.h"

#include "model/Utf8.h"

#include <cstdio>

namespace tessera::cli {
namespace {

void appendHex(std::string& out, const char* prefix, unsigned value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "%s%0*x", prefix, digits, value);
    out += text;
}

} // namespace

std::string escapeForTerminal(std::string_view name) {
    std::string out;
    std::size_t i = 0;
    while (i < name.size()) {
        const auto c = static_cast<unsigned char>(name[i]);
        if (c < 0x80) {
            if (c < 0x20 || c == 0x7f)
                appendHex(out, "\\x", c, 2);
            else if (c == '\\')
                out += "\\\\";
            else
                out += static_cast<char>(c);
            ++i;
            continue;
        }
        // A multi-byte sequence: keep it when it is well formed and neither a C1 control nor a
        // bidirectional control (U+202A-U+202E, U+2066-U+2069), which would reorder what the
        // terminal shows around it.
        std::size_t length = c >= 0xf0 ? 4 : c >= 0xe0 ? 3 : c >= 0xc0 ? 2 : 1;
        const std::string_view sequence = name.substr(i, length);
        const auto byte = [&sequence](std::size_t at) {
            return static_cast<unsigned char>(sequence[at]);
        };
        const bool c1 = c == 0xc2 && sequence.size() == 2 && byte(1) < 0xa0;
        const bool bidi = c == 0xe2 && sequence.size() == 3 &&
                          ((byte(1) == 0x80 && byte(2) >= 0xaa && byte(2) <= 0xae) ||
                           (byte(1) == 0x81 && byte(2) >= 0xa6 && byte(2) <= 0xa9));
        if (bidi) {
            // As a code point, so the name can still be told exactly.
            appendHex(out, "\\u",
                      ((c & 0x0fu) << 12) | ((byte(1) & 0x3fu) << 6) | (byte(2) & 0x3fu), 4);
            i += length;
            continue;
        }
        if (length > 1 && sequence.size() == length && isValidUtf8(sequence) && !c1) {
            out += sequence;
            i += length;
        } else {
            appendHex(out, "\\x", c, 2);
            ++i;
        }
    }
    return out;
}

} // namespace tessera::cli
