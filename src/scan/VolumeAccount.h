// Where a volume's space went, beside a scan of it: what is free, what the file system keeps back
// for root, what the scan measured, what it could not read, what other volumes mounted below hold,
// and, for a whole volume, what is in use that no scanned entry accounts for (the file system's
// own records, files deleted but still open).
#pragma once

#include "platform/Volumes.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
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

/// The parts of an account that are not the scanned tree, as the picture and the outline name
/// them.
enum class AccountPart : std::uint8_t {
    unattributed, // in use, in no scanned entry
    reserved,     // kept back for root
    free,         // available to every user
    otherVolumes, // used space of the volumes mounted below
    unreadable,   // entries the scan could not read
    excluded,     // entries the exclusion left out
};

/// One part of an account: its bytes where they are known, and the entries or volumes it
/// counts where it counts any.
struct AccountLine {
    AccountPart part = AccountPart::free;
    std::optional<std::int64_t> bytes;
    std::int64_t count = 0;
    friend bool operator==(const AccountLine&, const AccountLine&) = default;
};

/// The parts of the volume's capacity that lie beside the scanned tree, in the picture's order
/// (unattributed, reserved, free), empty ones left out: with the tree, they fill the volume.
std::vector<AccountLine> capacityShares(const VolumeAccount& account);
/// Every part worth a line beside the tree: the capacity's shares, then what lies outside the
/// tree's figures (other volumes, unreadable and excluded entries), empty ones left out.
std::vector<AccountLine> accountLines(const VolumeAccount& account);
/// The part's name, as the picture's bubble and the outline show it.
std::string_view accountPartName(AccountPart part);
/// What the part stands for, in a sentence.
std::string_view accountPartMeaning(AccountPart part);

/// The account of the volume holding `path`, scanned to `scannedAllocated` bytes with
/// `unreadable` entries left out; `mounts` is the mount table (platform::readMounts()). None
/// when the volume cannot be asked.
std::optional<VolumeAccount> accountVolume(const std::string& path, std::int64_t scannedAllocated,
                                           std::int64_t unreadable,
                                           const std::vector<platform::Mount>& mounts);

} // namespace tessera
