#include "controller/FileController.h"

#include "favorites/Predicate.h"
#include "model/Localization.h"
#include "model/MergedFile.h"
#include "platform/MainQueue.h"
#include "snapshot/Snapshot.h"
#include "support/LiveTree.h"
#include "support/TemporaryDirectory.h"
#include "support/TreeBuilders.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace tessera {
namespace {

using namespace tessera::testing;
namespace fs = std::filesystem;

TEST(FileControllerTest, SnapshotControllersAreNeverScannedOrWatched) {
    auto controller = FileController::create("/nowhere/home.fssnapshot",
                                             dir("", file("a", 3), dir("b", file("c", 4))));
    EXPECT_TRUE(controller->isSnapshot());
    controller->startScan();
    EXPECT_EQ(controller->scanOperationCount(), 0);
    EXPECT_EQ(controller->operationQueue().operationCount(), 0u);
    EXPECT_EQ(controller->rootFile()->size(), 7);

    // Names come from the tree, and the root's from the file name without its extension.
    EXPECT_EQ(controller->displayName(*controller->rootFile()), "home");
    EXPECT_EQ(controller->displayName(*controller->rootFile()->child(0)), "a");
    MergedFile& merged = controller->rootFile()->mergedContents();
    merged.setMerge(2, 0);
    EXPECT_EQ(controller->displayName(merged), localizedCountFormat("file.display.childCount", 2));
    EXPECT_FALSE(controller->canMoveToTrash(merged));
    EXPECT_FALSE(controller->canMoveToTrash(*controller->rootFile()));
    // Its nodes stand for no files on this disk.
    EXPECT_FALSE(controller->canMoveToTrash(*controller->rootFile()->fileAtPath("b/c")));
}

TEST(FileControllerTest, SnapshotFilesAreReadAndBadOnesGiveNoTree) {
    TemporaryDirectory folder;
    auto tree = dir("", file("x", 5));
    {
        std::ofstream out(folder / "good.fssnapshot");
        out << Snapshot::makeData(*tree, {});
    }
    auto good = FileController::create(folder / "good.fssnapshot");
    ASSERT_NE(good->rootFile(), nullptr);
    EXPECT_EQ(good->rootFile()->size(), 5);

    {
        std::ofstream out(folder / "bad.fssnapshot");
        out << "[not a snapshot";
    }
    auto bad = FileController::create(folder / "bad.fssnapshot");
    EXPECT_TRUE(bad->isSnapshot());
    EXPECT_EQ(bad->rootFile(), nullptr);
}

// A snapshot may hold two entries of one name: deleting one takes that one out, not the first
// of the name, also while a search holds updates back.
TEST(FileControllerTest, DeletingFromASnapshotRemovesTheChosenEntryOfTwoWithOneName) {
    auto controller =
        FileController::create("/snapshots/twins.fssnapshot",
                               dir("", file("twin", 100), file("twin", 900), file("other", 5)));
    Directory& root = *controller->rootFile();
    const auto sizes = [&] {
        std::vector<std::int64_t> all;
        for (const File* child : root.contents())
            all.push_back(child->size());
        std::sort(all.begin(), all.end());
        return all;
    };
    const auto withSize = [&](std::int64_t size) {
        for (File* child : root.contents())
            if (child->size() == size) return child;
        return static_cast<File*>(nullptr);
    };
    // The second entry of the name goes, the first stays.
    EXPECT_TRUE(controller->removeFromSnapshot(*withSize(900)));
    EXPECT_EQ(sizes(), (std::vector<std::int64_t>{5, 100}));

    controller->pauseUpdates();
    EXPECT_TRUE(controller->removeFromSnapshot(*withSize(5)));
    EXPECT_EQ(sizes(), (std::vector<std::int64_t>{5, 100})); // held back
    controller->resumeUpdates();
    EXPECT_EQ(sizes(), (std::vector<std::int64_t>{100}));
    EXPECT_FALSE(controller->removeFromSnapshot(root));
}

TEST(FileControllerTest, FirstScanLoadsTheRootAndLaterProgressIsNotPassedOn) {
    TemporaryDirectory folder;
    folder.writeFile("a", 100);
    folder.writeFile("sub/b", 50);
    LiveFolder live(folder.path());
    ASSERT_NE(live.controller->rootFile(), nullptr);
    EXPECT_EQ(live.observer->lines, std::vector<std::string>{"load"});
    EXPECT_EQ(live.root().fileCount(), 2);
    EXPECT_TRUE(live.root().didLoadPackageFlag());
    EXPECT_EQ(live.controller->scanOperationCount(), 0);
    EXPECT_EQ(live.favorite->fileController(), live.controller.get());

    const int before = live.observer->progressCount;
    live.controller->scanOperationDidUpdateProgress({10, 5});
    EXPECT_EQ(live.observer->progressCount, before);
}

TEST(FileControllerTest, PausedUpdatesRunInArrivalOrderOnResume) {
    auto controller = FileController::create("/tmp/none.fssnapshot", dir("", file("a", 1)));
    std::vector<int> ran;
    controller->pauseUpdates();
    for (int i = 1; i <= 3; ++i)
        controller->performUpdate([&ran, i, &controller] {
            ran.push_back(i);
            // An update that causes another one: it queues behind the held-back ones.
            if (i == 1) controller->performUpdate([&ran] { ran.push_back(4); });
        });
    EXPECT_TRUE(ran.empty());
    EXPECT_EQ(controller->pendingUpdateCount(), 3u);
    controller->resumeUpdates();
    EXPECT_EQ(ran, (std::vector<int>{1, 2, 3, 4}));
    EXPECT_EQ(controller->pendingUpdateCount(), 0u);
    EXPECT_FALSE(controller->isUpdateQueuePaused());
    controller->performUpdate([&ran] { ran.push_back(5); });
    EXPECT_EQ(ran.back(), 5);
}

TEST(FileControllerTest, TrashAndMoveUpdateTheTreeAndUndoBringsTheNodeBack) {
    TemporaryDirectory home;
    TemporaryDirectory folder;
    ::setenv("XDG_DATA_HOME", home.path().c_str(), 1);
    folder.writeFile("keep", 10);
    folder.writeFile("old", 20);
    folder.makeDirectory("sub");
    LiveFolder live(folder.path());
    ASSERT_NE(live.controller->rootFile(), nullptr);
    FileController& controller = *live.controller;

    File* old = live.root().fileAtPath("old");
    ASSERT_NE(old, nullptr);
    auto moved = controller.move(*old, folder / "sub/new");
    ASSERT_TRUE(moved.has_value()) << moved.error();
    EXPECT_EQ(live.root().fileAtPath("old"), nullptr);
    EXPECT_EQ(live.root().fileAtPath("sub/new"), old); // the same node, renamed
    EXPECT_FALSE(controller.move(*old, folder / "keep").has_value()) << "never replaces";

    // The home trash is beside the folder, on its volume: trashing has to work, and undo
    // brings the same name back. (Other volumes' trash folders are the platform test's.)
    File* keep = live.root().fileAtPath("keep");
    ASSERT_TRUE(controller.canMoveToTrash(*keep));
    auto trashed = controller.moveToTrash(*keep);
    ASSERT_TRUE(trashed.has_value()) << trashed.error();
    EXPECT_EQ(live.root().fileAtPath("keep"), nullptr);
    EXPECT_FALSE(fs::exists(folder / "keep"));
    EXPECT_TRUE(fs::exists(home / ("Trash/files/keep")));
    ASSERT_TRUE(controller.restore(*trashed).has_value());
    EXPECT_TRUE(fs::exists(folder / "keep"));
    EXPECT_TRUE(live.settle());
    EXPECT_NE(live.root().fileAtPath("keep"), nullptr);
    EXPECT_TRUE(live.settle());
    ::unsetenv("XDG_DATA_HOME");
}

TEST(FileControllerTest, NothingInsideATrashFolderCanBeTrashedAgain) {
    TemporaryDirectory folder;
    folder.writeFile(".Trash-1000/f", 1);
    folder.writeFile(".Trash/g", 1);
    folder.writeFile("h", 1);
    LiveFolder live(folder.path());
    FileController& controller = *live.controller;
    Directory& root = live.root();
    EXPECT_FALSE(controller.canMoveToTrash(*root.fileAtPath(".Trash-1000/f")));
    EXPECT_FALSE(controller.canMoveToTrash(*root.fileAtPath(".Trash/g")));
    EXPECT_TRUE(controller.canMoveToTrash(*root.fileAtPath("h")));
}

} // namespace
} // namespace tessera
