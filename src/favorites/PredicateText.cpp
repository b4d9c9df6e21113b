#include "favorites/PredicateText.h"

#include "base/Escapes.h"
#include "model/Iso8601.h"

#include <array>
#include <cctype>
#include <charconv>
#include <stdexcept>
#include <utf8proc.h>
#include <utility>

namespace tessera {
namespace {

using Operator = Predicate::Operator;
using CompoundType = Predicate::CompoundType;

constexpr std::array<std::pair<std::string_view, Operator>, 10> operators{{
    {"==", Operator::equalTo},
    {"!=", Operator::notEqualTo},
    {"<=", Operator::lessThanOrEqualTo},
    {">=", Operator::greaterThanOrEqualTo},
    {"<", Operator::lessThan},
    {">", Operator::greaterThan},
    {"contains", Operator::contains},
    {"beginswith", Operator::beginsWith},
    {"endswith", Operator::endsWith},
    {"matches", Operator::matches},
}};

constexpr std::array<std::pair<std::string_view, CompoundType>, 3> groups{{
    {"and", CompoundType::andType},
    {"or", CompoundType::orType},
    {"not", CompoundType::notType},
}};

void appendQuoted(std::string& out, std::string_view text) {
    static constexpr char hex[] = "0123456789abcdef";
    out += '"';
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80) {
            // Whole UTF-8 characters stay as they are; any other byte is escaped, so that the
            // text stays valid UTF-8 (it is stored in JSON) and keeps every byte of a path.
            utf8proc_int32_t codePoint = 0;
            const auto length =
                utf8proc_iterate(reinterpret_cast<const utf8proc_uint8_t*>(&text[i]),
                                 static_cast<utf8proc_ssize_t>(text.size() - i), &codePoint);
            if (length > 0) {
                out.append(text.substr(i, static_cast<std::size_t>(length)));
                i += static_cast<std::size_t>(length) - 1;
            } else {
                out += "\\x";
                out += hex[c >> 4];
                out += hex[c & 15];
            }
            continue;
        }
        if (const std::string_view escape = commonEscape(c); !escape.empty()) {
            out += escape;
        } else if (c < 0x20 || c == 0x7f) {
            out += "\\x";
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    out += '"';
}

void format(const Predicate& predicate, std::string& out) {
    if (predicate.isCompound()) {
        for (const auto& [name, type] : groups)
            if (type == predicate.compoundType()) out += name;
        out += '(';
        bool first = true;
        for (const Predicate& part : predicate.subpredicates()) {
            if (!first) out += ", ";
            first = false;
            format(part, out);
        }
        out += ')';
        return;
    }
    out += predicate.key();
    out += ' ';
    for (const auto& [name, op] : operators)
        if (op == predicate.op()) out += name;
    const unsigned options = predicate.options();
    if (options != 0) {
        out += '[';
        if ((options & Predicate::caseInsensitive) != 0) out += 'c';
        if ((options & Predicate::diacriticInsensitive) != 0) out += 'd';
        out += ']';
    }
    out += ' ';
    const Predicate::Value& value = predicate.value();
    if (const auto* text = std::get_if<std::string>(&value)) {
        appendQuoted(out, *text);
    } else if (const auto* number = std::get_if<std::int64_t>(&value)) {
        out += std::to_string(*number);
    } else {
        out += "date(\"" + formatIso8601(std::get<Date>(value)) + "\")";
    }
}

// Recursive descent with an explicit nesting bound, so hostile text cannot exhaust the stack.
class Parser {
public:
    explicit Parser(std::string_view text) : text_(text) {}

    std::expected<Predicate, std::string> parseAll() {
        try {
            Predicate predicate = parsePredicate(0);
            skipSpace();
            if (at_ != text_.size()) fail("unexpected text after the predicate");
            return predicate;
        } catch (const std::invalid_argument& error) {
            return std::unexpected(std::string(error.what()));
        }
    }

private:
    static constexpr int kMaxNesting = 200;

    [[noreturn]] void fail(const std::string& what) const {
        throw std::invalid_argument("predicate: " + what + " at offset " + std::to_string(at_));
    }

    void skipSpace() {
        while (at_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[at_])))
            ++at_;
    }

    bool take(std::string_view token) {
        skipSpace();
        if (text_.substr(at_).starts_with(token)) {
            at_ += token.size();
            return true;
        }
        return false;
    }

    void expect(std::string_view token) {
        if (!take(token)) fail("expected \"" + std::string(token) + "\"");
    }

    std::string_view word() {
        skipSpace();
        const std::size_t start = at_;
        while (at_ < text_.size() && std::isalpha(static_cast<unsigned char>(text_[at_])))
            ++at_;
        return text_.substr(start, at_ - start);
    }

    Predicate parsePredicate(int depth) {
        if (depth > kMaxNesting) fail("nesting deeper than " + std::to_string(kMaxNesting));
        const std::size_t start = at_;
        const std::string_view name = word();
        for (const auto& [groupName, type] : groups) {
            if (name != groupName) continue;
            expect("(");
            std::vector<Predicate> parts;
            if (!take(")")) {
                do
                    parts.push_back(parsePredicate(depth + 1));
                while (take(","));
                expect(")");
            }
            auto group = Predicate::compound(type, std::move(parts));
            if (!group) {
                at_ = start;
                fail(group.error().message);
            }
            return std::move(*group);
        }
        if (name.empty()) fail("expected a property or a group");
        return parseComparison(std::string(name), start);
    }

    Predicate parseComparison(std::string key, std::size_t start) {
        skipSpace();
        std::optional<Operator> op;
        for (const auto& [token, candidate] : operators) {
            const bool isWord = std::isalpha(static_cast<unsigned char>(token.front())) != 0;
            if (!text_.substr(at_).starts_with(token)) continue;
            const std::size_t after = at_ + token.size();
            if (isWord && after < text_.size() &&
                std::isalpha(static_cast<unsigned char>(text_[after])))
                continue;
            at_ = after;
            op = candidate;
            break;
        }
        if (!op) fail("expected an operator");
        unsigned options = 0;
        if (at_ < text_.size() && text_[at_] == '[') {
            ++at_;
            if (take("c")) options |= Predicate::caseInsensitive;
            if (take("d")) options |= Predicate::diacriticInsensitive;
            if (options == 0) fail("expected c, d or cd");
            expect("]");
        }
        Predicate::Value value = parseValue();
        auto comparison = Predicate::comparison(std::move(key), *op, std::move(value), options);
        if (!comparison) {
            at_ = start;
            fail(comparison.error().message);
        }
        return std::move(*comparison);
    }

    Predicate::Value parseValue() {
        skipSpace();
        if (at_ < text_.size() && text_[at_] == '"') return parseString();
        if (take("date(")) {
            const std::string iso = parseString();
            expect(")");
            const auto date = parseIso8601(iso);
            if (!date) fail("invalid date \"" + iso + "\"");
            return *date;
        }
        const std::size_t start = at_;
        if (at_ < text_.size() && text_[at_] == '-') ++at_;
        while (at_ < text_.size() && std::isdigit(static_cast<unsigned char>(text_[at_])))
            ++at_;
        std::int64_t number = 0;
        const auto [end, error] = std::from_chars(text_.data() + start, text_.data() + at_, number);
        if (at_ == start || error != std::errc() || end != text_.data() + at_) {
            at_ = start;
            fail("expected a string, an integer or a date");
        }
        return number;
    }

    std::string parseString() {
        skipSpace();
        if (at_ >= text_.size() || text_[at_] != '"') fail("expected a string");
        ++at_;
        std::string value;
        while (at_ < text_.size() && text_[at_] != '"') {
            char c = text_[at_++];
            if (c != '\\') {
                value += c;
                continue;
            }
            if (at_ >= text_.size()) break;
            switch (const char escaped = text_[at_++]) {
            case '"':
                value += '"';
                break;
            case '\\':
                value += '\\';
                break;
            case 'n':
                value += '\n';
                break;
            case 't':
                value += '\t';
                break;
            case 'r':
                value += '\r';
                break;
            case 'x': {
                unsigned byte = 0;
                const char* begin = text_.data() + at_;
                if (at_ + 2 > text_.size() ||
                    std::from_chars(begin, begin + 2, byte, 16).ptr != begin + 2)
                    fail("expected two hex digits after \\x");
                at_ += 2;
                value += static_cast<char>(byte);
                break;
            }
            default:
                fail(std::string("unknown escape \\") + escaped);
            }
        }
        if (at_ >= text_.size()) fail("unterminated string");
        ++at_;
        return value;
    }

    std::string_view text_;
    std::size_t at_ = 0;
};

} // namespace

std::string formatPredicate(const Predicate& predicate) {
    std::string out;
    format(predicate, out);
    return out;
}

std::expected<Predicate, std::string> parsePredicate(std::string_view text) {
    return Parser(text).parseAll();
}

} // namespace tessera
