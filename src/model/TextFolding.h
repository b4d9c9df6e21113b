// Case- and diacritic-insensitive text comparison, done with Unicode's rules (utf8proc):
// canonical composition, full case folding, and removal of combining marks.
#pragma once

#include <string>
#include <string_view>

namespace tessera {

namespace TextFolding {
enum Options : unsigned { none = 0, caseInsensitive = 1, diacriticInsensitive = 2 };
}

/// `text` in the form that makes comparisons with `options` plain byte comparisons. Invalid
/// UTF-8 bytes are folded as U+FFFD.
std::string foldText(std::string_view text, unsigned options);

/// True when folded `needle` occurs in folded `haystack`; an empty needle never occurs.
bool foldedContains(std::string_view haystack, std::string_view needle, unsigned options);

} // namespace tessera
