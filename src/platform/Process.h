// What the process asks of the system beyond files: a cheap clock, its terminal, its user, its
// interruption, and address space to lay nodes out in.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tessera::platform {

/// A monotonic clock read in a few nanoseconds, at the resolution of the kernel's tick: for
/// work that checks the time once per entry.
std::int64_t coarseMonotonicNanoseconds();

/// True when standard error is a terminal (progress may then be redrawn in place).
bool standardErrorIsTerminal();

/// The real user id of the process.
unsigned currentUserId();

/// Calls `handler` (async-signal-safe work only) on SIGINT and SIGTERM instead of ending.
void onInterruption(void (*handler)(int));

/// Reserves `bytes` of address space, readable and writable, backed by memory only where it is
/// touched (no swap is set aside for it), with huge pages where the kernel offers them on
/// request. Null when the kernel refuses the reservation.
void* reserveAddressSpace(std::size_t bytes);

} // namespace tessera::platform
