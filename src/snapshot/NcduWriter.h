// Writes a tree in the export format of ncdu and gdu (what `ncdu -o` writes, what `ncdu -f` and
// `gdu -f` read): the format's version, a metadata object, then the root folder as an array of
// its own entry and its children. Names are written as their bytes (ncdu reads names that are
// not UTF-8 as they are); sizes and modification dates as ncdu's asize, dsize and mtime.
#pragma once

#include "model/File.h"

#include <functional>
#include <string>
#include <string_view>

namespace tessera {

/// Appends the export of `root` to `out`, handing `out` to `sink` (and emptying it) whenever it
/// holds about `pieceBytes`. A root without a name is named `rootName` (else "/"): ncdu wants
/// one.
void encodeNcdu(const File& root, std::string_view rootName, std::string& out,
                const std::function<void(std::string_view)>& sink, std::size_t pieceBytes);

} // namespace tessera
