// The stored form of a predicate: readable text that a strict parser reads back.
//
//   predicate  := group | comparison
//   group      := ("and" | "or" | "not") "(" [predicate ("," predicate)*] ")"
//   comparison := key operator ["[c]" | "[d]" | "[cd]"] value
//   key        := "path" | "size" | "allocatedSize" | "creationDate" | "modificationDate"
//   operator   := "==" | "!=" | "<" | "<=" | ">" | ">=" | "contains" | "beginswith" |
//                 "endswith" | "matches"
//   value      := string | integer | "date(" string ")"   (dates in ISO 8601, UTC)
//   string     := '"' characters with \" \\ \n \t \r and \xHH escapes '"'
//
// For example: or(path contains[cd] "node_modules", size > 1000000000)
#pragma once

#include "favorites/Predicate.h"

#include <expected>
#include <string>
#include <string_view>

namespace tessera {

/// The text form of `predicate`; parsePredicate() gives back an equal predicate.
std::string formatPredicate(const Predicate& predicate);

/// Reads the text form. Anything malformed, unknown or left over is an error that says what and
/// where.
[[nodiscard]] std::expected<Predicate, std::string> parsePredicate(std::string_view text);

} // namespace tessera
