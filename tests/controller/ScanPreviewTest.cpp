// The picture of a scan still running: the controller's root while the first scan walks, growing
// folder by folder, each folder marked as being read until everything below it is measured, and
// replaced by the scan's own tree, with which its last state agrees.
#include "controller/FileController.h"
#include "controller/FileControllerObserver.h"
#include "favorites/Favorite.h"
#include "platform/MainQueue.h"
#include "support/LiveTree.h"
#include "support/TemporaryDirectory.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace tessera {
namespace {

using namespace tessera::testing;

// Counts folders and those still being read, checking on the way that each is a folder on disk.
struct PreviewCount {
    std::size_t folders = 0;
    std::size_t beingRead = 0;
    std::size_t notOnDisk = 0;
};

PreviewCount countPreview(const FileController& controller) {
    PreviewCount count;
    std::vector<const Directory*> pending{controller.rootFile()};
    while (!pending.empty()) {
        const Directory* folder = pending.back();
        pending.pop_back();
        ++count.folders;
        if (folder->isBeingRead()) ++count.beingRead;
        if (!std::filesystem::is_directory(controller.absolutePath(*folder))) ++count.notOnDisk;
        for (const File* child : folder->contents())
            if (child->isDirectory()) pending.push_back(child->asDirectory());
    }
    return count;
}

class LoadObserver : public FileControllerObserver {
public:
    explicit LoadObserver(FileController& controller) : controller_(controller) {}
    Directory* observedRootFile() const override { return controller_.rootFile(); }
    void fileControllerDidLoadRootFile() override {
        loads.push_back(controller_.showsScanPreview());
    }
    void fileControllerDidInsert(Directory& parent, std::size_t) override {
        if (!controller_.showsScanPreview() || parent.isBeingRead() == false) ++strayInsertions;
    }
    std::vector<bool> loads; // whether each tree that loaded was a picture of the scan
    int strayInsertions = 0; // outside the picture, or into a folder already read

private:
    FileController& controller_;
};

TEST(ScanPreviewTest, APictureOfTheScanGrowsUntilTheScansOwnTreeReplacesIt) {
    TemporaryDirectory folder;
    for (int i = 0; i < 12; ++i)
        for (int j = 0; j < 6; ++j) {
            const std::string sub = "f" + std::to_string(i) + "/g" + std::to_string(j);
            folder.writeFile(sub + "/a", 100 + static_cast<std::size_t>(i));
            folder.writeFile(sub + "/deeper/b", 7);
        }
    folder.writeFile("top", 5);
    folder.makeDirectory("empty");

    auto controller = FileController::create(folder.path());
    controller->setWantsScanPreview(true);
    LoadObserver observer(*controller);
    controller->addObserver(observer);
    Favorite favorite(folder.path(), false);
    favorite.setFileController(controller);

    bool sawPicture = false;
    bool firstPictureBeingRead = false;
    std::size_t firstPictureFolders = 0;
    PreviewCount last;
    std::int64_t lastSize = -1;
    std::int64_t lastAllocated = -1;
    const bool loaded = MainQueue::shared().runUntil(
        [&] {
            if (!controller->showsScanPreview()) return controller->rootFile() != nullptr;
            const File& root = *controller->rootFile();
            last = countPreview(*controller);
            if (!sawPicture) {
                firstPictureBeingRead = root.asDirectory()->isBeingRead();
                firstPictureFolders = last.folders;
            }
            sawPicture = true;
            lastSize = root.size();
            lastAllocated = root.allocatedSize();
            // What a picture of the scan shows stands for no file that could be acted on.
            EXPECT_FALSE(controller->canMoveToTrash(*root.asDirectory()->child(0)));
            EXPECT_FALSE(controller->move(*root.asDirectory()->child(0), folder / "elsewhere"));
            return false;
        },
        std::chrono::seconds(30));
    ASSERT_TRUE(loaded);
    ASSERT_TRUE(sawPicture) << "the scan's tree came before any picture of it";
    EXPECT_EQ(last.notOnDisk, 0u);

    // The picture's last state is the whole tree, read to the end: the same folders and totals
    // as the tree that replaces it.
    const Directory& tree = *controller->rootFile();
    EXPECT_FALSE(tree.isBeingRead());
    EXPECT_EQ(last.folders, 1 + 1 + 12 * (1 + 6 * 2)); // root, empty, f*, g*, deeper
    EXPECT_EQ(last.beingRead, 0u);
    EXPECT_EQ(lastSize, tree.size());
    EXPECT_EQ(lastAllocated, tree.allocatedSize());
    EXPECT_EQ(observer.loads, (std::vector<bool>{true, false}));
    EXPECT_EQ(observer.strayInsertions, 0);
    // A first picture of part of the tree shows its root as still being read. (On a busy
    // machine the main thread may first look when the walk is done: then the picture is whole.)
    if (firstPictureFolders < last.folders) {
        EXPECT_TRUE(firstPictureBeingRead);
    }

    // The finished tree is live as always: the picture is gone, and its nodes with it.
    EXPECT_FALSE(controller->showsScanPreview());
    EXPECT_TRUE(controller->canMoveToTrash(*tree.fileAtPath("top")));
    controller->removeObserver(observer);
    favorite.setFileController(nullptr);
    MainQueue::shared().runPending();
}

// What changes on disk while the picture is shown reaches the tree as it does without one.
TEST(ScanPreviewTest, ChangesWhileThePictureIsShownReachTheTree) {
    TemporaryDirectory folder;
    for (int i = 0; i < 30; ++i)
        folder.writeFile("f" + std::to_string(i) + "/a", 100);
    auto controller = FileController::create(folder.path());
    controller->setWantsScanPreview(true);
    Favorite favorite(folder.path(), false);
    favorite.setFileController(controller);
    bool changed = false;
    ASSERT_TRUE(MainQueue::shared().runUntil(
        [&] {
            if (controller->showsScanPreview() && !changed) {
                // A folder the walk has listed gains a file, another loses one, one comes.
                folder.writeFile("f0/late", 5'000);
                std::filesystem::remove(folder / "f1/a");
                folder.writeFile("new/b", 7);
                changed = true;
            }
            return controller->loadedRootFile() != nullptr;
        },
        std::chrono::seconds(30)));
    ASSERT_TRUE(changed);
    const std::string expected = freshDump(folder.path());
    EXPECT_TRUE(MainQueue::shared().runUntil(
        [&] {
            return controller->scanOperationCount() == 0 &&
                   dumpTree(*controller->rootFile()) == expected;
        },
        std::chrono::seconds(30)))
        << dumpTree(*controller->rootFile()) << "\nexpected\n"
        << expected;
    favorite.setFileController(nullptr);
    MainQueue::shared().runPending();
}

TEST(ScanPreviewTest, WithoutAskingTheRootStaysEmptyUntilTheTreeIsThere) {
    TemporaryDirectory folder;
    folder.writeFile("a/b", 10);
    auto controller = FileController::create(folder.path());
    LoadObserver observer(*controller);
    controller->addObserver(observer);
    Favorite favorite(folder.path(), false);
    favorite.setFileController(controller);
    bool sawPicture = false;
    ASSERT_TRUE(MainQueue::shared().runUntil(
        [&] {
            sawPicture = sawPicture || controller->showsScanPreview();
            return controller->rootFile() != nullptr;
        },
        std::chrono::seconds(30)));
    EXPECT_FALSE(sawPicture);
    EXPECT_EQ(observer.loads, std::vector<bool>{false});
    controller->removeObserver(observer);
    favorite.setFileController(nullptr);
    MainQueue::shared().runPending();
}

} // namespace
} // namespace tessera
