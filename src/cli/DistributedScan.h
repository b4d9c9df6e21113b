// Scans spread over the processes of an MPI job: `mpirun -np N tessera scan PATH --mpi`.
//
// The tessera executable carries no MPI, so that the desktop app neither loads nor depends on
// it: a scan with --mpi replaces the process with the MPI helper installed beside it, which runs
// the same command with MPI and its distributed scanner.
#pragma once

#include "cli/ScanRunner.h"

#include <memory>
#include <span>
#include <string>

namespace tessera {
class Predicate;
}

namespace tessera::cli {

/// What one process of a distributed scan ends with. Only the process that assembles the tree
/// prints and exports it; the others end quietly.
struct DistributedScanRun {
    bool assembles = false;
    ScanRun run;
};

/// Scans `path` on every process of the job (`threads` 0: the default count each), keeping the
/// names of files with several names when `keepLinkedNames`.
using DistributedScanner = DistributedScanRun (*)(const std::string& path,
                                                  std::shared_ptr<const Predicate> exclusion,
                                                  unsigned threads, bool keepLinkedNames);

/// Set by the MPI helper before it runs the command; none in the tessera executable.
void setDistributedScanner(DistributedScanner scanner);
DistributedScanner distributedScanner();

/// Replaces this process with the MPI helper running `tessera scan` with `arguments`. Returns
/// only when it cannot, with the exit status, after saying why on standard error.
int runInMpiHelper(std::span<const std::string> arguments);

} // namespace tessera::cli
