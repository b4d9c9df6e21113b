// Numbers as the user reads them: byte counts in the file style and grouped decimal counts.
#pragma once

#include "base/Date.h"

#include <cstdint>
#include <string>

namespace tessera {

/// A byte count in the file style: decimal multiples of 1000, the unit chosen by magnitude
/// ("0 bytes", "1 byte", "999 bytes", "1 KB", "12.3 MB", "1.24 GB").
std::string formatByteCount(std::int64_t bytes);

/// A date in local time, "12/06/26, 21:15:07" (the log's lines); "unknown" for the distant past.
std::string formatShortDateMediumTime(Date date);
/// A date in local time, "Dec 6, 2026, 21:15" (the graph's labels); "unknown" likewise.
std::string formatMediumDateShortTime(Date date);

/// A decimal count with grouping separators ("1,234,567").
std::string formatCount(std::int64_t count);

} // namespace tessera
