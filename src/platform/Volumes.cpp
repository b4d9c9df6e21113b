#include "platform/Volumes.h"

#include "base/Paths.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>

namespace tessera::platform {
namespace {

// The name in /dev/disk/by-uuid or by-label whose link resolves to `device`, unescaped.
std::string linkNameFor(const std::string& folder, const std::string& device) {
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path target = fs::weakly_canonical(device, error);
    if (error) return {};
    for (const auto& entry : fs::directory_iterator(folder, error)) {
        std::error_code linkError;
        if (fs::weakly_canonical(entry.path(), linkError) == target && !linkError) {
            std::string name = entry.path().filename().string();
            // udev escapes spaces and other bytes in labels as \xHH.
            std::string plain;
            for (std::size_t i = 0; i < name.size(); ++i) {
                if (name[i] == '\\' && i + 3 < name.size() && name[i + 1] == 'x') {
                    plain += static_cast<char>(std::stoi(name.substr(i + 2, 2), nullptr, 16));
                    i += 3;
                } else {
                    plain += name[i];
                }
            }
            return plain;
        }
    }
    return {};
}

} // namespace

std::string unescapeMountField(const std::string& field) {
    std::string plain;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && field[i + 1] >= '0' &&
            field[i + 1] <= '3') {
            plain += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 +
                                       (field[i + 3] - '0'));
            i += 3;
        } else {
            plain += field[i];
        }
    }
    return plain;
}

std::vector<Mount> readMounts() {
    std::ifstream file("/proc/self/mountinfo");
    std::stringstream text;
    text << file.rdbuf();
    return parseMountInfo(text.str());
}

std::vector<Mount> parseMountInfo(const std::string& text) {
    std::vector<Mount> mounts;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string id, parent, majorMinor, root, mountPoint, options, field;
        fields >> id >> parent >> majorMinor >> root >> mountPoint >> options;
        while (fields >> field && field != "-") {
        }
        Mount mount;
        fields >> mount.fileSystem >> mount.source;
        mount.mountPoint = unescapeMountField(mountPoint);
        mount.source = unescapeMountField(mount.source);
        unsigned major = 0, minor = 0;
        if (std::sscanf(majorMinor.c_str(), "%u:%u", &major, &minor) == 2)
            mount.device = makedev(major, minor);
        mounts.push_back(std::move(mount));
    }
    return mounts;
}

std::optional<Mount> mountContaining(const std::string& path, const std::vector<Mount>& mounts) {
    std::optional<Mount> best;
    for (const Mount& mount : mounts) {
        const PathRelation relation = relatePaths(path, mount.mountPoint);
        if (relation != PathRelation::equal && relation != PathRelation::firstInsideSecond)
            continue;
        // Later mounts over the same point hide earlier ones, so ">=" keeps the last.
        if (!best || mount.mountPoint.size() >= best->mountPoint.size()) best = mount;
    }
    return best;
}

VolumeIdentity identityOf(const Mount& mount) {
    VolumeIdentity identity;
    identity.device = mount.device;
    identity.mountPoint = mount.mountPoint;
    if (mount.source.starts_with("/dev/")) {
        identity.uuid = linkNameFor("/dev/disk/by-uuid", mount.source);
        identity.label = linkNameFor("/dev/disk/by-label", mount.source);
    }
    return identity;
}

bool isUserVolume(const Mount& mount) {
    // Disks and partitions (not the kernel's own file systems, and not the read-only images that
    // snap mounts), at the root or where desktops and administrators mount removable disks.
    if (!mount.source.starts_with("/dev/") || mount.fileSystem == "squashfs") return false;
    if (mount.mountPoint == "/") return true;
    for (const std::string_view place : {"/media/", "/run/media/", "/mnt/"})
        if (mount.mountPoint.starts_with(place)) return true;
    return false;
}

std::optional<VolumeSpace> spaceOf(const std::string& path) {
    struct statvfs volume;
    if (statvfs(path.c_str(), &volume) != 0) return std::nullopt;
    return VolumeSpace{static_cast<std::int64_t>(volume.f_blocks * volume.f_frsize),
                       static_cast<std::int64_t>(volume.f_bavail * volume.f_frsize),
                       static_cast<std::int64_t>(volume.f_bfree * volume.f_frsize)};
}

} // namespace tessera::platform
