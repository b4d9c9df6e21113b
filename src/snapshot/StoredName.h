// Names in snapshots. File names are bytes, but JSON strings hold Unicode text, and readers such
// as simdjson reject lone surrogates, so the bytes of a name that are not valid UTF-8 are
// carried as code points of a private-use range:
//
//   - a byte b that is not part of valid UTF-8 (always 0x80...0xFF) is written as U+10FE00 + b;
//   - a genuine code point U+10FE00 + n of that range is written as U+10FE00 followed by
//     U+10FE00 + n, so it cannot be mistaken for a byte;
//   - every other character is written as itself.
//
// The result is always valid UTF-8; names that are valid UTF-8 and avoid U+10FE00...U+10FEFF
// (all real-world names) are written unchanged.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tessera {

/// The name's bytes as the text a snapshot stores.
std::string toStoredName(std::string_view bytes);
/// The name as a JSON string literal of its stored text, appended to `out`.
void appendStoredName(std::string& out, std::string_view bytes);

/// Why `name` cannot name an entry inside a folder (it holds a "/", or is "." or ".."), or none:
/// a snapshot that holds one is damaged, since the entry could never be told apart by its path.
std::optional<std::string_view> entryNameProblem(std::string_view name);

/// The bytes back from stored text; none when the text holds a broken escape.
std::optional<std::string> fromStoredName(std::string_view text);

} // namespace tessera
