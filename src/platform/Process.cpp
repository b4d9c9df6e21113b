#include "platform/Process.h"

#include <csignal>
#include <sys/mman.h>
#include <time.h>
#include <unistd.h>

namespace tessera::platform {

std::int64_t coarseMonotonicNanoseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
    return now.tv_sec * 1'000'000'000LL + now.tv_nsec;
}

bool standardErrorIsTerminal() {
    return isatty(STDERR_FILENO) != 0;
}

unsigned currentUserId() {
    return ::getuid();
}

void onInterruption(void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

void* reserveAddressSpace(std::size_t bytes) {
    void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE,
                   MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (p == MAP_FAILED) return nullptr;
    // Trees of millions of nodes touch tens of megabytes: huge pages take a fraction of the
    // page faults.
    madvise(p, bytes, MADV_HUGEPAGE);
    return p;
}

} // namespace tessera::platform
