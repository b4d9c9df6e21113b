// A user whose inotify watch budget another of their processes has nearly spent: the folders the
// kernel will not watch are polled, the tree still converges on what the disk holds, the log
// says why, and once the budget has room again the folders are watched. Run in a user namespace
// of its own, where the budget can be set without touching the machine's.
#include "controller/FileController.h"
#include "logs/LogController.h"
#include "platform/MainQueue.h"
#include "support/LiveTree.h"
#include "support/TemporaryDirectory.h"
#include "support/UserNamespace.h"

#include <fstream>
#include <gtest/gtest.h>

namespace tessera {
namespace {

using namespace tessera::testing;
using namespace std::chrono_literals;

constexpr int kBudget = 60;
constexpr int kSpentByOthers = 50;
constexpr int kFolders = 50;

void write(const std::string& path, std::size_t bytes) {
    std::ofstream(path, std::ios::binary) << std::string(bytes, 'x');
}

TEST(WatchLimitTest, FoldersOverTheLimitArePolledAndWatchedOnceThereIsRoom) {
    if (!inOwnUserNamespace()) {
        if (const std::string refused = rerunCurrentTestInUserNamespace(UserNamespace::root);
            !refused.empty())
            GTEST_SKIP() << refused;
        return;
    }
    ASSERT_TRUE(setWatchBudget(kBudget));
    TemporaryDirectory hogFolders;
    std::vector<std::string> hogged;
    for (int i = 0; i < kSpentByOthers; ++i)
        hogged.push_back(hogFolders.makeDirectory("hog" + std::to_string(i)));
    WatchHog hog(hogged);
    ASSERT_EQ(hog.watches(), kSpentByOthers);

    TemporaryDirectory folder;
    for (int i = 0; i < kFolders; ++i)
        folder.writeFile("d" + std::to_string(i) + "/old", 1000);
    const std::size_t logged = LogController::shared().logs().size();
    LiveFolder live(folder.path());
    ASSERT_NE(live.controller->rootFile(), nullptr);
    // The root and nine folders take the ten watches left; the other 41 are polled.
    ASSERT_TRUE(MainQueue::shared().runUntil(
        [&] { return live.controller->polledFolderCount() == kFolders - 9; }, 10s))
        << live.controller->polledFolderCount();
    EXPECT_TRUE(live.controller->isLive());

    // Each folder gets a new file, and an old one grows: polling finds what inotify cannot.
    for (int i = 0; i < kFolders; ++i) {
        write(folder / ("d" + std::to_string(i) + "/new"), 100'000);
        write(folder / ("d" + std::to_string(i) + "/old"), 3000);
    }
    folder.writeFile("d7/made/deeper", 5000); // a folder made in a polled one
    EXPECT_TRUE(live.settle()) << dumpTree(live.root());

    // The log names the limit (not "No space left on device"), once per folder for the first
    // few, then once for the rest.
    const auto& logs = LogController::shared().logs();
    std::vector<const LogLine*> lines;
    for (std::size_t i = logged; i < logs.size(); ++i)
        if (logs[i].isWatchError()) lines.push_back(&logs[i]);
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines.front()->title().formatted().rfind("Not followed live: " + folder.path(), 0),
              0u);
    EXPECT_NE(lines.front()->message().formatted().find("fs.inotify.max_user_watches"),
              std::string::npos);
    EXPECT_EQ(lines.back()->path(), folder.path());

    // The other process ends: every folder is watched again, and changes arrive at once.
    hog.end();
    EXPECT_TRUE(MainQueue::shared().runUntil(
        [&] { return live.controller->polledFolderCount() == 0; }, 10s))
        << live.controller->polledFolderCount();
    for (int i = 0; i < kFolders; i += 7)
        write(folder / ("d" + std::to_string(i) + "/later"), 70);
    EXPECT_TRUE(live.settle()) << dumpTree(live.root());
}

} // namespace
} // namespace tessera
