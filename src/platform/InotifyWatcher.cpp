#include "platform/InotifyWatcher.h"

#include "base/Paths.h"
#include "platform/FileSystem.h"
#include "platform/UnwatchedFolders.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <sched.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <unordered_map>
#include <utility>

namespace tessera::platform {
namespace {

constexpr std::uint32_t kDirectoryMask = IN_CREATE | IN_DELETE | IN_MODIFY | IN_ATTRIB |
                                         IN_CLOSE_WRITE | IN_MOVED_FROM | IN_MOVED_TO |
                                         IN_DONT_FOLLOW | IN_ONLYDIR | IN_EXCL_UNLINK;
constexpr std::uint32_t kRootMask = kDirectoryMask | IN_DELETE_SELF | IN_MOVE_SELF;
// The root's parent, where no descriptor follows the root: its renames there.
constexpr std::uint32_t kParentMask = IN_MOVED_FROM | IN_MOVED_TO | IN_ONLYDIR | IN_DONT_FOLLOW;
// Unwatched folders are polled at most this often, and less often when polling them takes
// longer than a tenth of it.
constexpr std::chrono::milliseconds kPollInterval{2000};
constexpr int kPollCostShare = 10;

// True when `path` lies on the volume of the system or of the user's home folder, which cannot
// be unmounted while the user is logged in: a descriptor held there keeps no disk busy.
bool isOnPermanentVolume(const std::string& path) {
    const auto mount = mountIdOf(path);
    if (!mount) return false;
    if (mount == mountIdOf("/")) return true;
    const char* home = std::getenv("HOME");
    return home != nullptr && *home != '\0' && mount == mountIdOf(home);
}

// A folder below the root that gets a watch: not a mount point. Only folders are looked at
// closely, so setting up watches costs a directory read, not a status per file.
bool isWatchableFolder(int directoryFd, const char* name, EntryType type) {
    if (type == EntryType::other) return false;
    auto status = statusAt(directoryFd, name, 0);
    return status && status->isDirectory && !status->isMountPoint;
}

// The working folder of a thread prepared to watch folders by stepping into them, which it
// steps back to after each; none on other threads. See prepareWatchingThread().
struct SteppingThread {
    int home = -1;
    ~SteppingThread() {
        if (home >= 0) ::close(home);
    }
};
thread_local SteppingThread steppingThread;

// Watches the folder open at `directoryFd`, through its descriptor, so that a folder of any
// depth can be watched (a path given to the kernel stops at PATH_MAX): a prepared thread steps
// into it and watches "."; others follow its link in /proc, and without /proc, the path.
int addWatch(int inotify, int directoryFd, const std::string& path, std::uint32_t mask) {
    if (steppingThread.home >= 0 && ::fchdir(directoryFd) == 0) {
        const int watch = ::inotify_add_watch(inotify, ".", mask & ~IN_DONT_FOLLOW);
        const int error = errno;
        if (::fchdir(steppingThread.home) != 0) {
            // The way back was closed meanwhile (its permissions changed): the thread stays
            // where it is, and watches through /proc from now on.
            ::close(std::exchange(steppingThread.home, -1));
        }
        errno = error;
        return watch;
    }
    char link[64];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", directoryFd);
    const int watch = ::inotify_add_watch(inotify, link, mask & ~IN_DONT_FOLLOW);
    if (watch >= 0 || errno != ENOENT || path.size() >= PATH_MAX) return watch;
    return ::inotify_add_watch(inotify, path.c_str(), mask);
}

std::string watchError(const std::string& path, int error) {
    if (error == ENOSPC)
        return path + ": the limit of inotify watches (fs.inotify.max_user_watches) is reached";
    return path + ": " + std::strerror(error);
}

} // namespace

struct InotifyWatcher::State {
    std::string root;
    Handler handler;
    int inotify = -1;
    int stop = -1;
    int rootFd = -1; // O_PATH descriptor that follows the root when it moves, where one may be held
    int rootWatch = -1;
    int parentWatch = -1;                          // the root's parent, where no descriptor is held
    std::optional<std::uint32_t> rootRenameCookie; // the parent's half of the root's rename
    std::string rootRenamedTo;
    std::unordered_map<int, std::string> paths; // watch descriptor → absolute folder path
    UnwatchedFolders unwatched;
    std::chrono::steady_clock::time_point nextPoll;
    std::thread thread;
    bool rootDeleted = false;
    std::vector<FileEvent> pendingEvents; // delivered with the next batch, on the watcher's thread
    // Folders told as made that were gone from their path before they could be watched: their
    // parent may have moved meanwhile, and they are watched under its new name when its move is
    // told. The latest few are kept.
    std::vector<std::string> vanishedFolders;
    static constexpr std::size_t kVanishedFoldersKept = 256;
    // Guards the table of watches and what goes with it: folders are added from other threads
    // (a scan's) while the watcher's thread translates events.
    std::mutex mutex;

    ~State() {
        for (int fd : {inotify, stop, rootFd})
            if (fd >= 0) ::close(fd);
    }

    enum class Watched { added, already, failed };

    // Watches `folder` and every folder below it (iteratively); with `onlyNew`, folders that
    // have a watch already are not descended into. Folders over the watch limit are remembered
    // for polling, and so are the folders below them.
    // Returns false when `folder` itself could not be opened (gone meanwhile, or unreadable).
    bool watchTree(const std::string& folder, std::vector<FileEvent>& events,
                   bool onlyNew = false) {
        std::vector<std::string> pending{folder};
        bool opened = false;
        while (!pending.empty()) {
            const std::string path = std::move(pending.back());
            pending.pop_back();
            auto directory = openDirectory(path);
            if (!directory) continue; // gone meanwhile or unreadable
            opened = true;
            const Watched watched = watchOpenFolder(directory->get(), path, events);
            if (watched == Watched::already && onlyNew) continue;
            if (watched == Watched::failed && !unwatched.contains(path)) continue;
            pushChildFolders(directory->get(), path, pending);
        }
        return opened;
    }

    // A folder just made: watched with what it holds, or remembered when it is gone already.
    void watchNewFolder(const std::string& path, std::vector<FileEvent>& events) {
        if (watchTree(path, events) || entryExists(path)) return;
        if (vanishedFolders.size() >= kVanishedFoldersKept)
            vanishedFolders.erase(vanishedFolders.begin());
        vanishedFolders.push_back(path);
    }

    // A folder moved from `from` to `to`: folders made in it that were gone from their path
    // before they could be watched are watched where they are now.
    void watchVanishedBelow(const std::string& from, const std::string& to,
                            std::vector<FileEvent>& events) {
        std::vector<std::string> found;
        std::erase_if(vanishedFolders, [&](const std::string& path) {
            if (relatePaths(path, from) != PathRelation::firstInsideSecond) return false;
            found.push_back(to + path.substr(from.size()));
            return true;
        });
        for (const std::string& path : found)
            watchNewFolder(path, events);
    }

    static void pushChildFolders(int directoryFd, const std::string& path,
                                 std::vector<std::string>& folders) {
        forEachEntry(directoryFd, [&](const char* name, EntryType type) {
            if (isWatchableFolder(directoryFd, name, type)) folders.push_back(joinPath(path, name));
            return true;
        });
    }

    // What the watch of the folder at `path` asks for: the root's tells of its own move and
    // deletion too.
    std::uint32_t maskFor(const std::string& path) const {
        return path == root ? kRootMask : kDirectoryMask;
    }

    // The kernel's watch of the open folder at `path`; -1 with errno set when it cannot be
    // added.
    int addFolderWatch(int directoryFd, const std::string& path) const {
        return addWatch(inotify, directoryFd, path, maskFor(path));
    }

    // Adds the watch of one open folder. Over the watch limit the folder is remembered for
    // polling instead.
    Watched watchOpenFolder(int directoryFd, const std::string& path,
                            std::vector<FileEvent>& events) {
        const int watch = addFolderWatch(directoryFd, path);
        return recordWatch(watch, errno, directoryFd, path, events);
    }

    // Takes note of the kernel's answer to the watch of the open folder at `path`: the watch
    // descriptor, or an error (`error`); over the watch limit the folder is polled instead.
    Watched recordWatch(int watch, int error, int directoryFd, const std::string& path,
                        std::vector<FileEvent>& events) {
        if (watch < 0) {
            if (error == ENOSPC) {
                if (unwatched.empty()) nextPoll = std::chrono::steady_clock::now() + kPollInterval;
                if (unwatched.add(directoryFd, path))
                    events.push_back({FileEvent::Kind::unwatched, path, {}});
            }
            return Watched::failed;
        }
        const bool already = paths.contains(watch);
        paths[watch] = path;
        return already ? Watched::already : Watched::added;
    }

    // Compares the unwatched folders with their signatures: a folder whose entries changed is
    // measured again, and folders made in it meanwhile are watched (or remembered) too.
    void pollUnwatched(std::vector<FileEvent>& events) {
        UnwatchedFolders::Poll poll = unwatched.poll([&](int directoryFd, const std::string& path) {
            const int watch = addFolderWatch(directoryFd, path);
            if (watch < 0) return false;
            paths[watch] = path;
            return true;
        });
        for (std::string& path : poll.gone)
            events.push_back({FileEvent::Kind::unwatchedEnded, std::move(path), {}});
        for (std::string& path : poll.changed) {
            if (auto directory = openDirectory(path)) {
                std::vector<std::string> children;
                pushChildFolders(directory->get(), path, children);
                for (const std::string& child : children)
                    if (!unwatched.contains(child)) watchTree(child, events, true);
            }
            events.push_back({FileEvent::Kind::stale, std::move(path), {}});
        }
    }

    void forgetUnwatched(const std::string& path, std::vector<FileEvent>& events) {
        for (std::string& removed : unwatched.remove(path))
            events.push_back({FileEvent::Kind::unwatchedEnded, std::move(removed), {}});
    }

    // A folder moved within the tree: its watches and those below it follow. Returns false
    // when the folder had no watch.
    bool renameWatched(const std::string& from, const std::string& to) {
        bool found = false;
        for (auto& [watch, path] : paths) {
            const PathRelation relation = relatePaths(path, from);
            if (relation == PathRelation::equal) {
                path = to;
                found = true;
            } else if (relation == PathRelation::firstInsideSecond) {
                path = to + path.substr(from.size());
            }
        }
        return found;
    }

    std::string currentRootPath() const {
        char link[64];
        std::snprintf(link, sizeof link, "/proc/self/fd/%d", rootFd);
        std::string target(PATH_MAX, '\0');
        const ssize_t length = ::readlink(link, target.data(), target.size());
        if (length <= 0) return {};
        target.resize(static_cast<std::size_t>(length));
        return target;
    }

    void translate(const char* buffer, ssize_t bytes, std::vector<FileEvent>& events) {
        // A move arrives as MOVED_FROM and MOVED_TO with one cookie; an unpaired half is a move
        // out of (deletion) or into (appearance) the watched tree.
        struct PendingMove {
            std::uint32_t cookie;
            std::string path;
            bool directory;
        };
        std::vector<PendingMove> moves;
        for (ssize_t offset = 0; offset < bytes;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + offset);
            offset += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            if ((event->mask & IN_Q_OVERFLOW) != 0) {
                // Folders made meanwhile were never watched: add what is missing first.
                watchTree(root, events);
                events.push_back({FileEvent::Kind::lost, root, {}});
                continue;
            }
            if (event->wd == parentWatch) {
                noteParentEvent(*event);
                continue;
            }
            const auto found = paths.find(event->wd);
            if ((event->mask & IN_IGNORED) != 0) {
                if (found != paths.end()) paths.erase(found);
                continue;
            }
            if (found == paths.end()) continue;
            if (event->wd == rootWatch && (event->mask & IN_DELETE_SELF) != 0) {
                reportRootDeleted(events);
                continue;
            }
            if (event->wd == rootWatch && (event->mask & IN_MOVE_SELF) != 0) {
                const std::string moved = rootFd >= 0 ? currentRootPath() : rootRenamedTo;
                rootRenamedTo.clear();
                if (rootFd < 0 && moved.empty()) {
                    // Moved out of its folder, and no descriptor says where to.
                    reportRootDeleted(events);
                } else if (!moved.empty() && moved != root) {
                    renameWatched(root, moved);
                    unwatched.rename(root, moved);
                    events.push_back({FileEvent::Kind::rootMoved, root, moved});
                    root = moved;
                }
                continue;
            }
            if (event->wd == rootWatch && (event->mask & IN_UNMOUNT) != 0) {
                // The volume that held the folder went.
                reportRootDeleted(events);
                continue;
            }
            if (event->len == 0) {
                // The root's own dates and attributes have no parent watch to tell of them;
                // other folders' are told by their parents'. (Setting a modification date
                // alone is told as a modification.)
                if (event->wd == rootWatch && (event->mask & (IN_ATTRIB | IN_MODIFY)) != 0)
                    events.push_back({FileEvent::Kind::changed, root, {}});
                continue;
            }
            const std::string path = joinPath(found->second, event->name);
            const bool directory = (event->mask & IN_ISDIR) != 0;
            if ((event->mask & IN_MOVED_FROM) != 0) {
                moves.push_back({event->cookie, path, directory});
            } else if ((event->mask & IN_MOVED_TO) != 0) {
                auto from = std::find_if(moves.begin(), moves.end(), [&](const PendingMove& m) {
                    return m.cookie == event->cookie;
                });
                if (from != moves.end()) {
                    // A folder renamed before its creation was handled could not be watched
                    // under its first name: watch it now.
                    if (directory) {
                        const bool wasUnwatched = unwatched.contains(from->path);
                        unwatched.rename(from->path, path);
                        if (!renameWatched(from->path, path) && !wasUnwatched)
                            watchTree(path, events);
                        // Folders made in it just before it moved were not there to watch.
                        watchVanishedBelow(from->path, path, events);
                    }
                    events.push_back({FileEvent::Kind::moved, from->path, path});
                    moves.erase(from);
                } else {
                    if (directory) watchTree(path, events);
                    events.push_back({FileEvent::Kind::appeared, path, {}});
                }
            } else if ((event->mask & IN_CREATE) != 0) {
                if (directory) watchNewFolder(path, events);
                events.push_back({FileEvent::Kind::appeared, path, {}});
            } else if ((event->mask & IN_DELETE) != 0) {
                if (directory) forgetUnwatched(path, events);
                events.push_back({FileEvent::Kind::deleted, path, {}});
            } else if ((event->mask & (IN_MODIFY | IN_ATTRIB | IN_CLOSE_WRITE)) != 0) {
                // A folder that could not be watched while it was unreadable can be now.
                if (directory && (event->mask & IN_ATTRIB) != 0 && !unwatched.contains(path))
                    watchTree(path, events, true);
                // Consecutive changes of one entry within a batch say nothing new.
                if (events.empty() || events.back().kind != FileEvent::Kind::changed ||
                    events.back().path != path)
                    events.push_back({FileEvent::Kind::changed, path, {}});
            }
        }
        for (const PendingMove& move : moves) {
            if (move.directory) {
                for (auto it = paths.begin(); it != paths.end();) {
                    const PathRelation relation = relatePaths(it->second, move.path);
                    if (relation == PathRelation::equal ||
                        relation == PathRelation::firstInsideSecond) {
                        ::inotify_rm_watch(inotify, it->first);
                        it = paths.erase(it);
                    } else {
                        ++it;
                    }
                }
                forgetUnwatched(move.path, events);
            }
            events.push_back({FileEvent::Kind::deleted, move.path, {}});
        }
    }

    void reportRootDeleted(std::vector<FileEvent>& events) {
        if (!rootDeleted) events.push_back({FileEvent::Kind::rootDeleted, root, {}});
        rootDeleted = true;
    }

    // The root's rename inside its own folder, as the parent's watch tells it: the half that
    // leaves the root's name, then the half with the same cookie that says the new name. The
    // root's own move event follows them.
    void noteParentEvent(const inotify_event& event) {
        if ((event.mask & IN_IGNORED) != 0) {
            parentWatch = -1;
            return;
        }
        if (event.len == 0 || (event.mask & IN_ISDIR) == 0) return;
        const std::string_view parent = parentPath(root);
        if ((event.mask & IN_MOVED_FROM) != 0 && lastComponent(root) == event.name) {
            rootRenameCookie = event.cookie;
        } else if ((event.mask & IN_MOVED_TO) != 0 && rootRenameCookie == event.cookie) {
            rootRenamedTo = joinPath(std::string(parent), event.name);
            rootRenameCookie.reset();
        }
    }

    // The kernel reports the deletion of a folder only once nothing holds it, and the
    // descriptor that lets us follow a moved root holds it: so a deleted root is noticed by its
    // link count, after each batch and at least every second.
    bool rootWasDeleted() {
        struct stat status;
        if (rootDeleted || rootFd < 0 || ::fstat(rootFd, &status) != 0 || status.st_nlink > 0)
            return false;
        rootDeleted = true;
        return true;
    }

    void run() {
        std::vector<char> buffer(1 << 16);
        pollfd fds[2] = {{inotify, POLLIN, 0}, {stop, POLLIN, 0}};
        for (bool first = true;; first = false) {
            int timeout = 1000;
            if (!first) {
                std::lock_guard lock(mutex);
                if (!unwatched.empty())
                    timeout = static_cast<int>(std::clamp<std::int64_t>(
                        std::chrono::duration_cast<std::chrono::milliseconds>(
                            nextPoll - std::chrono::steady_clock::now())
                            .count(),
                        0, 1000));
            }
            const int ready = first ? 0 : ::poll(fds, 2, timeout);
            if (ready < 0) {
                if (errno == EINTR) continue;
                return;
            }
            if ((fds[1].revents & POLLIN) != 0) return;
            std::vector<FileEvent> events;
            {
                std::lock_guard lock(mutex);
                events.swap(pendingEvents);
                if ((fds[0].revents & POLLIN) != 0) {
                    const ssize_t bytes = ::read(inotify, buffer.data(), buffer.size());
                    if (bytes < 0 && errno != EINTR && errno != EAGAIN) return;
                    if (bytes > 0) translate(buffer.data(), bytes, events);
                }
                if (rootWasDeleted()) events.push_back({FileEvent::Kind::rootDeleted, root, {}});
                const auto now = std::chrono::steady_clock::now();
                if (!unwatched.empty() && now >= nextPoll) {
                    pollUnwatched(events);
                    const auto end = std::chrono::steady_clock::now();
                    nextPoll = end + std::max<std::chrono::steady_clock::duration>(
                                         kPollInterval, (end - now) * kPollCostShare);
                }
            }
            fds[0].revents = fds[1].revents = 0;
            if (!events.empty()) handler(std::move(events));
        }
    }
};

std::expected<std::unique_ptr<InotifyWatcher>, std::string>
InotifyWatcher::start(std::string root, Handler handler, Coverage coverage) {
    auto state = std::make_unique<State>();
    state->root = std::move(root);
    state->handler = std::move(handler);
    state->inotify = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    state->stop = ::eventfd(0, EFD_CLOEXEC);
    if (state->inotify < 0 || state->stop < 0)
        return std::unexpected(std::string("inotify: ") + std::strerror(errno));
    auto directory = openDirectory(state->root);
    if (!directory) return std::unexpected(state->root + ": " + std::strerror(directory.error()));
    state->rootWatch = addWatch(state->inotify, directory->get(), state->root, kRootMask);
    if (state->rootWatch < 0) return std::unexpected(watchError(state->root, errno));
    state->paths[state->rootWatch] = state->root;
    if (isOnPermanentVolume(state->root)) {
        state->rootFd = ::open(state->root.c_str(), O_PATH | O_CLOEXEC);
        if (state->rootFd < 0) return std::unexpected(state->root + ": " + std::strerror(errno));
    } else if (state->root != "/") {
        // Not followed when the parent cannot be watched: the root then reads as gone when
        // it is renamed.
        state->parentWatch = ::inotify_add_watch(
            state->inotify, std::string(parentPath(state->root)).c_str(), kParentMask);
    }
    if (coverage == Coverage::wholeTree) {
        std::vector<std::string> children;
        forEachEntry(directory->get(), [&](const char* name, EntryType type) {
            if (isWatchableFolder(directory->get(), name, type))
                children.push_back(joinPath(state->root, name));
            return true;
        });
        for (const std::string& child : children)
            state->watchTree(child, state->pendingEvents);
    }
    State* raw = state.get();
    std::unique_ptr<InotifyWatcher> watcher(new InotifyWatcher(std::move(state)));
    raw->thread = std::thread([raw] { raw->run(); });
    return watcher;
}

void InotifyWatcher::prepareWatchingThread() {
    if (steppingThread.home >= 0 || ::unshare(CLONE_FS) != 0) return;
    const int home = ::open(".", O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (home < 0) return;
    // Only where the thread can step back: a working folder it may not search is left alone.
    if (::fchdir(home) == 0)
        steppingThread.home = home;
    else
        ::close(home);
}

void InotifyWatcher::watchFolder(int directoryFd, const std::string& path) {
    // The kernel's part runs outside the lock, so that a scan's threads add their watches side
    // by side. Events of the new watch that the watcher's thread reads before the watch is
    // recorded are dropped: they tell of changes made before the scan reads the folder, and
    // the scan's reading sees those.
    std::uint32_t mask;
    {
        std::lock_guard lock(state_->mutex);
        mask = state_->maskFor(path);
    }
    const int watch = addWatch(state_->inotify, directoryFd, path, mask);
    const int error = errno;
    std::lock_guard lock(state_->mutex);
    state_->recordWatch(watch, error, directoryFd, path, state_->pendingEvents);
}

InotifyWatcher::InotifyWatcher(std::unique_ptr<State> state) : state_(std::move(state)) {}

InotifyWatcher::~InotifyWatcher() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto written = ::write(state_->stop, &one, sizeof one);
    if (state_->thread.joinable()) state_->thread.join();
}

} // namespace tessera::platform
