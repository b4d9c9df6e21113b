// Permissions that change who may read a folder change what a scan finds in it: the live tree
// follows. Run as an ordinary user (in a user namespace of its own), whom permissions stop.
#include "controller/FileController.h"
#include "logs/LogController.h"
#include "platform/MainQueue.h"
#include "support/LiveTree.h"
#include "support/TemporaryDirectory.h"
#include "support/UserNamespace.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace tessera {
namespace {

using namespace tessera::testing;

std::size_t readErrorsAbout(const std::string& path, std::size_t from) {
    const auto& logs = LogController::shared().logs();
    std::size_t count = 0;
    for (std::size_t i = from; i < logs.size(); ++i)
        count += logs[i].isError() && !logs[i].isWatchError() && logs[i].path() == path ? 1 : 0;
    return count;
}

// Runs the current test again as an ordinary user in a user namespace of its own (skipped, with
// the reason, where user namespaces are refused).
void rerunAsOrdinaryUser() {
    if (const std::string refused = rerunCurrentTestInUserNamespace(UserNamespace::ordinaryUser);
        !refused.empty())
        GTEST_SKIP() << refused;
}

std::int64_t unreadableCount(const LiveFolder& live) {
    const auto account = live.controller->volumeAccount();
    return account ? account->unreadable : -1;
}

// Runs the main queue until the volume's account counts `expected` unreadable entries.
bool countsUnreadable(const LiveFolder& live, std::int64_t expected) {
    return MainQueue::shared().runUntil([&] { return unreadableCount(live) == expected; },
                                        std::chrono::seconds(30));
}

TEST(LivePermissionsTest, AFolderThatBecomesReadableOrUnreadableIsMeasuredAgain) {
    if (!inOwnUserNamespace()) {
        rerunAsOrdinaryUser();
        return;
    }
    TemporaryDirectory folder;
    folder.writeFile("open/a", 10'000);
    folder.writeFile("locked/secret", 40'000);
    folder.writeFile("locked/inner/deeper", 1'000);
    const std::string locked = folder / "locked";
    ASSERT_EQ(::chmod(locked.c_str(), 0), 0);
    const std::size_t logged = LogController::shared().logs().size();
    LiveFolder live(folder.path());
    ASSERT_NE(live.controller->rootFile(), nullptr);
    EXPECT_EQ(live.root().size(), 10'000);
    EXPECT_EQ(readErrorsAbout(locked, logged), 1u);

    ASSERT_EQ(::chmod(locked.c_str(), 0755), 0);
    EXPECT_TRUE(live.settle()) << dumpTree(live.root());
    EXPECT_EQ(live.root().size(), 51'000);
    // Readable now, it is watched too: what happens inside is followed.
    folder.writeFile("locked/inner/later", 500);
    EXPECT_TRUE(live.settle()) << dumpTree(live.root());

    ASSERT_EQ(::chmod(locked.c_str(), 0), 0);
    EXPECT_TRUE(MainQueue::shared().runUntil([&] { return live.root().size() == 10'000; },
                                             std::chrono::seconds(30)));
    EXPECT_EQ(readErrorsAbout(locked, logged), 2u); // the log says so again
    EXPECT_TRUE(live.settle()) << dumpTree(live.root());
    ::chmod(locked.c_str(), 0755);
}

// The volume's account counts what cannot be read as the tree finds it now: an entry readable
// again, deleted or moved away is no longer counted, one that becomes unreadable is, and a
// moved one is counted once, where it went.
TEST(LivePermissionsTest, TheUnreadableEntriesCountedAreThoseOfTheTreeAsItIsNow) {
    if (!inOwnUserNamespace()) {
        rerunAsOrdinaryUser();
        return;
    }
    TemporaryDirectory folder;
    TemporaryDirectory outside;
    folder.writeFile("open/a", 10'000);
    folder.writeFile("locked/secret", 40'000);
    folder.writeFile("nested/deep/locked/secret", 2'000);
    folder.makeDirectory("empty-locked");
    const std::string locked = folder / "locked";
    const std::string deepLocked = folder / "nested/deep/locked";
    const std::string emptyLocked = folder / "empty-locked";
    for (const std::string& path : {locked, deepLocked, emptyLocked})
        ASSERT_EQ(::chmod(path.c_str(), 0), 0);
    LiveFolder live(folder.path());
    ASSERT_NE(live.controller->rootFile(), nullptr);
    if (unreadableCount(live) < 0)
        GTEST_SKIP() << "the volume of " << folder.path() << " cannot be asked for its space";
    EXPECT_EQ(unreadableCount(live), 3);

    // Readable again, then not.
    ASSERT_EQ(::chmod(locked.c_str(), 0755), 0);
    EXPECT_TRUE(countsUnreadable(live, 2));
    EXPECT_TRUE(live.settle()) << dumpTree(live.root());
    ASSERT_EQ(::chmod(locked.c_str(), 0), 0);
    EXPECT_TRUE(countsUnreadable(live, 3));

    // Renamed: once, at its new name (a neighbour of the old one); a folder above one moved
    // out: gone. (A folder nobody may write cannot change its parent.)
    ASSERT_EQ(::rename(locked.c_str(), (folder / "locked again").c_str()), 0);
    EXPECT_TRUE(live.settle()) << dumpTree(live.root());
    EXPECT_EQ(unreadableCount(live), 3);
    ASSERT_EQ(::rename((folder / "nested").c_str(), (outside / "nested").c_str()), 0);
    EXPECT_TRUE(countsUnreadable(live, 2));

    // Deleted.
    ASSERT_EQ(::rmdir(emptyLocked.c_str()), 0);
    EXPECT_TRUE(countsUnreadable(live, 1));
    EXPECT_TRUE(live.settle()) << dumpTree(live.root());
    EXPECT_EQ(unreadableCount(live), 1);

    // An empty folder that cannot be read any more changes no node of the tree: the observers
    // still hear that the count changed (the outline asks for its account then).
    const std::string empty = folder.makeDirectory("empty");
    EXPECT_TRUE(live.settle()) << dumpTree(live.root());
    const int heard = live.observer->leftOutChanges;
    ASSERT_EQ(::chmod(empty.c_str(), 0), 0);
    EXPECT_TRUE(countsUnreadable(live, 2));
    EXPECT_GT(live.observer->leftOutChanges, heard);
    ::chmod(empty.c_str(), 0755);
    for (const std::string& path : {folder / "locked again", outside / "nested/deep/locked"})
        ::chmod(path.c_str(), 0755);
}

} // namespace
} // namespace tessera
