// The enumerations that select a measure of a node and name the properties snapshots store.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace tessera {

/// The measure that sizes, orders and labels use.
enum class SizeMode : std::uint8_t { fileSize, allocatedFileSize, childCount };

/// The properties of a node that snapshots store, in their declaration order.
enum class FileKey : std::uint8_t { name, creationDate, modificationDate, size, allocatedSize };

/// How a graph colours files; the tree answers `date(for:)` with it.
/// `change` colours what changed between the trees of a comparison (elsewhere all is neutral).
enum class ColorMode : std::uint8_t { hueWheel, creationDate, modificationDate, fileType, change };

inline constexpr std::array allSizeModes{SizeMode::fileSize, SizeMode::allocatedFileSize,
                                         SizeMode::childCount};
inline constexpr std::array allFileKeys{FileKey::name, FileKey::creationDate,
                                        FileKey::modificationDate, FileKey::size,
                                        FileKey::allocatedSize};
inline constexpr std::array allColorModes{ColorMode::hueWheel, ColorMode::creationDate,
                                          ColorMode::modificationDate, ColorMode::fileType,
                                          ColorMode::change};

std::string_view rawValue(SizeMode mode);
std::string_view rawValue(FileKey key);
std::string_view rawValue(ColorMode mode);

std::optional<SizeMode> sizeModeFromRaw(std::string_view raw);
std::optional<FileKey> fileKeyFromRaw(std::string_view raw);
std::optional<ColorMode> colorModeFromRaw(std::string_view raw);

} // namespace tessera
