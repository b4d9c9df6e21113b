// A live tree that counts each file with several names once, under real inotify: the choice
// holds through writes, new and deleted names, moves and switching it off and on, and what the
// observers hear keeps their copies of the tree in line.
#include "controller/FileController.h"
#include "platform/MainQueue.h"
#include "support/LiveTree.h"
#include "support/TemporaryDirectory.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

namespace tessera {
namespace {

using namespace tessera::testing;
namespace fs = std::filesystem;

void append(const std::string& path, std::size_t bytes) {
    std::ofstream out(path, std::ios::app | std::ios::binary);
    out << std::string(bytes, 'x');
}

class LiveLinksCountedOnceTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder.writeFile("solo", 5'000);
        folder.writeFile("z-big/keep", 30'000);
        folder.writeFile("z-big/pad", 1'000);
        link("z-big/keep", "a-small/alias");
    }
    void TearDown() override {
        if (controller) {
            mirror.reset();
            favorite.setFileController(nullptr);
            MainQueue::shared().runPending();
        }
    }

    void link(const std::string& from, const std::string& to) {
        fs::create_directories(fs::path(folder / to).parent_path());
        ASSERT_EQ(::link((folder / from).c_str(), (folder / to).c_str()), 0) << to;
    }
    /// Opens the folder with the favourite as it is now, and a mirror of the tree from there.
    void open() {
        controller = FileController::create(folder.path());
        favorite.setFileController(controller);
        ASSERT_TRUE(MainQueue::shared().runUntil([&] { return controller->rootFile() != nullptr; },
                                                 std::chrono::seconds(30)));
        sortAll(root());
        mirror = std::make_unique<MirrorObserver>(*controller);
        controller->addObserver(*mirror);
    }
    Directory& root() const { return *controller->rootFile(); }
    const File* node(const std::string& path) const { return root().fileAtPath(path); }
    std::int64_t sizeOf(const std::string& path) const {
        const File* found = node(path);
        return found != nullptr ? found->size() : -1;
    }
    /// The relative paths of the names below `directory`, sorted.
    static std::vector<std::string> namesBelow(const Directory& directory) {
        std::vector<std::string> names;
        std::vector<const Directory*> pending{&directory};
        while (!pending.empty()) {
            const Directory* at = pending.back();
            pending.pop_back();
            for (const File* child : at->contents()) {
                names.push_back(child->relativePath());
                if (const Directory* inner = child->asDirectory()) pending.push_back(inner);
            }
        }
        std::sort(names.begin(), names.end());
        return names;
    }
    std::vector<std::string> namesOnDisk() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::recursive_directory_iterator(folder.path()))
            names.push_back(fs::relative(entry.path(), folder.path()).string());
        std::sort(names.begin(), names.end());
        return names;
    }
    /// Runs the main queue until the tree holds the names on disk and `total` bytes, with nothing
    /// left to measure, and the mirror agrees with it; says what differs when it does not get
    /// there.
    ::testing::AssertionResult settlesAt(std::int64_t total) {
        std::string differences;
        const std::vector<std::string> expected = namesOnDisk();
        const bool settled = MainQueue::shared().runUntil(
            [&] {
                if (root().size() != total || controller->scanOperationCount() != 0 ||
                    namesBelow(root()) != expected)
                    return false;
                differences = mirror->differences();
                return differences.empty();
            },
            std::chrono::seconds(30));
        if (settled) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure()
               << "root " << root().size() << " of " << total << ", "
               << controller->scanOperationCount() << " measurements left; names "
               << ::testing::PrintToString(namesBelow(root())) << " of "
               << ::testing::PrintToString(expected) << "; " << differences;
    }
    /// Of the names given, how many count the file.
    int counting(std::initializer_list<std::string> names) const {
        int count = 0;
        for (const std::string& name : names) {
            const File* found = node(name);
            if (found != nullptr && !found->isCountedElsewhere() && found->size() > 0) ++count;
        }
        return count;
    }

    TemporaryDirectory folder;
    Favorite favorite{folder.path(), false};
    std::shared_ptr<FileController> controller;
    std::unique_ptr<MirrorObserver> mirror;
};

TEST_F(LiveLinksCountedOnceTest, EachFileCountsOnceThroughTheTreesChanges) {
    favorite.setCountsHardLinksOnce(true);
    open();
    // Counted before the tree is shown: z-big holds more than a-small, so "keep" counts.
    EXPECT_EQ(root().size(), 5'000 + 1'000 + 30'000);
    EXPECT_EQ(sizeOf("z-big/keep"), 30'000);
    EXPECT_EQ(sizeOf("a-small/alias"), 0);
    EXPECT_EQ(sizeOf("a-small"), 0);
    EXPECT_TRUE(node("a-small/alias")->isCountedElsewhere());
    EXPECT_EQ(root().fileCount(), 4); // every name is still a leaf
    EXPECT_EQ(controller->countingNameOf(*node("a-small/alias")), folder / "z-big/keep");
    EXPECT_EQ(controller->countingNameOf(*node("z-big/keep")), std::nullopt);

    // Written through the name counted elsewhere: the size grows once, still at "keep".
    append(folder / "a-small/alias", 2'000);
    ASSERT_TRUE(settlesAt(5'000 + 1'000 + 32'000));
    EXPECT_EQ(sizeOf("z-big/keep"), 32'000);
    EXPECT_TRUE(node("a-small/alias")->isCountedElsewhere());

    // A third name, in a folder of its own.
    link("z-big/keep", "c/third");
    ASSERT_TRUE(settlesAt(5'000 + 1'000 + 32'000));
    EXPECT_EQ(counting({"z-big/keep", "a-small/alias", "c/third"}), 1);
    EXPECT_EQ(sizeOf("z-big/keep"), 32'000);

    // The counting name's folder moves: the choice stays with it.
    fs::rename(folder / "z-big", folder / "y-big");
    ASSERT_TRUE(settlesAt(5'000 + 1'000 + 32'000));
    EXPECT_EQ(sizeOf("y-big/keep"), 32'000);

    // The counting name goes: one of the others counts in its place, nothing is lost.
    fs::remove(folder / "y-big/keep");
    ASSERT_TRUE(settlesAt(5'000 + 1'000 + 32'000));
    EXPECT_EQ(counting({"a-small/alias", "c/third"}), 1);

    // Switched off, every name counts, as a fresh scan has them.
    favorite.setCountsHardLinksOnce(false);
    ASSERT_TRUE(settlesAt(5'000 + 1'000 + 2 * 32'000));
    sortAll(root());
    EXPECT_EQ(dumpTree(root()), freshDump(folder.path()));
    EXPECT_FALSE(node("a-small/alias")->isCountedElsewhere());
    EXPECT_FALSE(node("c/third")->isCountedElsewhere());

    // And on again.
    favorite.setCountsHardLinksOnce(true);
    ASSERT_TRUE(settlesAt(5'000 + 1'000 + 32'000));
    EXPECT_EQ(counting({"a-small/alias", "c/third"}), 1);
}

TEST_F(LiveLinksCountedOnceTest, ANameLeftAloneCountsAgain) {
    open(); // counted at each name, then switched on
    EXPECT_EQ(root().size(), 5'000 + 1'000 + 2 * 30'000);
    favorite.setCountsHardLinksOnce(true);
    ASSERT_TRUE(settlesAt(5'000 + 1'000 + 30'000));
    EXPECT_TRUE(node("a-small/alias")->isCountedElsewhere());

    // The counting name's whole folder goes: the name counted elsewhere is the file's last one
    // and counts again.
    fs::remove_all(folder / "z-big");
    ASSERT_TRUE(settlesAt(5'000 + 30'000));
    EXPECT_EQ(sizeOf("a-small/alias"), 30'000);
    EXPECT_FALSE(node("a-small/alias")->isCountedElsewhere());

    // A file made with two names at once in a new folder counts once.
    folder.writeFile("new/first", 7'000);
    link("new/first", "new/second");
    ASSERT_TRUE(settlesAt(5'000 + 30'000 + 7'000));
    EXPECT_EQ(counting({"new/first", "new/second"}), 1);
}

} // namespace
} // namespace tessera
