// Predicates over files: all-of, any-of and none-of groups whose leaves compare one property of
// a file with a constant. They filter searches (evaluated on nodes) and exclude entries from
// scans (evaluated on absolute paths).
#pragma once

#include "base/Date.h"
#include "model/FilePredicate.h"

#include <cstdint>
#include <expected>
#include <memory>
#include <string>
#include <variant>
#include <vector>

namespace tessera {

/// Why a predicate cannot be made, in words for the person who wrote it.
struct PredicateError {
    std::string message;
};

class Predicate final : public FilePredicate {
public:
    enum class CompoundType { notType = 0, andType = 1, orType = 2 };
    enum class Operator {
        lessThan = 0,
        lessThanOrEqualTo = 1,
        greaterThan = 2,
        greaterThanOrEqualTo = 3,
        equalTo = 4,
        notEqualTo = 5,
        matches = 6,
        beginsWith = 8,
        endsWith = 9,
        contains = 99,
    };
    enum Option : unsigned { caseInsensitive = 1, diacriticInsensitive = 2 };
    using Value = std::variant<std::string, std::int64_t, Date>;

    /// The properties a predicate can compare, and the type of each.
    static bool isStringKey(std::string_view key) { return key == "path"; }
    static bool isIntegerKey(std::string_view key) {
        return key == "size" || key == "allocatedSize";
    }
    static bool isDateKey(std::string_view key) {
        return key == "creationDate" || key == "modificationDate";
    }

    /// A comparison of `key` with `value`; an error when the key is unknown, the value's type or
    /// the operator does not suit the key, or a regular expression does not compile.
    [[nodiscard]] static std::expected<Predicate, PredicateError>
    comparison(std::string key, Operator op, Value value, unsigned options = 0);
    /// A group of predicates; an error when a not-group does not hold exactly one.
    [[nodiscard]] static std::expected<Predicate, PredicateError>
    compound(CompoundType type, std::vector<Predicate> subpredicates);
    /// What a favourite's filter starts as: any of (path contains "").
    static Predicate defaultExclusion();
    /// What a search for `text` looks for: any of (path contains `text`), a group as the
    /// editor makes them.
    static Predicate pathContaining(std::string text);

    bool isCompound() const { return std::holds_alternative<Compound>(node_); }
    CompoundType compoundType() const { return std::get<Compound>(node_).type; }
    const std::vector<Predicate>& subpredicates() const { return std::get<Compound>(node_).parts; }
    const std::string& key() const { return std::get<Comparison>(node_).key; }
    Operator op() const { return std::get<Comparison>(node_).op; }
    const Value& value() const { return std::get<Comparison>(node_).value; }
    unsigned options() const { return std::get<Comparison>(node_).options; }

    /// True when every comparison inside compares the path: what an exclusion can evaluate, as
    /// scans see only paths.
    bool comparesPathOnly() const;

    /// Evaluates with the node's properties ("path" is its own name).
    bool evaluate(const File& file) const override;
    /// Evaluates with one property, "path", holding `absolutePath`; comparisons of other
    /// properties are false (not-equal is true).
    bool evaluatePath(std::string_view absolutePath) const;

    friend bool operator==(const Predicate& a, const Predicate& b);

private:
    Predicate() = default;
    struct Regex;
    struct Comparison {
        std::string key;
        Operator op;
        Value value;
        unsigned options;
        std::string foldedText;             // the string value folded with the options
        std::shared_ptr<const Regex> regex; // compiled once; matching is thread-safe
    };
    struct Compound {
        CompoundType type;
        std::vector<Predicate> parts;
    };
    template <typename Lookup> bool evaluateWith(const Lookup& lookup) const;

    std::variant<Comparison, Compound> node_;
};

} // namespace tessera
