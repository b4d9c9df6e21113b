// Files with several names counted once: on a real folder, with the names the real walk met, the
// first name in the graph's order keeps the size (a larger folder first, whatever the order the
// kernel lists them in; by name between equals), the others keep their place with none, and the
// totals are those du counts. A file whose other name lies outside the tree keeps its size. The
// command line does the same with --hard-links once.
#include "scan/LinksCountedOnce.h"

#include "cli/ScanCommand.h"
#include "model/Directory.h"
#include "platform/MainQueue.h"
#include "scan/ScanOperation.h"
#include "support/TemporaryDirectory.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <mutex>
#include <unistd.h>

namespace tessera {
namespace {

using namespace tessera::testing;

class LinksCountedOnceTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder.writeFile("a-small/one", 100'000);
        link("a-small/one", "z-big/two");
        folder.writeFile("z-big/extra", 50'000);
        folder.writeFile("same/beta", 3'000);
        link("same/beta", "same/alpha");
        folder.writeFile("three/first", 1'000);
        link("three/first", "three/deeper/second");
        link("three/first", "three/deeper/third");
        const std::string outside = elsewhere.writeFile("outside", 7'000);
        EXPECT_EQ(::link(outside.c_str(), (folder / "inside").c_str()), 0);
    }
    void link(const std::string& from, const std::string& to) {
        std::filesystem::create_directories(folder / to.substr(0, to.rfind('/')));
        EXPECT_EQ(::link((folder / from).c_str(), (folder / to).c_str()), 0);
    }

    FilePtr scan(std::vector<LinkedName>& names) {
        ScanOperation operation(folder.path(), nullptr, false, {}, MainQueue::shared());
        std::mutex mutex;
        operation.setLinkedFileFound([&](std::string path, const platform::EntryStatus& status) {
            std::lock_guard lock(mutex);
            names.push_back({std::move(path), status.device, status.inode});
        });
        return operation.scan();
    }

    TemporaryDirectory folder;
    TemporaryDirectory elsewhere;
};

TEST_F(LinksCountedOnceTest, TheFirstNameInTheGraphsOrderKeepsTheSize) {
    std::vector<LinkedName> names;
    FilePtr tree = scan(names);
    ASSERT_NE(tree, nullptr);
    Directory& root = *tree->asDirectory();
    EXPECT_EQ(root.size(), 100'000 * 2 + 50'000 + 3'000 * 2 + 1'000 * 3 + 7'000);
    const std::int64_t leaves = root.fileCount();

    const std::vector<UncountedName> others =
        countLinksOnce(root, folder.path(), names, SizeMode::fileSize);
    std::vector<std::string> otherPaths;
    for (const UncountedName& other : others)
        otherPaths.push_back(other.name->relativePath());
    std::sort(otherPaths.begin(), otherPaths.end());
    // z-big holds more than a-small, so its name comes first in the graph; alpha and beta are
    // equal, and alpha comes first by name; the folder "deeper" holds two names (2,000 bytes as
    // counted at each), more than the file "first" beside it, and "second" comes before
    // "third" by name.
    EXPECT_EQ(otherPaths, (std::vector<std::string>{"a-small/one", "same/beta",
                                                    "three/deeper/third", "three/first"}))
        << ::testing::PrintToString(otherPaths);
    for (const UncountedName& other : others) {
        EXPECT_EQ(other.name->size(), 0);
        EXPECT_EQ(other.name->allocatedSize(), 0);
        EXPECT_GT(other.size, 0); // what it gave up
        EXPECT_TRUE(other.name->isCountedElsewhere());
    }
    EXPECT_EQ(root.fileAtPath("z-big/two")->size(), 100'000);
    EXPECT_FALSE(root.fileAtPath("z-big/two")->isCountedElsewhere());
    EXPECT_EQ(root.fileAtPath("inside")->size(), 7'000);
    // What du counts: every file once.
    EXPECT_EQ(root.size(), 100'000 + 50'000 + 3'000 + 1'000 + 7'000);
    EXPECT_EQ(root.fileAtPath("a-small")->size(), 0);
    EXPECT_EQ(root.fileCount(), leaves); // every name is still there
    // Copies (a search's result) keep the mark.
    const FilePtr copied = root.copy();
    EXPECT_TRUE(copied->asDirectory()->fileAtPath("a-small/one")->isCountedElsewhere());
    EXPECT_FALSE(copied->asDirectory()->fileAtPath("z-big/two")->isCountedElsewhere());
}

TEST_F(LinksCountedOnceTest, TheCommandLineCountsThemOnceWhenAsked) {
    auto sizeOf = [&](std::vector<std::string> arguments) {
        ::testing::internal::CaptureStdout();
        EXPECT_EQ(cli::runScanCommand(arguments), 0);
        const std::string out = ::testing::internal::GetCapturedStdout();
        const std::size_t at = out.find("\"size\": ");
        return at == std::string::npos ? -1 : std::stoll(out.substr(at + 8));
    };
    EXPECT_EQ(sizeOf({folder.path(), "--json"}), 266'000);
    EXPECT_EQ(sizeOf({folder.path(), "--json", "--hard-links", "each"}), 266'000);
    EXPECT_EQ(sizeOf({folder.path(), "--json", "--hard-links", "once"}), 161'000);
}

} // namespace
} // namespace tessera
