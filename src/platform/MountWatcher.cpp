#include "platform/MountWatcher.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace tessera::platform {
namespace {

bool sameMount(const Mount& a, const Mount& b) {
    return a.mountPoint == b.mountPoint && a.device == b.device && a.source == b.source &&
           a.fileSystem == b.fileSystem;
}

// Reads the whole table through the watched descriptor: reading it is also what tells the
// kernel that this change was seen, so that poll waits for the next one.
std::string readAll(int descriptor) {
    std::string text;
    if (lseek(descriptor, 0, SEEK_SET) != 0) return text;
    char buffer[16384];
    for (;;) {
        const ssize_t count = read(descriptor, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) break;
        text.append(buffer, static_cast<std::size_t>(count));
    }
    return text;
}

} // namespace

std::string volumeIdentity(const Mount& mount) {
    const VolumeIdentity identity = identityOf(mount);
    if (!identity.uuid.empty()) return "uuid:" + identity.uuid;
    if (!identity.label.empty()) return "label:" + identity.label;
    return {};
}

std::vector<VolumeEvent> volumeEvents(const std::vector<Mount>& before,
                                      const std::vector<Mount>& after,
                                      const VolumeIdentityOf& identity) {
    // Mounts present in both tables cancel out, one for one.
    std::vector<const Mount*> gone, added;
    std::vector<bool> matched(after.size(), false);
    for (const Mount& old : before) {
        bool found = false;
        for (std::size_t i = 0; i < after.size() && !found; ++i) {
            if (!matched[i] && sameMount(old, after[i])) matched[i] = found = true;
        }
        if (!found) gone.push_back(&old);
    }
    for (std::size_t i = 0; i < after.size(); ++i)
        if (!matched[i]) added.push_back(&after[i]);

    // A volume that left one place and appeared at another was moved.
    std::vector<VolumeEvent> renames, unmounts, mounts;
    std::vector<bool> paired(added.size(), false);
    for (const Mount* old : gone) {
        const std::string oldIdentity = identity(*old);
        bool moved = false;
        for (std::size_t i = 0; i < added.size() && !moved && !oldIdentity.empty(); ++i) {
            if (paired[i] || added[i]->mountPoint == old->mountPoint ||
                identity(*added[i]) != oldIdentity)
                continue;
            paired[i] = moved = true;
            renames.push_back({VolumeEvent::Kind::renamed, added[i]->mountPoint, old->mountPoint});
        }
        if (!moved) unmounts.push_back({VolumeEvent::Kind::unmounted, old->mountPoint, {}});
    }
    for (std::size_t i = 0; i < added.size(); ++i)
        if (!paired[i]) mounts.push_back({VolumeEvent::Kind::mounted, added[i]->mountPoint, {}});

    std::vector<VolumeEvent> events = std::move(renames);
    events.insert(events.end(), unmounts.begin(), unmounts.end());
    events.insert(events.end(), mounts.begin(), mounts.end());
    return events;
}

MountWatcher::MountWatcher(Handler handler) : handler_(std::move(handler)) {
    mountInfo_ = open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC);
    stop_ = eventfd(0, EFD_CLOEXEC);
    if (mountInfo_ < 0 || stop_ < 0) return;
    mounts_ = parseMountInfo(readAll(mountInfo_));
    thread_ = std::thread([this] { run(); });
}

MountWatcher::~MountWatcher() {
    if (thread_.joinable()) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = write(stop_, &one, sizeof one);
        thread_.join();
    }
    if (mountInfo_ >= 0) close(mountInfo_);
    if (stop_ >= 0) close(stop_);
}

void MountWatcher::run() {
    for (;;) {
        pollfd watched[2] = {{mountInfo_, POLLPRI, 0}, {stop_, POLLIN, 0}};
        if (poll(watched, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (watched[1].revents != 0) return;
        if ((watched[0].revents & (POLLPRI | POLLERR)) == 0) continue;
        std::vector<Mount> now = parseMountInfo(readAll(mountInfo_));
        std::vector<VolumeEvent> events = volumeEvents(mounts_, now);
        mounts_ = std::move(now);
        if (!events.empty()) handler_(std::move(events));
    }
}

} // namespace tessera::platform
