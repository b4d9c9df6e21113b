// The live tree under real inotify: what observers hear for each kind of change.
#include "controller/FileController.h"
#include "controller/SearchSession.h"
#include "favorites/PredicateText.h"
#include "model/FilePredicate.h"
#include "platform/MainQueue.h"
#include "support/LiveTree.h"
#include "support/TemporaryDirectory.h"

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <mutex>
#include <sys/mount.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace tessera {
namespace {

using namespace tessera::testing;
namespace fs = std::filesystem;

bool runUntil(const std::function<bool()>& done) {
    return MainQueue::shared().runUntil(done, std::chrono::seconds(30));
}

void append(const std::string& path, std::size_t bytes) {
    std::ofstream out(path, std::ios::app | std::ios::binary);
    out << std::string(bytes, 'x');
}

class LiveUpdateTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder.writeFile("big", 1000);
        folder.writeFile("small", 10);
        folder.writeFile("sub/x", 100);
        folder.writeFile("sub/y", 50);
        live = std::make_unique<LiveFolder>(folder.path());
        ASSERT_NE(live->controller->rootFile(), nullptr);
        live->observer->lines.clear();
    }
    void TearDown() override { live.reset(); }
    std::vector<std::string>& lines() { return live->observer->lines; }
    bool heard(const std::string& prefix) {
        return runUntil([&] { return !live->observer->linesStartingWith(prefix).empty(); });
    }

    TemporaryDirectory folder;
    TemporaryDirectory outside;
    std::unique_ptr<LiveFolder> live;
};

TEST_F(LiveUpdateTest, ANewFileIsInsertedAfterItsAncestorsMoved) {
    // sub grows from 150 to 5150 bytes and passes big: its move comes first, then the insertion.
    std::ofstream(folder / "sub/new", std::ios::binary) << std::string(5000, 'n');
    ASSERT_TRUE(heard("insert sub/new"));
    // sub's new modification date may be told on its own, before or after, depending on how
    // the kernel splits the creation and the write into events; the order is what matters.
    std::vector<std::string> structural = lines();
    std::erase(structural, std::string("change sub"));
    const std::vector<std::string> expected{"order sub 1->0", "insert sub/new @0 root 6160/5"};
    EXPECT_EQ(structural, expected);
    EXPECT_TRUE(live->settle());
}

TEST_F(LiveUpdateTest, AFileThatGrowsKeepsItsNodeAndMovesToItsPlace) {
    File* small = live->root().fileAtPath("small");
    append(folder / "small", 2000);
    ASSERT_TRUE(heard("move"));
    EXPECT_EQ(live->root().fileAtPath("small"), small);
    EXPECT_EQ(lines().front(), "move . @2 -> small @0 root 3160/4");
    EXPECT_TRUE(live->settle());
}

TEST_F(LiveUpdateTest, RenamesMovesOutAndOntoTakenNames) {
    File* y = live->root().fileAtPath("sub/y");
    fs::rename(folder / "sub/y", folder / "sub/a-y");
    ASSERT_TRUE(heard("move sub @1 -> sub/a-y @1"));
    EXPECT_EQ(live->root().fileAtPath("sub/a-y"), y);

    fs::rename(folder / "small", outside / "small");
    ASSERT_TRUE(heard("remove small from . @2"));

    // Moved onto an existing name: the moved node goes, the one under the name is measured
    // again (it now holds the moved file's bytes).
    fs::rename(folder / "sub/x", folder / "big");
    ASSERT_TRUE(heard("remove x from sub"));
    EXPECT_TRUE(live->settle());
    EXPECT_EQ(live->root().fileAtPath("big")->size(), 100);

    fs::rename(outside / "small", folder / "sub/back");
    ASSERT_TRUE(heard("insert sub/back"));
    EXPECT_TRUE(live->settle());
}

TEST_F(LiveUpdateTest, FilteredObserversHearOnlyOfWhatMatches) {
    // The filtered copy holds sub because of early.log; a folder without a match has no copy,
    // and what appears in it is not shown to this observer.
    folder.writeFile("sub/early.log", 1);
    ASSERT_TRUE(live->settle());
    RecordingObserver filtered(*live->controller);
    auto predicate = parsePredicate("path endswith \".log\"");
    ASSERT_TRUE(predicate.has_value()) << predicate.error();
    filtered.showFiltered(std::make_shared<Predicate>(std::move(*predicate)));
    live->controller->addObserver(filtered);

    folder.writeFile("sub/plain.txt", 7);
    folder.writeFile("sub/trace.log", 9);
    ASSERT_TRUE(heard("insert sub/trace.log"));
    ASSERT_TRUE(runUntil([&] { return !filtered.linesStartingWith("insert").empty(); }));
    EXPECT_TRUE(live->settle());
    for (const std::string& line : filtered.lines)
        EXPECT_EQ(line.find("plain"), std::string::npos) << line;
    EXPECT_EQ(filtered.observedRootFile()->fileAtPath("sub/trace.log")->size(), 9);
    EXPECT_EQ(filtered.observedRootFile()->size(), 10);

    fs::remove(folder / "sub/trace.log");
    ASSERT_TRUE(runUntil([&] { return !filtered.linesStartingWith("remove").empty(); }));
    EXPECT_EQ(filtered.observedRootFile()->fileAtPath("sub/trace.log"), nullptr);
    EXPECT_EQ(filtered.observedRootFile()->size(), 1);

    // A folder renamed to a name that does not match keeps the matches inside it.
    fs::rename(folder / "sub", folder / "renamed");
    ASSERT_TRUE(heard("move . @"));
    ASSERT_TRUE(runUntil(
        [&] { return filtered.observedRootFile()->fileAtPath("renamed/early.log") != nullptr; }));
    EXPECT_EQ(filtered.observedRootFile()->fileAtPath("sub"), nullptr);
    live->controller->removeObserver(filtered);
}

// A search result's rows, rebuilt from nothing but the notifications, stay what filtering the
// tree afresh gives: a match that outgrows its sibling moves above it, and a folder held in the
// result only by a match leaves it when the match moves out.
TEST_F(LiveUpdateTest, ASearchResultFollowsTheDiskAsAFreshFilterWould) {
    folder.writeFile("sub/a.log", 300);
    folder.writeFile("sub/b.log", 200);
    folder.writeFile("plain/c.log", 100);
    folder.writeFile("plain/d.txt", 5000);
    ASSERT_TRUE(live->settle());
    auto predicate = parsePredicate("path endswith \".log\"");
    ASSERT_TRUE(predicate.has_value()) << predicate.error();
    const auto filter = std::make_shared<Predicate>(std::move(*predicate));
    MirrorObserver rows(*live->controller, filter);
    live->controller->addObserver(rows);
    ASSERT_EQ(rows.differences(), ""); // every folder of the result looked at once
    const auto agrees = [&] {
        return rows.differences().empty() &&
               dumpTree(*rows.observedRootFile()) == filteredDump(live->root(), *filter);
    };

    append(folder / "sub/b.log", 500);
    ASSERT_TRUE(live->settle());
    EXPECT_TRUE(runUntil(agrees)) << rows.differences() << dumpTree(*rows.observedRootFile());
    const Directory* sub = rows.observedRootFile()->fileAtPath("sub")->asDirectory();
    EXPECT_EQ(sub->child(0)->path(), "b.log");

    fs::rename(folder / "plain/c.log", folder / "sub/c.log");
    ASSERT_TRUE(live->settle());
    EXPECT_TRUE(runUntil(agrees)) << rows.differences() << dumpTree(*rows.observedRootFile());
    EXPECT_EQ(rows.observedRootFile()->fileAtPath("plain"), nullptr);

    fs::rename(folder / "sub/a.log", outside / "a.log");
    ASSERT_TRUE(live->settle());
    EXPECT_TRUE(runUntil(agrees)) << rows.differences() << dumpTree(*rows.observedRootFile());
    live->controller->removeObserver(rows);
}

TEST_F(LiveUpdateTest, AFileMeasuredAgainTakesItsNewDatesAndObserversHearOfIt) {
    File* small = live->root().fileAtPath("small");
    const auto past = fs::file_time_type::clock::now() - std::chrono::hours(24 * 400);
    fs::last_write_time(folder / "small", past);
    ASSERT_TRUE(heard("change small"));
    EXPECT_EQ(live->root().fileAtPath("small"), small);
    const auto now = std::chrono::duration_cast<std::chrono::seconds>(
                         std::chrono::system_clock::now().time_since_epoch())
                         .count();
    EXPECT_LT(small->modificationDate().seconds, now - 399 * 86400);
    EXPECT_TRUE(live->settle()); // the dump compares dates too
}

// The volume's account counts what the filter leaves out of the tree as it is now.
std::int64_t excludedCount(const LiveFolder& live) {
    const auto account = live.controller->volumeAccount();
    return account ? account->excluded : -1;
}

TEST(LiveExclusionTest, RenamesIntoAndOutOfTheExclusionFollowIt) {
    TemporaryDirectory folder;
    folder.writeFile("fine", 10);
    folder.writeFile("keep/inner", 20);
    folder.writeFile("keep/old.cache/deep", 5); // one entry left out, whatever is inside
    LiveFolder live(folder.path(),
                    std::make_shared<const Predicate>(*parsePredicate("path endswith \".cache\"")));
    ASSERT_NE(live.controller->rootFile(), nullptr);
    EXPECT_EQ(excludedCount(live), 1);
    fs::rename(folder / "fine", folder / "fine.cache");
    ASSERT_TRUE(live.settle());
    EXPECT_EQ(live.root().fileAtPath("fine"), nullptr);
    EXPECT_EQ(live.root().size(), 20);
    EXPECT_EQ(excludedCount(live), 2);
    fs::rename(folder / "keep", folder / "keep.cache");
    ASSERT_TRUE(live.settle());
    EXPECT_EQ(live.root().count(), 0u);
    EXPECT_EQ(excludedCount(live), 2); // what it held is no longer counted on its own
    fs::rename(folder / "keep.cache", folder / "keep");
    fs::rename(folder / "fine.cache", folder / "keep/fine");
    ASSERT_TRUE(live.settle());
    EXPECT_EQ(live.root().size(), 30);
    EXPECT_TRUE(MainQueue::shared().runUntil([&] { return excludedCount(live) == 1; },
                                             std::chrono::seconds(30)))
        << excludedCount(live);

    // Made, and deleted.
    folder.writeFile("new.cache", 7);
    EXPECT_TRUE(MainQueue::shared().runUntil([&] { return excludedCount(live) == 2; },
                                             std::chrono::seconds(30)))
        << excludedCount(live);
    fs::remove_all(folder / "keep/old.cache");
    EXPECT_TRUE(MainQueue::shared().runUntil([&] { return excludedCount(live) == 1; },
                                             std::chrono::seconds(30)))
        << excludedCount(live);
    ASSERT_TRUE(live.settle());
    EXPECT_EQ(live.root().size(), 30);
}

// Holds the search on its first node until the test lets it go.
class GatedPredicate final : public FilePredicate {
public:
    bool evaluate(const File& file) const override {
        std::unique_lock lock(mutex_);
        entered_ = true;
        changed_.notify_all();
        changed_.wait(lock, [this] { return open_; });
        return file.path().starts_with("held");
    }
    void open() {
        std::lock_guard lock(mutex_);
        open_ = true;
        changed_.notify_all();
    }
    void waitUntilEntered() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return entered_; });
    }

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    mutable bool entered_ = false;
    bool open_ = false;
};

struct SearchResults : SearchSessionDelegate {
    void searchSessionDidFinish(FilePtr found,
                                const std::shared_ptr<const FilePredicate>&) override {
        result = std::move(found);
        ++deliveries;
    }
    FilePtr result;
    int deliveries = 0;
};

TEST_F(LiveUpdateTest, ASearchHoldsUpdatesBackUntilItsResultIsIn) {
    FileController& controller = *live->controller;
    SearchResults results;
    SearchSession session(results, MainQueue::shared());
    auto gate = std::make_shared<GatedPredicate>();
    session.start(live->controller, live->root(), gate);
    gate->waitUntilEntered(); // the search is reading the tree now
    for (int i = 0; i < 5; ++i)
        folder.writeFile("sub/held" + std::to_string(i), 10 + i);
    ASSERT_TRUE(runUntil([&] { return controller.pendingUpdateCount() >= 5; }));
    EXPECT_TRUE(lines().empty());
    EXPECT_EQ(live->root().fileCount(), 4);

    gate->open();
    ASSERT_TRUE(runUntil([&] { return results.deliveries == 1; }));
    EXPECT_EQ(results.result, nullptr); // nothing was named "held…" when the search read it
    EXPECT_FALSE(controller.isUpdateQueuePaused());
    EXPECT_TRUE(live->settle());
    const auto inserts = live->observer->linesStartingWith("insert");
    ASSERT_EQ(inserts.size(), 5u);
    for (int i = 0; i < 5; ++i)
        EXPECT_TRUE(inserts[i].starts_with("insert sub/held" + std::to_string(i))) << inserts[i];

    // A search that is replaced delivers nothing; a cancelled one lets updates run at once.
    auto open = std::make_shared<GatedPredicate>();
    open->open();
    session.start(live->controller, live->root(), open);
    session.cancel();
    EXPECT_FALSE(controller.isUpdateQueuePaused());
    MainQueue::shared().runPending();
    EXPECT_EQ(results.deliveries, 1);
}

TEST_F(LiveUpdateTest, TheRootMovesAndIsDeleted) {
    const std::string moved = outside / "renamed";
    fs::rename(folder.path(), moved);
    ASSERT_TRUE(heard("change ."));
    EXPECT_EQ(live->controller->rootPath(), moved);
    EXPECT_EQ(live->controller->displayName(live->root()), "renamed");

    // Changes keep coming under the new name.
    std::ofstream(moved + "/later", std::ios::binary) << "abc";
    ASSERT_TRUE(heard("insert later"));
    EXPECT_TRUE(live->settle());

    fs::remove_all(moved);
    ASSERT_TRUE(heard("close"));
    EXPECT_EQ(live->controller->rootFile(), nullptr);
    fs::create_directory(folder.path()); // for the temporary folder's own clean-up
}

TEST_F(LiveUpdateTest, LostEventsAreLoggedAndTheTreeIsMeasuredAgain) {
    // Let the tree drift as if events had been lost: a node missing, one that is not on disk,
    // and a wrong size.
    Directory& root = live->root();
    root.remove(*root.fileAtPath("small"));
    root.fileAtPath("sub")->asDirectory()->add(File::create("ghost", 5, 5, {}, {}));
    File* x = root.fileAtPath("sub/x");
    x->parent()->updateSizes(x, 7, 0, 0);
    File* big = root.fileAtPath("big");

    live->controller->apply({LiveChange::Kind::lost, {}, {}, folder.path()});
    EXPECT_TRUE(live->settle());
    EXPECT_EQ(root.fileAtPath("big"), big) << "unchanged nodes keep their identity";
    EXPECT_NE(live->observer->linesStartingWith("remove ghost").size(), 0u);
    EXPECT_NE(live->observer->linesStartingWith("insert small").size(), 0u);
}

} // namespace
} // namespace tessera

namespace tessera {
namespace {

using namespace tessera::testing;

// A file made deep down changes every ancestor's size but none of their places: observers hear
// of the insertion and of no order change.
TEST(LiveOrderChanges, OnlyAncestorsThatChangedPlaceAreReported) {
    TemporaryDirectory folder;
    folder.writeFile("a/b/c/d/e/old", 10);
    folder.writeFile("big", 100'000);
    LiveFolder live(folder.path());
    ASSERT_NE(live.controller->rootFile(), nullptr);
    live.observer->lines.clear();
    folder.writeFile("a/b/c/d/e/new", 10);
    ASSERT_TRUE(MainQueue::shared().runUntil(
        [&] { return !live.observer->linesStartingWith("insert a/b/c/d/e/new").empty(); },
        std::chrono::seconds(30)));
    EXPECT_TRUE(live.observer->linesStartingWith("order").empty())
        << ::testing::PrintToString(live.observer->lines);
    EXPECT_TRUE(live.settle());
}

// Folders whose paths are longer than one system call takes (4,096 bytes) are followed like
// any other: their watches and measurements go through descriptors.
TEST(LiveDeepFolders, ChangesBelowPathsLongerThanTheKernelTakesAreFollowed) {
    TemporaryDirectory folder;
    const std::string name(200, 'd');
    int deepest = ::open(folder.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (int level = 0; level < 25; ++level) {
        ASSERT_EQ(::mkdirat(deepest, name.c_str(), 0755), 0);
        const int next = ::openat(deepest, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(deepest);
        deepest = next;
        ASSERT_GE(deepest, 0);
    }
    LiveFolder live(folder.path());
    ASSERT_NE(live.controller->rootFile(), nullptr);
    const std::int64_t before = live.controller->rootFile()->size();

    const int file = ::openat(deepest, "new", O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_GE(file, 0);
    ASSERT_EQ(::write(file, std::string(777, 'x').data(), 777), 777);
    ::close(file);
    ::close(deepest);
    EXPECT_TRUE(MainQueue::shared().runUntil(
        [&] { return live.controller->rootFile()->size() == before + 777; },
        std::chrono::seconds(30)));
    EXPECT_TRUE(live.settle());
}

// A file with three names, two in one folder: written through one, every name's node takes the
// new size, though the kernel tells only of the name written through.
TEST(LiveHardLinks, AFileWrittenThroughOneNameChangesUnderEveryName) {
    TemporaryDirectory folder;
    folder.writeFile("a/one", 100);
    folder.writeFile("b/other", 1);
    ASSERT_EQ(::link((folder / "a/one").c_str(), (folder / "a/two").c_str()), 0);
    ASSERT_EQ(::link((folder / "a/one").c_str(), (folder / "b/three").c_str()), 0);
    LiveFolder live(folder.path());
    ASSERT_NE(live.controller->rootFile(), nullptr);

    append(folder / "a/one", 5000);
    const auto sizeOf = [&](const char* path) {
        const File* file = live.controller->rootFile()->fileAtPath(path);
        return file != nullptr ? file->size() : -1;
    };
    EXPECT_TRUE(MainQueue::shared().runUntil(
        [&] {
            return sizeOf("a/one") == 5100 && sizeOf("a/two") == 5100 && sizeOf("b/three") == 5100;
        },
        std::chrono::seconds(30)))
        << sizeOf("a/one") << " " << sizeOf("a/two") << " " << sizeOf("b/three");
    EXPECT_TRUE(live.settle());

    // The names follow their folder when it moves (beside a folder whose name it begins).
    folder.writeFile("bb/other", 1);
    fs::rename(folder / "b", folder / "c");
    ASSERT_TRUE(live.settle());
    append(folder / "a/two", 900);
    EXPECT_TRUE(MainQueue::shared().runUntil(
        [&] { return sizeOf("a/one") == 6000 && sizeOf("c/three") == 6000; },
        std::chrono::seconds(30)))
        << sizeOf("a/one") << " " << sizeOf("c/three");
    EXPECT_TRUE(live.settle());
}

// A file with exactly two names, written through one that is then moved before the events are
// handled (a slow process sees the write and the move together, or the write's measurement
// after the move): the other name takes the new size too.
TEST(LiveHardLinks, AWriteToldWithTheMoveOfItsNameReachesTheOtherName) {
    TemporaryDirectory folder;
    folder.writeFile("a/one", 500);
    folder.writeFile("b/other", 1);
    folder.writeFile("c/other", 1);
    ASSERT_EQ(::link((folder / "a/one").c_str(), (folder / "b/two").c_str()), 0);
    LiveFolder live(folder.path());
    ASSERT_NE(live.controller->rootFile(), nullptr);
    const auto sizeOf = [&](const char* path) {
        const File* file = live.controller->rootFile()->fileAtPath(path);
        return file != nullptr ? file->size() : -1;
    };
    for (int round = 0; round < 3; ++round) {
        const std::string from = round % 2 == 0 ? "a/one" : "c/moved";
        const std::string to = round % 2 == 0 ? "c/moved" : "a/one";
        append(folder / from, 451);
        fs::rename(folder / from, folder / to);
        const std::int64_t expected = 500 + 451 * (round + 1);
        EXPECT_TRUE(MainQueue::shared().runUntil(
            [&] { return sizeOf(to.c_str()) == expected && sizeOf("b/two") == expected; },
            std::chrono::seconds(30)))
            << "round " << round << ": " << sizeOf(to.c_str()) << " " << sizeOf("b/two");
        EXPECT_TRUE(live.settle());
    }
}

// A file met with one name gets a second, written through at once (a slow process sees the new
// name and the write together): the first name takes the new size too, though no measurement
// had met the file with two names before. Also when the new name comes with its folder.
TEST(LiveHardLinks, ANewNameWrittenThroughAtOnceReachesTheFirstName) {
    TemporaryDirectory folder;
    folder.writeFile("a/one", 300);
    folder.writeFile("b/other", 1);
    LiveFolder live(folder.path());
    ASSERT_NE(live.controller->rootFile(), nullptr);
    const auto sizeOf = [&](const std::string& path) {
        const File* file = live.controller->rootFile()->fileAtPath(path);
        return file != nullptr ? file->size() : -1;
    };
    const std::string names[] = {"b/two", "c/three", "a/four"};
    std::int64_t expected = 300;
    for (const std::string& name : names) {
        fs::create_directories(fs::path(folder / name).parent_path());
        ASSERT_EQ(::link((folder / "a/one").c_str(), (folder / name).c_str()), 0);
        append(folder / name, 222);
        expected += 222;
        EXPECT_TRUE(MainQueue::shared().runUntil(
            [&] { return sizeOf("a/one") == expected && sizeOf(name) == expected; },
            std::chrono::seconds(30)))
            << name << ": " << sizeOf("a/one") << " " << sizeOf(name);
        EXPECT_TRUE(live.settle());
    }

    // The first other name of a file comes with its folder and is written through at once: the
    // folder's measurement meets the name with the new size, so no node carries the first name's
    // figures and only a search of the tree for the file finds it.
    folder.writeFile("a/solo", 300);
    ASSERT_TRUE(live.settle());
    fs::create_directories(folder / "d");
    ASSERT_EQ(::link((folder / "a/solo").c_str(), (folder / "d/five").c_str()), 0);
    append(folder / "d/five", 222);
    EXPECT_TRUE(MainQueue::shared().runUntil(
        [&] { return sizeOf("a/solo") == 522 && sizeOf("d/five") == 522; },
        std::chrono::seconds(30)))
        << sizeOf("a/solo") << " " << sizeOf("d/five");
    EXPECT_TRUE(live.settle());
}

// "._name" beside "name" is left out of a scan: when "name" comes, goes or is renamed, the live
// tree follows, and ends as a fresh scan has it.
TEST(LiveCompanions, ACompanionLeavesAndJoinsAsItsNameComesAndGoes) {
    TemporaryDirectory folder;
    folder.writeFile("._doc", 100);
    folder.writeFile("._pic", 200);
    folder.writeFile("pic", 5);
    LiveFolder live(folder.path());
    ASSERT_NE(live.controller->rootFile(), nullptr);
    const auto shown = [&](const char* path) {
        return live.controller->rootFile()->fileAtPath(path) != nullptr;
    };
    ASSERT_TRUE(shown("._doc"));
    ASSERT_FALSE(shown("._pic"));

    folder.writeFile("doc", 1);
    EXPECT_TRUE(MainQueue::shared().runUntil([&] { return shown("doc") && !shown("._doc"); },
                                             std::chrono::seconds(30)));
    EXPECT_TRUE(live.settle());

    fs::rename(folder / "pic", folder / "picture");
    fs::remove(folder / "doc");
    EXPECT_TRUE(MainQueue::shared().runUntil(
        [&] { return shown("._pic") && shown("._doc") && !shown("doc"); },
        std::chrono::seconds(30)));
    EXPECT_TRUE(live.settle());
}

// The first scan watches each folder as it opens it: changes made all over the tree while the
// scan runs are either in what it read or told afterwards, so the tree ends as a fresh scan.
TEST(LiveFirstScan, ChangesMadeWhileTheScanRunsAreNotLost) {
    TemporaryDirectory folder;
    constexpr int kFolders = 300;
    for (int f = 0; f < kFolders; ++f)
        for (int i = 0; i < 8; ++i)
            folder.writeFile("f" + std::to_string(f) + "/g/file" + std::to_string(i), 10 + i);
    std::atomic<bool> loaded{false};
    std::thread writer([&] {
        // Goes on a little after the tree is in place, so that changes land on both sides.
        for (int round = 0, after = 0; after < 50; ++round) {
            const std::string sub = "f" + std::to_string(round * 7 % kFolders) + "/g/";
            append(folder / (sub + "file" + std::to_string(round % 8)), 3);
            folder.writeFile(sub + "new" + std::to_string(round), 1);
            fs::remove(folder / (sub + "new" + std::to_string(round - 40)));
            if (loaded) ++after;
        }
    });
    LiveFolder live(folder.path());
    loaded = true;
    writer.join();
    ASSERT_NE(live.controller->rootFile(), nullptr);
    EXPECT_TRUE(live.settle()) << "tree:\n"
                               << dumpTree(live.root()) << "disk:\n"
                               << freshDump(folder.path(), nullptr);
}

// A scan neither enters nor counts a mount point below its root: a volume mounted inside the
// live tree covers its folder, which leaves the tree, and comes back measured once unmounted.
TEST(LiveMounts, AVolumeMountedInsideTheTreeCoversItsFolderUntilItGoes) {
    TemporaryDirectory folder;
    folder.writeFile("mnt/covered", 5000);
    folder.writeFile("other", 10);
    LiveFolder live(folder.path());
    ASSERT_NE(live.controller->rootFile(), nullptr);
    const std::string mountPoint = folder / "mnt";
    if (::mount("tessera-test", mountPoint.c_str(), "tmpfs", 0, "size=1m") != 0)
        GTEST_SKIP() << "no mounting here: " << std::strerror(errno);
    struct Unmount {
        std::string path;
        bool mounted = true;
        void now() {
            if (std::exchange(mounted, false)) ::umount2(path.c_str(), MNT_DETACH);
        }
        ~Unmount() { now(); }
    } unmount{mountPoint};
    const auto shown = [&](const char* path) {
        return live.controller->rootFile()->fileAtPath(path) != nullptr;
    };
    EXPECT_TRUE(
        MainQueue::shared().runUntil([&] { return !shown("mnt"); }, std::chrono::seconds(30)));
    EXPECT_TRUE(live.settle());

    unmount.now();
    EXPECT_TRUE(MainQueue::shared().runUntil([&] { return shown("mnt/covered"); },
                                             std::chrono::seconds(30)));
    EXPECT_TRUE(live.settle());
}

// A volume moved to another mount point inside the tree (the mount table tells it as a rename):
// the folder it left is measured again, and the one it now covers leaves the tree.
TEST(LiveMounts, AVolumeMovedToAnotherFolderUncoversTheFirstAndCoversTheSecond) {
    TemporaryDirectory folder;
    folder.writeFile("mnt/covered", 5000);
    folder.writeFile("dest/hidden", 7000);
    // A move needs a mount whose parent shares its mounts with no other: the folder, bound
    // onto itself and made private.
    const std::string top = folder.path();
    if (::mount(top.c_str(), top.c_str(), nullptr, MS_BIND, nullptr) != 0)
        GTEST_SKIP() << "no mounting here: " << std::strerror(errno);
    struct Unmount {
        std::vector<std::string> paths;
        ~Unmount() {
            for (auto it = paths.rbegin(); it != paths.rend(); ++it)
                ::umount2(it->c_str(), MNT_DETACH);
        }
    } unmount{{top}};
    ASSERT_EQ(::mount(nullptr, top.c_str(), nullptr, MS_PRIVATE, nullptr), 0)
        << std::strerror(errno);
    LiveFolder live(top);
    ASSERT_NE(live.controller->rootFile(), nullptr);
    const std::string first = folder / "mnt";
    const std::string second = folder / "dest";
    ASSERT_EQ(::mount("tessera-test", first.c_str(), "tmpfs", 0, "size=1m"), 0)
        << std::strerror(errno);
    unmount.paths.push_back(first);
    const auto shown = [&](const char* path) {
        return live.controller->rootFile()->fileAtPath(path) != nullptr;
    };
    ASSERT_TRUE(
        MainQueue::shared().runUntil([&] { return !shown("mnt"); }, std::chrono::seconds(30)));
    ASSERT_TRUE(live.settle());
    ASSERT_EQ(::mount(first.c_str(), second.c_str(), nullptr, MS_MOVE, nullptr), 0)
        << std::strerror(errno);
    unmount.paths.back() = second;
    EXPECT_TRUE(MainQueue::shared().runUntil([&] { return shown("mnt/covered") && !shown("dest"); },
                                             std::chrono::seconds(30)))
        << shown("mnt/covered") << " " << shown("dest");
    EXPECT_TRUE(live.settle());
}

} // namespace
} // namespace tessera
