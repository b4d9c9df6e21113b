#include "snapshot/StoredName.h"

#include "json/JsonWriter.h"
#include <cstring>
#include <simdjson.h>
#include <utf8proc.h>

namespace tessera {
namespace {

constexpr utf8proc_int32_t kRangeStart = 0x10FE00;
constexpr utf8proc_int32_t kRangeEnd = 0x10FEFF;

void appendCodePoint(std::string& out, utf8proc_int32_t codepoint) {
    utf8proc_uint8_t bytes[4];
    const auto length = utf8proc_encode_char(codepoint, bytes);
    out.append(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(length));
}

bool isPlain(std::string_view text) {
    for (const char c : text)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

} // namespace

std::string toStoredName(std::string_view bytes) {
    if (isPlain(bytes)) return std::string(bytes);
    std::string out;
    out.reserve(bytes.size() + 8);
    const auto* data = reinterpret_cast<const utf8proc_uint8_t*>(bytes.data());
    std::size_t at = 0;
    while (at < bytes.size()) {
        utf8proc_int32_t codepoint = 0;
        const auto length = utf8proc_iterate(
            data + at, static_cast<utf8proc_ssize_t>(bytes.size() - at), &codepoint);
        if (length <= 0) {
            appendCodePoint(out, kRangeStart + static_cast<unsigned char>(bytes[at]));
            ++at;
            continue;
        }
        if (codepoint >= kRangeStart && codepoint <= kRangeEnd) {
            appendCodePoint(out, kRangeStart);
            appendCodePoint(out, codepoint);
        } else {
            out.append(bytes.substr(at, static_cast<std::size_t>(length)));
        }
        at += static_cast<std::size_t>(length);
    }
    return out;
}

void appendStoredName(std::string& out, std::string_view bytes) {
    if (isPlain(bytes))
        appendJsonString(out, bytes);
    else
        appendJsonString(out, toStoredName(bytes));
}

std::optional<std::string_view> entryNameProblem(std::string_view name) {
    if (name.find('/') != std::string_view::npos) return "a name holding \"/\"";
    if (name == "." || name == "..") return "a name that is \".\" or \"..\"";
    return std::nullopt;
}

std::optional<std::string> fromStoredName(std::string_view text) {
    if (isPlain(text)) return std::string(text);
    // The escapes' range, U+10FE00 to U+10FEFF, is the only text that begins with the byte F4
    // there: valid UTF-8 without that byte (nearly every name beyond ASCII) is its own bytes.
    if (std::memchr(text.data(), 0xF4, text.size()) == nullptr &&
        simdjson::validate_utf8(text.data(), text.size()))
        return std::string(text);
    std::string out;
    out.reserve(text.size());
    const auto* data = reinterpret_cast<const utf8proc_uint8_t*>(text.data());
    std::size_t at = 0;
    bool escaped = false;
    while (at < text.size()) {
        utf8proc_int32_t codepoint = 0;
        const auto length = utf8proc_iterate(
            data + at, static_cast<utf8proc_ssize_t>(text.size() - at), &codepoint);
        if (length <= 0) return std::nullopt;
        const bool inRange = codepoint >= kRangeStart && codepoint <= kRangeEnd;
        if (escaped) {
            if (!inRange) return std::nullopt;
            appendCodePoint(out, codepoint);
            escaped = false;
        } else if (codepoint == kRangeStart) {
            escaped = true;
        } else if (inRange && codepoint >= kRangeStart + 0x80) {
            out += static_cast<char>(codepoint - kRangeStart);
        } else {
            out.append(text.substr(at, static_cast<std::size_t>(length)));
        }
        at += static_cast<std::size_t>(length);
    }
    if (escaped) return std::nullopt;
    return out;
}

} // namespace tessera
