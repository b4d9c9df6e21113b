// The distributed scan of the MPI helper: every process of the job lists the folders it holds
// on threads of its own, a process left without folders takes half of another's, a token that
// goes round the processes finds the moment when none has any left, and the first process
// assembles the tree from the records the others stream to it.
#pragma once

#include "cli/DistributedScan.h"

namespace tessera::mpi {

/// A DistributedScanner (see cli/DistributedScan.h). Called by every process of the job; MPI
/// must be initialized with at least MPI_THREAD_FUNNELED, and only the calling thread talks MPI.
/// A process that fails ends the whole job (MPI_Abort) after saying why.
cli::DistributedScanRun scanOnEveryProcess(const std::string& path,
                                           std::shared_ptr<const Predicate> exclusion,
                                           unsigned threads, bool keepLinkedNames);

} // namespace tessera::mpi
