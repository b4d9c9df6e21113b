// File names are bytes; what the user reads is UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace tessera {

/// True when `bytes` is well-formed UTF-8.
bool isValidUtf8(std::string_view bytes);

/// `bytes` with every byte that is not part of a well-formed UTF-8 sequence shown as U+FFFD.
/// The stored name never changes; this is only for display.
std::string toDisplayString(std::string_view bytes);

/// A displayed name set inside text of its own (valid UTF-8): when it holds bidirectional
/// controls (an override, an embedding, an isolate, a mark), it is wrapped in an isolate
/// (U+2068 ... U+2069), so that a right-to-left override in a name cannot reverse the text
/// after it.
std::string isolatedName(std::string_view name);

} // namespace tessera
