#include "compare/ChangeText.h"

#include "model/Formatting.h"
#include "model/Localization.h"

#include <limits>

namespace tessera {

std::string measureText(std::int64_t value, SizeMode mode) {
    switch (mode) {
    case SizeMode::fileSize:
        return formatByteCount(value);
    case SizeMode::allocatedFileSize:
        return localizedFormat("file.display.allocatedSize", formatByteCount(value));
    case SizeMode::childCount:
        return localizedCountFormat("file.display.childCount", value);
    }
    return formatByteCount(value);
}

std::string changeText(std::int64_t difference, SizeMode mode) {
    if (difference == 0) return std::string(localizedText("comparison.noChange"));
    // A minus sign, not a hyphen. (The magnitude of INT64_MIN does not fit: it says INT64_MAX.)
    const std::int64_t magnitude = difference > 0 ? difference
                                   : difference == std::numeric_limits<std::int64_t>::min()
                                       ? std::numeric_limits<std::int64_t>::max()
                                       : -difference;
    return (difference > 0 ? "+" : "\u2212") + measureText(magnitude, mode);
}

} // namespace tessera
