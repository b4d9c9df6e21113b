// A scan run from the command line: on a worker thread while the main queue delivers progress
// (a line on standard error, when it is a terminal) and unreadable entries (printed as they come).
#pragma once

#include "model/File.h"
#include "scan/LinksCountedOnce.h"

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace tessera {
class Predicate;
}

namespace tessera::cli {

struct ScanRun {
    FilePtr root; // none when nothing could be scanned
    std::size_t errors = 0;
    std::uint64_t excluded = 0; // entries the exclusion left out
    double seconds = 0;
    std::vector<LinkedName> linkedNames; // when asked for: the names met of files with several
};

/// Scans `path` (`threads` 0: the default count), showing progress when `showProgress`, and
/// keeping the names of files with several names when `keepLinkedNames`.
ScanRun runScan(const std::string& path, std::shared_ptr<const Predicate> exclusion,
                unsigned threads, bool showProgress, bool keepLinkedNames = false);

/// The progress line: entries so far, their rate, and the share done when the total is known.
std::string progressLine(std::uint64_t completed, std::uint64_t total, double seconds);

} // namespace tessera::cli
