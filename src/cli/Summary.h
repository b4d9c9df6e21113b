// The summary of a tree that `scan` and `info` print, as text or as one JSON object.
#pragma once

#include "model/File.h"
#include "scan/VolumeAccount.h"

#include <cstddef>
#include <cstdio>
#include <optional>
#include <string>

namespace tessera::cli {

struct SummaryContext {
    std::string path;       // what was scanned or read
    std::size_t errors = 0; // unreadable entries
    double seconds = 0;     // time taken
    bool json = false;
    std::FILE* stream = stdout;          // standard error when a snapshot goes to standard output
    std::optional<VolumeAccount> volume; // of a scan's folder: where its volume's space went
};

/// Prints the totals and the largest entries of `root` (which gets sorted by size).
void printSummary(File& root, const SummaryContext& context);

} // namespace tessera::cli
