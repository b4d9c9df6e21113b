// Where a volume's space went, beside a scan of it: what is free, what the file system keeps back
// for root, what the scan measured, what it could not read, what other volumes mounted below hold,
// and, for a whole volume, what is in use that no scanned entry accounts for (the file system's
// own records, files deleted but still open).
#pragma once

#include "platform/Volumes.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tessera {

struct VolumeAccount {
    std::int64_t size = 0;         // the volume's capacity
    std::int64_t free = 0;         // available to every user
    std::int64_t reserved = 0;     // free for root only
    std::int64_t used = 0;         // neither: size - free - reserved
    std::int64_t unreadable = 0;   // entries the scan could not read (their size is unknown)
    std::int64_t excluded = 0;     // entries the exclusion left out (their size is not measured)
    std::int64_t otherVolumes = 0; // used space of the volumes mounted below the scanned folder
    std::int64_t otherVolumeCount = 0;
    /// For a scan of a whole volume: used less what the scan measured (allocated sizes), what
    /// was excluded included. Files with several names count at each name, so it can fall
    /// below zero where they are many.
    std::optional<std::int64_t> unattributed;
};

/// The account of the volume holding `path`, scanned to `scannedAllocated` bytes with
/// `unreadable` entries left out; `mounts` is the mount table (platform::readMounts()). None
/// when the volume cannot be asked.
std::optional<VolumeAccount> accountVolume(const std::string& path, std::int64_t scannedAllocated,
                                           std::int64_t unreadable,
                                           const std::vector<platform::Mount>& mounts);

} // namespace tessera
