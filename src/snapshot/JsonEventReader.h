// A streaming JSON reader that hands a document's parts to a handler as it meets them: object and
// array bounds, keys, texts, numbers and literals. It keeps nothing but the open containers, so
// nesting is bounded by memory rather than the stack, and it reads from a JsonSource piece by
// piece. Texts are checked for UTF-8; a text without escapes is handed over where it lies in
// the source, without a copy.
//
// Snapshots are pretty-printed, so most of their bytes are indentation: whitespace and texts are
// scanned 16 bytes at a time.
//
// The handler has these members, each returning false to stop the reading:
//   startObject() endObject() startArray() endArray()
//   key(std::string_view) string(std::string_view)
//   integer(std::int64_t)         a whole number in the signed 64-bit range
//   number(double, bool whole)    any other number; whole when it has no fraction or exponent
//   boolean(bool) null()
#pragma once

#include "snapshot/JsonCell.h"
#include "snapshot/JsonSource.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <simdjson.h>
#include <string>
#include <string_view>
#include <vector>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tessera {

template <class Handler> class JsonEventReader {
public:
    JsonEventReader(JsonSource& source, Handler& handler) : source_(source), handler_(handler) {}

    /// Reads one document, which only whitespace may follow. False when the document is damaged
    /// (`error()` says how), the handler stopped (`error()` is empty) or the file could not be
    /// read (`source.failed()`); `errorOffset()` says where in either of the first two cases.
    bool read();

    /// Texts may hold bytes that are not UTF-8 (as other programs' exports write file names).
    void acceptRawBytes() { rawBytes_ = true; }

    const std::string& error() const { return error_; }
    std::size_t errorOffset() const { return errorOffset_; }

private:
    enum class Container : char { object, array };

    bool fail(const char* at, const char* what) {
        errorOffset_ = source_.offsetOf(at);
        error_ = source_.tokenTooLong() ? "a token longer than any snapshot holds" : what;
        return false;
    }
    bool stopped(const char* at) {
        errorOffset_ = source_.offsetOf(at);
        return false;
    }
    // A handler that wants to know where an object ends (the offset after its '}') is told.
    bool endObject(const char* after) {
        if constexpr (requires(Handler & h, std::size_t offset) { h.endObject(offset); })
            return handler_.endObject(source_.offsetOf(after));
        else
            return handler_.endObject();
    }

    bool skipSpace(const char*& p);
    bool ensure(const char*& p, std::size_t count);
    bool literal(const char*& p, std::string_view word);
    bool number(const char*& p);
    bool text(const char*& p, bool isKey);

    JsonSource& source_;
    Handler& handler_;
    std::vector<Container> open_;
    std::string scratch_; // a text whose escapes were undone
    std::string error_;
    std::size_t errorOffset_ = 0;
    bool rawBytes_ = false;
};

namespace jsonevents {

inline bool isSpace(char c) {
    return c == ' ' || c == '\n' || c == '\r' || c == '\t';
}

inline const char* firstNonSpace(const char* p, const char* end) {
#if defined(__SSE2__)
    const __m128i space = _mm_set1_epi8(' ');
    const __m128i newline = _mm_set1_epi8('\n');
    const __m128i ret = _mm_set1_epi8('\r');
    const __m128i tab = _mm_set1_epi8('\t');
    for (; end - p >= 16; p += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        // Indentation is spaces: a block of them needs one comparison.
        const __m128i blanks = _mm_cmpeq_epi8(bytes, space);
        if (_mm_movemask_epi8(blanks) == 0xFFFF) continue;
        const __m128i spaces =
            _mm_or_si128(_mm_or_si128(blanks, _mm_cmpeq_epi8(bytes, newline)),
                         _mm_or_si128(_mm_cmpeq_epi8(bytes, ret), _mm_cmpeq_epi8(bytes, tab)));
        const auto others = static_cast<unsigned>(~_mm_movemask_epi8(spaces)) & 0xFFFFu;
        if (others != 0) return p + __builtin_ctz(others);
    }
#endif
    while (p < end && isSpace(*p))
        ++p;
    return p;
}

// The first quotation mark, backslash or control character from `p` on (or `end`); `nonAscii`
// gains a bit when a byte before it has its high bit set.
inline const char* textStop(const char* p, const char* end, unsigned& nonAscii) {
#if defined(__SSE2__)
    const __m128i quote = _mm_set1_epi8('"');
    const __m128i backslash = _mm_set1_epi8('\\');
    const __m128i lastControl = _mm_set1_epi8(0x1F);
    for (; end - p >= 16; p += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i control = _mm_cmpeq_epi8(_mm_max_epu8(bytes, lastControl), lastControl);
        const __m128i stops = _mm_or_si128(
            _mm_or_si128(_mm_cmpeq_epi8(bytes, quote), _mm_cmpeq_epi8(bytes, backslash)), control);
        const auto stopBits = static_cast<unsigned>(_mm_movemask_epi8(stops));
        const auto highBits = static_cast<unsigned>(_mm_movemask_epi8(bytes));
        if (stopBits != 0) {
            const int at = __builtin_ctz(stopBits);
            nonAscii |= highBits & ((1u << at) - 1);
            return p + at;
        }
        nonAscii |= highBits;
    }
#endif
    for (; p < end; ++p) {
        const auto byte = static_cast<unsigned char>(*p);
        if (byte == '"' || byte == '\\' || byte < 0x20) return p;
        nonAscii |= byte & 0x80u;
    }
    return p;
}

inline bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

inline bool isNumberByte(char c) {
    return isDigit(c) || c == '-' || c == '+' || c == '.' || c == 'e' || c == 'E';
}

} // namespace jsonevents

// Whether a byte other than whitespace follows; `p` is left at it.
template <class Handler> inline bool JsonEventReader<Handler>::skipSpace(const char*& p) {
    // Between tokens there is mostly nothing or one space (after a colon); indentation follows a
    // line feed.
    const char* end = source_.end();
    if (end - p >= 2) {
        if (!jsonevents::isSpace(p[0])) return true;
        if (p[0] == ' ' && !jsonevents::isSpace(p[1])) return ++p, true;
    }
    for (;;) {
        p = jsonevents::firstNonSpace(p, source_.end());
        if (p != source_.end()) return true;
        if (!source_.refill(p, p)) return false;
    }
}

// Whether `count` bytes are held from `p` on.
template <class Handler> bool JsonEventReader<Handler>::ensure(const char*& p, std::size_t count) {
    while (static_cast<std::size_t>(source_.end() - p) < count)
        if (!source_.refill(p, p)) return false;
    return true;
}

template <class Handler>
bool JsonEventReader<Handler>::literal(const char*& p, std::string_view word) {
    if (!ensure(p, word.size()) || std::memcmp(p, word.data(), word.size()) != 0)
        return fail(p, "a value that is not JSON");
    p += word.size();
    return true;
}

template <class Handler> bool JsonEventReader<Handler>::number(const char*& p) {
    using jsonevents::isDigit;
    // The number's bytes are gathered first, so that it lies whole in the bytes held.
    const char* start = p;
    for (;;) {
        while (p != source_.end() && jsonevents::isNumberByte(*p))
            ++p;
        if (p != source_.end() || !source_.refill(start, p)) break;
    }
    const char* q = start;
    const bool negative = *q == '-';
    if (negative) ++q;
    if (q == p || !isDigit(*q)) return fail(q, "a number without digits");
    std::uint64_t magnitude = 0;
    bool overflow = false;
    if (*q == '0') {
        ++q;
    } else {
        for (; q != p && isDigit(*q); ++q) {
            overflow |= __builtin_mul_overflow(magnitude, 10u, &magnitude);
            overflow |=
                __builtin_add_overflow(magnitude, static_cast<unsigned>(*q - '0'), &magnitude);
        }
    }
    bool whole = true;
    if (q != p && *q == '.') {
        whole = false;
        if (++q == p || !isDigit(*q)) return fail(q, "a number without digits after its point");
        while (q != p && isDigit(*q))
            ++q;
    }
    if (q != p && (*q == 'e' || *q == 'E')) {
        whole = false;
        if (++q != p && (*q == '+' || *q == '-')) ++q;
        if (q == p || !isDigit(*q)) return fail(q, "a number without digits in its exponent");
        while (q != p && isDigit(*q))
            ++q;
    }
    if (q != p) return fail(q, "a malformed number");

    constexpr auto kLargest = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    if (whole && !overflow && magnitude <= kLargest + (negative ? 1 : 0)) {
        const std::int64_t value = negative ? static_cast<std::int64_t>(0 - magnitude)
                                            : static_cast<std::int64_t>(magnitude);
        return handler_.integer(value) || stopped(p);
    }
    double value = 0;
    const auto [end, error] = std::from_chars(start, p, value);
    if (error == std::errc::result_out_of_range) {
        // Far beyond a double's range either way: too small reads as zero, too large fails.
        value = std::strtod(std::string(start, p).c_str(), nullptr);
        if (std::isinf(value)) return fail(p, "a number too large for a double");
    } else if (error != std::errc() || end != p) {
        return fail(p, "a malformed number");
    }
    return handler_.number(value, whole) || stopped(p);
}

template <class Handler> bool JsonEventReader<Handler>::text(const char*& p, bool isKey) {
    // `p` is at the opening quotation mark. The text's bytes are gathered first; escapes are only
    // undone (by the same code as a TSV cell's) once its closing mark is found.
    const char* open = p;
    const char* q = p + 1;
    unsigned nonAscii = 0;
    bool escaped = false;
    for (;;) {
        q = jsonevents::textStop(q, source_.end(), nonAscii);
        if (q == source_.end()) {
            if (!source_.refill(open, q)) return fail(q, "the document ends inside a text");
            continue;
        }
        if (*q == '"') break;
        if (*q != '\\') return fail(q, "a control character in a text");
        if (source_.end() - q < 2) {
            if (!source_.refill(open, q)) return fail(q, "the document ends inside a text");
            continue;
        }
        escaped = true;
        q += 2;
    }
    p = q + 1;
    std::string_view value(open + 1, static_cast<std::size_t>(q - open - 1));
    if (escaped) {
        auto undone = jsoncell::readStringView(std::string_view(open, value.size() + 2), scratch_);
        if (!undone) return fail(p, undone.error().c_str());
        value = *undone;
    } else if (nonAscii != 0 && !rawBytes_ &&
               !simdjson::validate_utf8(value.data(), value.size())) {
        return fail(p, "a text that is not UTF-8");
    }
    return (isKey ? handler_.key(value) : handler_.string(value)) || stopped(p);
}

template <class Handler> bool JsonEventReader<Handler>::read() {
    open_.clear();
    const char* p = source_.begin();
    if (!skipSpace(p)) return fail(p, "the document is empty");
    // Each pass reads one value, then closes what it completes.
    for (;;) {
        switch (*p) {
        case '{':
            ++p;
            if (!handler_.startObject()) return stopped(p);
            if (!skipSpace(p)) return fail(p, "the document ends inside an object");
            if (*p != '}') {
                open_.push_back(Container::object);
                goto member;
            }
            ++p;
            if (!endObject(p)) return stopped(p);
            break;
        case '[':
            ++p;
            if (!handler_.startArray()) return stopped(p);
            if (!skipSpace(p)) return fail(p, "the document ends inside an array");
            if (*p != ']') {
                open_.push_back(Container::array);
                continue;
            }
            ++p;
            if (!handler_.endArray()) return stopped(p);
            break;
        case '"':
            if (!text(p, false)) return false;
            break;
        case 't':
            if (!literal(p, "true")) return false;
            if (!handler_.boolean(true)) return stopped(p);
            break;
        case 'f':
            if (!literal(p, "false")) return false;
            if (!handler_.boolean(false)) return stopped(p);
            break;
        case 'n':
            if (!literal(p, "null")) return false;
            if (!handler_.null()) return stopped(p);
            break;
        default:
            if (*p != '-' && !jsonevents::isDigit(*p)) return fail(p, "a value that is not JSON");
            if (!number(p)) return false;
            break;
        }

        // After a value: the next element or member, or the end of containers.
        for (;;) {
            if (open_.empty()) {
                if (skipSpace(p)) return fail(p, "bytes after the document");
                return !source_.failed();
            }
            if (!skipSpace(p)) return fail(p, "the document ends inside a container");
            if (open_.back() == Container::object) {
                if (*p == ',') {
                    ++p;
                    if (!skipSpace(p)) return fail(p, "the document ends inside an object");
                    goto member;
                }
                if (*p != '}') return fail(p, "a comma or '}' missing after a member");
                ++p;
                open_.pop_back();
                if (!endObject(p)) return stopped(p);
            } else {
                if (*p == ',') {
                    ++p;
                    if (!skipSpace(p)) return fail(p, "the document ends inside an array");
                    break;
                }
                if (*p != ']') return fail(p, "a comma or ']' missing after an element");
                ++p;
                open_.pop_back();
                if (!handler_.endArray()) return stopped(p);
            }
        }
        continue;

    member:
        // `p` is at the first byte of a member.
        if (*p != '"') return fail(p, "a member without a name");
        if (!text(p, true)) return false;
        if (!skipSpace(p) || *p != ':') return fail(p, "a colon missing after a member's name");
        ++p;
        if (!skipSpace(p)) return fail(p, "the document ends where a value belongs");
    }
}

} // namespace tessera
