#include "scan/ScanOperation.h"

#include "favorites/PredicateText.h"
#include "logs/LogController.h"
#include "model/Directory.h"
#include "platform/MainQueue.h"
#include "scan/ParallelWalk.h"
#include "support/AwkwardTree.h"
#include "support/TemporaryDirectory.h"

#include <algorithm>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tessera {
namespace {

using namespace tessera::testing;

// Runs a whole scan operation as the program does: on its own thread, results on the main queue.
struct ScanRun : ScanOperationDelegate {
    bool finished = false;
    FilePtr root;
    std::string path;
    ScanProgress lastProgress;
    int progressDeliveries = 0;
    bool progressAfterFinish = false;
    std::vector<std::string> unreadablePaths; // as the delegate heard them
    void scanOperationDidUpdateProgress(const ScanProgress& progress) override {
        lastProgress = progress;
        ++progressDeliveries;
        progressAfterFinish |= finished;
    }
    void scanOperationDidFinish(FilePtr result, const std::string& scanned,
                                ScanLeftOut leftOut) override {
        unreadablePaths = std::move(leftOut.unreadable);
        root = std::move(result);
        path = scanned;
        finished = true;
    }
};

struct ScanOutcome {
    FilePtr root;
    std::vector<std::string> errorPaths;
    ScanProgress progress;                    // the operation's own count at the end
    ScanProgress deliveredProgress;           // the last count the delegate heard
    std::vector<LogLine> logs;                // every line the scan added
    std::uint64_t unreadable = 0;             // as the operation counted them
    std::vector<std::string> unreadablePaths; // as the delegate heard them
};

ScanOutcome scanFolder(const std::string& path,
                       std::shared_ptr<const Predicate> exclusion = nullptr, unsigned threads = 4,
                       bool skipMountPoints = false) {
    MainQueue queue;
    LogController& log = LogController::shared();
    const std::size_t logsBefore = log.logs().size();
    auto run = std::make_shared<ScanRun>();
    ScanOperation operation(path, std::move(exclusion), skipMountPoints, run, queue);
    operation.setThreadCount(threads);
    std::thread worker([&operation] { operation.main(); });
    const bool done = queue.runUntil([&] { return run->finished; }, std::chrono::seconds(60));
    worker.join();
    EXPECT_TRUE(done);
    EXPECT_FALSE(run->progressAfterFinish);
    ScanOutcome outcome{std::move(run->root),
                        {},
                        operation.progress(),
                        run->lastProgress,
                        {},
                        operation.unreadableCount(),
                        std::move(run->unreadablePaths)};
    for (std::size_t i = logsBefore; i < log.logs().size(); ++i) {
        outcome.logs.push_back(log.logs()[i]);
        if (log.logs()[i].isError()) outcome.errorPaths.push_back(log.logs()[i].path());
    }
    return outcome;
}

std::vector<std::string> childNames(const Directory& directory) {
    std::vector<std::string> names;
    for (const File* child : directory.contents())
        names.emplace_back(child->path());
    return names;
}

// The whole shape of a tree as text: names in order, sizes, dates and leaf counts.
void describe(const File& node, std::string& out, int depth = 0) {
    out += std::string(static_cast<std::size_t>(depth), ' ') + std::string(node.path()) + " " +
           std::to_string(node.size()) + " " + std::to_string(node.allocatedSize()) + " " +
           std::to_string(node.modificationDate().seconds) + " " +
           std::to_string(node.size(SizeMode::childCount)) + "\n";
    if (const Directory* directory = node.asDirectory())
        for (const File* child : directory->contents())
            describe(*child, out, depth + 1);
}

TEST(ScanOperationTest, AnAwkwardTreeAgreesWithAnIndependentCount) {
    AwkwardTree tree;
    const IndependentCount expected = countIndependently(tree.path());
    ScanOutcome outcome = scanFolder(tree.path());
    ASSERT_NE(outcome.root, nullptr);
    const Directory& root = *outcome.root->asDirectory();
    EXPECT_EQ(root.path(), "");
    EXPECT_EQ(root.size(), expected.size);
    EXPECT_EQ(root.allocatedSize(), expected.allocatedSize);
    EXPECT_EQ(root.fileCount(), expected.leaves);
    EXPECT_TRUE(outcome.errorPaths.empty());

    // Every entry counts once: the root is not an entry, the hidden companion is not counted.
    // The delegate hears the final count before the tree, however short the walk.
    EXPECT_EQ(static_cast<std::int64_t>(outcome.progress.completedUnitCount), expected.entries);
    EXPECT_EQ(outcome.progress.totalUnitCount, 0u);
    EXPECT_EQ(outcome.deliveredProgress.completedUnitCount, outcome.progress.completedUnitCount);

    EXPECT_NE(root.fileAtPath("._kept"), nullptr);
    EXPECT_EQ(root.fileAtPath("._shown.txt"), nullptr);
    EXPECT_EQ(root.fileAtPath("shown.txt")->size(), 3);
    const File* sparse = root.fileAtPath("sparse.img");
    EXPECT_EQ(sparse->size(), 64 << 20);
    EXPECT_LT(sparse->allocatedSize(), 1 << 20);
    const File* link = root.fileAtPath("link-to-docs");
    EXPECT_FALSE(link->isDirectory());
    EXPECT_EQ(link->size(), 4); // the length of "docs": the link itself, not its target
    EXPECT_NE(root.fileAtPath("dangling"), nullptr);
    EXPECT_EQ(root.fileAtPath("docs/hardlink.dat")->size(), 5000);
    EXPECT_EQ(root.fileAtPath("original.dat")->size(), 5000);
    EXPECT_TRUE(root.fileAtPath("docs/empty")->isLeaf());
    for (const std::string& name : tree.awkwardNames) {
        const File* odd = root.fileAtPath("odd/" + name);
        ASSERT_NE(odd, nullptr) << name;
        EXPECT_EQ(odd->path(), name);
        EXPECT_EQ(odd->size(), static_cast<std::int64_t>(name.size()));
    }
    EXPECT_GT(root.fileAtPath("docs")->modificationDate().seconds, 1'500'000'000);
}

TEST(ScanOperationTest, EveryThreadCountBuildsTheSameTreeInDirectoryOrder) {
    AwkwardTree tree;
    for (int i = 0; i < 30; ++i) {
        tree.folder.makeDirectory("many" + std::to_string(i));
        for (int j = 0; j < i; ++j)
            tree.folder.writeFile("many" + std::to_string(i) + "/f" + std::to_string(j), j * 100);
    }
    std::string single, parallel;
    ScanOutcome one = scanFolder(tree.path(), nullptr, 1);
    ScanOutcome eight = scanFolder(tree.path(), nullptr, 8);
    describe(*one.root, single);
    describe(*eight.root, parallel);
    EXPECT_EQ(single, parallel);
    EXPECT_EQ(one.progress.completedUnitCount, eight.progress.completedUnitCount);

    // Contents keep the kernel's order, which is what readdir gives.
    std::vector<std::string> kernelOrder;
    DIR* listing = opendir(tree.path().c_str());
    while (dirent* entry = readdir(listing))
        if (std::string_view(entry->d_name) != "." && std::string_view(entry->d_name) != ".." &&
            std::string_view(entry->d_name) != "._shown.txt")
            kernelOrder.emplace_back(entry->d_name);
    closedir(listing);
    EXPECT_EQ(childNames(*eight.root->asDirectory()), kernelOrder);
}

TEST(ScanOperationTest, RootsThatAreEmptyFilesOrCompanionsAreHandled) {
    TemporaryDirectory folder;
    ScanOutcome empty = scanFolder(folder.path());
    ASSERT_NE(empty.root, nullptr);
    EXPECT_EQ(empty.root->asDirectory()->fileCount(), 1);
    EXPECT_EQ(empty.root->size(), 0);

    const std::string file = folder.writeFile("single.bin", 1234);
    ScanOutcome single = scanFolder(file + "/"); // trailing slash: the path is standardized
    ASSERT_NE(single.root, nullptr);
    EXPECT_FALSE(single.root->isDirectory());
    EXPECT_EQ(single.root->path(), "");
    EXPECT_EQ(single.root->size(), 1234);

    folder.writeFile("._single.bin", 10);
    EXPECT_EQ(scanFolder(folder / "._single.bin").root, nullptr);

    ScanOutcome missing = scanFolder(folder / "does-not-exist");
    EXPECT_EQ(missing.root, nullptr);
    ASSERT_EQ(missing.errorPaths.size(), 1u);
    EXPECT_EQ(missing.errorPaths[0], folder / "does-not-exist");
}

TEST(ScanOperationTest, ExcludedEntriesLeaveOutTheirSubtreesButAdvanceProgress) {
    AwkwardTree tree;
    auto exclusion = std::make_shared<const Predicate>(
        *parsePredicate("or(path endswith[cd] \"/DOCS\", path contains \"sparse\")"));
    ScanOutcome outcome = scanFolder(tree.path(), exclusion);
    const Directory& root = *outcome.root->asDirectory();
    EXPECT_EQ(root.fileAtPath("docs"), nullptr);
    EXPECT_EQ(root.fileAtPath("sparse.img"), nullptr);
    EXPECT_NE(root.fileAtPath("link-to-docs"), nullptr);
    const IndependentCount all = countIndependently(tree.path());
    const IndependentCount docs = countIndependently(tree.folder / "docs");
    EXPECT_EQ(root.size(), all.size - docs.size - (64 << 20));
    // docs and sparse.img count one step each; nothing below docs was visited.
    ScanOutcome full = scanFolder(tree.path());
    EXPECT_EQ(outcome.progress.completedUnitCount,
              full.progress.completedUnitCount - static_cast<std::uint64_t>(docs.entries));
}

// With detailed logging, the log tells the scan's start, each entry measured with its figures,
// each exclusion and the end, in that order; without it, none of these.
TEST(ScanOperationTest, DetailedLoggingListsEveryEntryBetweenStartAndFinish) {
    TemporaryDirectory folder;
    folder.writeFile("kept/a.txt", 7);
    folder.writeFile("skipped/b.txt", 9);
    auto exclusion =
        std::make_shared<const Predicate>(*parsePredicate("path endswith \"/skipped\""));
    const auto linesOf = [&](bool detailed) {
        LogController::detailedLogging = detailed;
        ScanOutcome outcome = scanFolder(folder.path(), exclusion);
        LogController::detailedLogging = false;
        static constexpr const char* kinds[] = {"start", "file", "finish", "exclude"};
        std::vector<std::string> lines;
        for (const LogLine& line : outcome.logs) {
            const auto& scan = std::get<LogLine::Scan>(line.logType());
            std::string text = kinds[static_cast<int>(scan.type)] + (" " + scan.path);
            if (scan.path.ends_with(".txt")) text += " " + std::to_string(scan.size);
            lines.push_back(std::move(text));
        }
        return lines;
    };
    EXPECT_TRUE(linesOf(false).empty());
    std::vector<std::string> lines = linesOf(true);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines.front(), "start " + folder.path());
    EXPECT_EQ(lines.back(), "finish " + folder.path());
    // Between them, in the walk's order: every entry measured (the excluded folder too, before
    // it is left out), and nothing below the excluded folder.
    std::vector<std::string> entries(lines.begin() + 1, lines.end() - 1);
    std::ranges::sort(entries);
    const std::vector<std::string> expected{
        "exclude " + folder / "skipped", "file " + folder / "kept",
        "file " + folder / "kept/a.txt 7", "file " + folder / "skipped"};
    EXPECT_EQ(entries, expected);
}

TEST(ScanOperationTest, ScanningTheFileSystemRootNeedsNoMeasurementOfIt) {
    // Excluding everything keeps this fast while still reading "/" itself.
    auto everything = std::make_shared<const Predicate>(*parsePredicate("path beginswith \"/\""));
    ScanOutcome outcome = scanFolder("/", everything);
    ASSERT_NE(outcome.root, nullptr);
    EXPECT_EQ(outcome.root->path(), "");
    EXPECT_EQ(outcome.root->asDirectory()->count(), 0u);
    EXPECT_GT(outcome.progress.completedUnitCount, 3u);
}

TEST(ScanOperationTest, TreesDeeperThanPathMaxAndTheStackAreWalked) {
    TemporaryDirectory folder;
    constexpr int kDepth = 10'000;
    const std::string name(40, 'd');
    int fd = open(folder.path().c_str(), O_RDONLY | O_DIRECTORY);
    for (int i = 0; i < kDepth; ++i) {
        ASSERT_EQ(mkdirat(fd, name.c_str(), 0755), 0);
        const int next = openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY);
        close(fd);
        fd = next;
    }
    const int file = openat(fd, "bottom", O_WRONLY | O_CREAT, 0644);
    ASSERT_EQ(write(file, "12345", 5), 5);
    close(file);
    close(fd);

    ScanOutcome outcome = scanFolder(folder.path());
    ASSERT_NE(outcome.root, nullptr);
    EXPECT_TRUE(outcome.errorPaths.empty());
    EXPECT_EQ(outcome.root->size(), 5);
    EXPECT_EQ(outcome.root->asDirectory()->fileCount(), 1);
    EXPECT_EQ(outcome.progress.completedUnitCount, static_cast<std::uint64_t>(kDepth) + 1);
    const File* node = outcome.root.get();
    int depth = 0;
    while (const Directory* directory = node->asDirectory()) {
        ASSERT_EQ(directory->count(), 1u);
        node = directory->child(0);
        ++depth;
    }
    EXPECT_EQ(depth, kDepth + 1);
    EXPECT_EQ(node->path(), "bottom");
}

// Root reads everything, so the unreadable cases run in a child process that gives up root.
void dropPrivileges() {
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) std::_Exit(3);
}

TEST(ScanOperationTest, UnreadableDirectoriesBecomeOneErrorLineAndStayEmpty) {
    AwkwardTree tree;
    const std::string locked = tree.folder.makeDirectory("locked");
    tree.folder.writeFile("locked/secret", 100);
    chmod(locked.c_str(), 0000);
    const std::string unlisted = tree.folder.makeDirectory("unlisted");
    tree.folder.writeFile("unlisted/hidden", 100);
    chmod(unlisted.c_str(), 0300); // may enter, may not list
    EXPECT_EXIT(
        {
            dropPrivileges();
            ScanOutcome outcome = scanFolder(tree.path());
            const Directory& root = *outcome.root->asDirectory();
            const File* lockedNode = root.fileAtPath("locked");
            const bool ok =
                outcome.errorPaths.size() == 2 && outcome.unreadable == 2 &&
                std::is_permutation(outcome.unreadablePaths.begin(), outcome.unreadablePaths.end(),
                                    outcome.errorPaths.begin(), outcome.errorPaths.end()) &&
                std::count(outcome.errorPaths.begin(), outcome.errorPaths.end(), locked) == 1 &&
                lockedNode != nullptr && lockedNode->isLeaf() &&
                root.fileAtPath("unlisted")->isLeaf() &&
                root.fileAtPath("docs/report.txt") != nullptr;
            std::_Exit(ok ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
    chmod(locked.c_str(), 0755);
    chmod(unlisted.c_str(), 0755);
}

TEST(ScanOperationTest, ACancelledScanDeliversNothing) {
    AwkwardTree tree;
    MainQueue queue;
    auto run = std::make_shared<ScanRun>();
    ScanOperation operation(tree.path(), nullptr, false, run, queue);
    operation.cancel();
    operation.main();
    queue.runPending();
    EXPECT_FALSE(run->finished);

    // Cancelled from inside the walk: it stops early and frees what it built.
    std::atomic<bool> cancelled{false};
    int seen = 0;
    WalkHooks hooks;
    hooks.cancelled = &cancelled;
    hooks.onError = [](std::string, int) {};
    hooks.onEntry = [&](const std::string&, const platform::EntryStatus&) {
        if (++seen == 3) cancelled = true;
    };
    DirectoryPtr root = Directory::create("", {}, {}, {});
    const WalkResult walked = walkTree(*root, tree.path(), 0, hooks, 1);
    EXPECT_LT(walked.completed, 5u);
}

TEST(ScanOperationTest, MountPointsBelowTheRootAreNeitherEnteredNorCounted) {
    TemporaryDirectory folder;
    const std::string mountPoint = folder.makeDirectory("mnt");
    folder.writeFile("plain", 10);
    if (mount("tessera-test", mountPoint.c_str(), "tmpfs", 0, "size=1m") != 0)
        GTEST_SKIP() << "cannot mount a tmpfs here";
    {
        const int fd = open((mountPoint + "/inside").c_str(), O_WRONLY | O_CREAT, 0644);
        [[maybe_unused]] auto written = write(fd, "1234567", 7);
        close(fd);
    }
    ScanOutcome outcome = scanFolder(folder.path());
    EXPECT_EQ(outcome.root->asDirectory()->fileAtPath("mnt"), nullptr);
    EXPECT_EQ(outcome.root->size(), 10);
    EXPECT_NE(scanFolder(mountPoint).root, nullptr);
    ScanOutcome skipped = scanFolder(mountPoint, nullptr, 2, true);
    EXPECT_EQ(skipped.root, nullptr);
    EXPECT_GT(scanFolder(mountPoint).progress.totalUnitCount, 0u);
    umount(mountPoint.c_str());
}

} // namespace
} // namespace tessera
