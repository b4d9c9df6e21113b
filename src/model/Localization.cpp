#include "model/Localization.h"

#include "model/Formatting.h"

#include <array>

namespace tessera {
namespace {

struct Text {
    std::string_view key;
    std::string_view one;   // singular form, or the only form
    std::string_view other; // plural form; empty when the text has no plural
};

// English texts. Keep the keys sorted.
constexpr std::array texts{
    Text{"file.display.allocatedSize", "%@ allocated", ""},
    Text{"file.display.childCount", "%lld file", "%lld files"},
    Text{"log.error.scan", "Cannot read %@", ""},
};

const Text* find(std::string_view key) {
    for (const Text& text : texts)
        if (text.key == key) return &text;
    return nullptr;
}

std::string replace(std::string_view format, std::string_view placeholder, std::string_view value) {
    std::string result(format);
    if (const auto at = result.find(placeholder); at != std::string::npos)
        result.replace(at, placeholder.size(), value);
    return result;
}

} // namespace

std::string_view localizedText(std::string_view key) {
    const Text* text = find(key);
    return text != nullptr ? text->one : key;
}

std::string localizedFormat(std::string_view key, std::string_view argument) {
    return replace(localizedText(key), "%@", argument);
}

std::string localizedCountFormat(std::string_view key, std::int64_t count) {
    const Text* text = find(key);
    if (text == nullptr) return std::string(key);
    const std::string_view form = (count == 1 || text->other.empty()) ? text->one : text->other;
    return replace(form, "%lld", formatCount(count));
}

} // namespace tessera
