// Writes JSON the way every file of the program stores it: pretty-printed with two spaces per
// level, members written as key, space, colon, space, value, "/" not escaped, non-ASCII text as
// UTF-8. Callers write members in sorted order. Streaming: nothing is held but the nesting.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tessera {

/// Appends `text` as a JSON string literal. Bytes that are not valid UTF-8 are written as
/// U+FFFD; writers that must keep such bytes map them first (see the snapshot format).
void appendJsonString(std::string& out, std::string_view text);

class JsonWriter {
public:
    /// Writes pretty-printed JSON when `pretty`, else everything on one line with ", " and
    /// ": " separators.
    explicit JsonWriter(std::string& out, bool pretty = true) : out_(out), pretty_(pretty) {}

    void beginObject();
    void endObject();
    void beginArray();
    void endArray();
    /// The next member's key; a value or a begin call must follow.
    void key(std::string_view name);
    void string(std::string_view text);
    void integer(std::int64_t value);
    /// A finite number with six decimals (for timings, not for stored data).
    void number(double value);
    /// A finite number in the shortest form that reads back to the same double (stored data);
    /// whole numbers keep a ".0" so that they read back as reals.
    void real(double value);
    void boolean(bool value);
    void null();

private:
    void beforeValue();
    void close(char bracket);
    void newline();

    std::string& out_;
    bool pretty_;
    struct Level {
        bool isObject;
        std::size_t count = 0;
    };
    std::vector<Level> levels_;
    bool afterKey_ = false;
};

} // namespace tessera
