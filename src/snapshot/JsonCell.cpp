#include "snapshot/JsonCell.h"

#include "model/Iso8601.h"

#include <charconv>
#include <simdjson.h>

namespace tessera::jsoncell {
namespace {

bool isJsonSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

void appendUtf8(std::string& out, std::uint32_t codepoint) {
    if (codepoint < 0x80) {
        out += static_cast<char>(codepoint);
    } else if (codepoint < 0x800) {
        out += static_cast<char>(0xC0 | (codepoint >> 6));
        out += static_cast<char>(0x80 | (codepoint & 0x3F));
    } else if (codepoint < 0x10000) {
        out += static_cast<char>(0xE0 | (codepoint >> 12));
        out += static_cast<char>(0x80 | ((codepoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codepoint & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (codepoint >> 18));
        out += static_cast<char>(0x80 | ((codepoint >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((codepoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codepoint & 0x3F));
    }
}

std::optional<std::uint32_t> hex4(std::string_view text) {
    std::uint32_t value = 0;
    if (text.size() < 4) return std::nullopt;
    const auto [end, error] = std::from_chars(text.data(), text.data() + 4, value, 16);
    if (error != std::errc() || end != text.data() + 4) return std::nullopt;
    return value;
}

} // namespace

std::string_view trim(std::string_view cell) {
    while (!cell.empty() && isJsonSpace(cell.front()))
        cell.remove_prefix(1);
    while (!cell.empty() && isJsonSpace(cell.back()))
        cell.remove_suffix(1);
    return cell;
}

bool isNull(std::string_view cell) {
    return trim(cell) == "null";
}

std::expected<std::string, std::string> readString(std::string_view cell) {
    cell = trim(cell);
    if (cell.size() < 2 || cell.front() != '"' || cell.back() != '"')
        return std::unexpected("expected a JSON string");
    const std::string_view body = cell.substr(1, cell.size() - 2);
    // Most cells are plain ASCII without escapes: take them as they are.
    bool plain = true;
    for (const char c : body) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte >= 0x80 || c == '"' || c == '\\') {
            plain = false;
            break;
        }
    }
    if (plain) return std::string(body);
    std::string text;
    text.reserve(body.size());
    for (std::size_t i = 0; i < body.size(); ++i) {
        const char c = body[i];
        if (static_cast<unsigned char>(c) < 0x20)
            return std::unexpected("control character in a string");
        if (c == '"') return std::unexpected("unescaped quotation mark in a string");
        if (c != '\\') {
            text += c;
            continue;
        }
        if (++i == body.size()) return std::unexpected("string ends in a backslash");
        switch (body[i]) {
        case '"':
            text += '"';
            break;
        case '\\':
            text += '\\';
            break;
        case '/':
            text += '/';
            break;
        case 'b':
            text += '\b';
            break;
        case 'f':
            text += '\f';
            break;
        case 'n':
            text += '\n';
            break;
        case 'r':
            text += '\r';
            break;
        case 't':
            text += '\t';
            break;
        case 'u': {
            auto unit = hex4(body.substr(i + 1));
            if (!unit) return std::unexpected("broken \\u escape");
            i += 4;
            std::uint32_t codepoint = *unit;
            if (codepoint >= 0xD800 && codepoint <= 0xDBFF) {
                auto low =
                    body.substr(i + 1).starts_with("\\u") ? hex4(body.substr(i + 3)) : std::nullopt;
                if (!low || *low < 0xDC00 || *low > 0xDFFF)
                    return std::unexpected("lone surrogate in a string");
                codepoint = 0x10000 + ((codepoint - 0xD800) << 10) + (*low - 0xDC00);
                i += 6;
            } else if (codepoint >= 0xDC00 && codepoint <= 0xDFFF) {
                return std::unexpected("lone surrogate in a string");
            }
            appendUtf8(text, codepoint);
            break;
        }
        default:
            return std::unexpected("unknown escape in a string");
        }
    }
    if (!simdjson::validate_utf8(text.data(), text.size()))
        return std::unexpected("string is not valid UTF-8");
    return text;
}

std::expected<std::string_view, std::string> readStringView(std::string_view cell,
                                                            std::string& scratch) {
    const std::string_view trimmed = trim(cell);
    if (trimmed.size() >= 2 && trimmed.front() == '"' && trimmed.back() == '"') {
        const std::string_view body = trimmed.substr(1, trimmed.size() - 2);
        bool plain = true;
        for (const char c : body) {
            const auto byte = static_cast<unsigned char>(c);
            plain = plain && byte >= 0x20 && byte < 0x80 && c != '"' && c != '\\';
        }
        if (plain) return body;
    }
    auto text = readString(cell);
    if (!text) return std::unexpected(text.error());
    scratch = std::move(*text);
    return std::string_view(scratch);
}

std::expected<std::int64_t, std::string> readInteger(std::string_view cell) {
    cell = trim(cell);
    const std::string_view digits = cell.starts_with('-') ? cell.substr(1) : cell;
    if (digits.empty() || (digits.size() > 1 && digits.front() == '0'))
        return std::unexpected("expected an integer");
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(cell.data(), cell.data() + cell.size(), value);
    if (error == std::errc::result_out_of_range)
        return std::unexpected("integer outside the 64-bit range");
    if (error != std::errc() || end != cell.data() + cell.size())
        return std::unexpected("expected an integer");
    return value;
}

std::expected<Date, std::string> readDate(std::string_view cell) {
    const std::string_view trimmed = trim(cell);
    if (trimmed.size() >= 2 && trimmed.front() == '"' && trimmed.back() == '"')
        if (const auto date = parseIso8601(trimmed.substr(1, trimmed.size() - 2))) return *date;
    auto text = readString(cell);
    if (!text) return std::unexpected(text.error());
    const auto date = parseIso8601(*text);
    if (!date) return std::unexpected("expected an ISO 8601 date, got \"" + *text + "\"");
    return *date;
}

} // namespace tessera::jsoncell
