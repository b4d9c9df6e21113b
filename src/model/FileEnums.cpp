#include "model/FileEnums.h"

namespace tessera {
namespace {

template <typename Enum, std::size_t N>
std::optional<Enum> fromRaw(const std::array<Enum, N>& all, std::string_view raw) {
    for (Enum value : all)
        if (rawValue(value) == raw) return value;
    return std::nullopt;
}

} // namespace

std::string_view rawValue(SizeMode mode) {
    switch (mode) {
    case SizeMode::fileSize:
        return "fileSize";
    case SizeMode::allocatedFileSize:
        return "allocatedFileSize";
    case SizeMode::childCount:
        return "childCount";
    }
    return {};
}

std::string_view rawValue(FileKey key) {
    switch (key) {
    case FileKey::name:
        return "name";
    case FileKey::creationDate:
        return "creationDate";
    case FileKey::modificationDate:
        return "modificationDate";
    case FileKey::size:
        return "size";
    case FileKey::allocatedSize:
        return "allocatedSize";
    }
    return {};
}

std::string_view rawValue(ColorMode mode) {
    switch (mode) {
    case ColorMode::hueWheel:
        return "hueWheel";
    case ColorMode::creationDate:
        return "creationDate";
    case ColorMode::modificationDate:
        return "modificationDate";
    case ColorMode::fileType:
        return "fileType";
    case ColorMode::change:
        return "change";
    }
    return {};
}

std::optional<SizeMode> sizeModeFromRaw(std::string_view raw) {
    return fromRaw(allSizeModes, raw);
}
std::optional<FileKey> fileKeyFromRaw(std::string_view raw) {
    return fromRaw(allFileKeys, raw);
}
std::optional<ColorMode> colorModeFromRaw(std::string_view raw) {
    return fromRaw(allColorModes, raw);
}

} // namespace tessera
