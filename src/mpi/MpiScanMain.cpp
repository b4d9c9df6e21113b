// The MPI helper: `tessera scan --mpi` replaces itself with this program, which runs the same
// scan as one process of the MPI job.
#include "cli/CommandLine.h"
#include "cli/DistributedScan.h"
#include "cli/ProcessEnd.h"
#include "mpi/RankWalk.h"

#include <cstdio>
#include <cstring>
#include <mpi.h>

namespace {

bool scanned = false;

tessera::cli::DistributedScanRun scanAndNote(const std::string& path,
                                             std::shared_ptr<const tessera::Predicate> exclusion,
                                             unsigned threads, bool keepLinkedNames) {
    scanned = true;
    return tessera::mpi::scanOnEveryProcess(path, std::move(exclusion), threads, keepLinkedNames);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2 || std::strcmp(argv[1], "scan") != 0) {
        std::fputs("usage: tessera scan PATH --mpi [OPTIONS] (run by tessera, under mpirun)\n",
                   stderr);
        return 2;
    }
    int provided = 0;
    if (MPI_Init_thread(&argc, &argv, MPI_THREAD_FUNNELED, &provided) != MPI_SUCCESS) {
        std::fputs("tessera scan: --mpi: MPI could not start\n", stderr);
        return 1;
    }
    if (provided < MPI_THREAD_FUNNELED) {
        std::fputs("tessera scan: --mpi: this MPI cannot be used by a process with threads\n",
                   stderr);
        MPI_Abort(MPI_COMM_WORLD, 1);
    }
    tessera::cli::setDistributedScanner(&scanAndNote);
    const int status = tessera::cli::runCommandLine(argc, argv);
    // A process that ended before the scan (its arguments or its path refused) would leave the
    // others waiting for it: when they may have begun, the job ends with it.
    int size = 1;
    MPI_Comm_size(MPI_COMM_WORLD, &size);
    if (!scanned && status != 0 && size > 1) MPI_Abort(MPI_COMM_WORLD, status);
    MPI_Finalize();
    tessera::cli::endProcess(status);
}
