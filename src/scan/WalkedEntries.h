// The entries of one directory as every walk counts them, whether its threads share one process
// or one job's processes share the tree.
#pragma once

#include "base/Paths.h"
#include "favorites/Predicate.h"
#include "platform/FileSystem.h"
#include "scan/ParallelWalk.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

namespace tessera {

/// Reads the open directory `fd` (on `device`). "._" companions of another entry are skipped,
/// mount points are neither entered nor counted, unreadable entries go to `hooks.onError`,
/// excluded ones to `hooks.onExclude`. `kept(name, status)` gets every other entry in the order
/// the kernel lists them; `handled()` is called for each kept or excluded one.
/// `directoryPath()` gives the directory's absolute path and is asked only when needed. Returns
/// the error that ended the listing early, or 0 (a cancelled listing ends without one).
template <typename DirectoryPath, typename Kept, typename Handled>
int forEachWalkedEntry(int fd, std::uint64_t device, const WalkHooks& hooks,
                       DirectoryPath&& directoryPath, Kept&& kept, Handled&& handled) {
    return platform::forEachEntry(fd, [&](const char* cName) {
        if (hooks.cancelled != nullptr && hooks.cancelled->load(std::memory_order_relaxed))
            return false;
        const std::string_view name(cName);
        // "._" companions of another file hold its extended attributes on foreign file
        // systems: they are neither shown nor counted.
        if (name.starts_with("._") && platform::entryExistsAt(fd, cName + 2)) return true;
        auto status = platform::statusAt(fd, cName, device);
        if (!status) {
            hooks.onError(joinPath(directoryPath(), name), status.error());
            return true;
        }
        if (status->isMountPoint) return true;
        std::string childPath;
        if (hooks.exclusion != nullptr || hooks.onEntry)
            childPath = joinPath(directoryPath(), name);
        if (hooks.onEntry) hooks.onEntry(childPath, *status);
        if (hooks.exclusion != nullptr && hooks.exclusion->evaluatePath(childPath)) {
            if (hooks.onExclude) hooks.onExclude(childPath);
            handled();
            return true;
        }
        kept(name, *status);
        handled();
        return true;
    });
}

} // namespace tessera
