// Several trees under one root: the snapshots of several hosts, or of the folders of one file
// system scanned by separate jobs, each under a name of its own. The totals are the sums.
#pragma once

#include "model/Directory.h"

#include <expected>
#include <string>
#include <string_view>
#include <vector>

namespace tessera {

/// The name a tree goes under when none is given: its root's name where it has one (its last
/// path component), else `fallback` (the snapshot's file name without its extension).
std::string defaultMergeName(const File& root, std::string_view fallback);

/// `names` made unique: a name met before gets " 2", " 3"... (the first keeps its own).
std::vector<std::string> uniqueMergeNames(std::vector<std::string> names);

/// One root holding `trees`, the i-th renamed `names[i]`. Fails, naming the culprit, when a
/// name cannot be an entry's name, two names are the same, or the sums overflow.
[[nodiscard]] std::expected<DirectoryPtr, std::string>
mergeTrees(std::vector<FilePtr> trees, const std::vector<std::string>& names);

} // namespace tessera
