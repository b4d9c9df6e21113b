#include "json/JsonWriter.h"

#include "base/Escapes.h"
#include "model/Utf8.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

namespace tessera {

void appendJsonString(std::string& out, std::string_view text) {
    // Most names are ASCII with nothing to escape: they go in as they are.
    const bool plain = std::all_of(text.begin(), text.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte >= 0x20 && byte < 0x80 && byte != '"' && byte != '\\';
    });
    if (plain) {
        out += '"';
        out += text;
        out += '"';
        return;
    }
    bool ascii = true;
    for (const char c : text)
        ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    const std::string replaced = ascii || isValidUtf8(text) ? std::string() : toDisplayString(text);
    const std::string_view source = replaced.empty() ? text : std::string_view(replaced);
    out += '"';
    std::size_t run = 0; // start of the run of bytes that need no escape
    for (std::size_t i = 0; i < source.size(); ++i) {
        const auto c = static_cast<unsigned char>(source[i]);
        if (c >= 0x20 && c != '"' && c != '\\') continue;
        out.append(source.substr(run, i - run));
        run = i + 1;
        if (const std::string_view escape = commonEscape(c); !escape.empty()) {
            out += escape;
            continue;
        }
        switch (c) {
        case '\b':
            out += "\\b";
            break;
        case '\f':
            out += "\\f";
            break;
        default: {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            out += escape;
        }
        }
    }
    out.append(source.substr(run));
    out += '"';
}

void JsonWriter::newline() {
    if (!pretty_) return;
    out_ += '\n';
    out_.append(2 * levels_.size(), ' ');
}

void JsonWriter::beforeValue() {
    if (afterKey_) {
        afterKey_ = false;
        return;
    }
    if (levels_.empty()) return;
    Level& level = levels_.back();
    if (level.count++ > 0) out_ += pretty_ ? "," : ", ";
    newline();
}

void JsonWriter::key(std::string_view name) {
    Level& level = levels_.back();
    if (level.count++ > 0) out_ += pretty_ ? "," : ", ";
    newline();
    appendJsonString(out_, name);
    out_ += pretty_ ? " : " : ": ";
    afterKey_ = true;
}

void JsonWriter::beginObject() {
    beforeValue();
    out_ += '{';
    levels_.push_back({true});
}

void JsonWriter::beginArray() {
    beforeValue();
    out_ += '[';
    levels_.push_back({false});
}

void JsonWriter::close(char bracket) {
    const bool empty = levels_.back().count == 0;
    levels_.pop_back();
    if (!empty) newline();
    out_ += bracket;
}

void JsonWriter::endObject() {
    close('}');
}
void JsonWriter::endArray() {
    close(']');
}

void JsonWriter::string(std::string_view text) {
    beforeValue();
    appendJsonString(out_, text);
}

void JsonWriter::integer(std::int64_t value) {
    beforeValue();
    out_ += std::to_string(value);
}

void JsonWriter::number(double value) {
    beforeValue();
    char text[64];
    std::snprintf(text, sizeof text, "%.6f", value);
    out_ += text;
}

void JsonWriter::real(double value) {
    beforeValue();
    char text[64];
    const auto result = std::to_chars(text, text + sizeof text, value);
    const std::string_view written(text, static_cast<std::size_t>(result.ptr - text));
    out_ += written;
    if (written.find_first_of(".eE") == std::string_view::npos) out_ += ".0";
}

void JsonWriter::boolean(bool value) {
    beforeValue();
    out_ += value ? "true" : "false";
}

void JsonWriter::null() {
    beforeValue();
    out_ += "null";
}

} // namespace tessera
