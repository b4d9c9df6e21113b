#include "favorites/Predicate.h"

#include "model/File.h"
#include "model/TextFolding.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

namespace tessera {

// A compiled "matches" pattern. Matching is whole-string, and bounded by a match limit so that a
// hostile pattern cannot hang a scan: hitting the limit counts as no match.
struct Predicate::Regex {
    pcre2_code* code = nullptr;
    pcre2_match_context* context = nullptr;

    /// The compiled pattern, or why it does not compile.
    static std::expected<std::shared_ptr<const Regex>, PredicateError>
    compile(const std::string& pattern, bool caseless) {
        int error = 0;
        PCRE2_SIZE offset = 0;
        const std::uint32_t flags = PCRE2_UTF | PCRE2_UCP | PCRE2_MATCH_INVALID_UTF |
                                    PCRE2_ANCHORED | PCRE2_ENDANCHORED |
                                    (caseless ? PCRE2_CASELESS : 0);
        pcre2_code* code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()),
                                         pattern.size(), flags, &error, &offset, nullptr);
        if (code == nullptr) {
            PCRE2_UCHAR message[256];
            pcre2_get_error_message(error, message, sizeof message);
            return std::unexpected(PredicateError{"invalid regular expression at offset " +
                                                  std::to_string(offset) + ": " +
                                                  reinterpret_cast<const char*>(message)});
        }
        return std::make_shared<const Regex>(code);
    }
    explicit Regex(pcre2_code* compiled) : code(compiled) {
        context = pcre2_match_context_create(nullptr);
        pcre2_set_match_limit(context, 1'000'000);
        pcre2_set_depth_limit(context, 10'000);
    }
    ~Regex() {
        pcre2_match_context_free(context);
        pcre2_code_free(code);
    }
    Regex(const Regex&) = delete;
    Regex& operator=(const Regex&) = delete;

    bool matches(std::string_view subject) const {
        pcre2_match_data* data = pcre2_match_data_create_from_pattern(code, nullptr);
        const int result = pcre2_match(code, reinterpret_cast<PCRE2_SPTR>(subject.data()),
                                       subject.size(), 0, 0, data, context);
        pcre2_match_data_free(data);
        return result >= 0;
    }
};

namespace {

bool isStringOperator(Predicate::Operator op) {
    using enum Predicate::Operator;
    return op == equalTo || op == notEqualTo || op == contains || op == beginsWith ||
           op == endsWith || op == matches;
}

bool isOrderOperator(Predicate::Operator op) {
    using enum Predicate::Operator;
    return op == lessThan || op == lessThanOrEqualTo || op == greaterThan ||
           op == greaterThanOrEqualTo || op == equalTo || op == notEqualTo;
}

template <typename T> bool compareOrdered(const T& left, Predicate::Operator op, const T& right) {
    using enum Predicate::Operator;
    switch (op) {
    case lessThan:
        return left < right;
    case lessThanOrEqualTo:
        return left <= right;
    case greaterThan:
        return left > right;
    case greaterThanOrEqualTo:
        return left >= right;
    case equalTo:
        return left == right;
    case notEqualTo:
        return left != right;
    case matches:
    case beginsWith:
    case endsWith:
    case contains:
        return false;
    }
    return false;
}

} // namespace

std::expected<Predicate, PredicateError> Predicate::comparison(std::string key, Operator op,
                                                               Value value, unsigned options) {
    const auto refuse = [](std::string message) {
        return std::unexpected(PredicateError{std::move(message)});
    };
    if (options > (caseInsensitive | diacriticInsensitive))
        return refuse("unknown comparison options");
    Comparison comparison{std::move(key), op, std::move(value), options, {}, nullptr};
    const std::string& name = comparison.key;
    if (isStringKey(name)) {
        const auto* text = std::get_if<std::string>(&comparison.value);
        if (text == nullptr) return refuse("\"" + name + "\" compares with text");
        if (!isStringOperator(op)) return refuse("operator does not apply to \"" + name + "\"");
        const unsigned folding = options & ~caseInsensitive; // the regex folds case itself
        if (op == Operator::matches) {
            auto regex = Regex::compile(foldText(*text, folding), (options & caseInsensitive) != 0);
            if (!regex) return std::unexpected(std::move(regex.error()));
            comparison.regex = std::move(*regex);
        } else {
            comparison.foldedText = foldText(*text, options);
        }
    } else if (isIntegerKey(name) || isDateKey(name)) {
        const bool fits = isIntegerKey(name)
                              ? std::holds_alternative<std::int64_t>(comparison.value)
                              : std::holds_alternative<Date>(comparison.value);
        if (!fits)
            return refuse("\"" + name + "\" compares with " +
                          (isIntegerKey(name) ? "an integer" : "a date"));
        if (!isOrderOperator(op)) return refuse("operator does not apply to \"" + name + "\"");
        if (options != 0) return refuse("options apply to text only");
    } else {
        return refuse("unknown property \"" + name + "\"");
    }
    Predicate predicate;
    predicate.node_ = std::move(comparison);
    return predicate;
}

std::expected<Predicate, PredicateError> Predicate::compound(CompoundType type,
                                                             std::vector<Predicate> subpredicates) {
    if (type == CompoundType::notType && subpredicates.size() != 1)
        return std::unexpected(PredicateError{"not() takes exactly one predicate"});
    Predicate predicate;
    predicate.node_ = Compound{type, std::move(subpredicates)};
    return predicate;
}

Predicate Predicate::defaultExclusion() {
    return pathContaining(std::string());
}

Predicate Predicate::pathContaining(std::string text) {
    std::vector<Predicate> parts;
    // Both are always valid.
    parts.push_back(*comparison("path", Operator::contains, std::move(text), 0));
    return *compound(CompoundType::orType, std::move(parts));
}

template <typename Lookup> bool Predicate::evaluateWith(const Lookup& lookup) const {
    if (const auto* group = std::get_if<Compound>(&node_)) {
        switch (group->type) {
        case CompoundType::notType:
            return !group->parts.front().evaluateWith(lookup);
        case CompoundType::andType:
            for (const Predicate& part : group->parts)
                if (!part.evaluateWith(lookup)) return false;
            return true;
        case CompoundType::orType:
            for (const Predicate& part : group->parts)
                if (part.evaluateWith(lookup)) return true;
            return false;
        }
        return false;
    }
    const auto& test = std::get<Comparison>(node_);
    const std::optional<KeyValue> found = lookup(test.key);
    if (!found) return test.op == Operator::notEqualTo;
    if (const auto* text = std::get_if<std::string_view>(&*found)) {
        if (test.op == Operator::matches)
            return test.regex->matches(foldText(*text, test.options & ~caseInsensitive));
        const std::string subject = foldText(*text, test.options);
        const std::string& wanted = test.foldedText;
        switch (test.op) {
        case Operator::equalTo:
            return subject == wanted;
        case Operator::notEqualTo:
            return subject != wanted;
        // An empty constant matches nothing, so a fresh exclusion filter excludes nothing.
        case Operator::contains:
            return !wanted.empty() && subject.find(wanted) != std::string::npos;
        case Operator::beginsWith:
            return !wanted.empty() && subject.starts_with(wanted);
        case Operator::endsWith:
            return !wanted.empty() && subject.ends_with(wanted);
        default:
            return false;
        }
    }
    if (const auto* number = std::get_if<std::int64_t>(&*found))
        return compareOrdered(*number, test.op, std::get<std::int64_t>(test.value));
    return compareOrdered(std::get<Date>(*found), test.op, std::get<Date>(test.value));
}

bool Predicate::evaluate(const File& file) const {
    return evaluateWith([&file](const std::string& key) { return file.value(key); });
}

bool Predicate::comparesPathOnly() const {
    // Groups nest: walked with a stack, as predicates read from files can be deep.
    std::vector<const Predicate*> pending{this};
    while (!pending.empty()) {
        const Predicate* predicate = pending.back();
        pending.pop_back();
        if (!predicate->isCompound()) {
            if (predicate->key() != "path") return false;
            continue;
        }
        for (const Predicate& part : predicate->subpredicates())
            pending.push_back(&part);
    }
    return true;
}

bool Predicate::evaluatePath(std::string_view absolutePath) const {
    return evaluateWith([absolutePath](const std::string& key) -> std::optional<KeyValue> {
        if (key == "path") return KeyValue{absolutePath};
        return std::nullopt;
    });
}

bool operator==(const Predicate& a, const Predicate& b) {
    if (a.isCompound() != b.isCompound()) return false;
    if (a.isCompound())
        return a.compoundType() == b.compoundType() && a.subpredicates() == b.subpredicates();
    return a.key() == b.key() && a.op() == b.op() && a.value() == b.value() &&
           a.options() == b.options();
}

} // namespace tessera
