// Changes below a folder, from inotify, as the live tree needs them: an entry appeared, changed,
// moved (both paths, paired by the kernel's cookie) or was deleted, and the folder itself moved
// or was deleted. Events arrive in order, in batches (one read of the kernel's queue), on the
// watcher's own thread.
//
// Folders that cannot be watched because the user's watch budget is spent
// (fs.inotify.max_user_watches) are polled instead, each at least every two seconds (less often
// when polling takes long), and watched as soon as the budget has room again.
//
// The watcher keeps no descriptor open on a folder of a disk that the user may unmount: a
// watched root there is followed when it is renamed in its own folder; moved further, or
// unmounted, it is reported gone. On the system's and the home folder's volumes an O_PATH
// descriptor follows the root wherever it moves.
#pragma once

#include <expected>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tessera::platform {

struct FileEvent {
    enum class Kind {
        appeared,       // path: a new entry (a moved-in one too)
        changed,        // path: its contents or attributes changed
        moved,          // path → newPath, both below the root
        deleted,        // path: gone (a moved-out one too)
        rootMoved,      // newPath: where the watched folder is now
        rootDeleted,    // the watched folder is gone
        lost,           // the kernel's queue overflowed: anything below path may have changed
        unwatched,      // the watch limit is reached: the folder path is polled instead of watched
        unwatchedEnded, // the folder path is watched again (the limit left room), or is gone
        stale,          // polling saw the entries of the unwatched folder path change
    };
    Kind kind;
    std::string path; // absolute
    std::string newPath;

    friend bool operator==(const FileEvent&, const FileEvent&) = default;
};

class InotifyWatcher {
public:
    using Handler = std::function<void(std::vector<FileEvent>)>;

    enum class Coverage {
        wholeTree, // every folder below the root is watched before start returns
        rootOnly,  // the caller watches the folders below with watchFolder, as a scan opens them
    };

    /// Watches `root` (and with `wholeTree` every folder below it); `handler` gets each batch on
    /// the watcher's thread. Folders made later are watched as they appear. Fails when inotify
    /// cannot be set up for the root itself.
    [[nodiscard]] static std::expected<std::unique_ptr<InotifyWatcher>, std::string>
    start(std::string root, Handler handler, Coverage coverage = Coverage::wholeTree);

    /// Watches the folder open at `directoryFd`, found at `path` below the root. Any thread; a
    /// scan calls it for each folder before reading its entries, so that a change is either in
    /// what the scan reads or told afterwards.
    void watchFolder(int directoryFd, const std::string& path);
    /// Makes watchFolder cheaper on the calling thread, for the rest of the thread's life: the
    /// thread gets a working folder of its own, steps into each folder to watch it and back.
    /// Only for threads made for one job that use no relative paths (a scan's helpers); a
    /// change of the process's working folder no longer reaches them.
    static void prepareWatchingThread();
    /// Stops the thread; no handler call runs after this returns.
    ~InotifyWatcher();

    InotifyWatcher(const InotifyWatcher&) = delete;
    InotifyWatcher& operator=(const InotifyWatcher&) = delete;

private:
    struct State;
    explicit InotifyWatcher(std::unique_ptr<State> state);
    std::unique_ptr<State> state_;
};

} // namespace tessera::platform
