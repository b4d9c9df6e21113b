#include "model/TextFolding.h"

#include "model/Utf8.h"

#include <cstdlib>
#include <memory>
#include <utf8proc.h>

namespace tessera {

std::string foldText(std::string_view text, unsigned options) {
    if (options == TextFolding::none) return std::string(text);
    const std::string valid = isValidUtf8(text) ? std::string(text) : toDisplayString(text);
    int flags = UTF8PROC_STABLE | UTF8PROC_COMPOSE;
    if ((options & TextFolding::caseInsensitive) != 0) flags |= UTF8PROC_CASEFOLD;
    if ((options & TextFolding::diacriticInsensitive) != 0) flags |= UTF8PROC_STRIPMARK;
    utf8proc_uint8_t* mapped = nullptr;
    const utf8proc_ssize_t length =
        utf8proc_map(reinterpret_cast<const utf8proc_uint8_t*>(valid.data()),
                     static_cast<utf8proc_ssize_t>(valid.size()), &mapped,
                     static_cast<utf8proc_option_t>(flags));
    if (length < 0) return valid; // only on allocation failure: compare unfolded
    std::unique_ptr<utf8proc_uint8_t, decltype(&std::free)> owned(mapped, &std::free);
    return {reinterpret_cast<const char*>(mapped), static_cast<std::size_t>(length)};
}

bool foldedContains(std::string_view haystack, std::string_view needle, unsigned options) {
    if (needle.empty()) return false;
    const std::string foldedNeedle = foldText(needle, options);
    return !foldedNeedle.empty() &&
           foldText(haystack, options).find(foldedNeedle) != std::string::npos;
}

} // namespace tessera
