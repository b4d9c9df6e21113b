// Sizes and changes of sizes as the graph's labels say them, in the measure of a size mode.
#pragma once

#include "model/FileEnums.h"

#include <cstdint>
#include <string>

namespace tessera {

/// `value` in `mode`'s measure: "12.3 MB", "12.3 MB allocated", "1,204 files".
std::string measureText(std::int64_t value, SizeMode mode);
/// A change of `difference` in `mode`'s measure, signed: "+6 MB", "−1.2 GB", "+3 files";
/// "no change" for none.
std::string changeText(std::int64_t difference, SizeMode mode);

} // namespace tessera
