#include "platform/InotifyWatcher.h"

#include "support/TemporaryDirectory.h"
#include "support/UserNamespace.h"

#include <condition_variable>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace tessera::platform {
namespace {

using namespace tessera::testing;
using Kind = FileEvent::Kind;

// Collects events from the watcher's thread; tests wait for a condition with a generous bound.
class Recorder {
public:
    InotifyWatcher::Handler handler() {
        return [this](std::vector<FileEvent> batch) {
            std::unique_lock lock(mutex_);
            events_.insert(events_.end(), batch.begin(), batch.end());
            // Held, the watcher's thread reads no events: what happens meanwhile comes in one
            // batch afterwards, as on a busy machine.
            held_ = hold_;
            changed_.notify_all();
            changed_.wait(lock, [this] { return !hold_; });
            held_ = false;
        };
    }
    /// From the next batch on, the watcher's thread waits in the handler until released.
    void hold() {
        std::lock_guard lock(mutex_);
        hold_ = true;
    }
    bool waitUntilHeld() {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(10), [this] { return held_; });
    }
    void release() {
        std::lock_guard lock(mutex_);
        hold_ = false;
        changed_.notify_all();
    }
    bool waitFor(const FileEvent& wanted) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(10), [&] {
            return std::find(events_.begin(), events_.end(), wanted) != events_.end();
        });
    }
    std::vector<FileEvent> events() {
        std::lock_guard lock(mutex_);
        return events_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<FileEvent> events_;
    bool hold_ = false;
    bool held_ = false;
};

TEST(InotifyWatcherTest, CreationsWritesMovesAndDeletionsArriveInOrder) {
    TemporaryDirectory folder;
    folder.makeDirectory("sub");
    Recorder recorder;
    auto watcher = InotifyWatcher::start(folder.path(), recorder.handler());
    ASSERT_TRUE(watcher.has_value()) << watcher.error();

    const std::string file = folder.writeFile("sub/new.txt", 10);
    EXPECT_TRUE(recorder.waitFor({Kind::appeared, file, {}}));
    EXPECT_TRUE(recorder.waitFor({Kind::changed, file, {}}));

    // A folder made after the start is watched too, and so is what is made inside it.
    const std::string later = folder.makeDirectory("later");
    EXPECT_TRUE(recorder.waitFor({Kind::appeared, later, {}}));
    const std::string inner = folder.writeFile("later/inner", 1);
    EXPECT_TRUE(recorder.waitFor({Kind::appeared, inner, {}}));

    // Moves keep both paths; a moved folder's watches follow it.
    ASSERT_EQ(std::rename(later.c_str(), (folder / "renamed").c_str()), 0);
    EXPECT_TRUE(recorder.waitFor({Kind::moved, later, folder / "renamed"}));
    const std::string deeper = folder.writeFile("renamed/deeper", 1);
    EXPECT_TRUE(recorder.waitFor({Kind::appeared, deeper, {}}));

    ASSERT_EQ(std::remove(file.c_str()), 0);
    EXPECT_TRUE(recorder.waitFor({Kind::deleted, file, {}}));

    const auto events = recorder.events();
    const auto at = [&](const FileEvent& e) { return std::find(events.begin(), events.end(), e); };
    EXPECT_LT(at({Kind::appeared, file, {}}), at({Kind::deleted, file, {}}));
}

// A folder made just before its parent moves is gone from its path when its creation is read:
// it is watched where the move took it.
TEST(InotifyWatcherTest, AFolderMadeJustBeforeItsParentMovedIsWatchedWhereItWent) {
    TemporaryDirectory folder;
    folder.makeDirectory("parent");
    Recorder recorder;
    auto watcher = InotifyWatcher::start(folder.path(), recorder.handler());
    ASSERT_TRUE(watcher.has_value()) << watcher.error();

    recorder.hold();
    folder.writeFile("gate", 1);
    ASSERT_TRUE(recorder.waitUntilHeld());
    folder.makeDirectory("parent/child");
    ASSERT_EQ(std::rename((folder / "parent").c_str(), (folder / "moved").c_str()), 0);
    recorder.release();
    EXPECT_TRUE(recorder.waitFor({Kind::moved, folder / "parent", folder / "moved"}));

    const std::string inner = folder.writeFile("moved/child/inner", 1);
    EXPECT_TRUE(recorder.waitFor({Kind::appeared, inner, {}}));
}

TEST(InotifyWatcherTest, MovesAcrossTheRootsEdgeAreAppearancesAndDeletions) {
    TemporaryDirectory outside;
    TemporaryDirectory folder;
    Recorder recorder;
    auto watcher = InotifyWatcher::start(folder.path(), recorder.handler());
    ASSERT_TRUE(watcher.has_value());

    const std::string incoming = outside.makeDirectory("incoming");
    outside.writeFile("incoming/payload", 5);
    ASSERT_EQ(std::rename(incoming.c_str(), (folder / "incoming").c_str()), 0);
    EXPECT_TRUE(recorder.waitFor({Kind::appeared, folder / "incoming", {}}));
    // The moved-in folder is watched from now on.
    const std::string inside = folder.writeFile("incoming/second", 1);
    EXPECT_TRUE(recorder.waitFor({Kind::appeared, inside, {}}));

    ASSERT_EQ(std::rename((folder / "incoming").c_str(), (outside / "back").c_str()), 0);
    EXPECT_TRUE(recorder.waitFor({Kind::deleted, folder / "incoming", {}}));
}

TEST(InotifyWatcherTest, TheRootItselfMovingOrGoingIsReported) {
    TemporaryDirectory parent;
    const std::string root = parent.makeDirectory("root");
    Recorder recorder;
    auto watcher = InotifyWatcher::start(root, recorder.handler());
    ASSERT_TRUE(watcher.has_value());

    ASSERT_EQ(std::rename(root.c_str(), (parent / "moved").c_str()), 0);
    EXPECT_TRUE(recorder.waitFor({Kind::rootMoved, root, parent / "moved"}));
    // Paths below follow the new place.
    const std::string file = parent.writeFile("moved/file", 1);
    EXPECT_TRUE(recorder.waitFor({Kind::appeared, file, {}}));

    std::filesystem::remove_all(parent / "moved");
    EXPECT_TRUE(recorder.waitFor({Kind::rootDeleted, parent / "moved", {}}));

    EXPECT_FALSE(InotifyWatcher::start(parent / "missing", recorder.handler()).has_value());
}

TEST(InotifyWatcherTest, AnOverflowIsReportedAndFoldersMadeMeanwhileAreWatched) {
    std::ifstream limitFile("/proc/sys/fs/inotify/max_queued_events");
    long limit = 0;
    limitFile >> limit;
    if (limit <= 0 || limit > 100000) GTEST_SKIP() << "event queue too long to overflow quickly";

    TemporaryDirectory folder;
    // The handler holds the watcher's thread on its first batch while the kernel's queue fills.
    std::mutex mutex;
    std::condition_variable released;
    bool go = false;
    Recorder recorder;
    auto record = recorder.handler();
    auto watcher = InotifyWatcher::start(folder.path(), [&](std::vector<FileEvent> batch) {
        std::unique_lock lock(mutex);
        released.wait(lock, [&] { return go; });
        lock.unlock();
        record(std::move(batch));
    });
    ASSERT_TRUE(watcher.has_value()) << watcher.error();
    folder.writeFile("first", 1);
    for (long i = 0; i <= limit; ++i)
        ::close(::open((folder / ("f" + std::to_string(i))).c_str(), O_CREAT | O_WRONLY, 0644));
    const std::string late = folder.makeDirectory("made-during-the-overflow");
    {
        std::lock_guard lock(mutex);
        go = true;
    }
    released.notify_all();
    EXPECT_TRUE(recorder.waitFor({Kind::lost, folder.path(), {}}));
    const std::string inside = folder.writeFile("made-during-the-overflow/inner", 1);
    EXPECT_TRUE(recorder.waitFor({Kind::appeared, inside, {}}));
}

// A scan's threads watch the folders they open, side by side, while changes arrive: every
// folder ends up watched under its own path, and the process's working folder stays put.
TEST(InotifyWatcherTest, FoldersWatchedFromManyThreadsAtOnceAreEachWatched) {
    TemporaryDirectory folder;
    TemporaryDirectory workingFolder;
    workingFolder.writeFile("marker", 1);
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(workingFolder.path());
    struct Restore {
        std::filesystem::path to;
        ~Restore() { std::filesystem::current_path(to); }
    } restore{before};
    Recorder recorder;
    auto watcher = InotifyWatcher::start(folder.path(), recorder.handler(),
                                         InotifyWatcher::Coverage::rootOnly);
    ASSERT_TRUE(watcher.has_value()) << watcher.error();
    constexpr int kThreads = 4;
    constexpr int kFolders = 200;
    std::vector<std::string> folders;
    for (int i = 0; i < kFolders; ++i)
        folders.push_back(folder.makeDirectory("d" + std::to_string(i)));
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            // Half the threads step into the folders they watch.
            if (t % 2 == 0) InotifyWatcher::prepareWatchingThread();
            for (int i = t; i < kFolders; i += kThreads) {
                const int fd = ::open(folders[i].c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
                if (fd < 0) continue;
                (*watcher)->watchFolder(fd, folders[i]);
                // Changes made right after the watch, while other threads add theirs.
                ::close(
                    ::open((folders[i] + "/early").c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644));
                ::close(fd);
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    // The process's working folder stayed where it was.
    EXPECT_TRUE(std::filesystem::exists("marker"));
    for (const std::string& watched : folders) {
        EXPECT_TRUE(recorder.waitFor({Kind::appeared, watched + "/early", {}})) << watched;
        const std::string file = watched + "/late";
        ::close(::open(file.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644));
        EXPECT_TRUE(recorder.waitFor({Kind::appeared, file, {}})) << file;
    }
}

// A thread prepared to step into folders, whose way back to its working folder closes: it
// goes on watching (through /proc), and the process goes on too.
TEST(InotifyWatcherTest, AThreadWhoseWorkingFolderClosesGoesOnWatching) {
    if (!inOwnUserNamespace()) {
        // Permissions stop an ordinary user only.
        if (const std::string refused =
                rerunCurrentTestInUserNamespace(UserNamespace::ordinaryUser);
            !refused.empty())
            GTEST_SKIP() << refused;
        return;
    }
    TemporaryDirectory folder;
    TemporaryDirectory workingFolder;
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(workingFolder.path());
    struct Restore {
        std::filesystem::path to;
        std::string closed;
        ~Restore() {
            ::chmod(closed.c_str(), 0755);
            std::filesystem::current_path(to);
        }
    } restore{before, workingFolder.path()};
    Recorder recorder;
    auto watcher = InotifyWatcher::start(folder.path(), recorder.handler(),
                                         InotifyWatcher::Coverage::rootOnly);
    ASSERT_TRUE(watcher.has_value()) << watcher.error();
    const std::vector<std::string> folders = {folder.makeDirectory("a"), folder.makeDirectory("b")};
    std::thread([&] {
        InotifyWatcher::prepareWatchingThread();
        for (const std::string& path : folders) {
            const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            ASSERT_GE(fd, 0);
            (*watcher)->watchFolder(fd, path);
            ::close(fd);
            ASSERT_EQ(::chmod(workingFolder.path().c_str(), 0), 0); // after the first
        }
    }).join();
    // A thread that starts in a working folder it may not search is not prepared at all.
    std::thread([&] {
        InotifyWatcher::prepareWatchingThread();
        const int fd = ::open(folders[0].c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        (*watcher)->watchFolder(fd, folders[0]);
        ::close(fd);
    }).join();
    for (const std::string& watched : folders) {
        const std::string file = watched + "/new";
        ::close(::open(file.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644));
        EXPECT_TRUE(recorder.waitFor({Kind::appeared, file, {}})) << file;
    }
}

} // namespace
} // namespace tessera::platform
