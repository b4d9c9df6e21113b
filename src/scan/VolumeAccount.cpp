#include "scan/VolumeAccount.h"

#include <algorithm>
#include <set>

namespace tessera {

namespace {

bool isBelow(const std::string& mountPoint, const std::string& path) {
    if (path == "/") return mountPoint != "/";
    return mountPoint.size() > path.size() && mountPoint.starts_with(path) &&
           mountPoint[path.size()] == '/';
}

} // namespace

std::optional<VolumeAccount> accountVolume(const std::string& path, std::int64_t scannedAllocated,
                                           std::int64_t unreadable,
                                           const std::vector<platform::Mount>& mounts) {
    const auto space = platform::spaceOf(path);
    if (!space) return std::nullopt;
    VolumeAccount account;
    account.size = space->total;
    account.free = space->available;
    account.reserved = space->reserved();
    account.used = space->used();
    account.unreadable = unreadable;
    const auto own = platform::mountContaining(path, mounts);
    // Each other volume once, however often it is mounted below (bind mounts).
    std::set<std::uint64_t> counted;
    if (own) counted.insert(own->device);
    for (const platform::Mount& mount : mounts) {
        if (!isBelow(mount.mountPoint, path) || !counted.insert(mount.device).second) continue;
        if (const auto other = platform::spaceOf(mount.mountPoint)) {
            account.otherVolumes += std::max<std::int64_t>(0, other->used());
            ++account.otherVolumeCount;
        }
    }
    if (own && own->mountPoint == path) account.unattributed = account.used - scannedAllocated;
    return account;
}

} // namespace tessera
