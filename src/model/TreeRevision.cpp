#include "model/TreeRevision.h"

#include <atomic>

namespace tessera {
namespace {

std::atomic<std::uint64_t> revision{1};

} // namespace

std::uint64_t treeRevision() {
    return revision.load(std::memory_order_acquire);
}

void treeDidChange() {
    revision.fetch_add(1, std::memory_order_acq_rel);
}

} // namespace tessera
