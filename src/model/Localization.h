// The user-visible texts of the program, looked up by key. Every part of the program adds its
// keys to the one table in Localization.cpp.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace tessera {

/// The text for `key`; the key itself when the table lacks it, so a missing text shows up.
std::string_view localizedText(std::string_view key);

/// The text for `key` with its "%@" placeholder replaced by `argument`.
std::string localizedFormat(std::string_view key, std::string_view argument);

/// The text for `key` with its "%@" placeholders replaced by `arguments`, in turn.
std::string localizedFormat(std::string_view key,
                            std::initializer_list<std::string_view> arguments);

/// The text for `key` in the plural form that `count` asks for, with its "%lld" placeholder
/// replaced by the grouped count.
std::string localizedCountFormat(std::string_view key, std::int64_t count);

} // namespace tessera
