#include "scan/VolumeAccount.h"

#include "model/Localization.h"

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

std::vector<AccountLine> capacityShares(const VolumeAccount& account) {
    std::vector<AccountLine> shares;
    const auto add = [&](AccountPart part, std::int64_t bytes) {
        if (bytes > 0) shares.push_back({part, bytes, 0});
    };
    // Where names of one file outnumber the file system's own records, the tree holds more
    // than is in use: nothing is left unattributed then.
    if (account.unattributed) add(AccountPart::unattributed, *account.unattributed);
    add(AccountPart::reserved, account.reserved);
    add(AccountPart::free, account.free);
    return shares;
}

std::vector<AccountLine> accountLines(const VolumeAccount& account) {
    std::vector<AccountLine> lines = capacityShares(account);
    if (account.otherVolumeCount > 0)
        lines.push_back(
            {AccountPart::otherVolumes, account.otherVolumes, account.otherVolumeCount});
    if (account.unreadable > 0)
        lines.push_back({AccountPart::unreadable, std::nullopt, account.unreadable});
    if (account.excluded > 0)
        lines.push_back({AccountPart::excluded, std::nullopt, account.excluded});
    return lines;
}

namespace {

struct PartKeys {
    std::string_view name;
    std::string_view meaning;
};

PartKeys keysOf(AccountPart part) {
    switch (part) {
    case AccountPart::unattributed:
        return {"account.unattributed", "account.unattributed.meaning"};
    case AccountPart::reserved:
        return {"account.reserved", "account.reserved.meaning"};
    case AccountPart::free:
        return {"account.free", "account.free.meaning"};
    case AccountPart::otherVolumes:
        return {"account.otherVolumes", "account.otherVolumes.meaning"};
    case AccountPart::unreadable:
        return {"account.unreadable", "account.unreadable.meaning"};
    case AccountPart::excluded:
        return {"account.excluded", "account.excluded.meaning"};
    }
    return {"account.free", "account.free.meaning"};
}

} // namespace

std::string_view accountPartName(AccountPart part) {
    return localizedText(keysOf(part).name);
}

std::string_view accountPartMeaning(AccountPart part) {
    return localizedText(keysOf(part).meaning);
}

} // namespace tessera
