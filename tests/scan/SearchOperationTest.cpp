#include "scan/SearchOperation.h"

#include "favorites/PredicateText.h"
#include "model/Directory.h"
#include "platform/MainQueue.h"
#include "support/TreeBuilders.h"

#include <future>
#include <gtest/gtest.h>

namespace tessera {
namespace {

using namespace tessera::testing;

struct Results : SearchOperationDelegate {
    int calls = 0;
    FilePtr result;
    std::string path;
    void searchOperationDidFinish(FilePtr found, const std::string& searched,
                                  const std::shared_ptr<const FilePredicate>&) override {
        ++calls;
        result = std::move(found);
        path = searched;
    }
};

struct SearchRun {
    int calls;
    FilePtr result;
};

SearchRun search(const Directory& tree, const char* predicateText) {
    MainQueue mainQueue;
    OperationQueue queue;
    auto results = std::make_shared<Results>();
    auto predicate = std::make_shared<const Predicate>(*parsePredicate(predicateText));
    queue.add(std::make_shared<SearchOperation>(tree, "/home/me", predicate, results, mainQueue));
    EXPECT_TRUE(mainQueue.runUntil([&] { return results->calls > 0; }, std::chrono::seconds(10)));
    EXPECT_EQ(results->path, "/home/me");
    return {results->calls, std::move(results->result)};
}

TEST(SearchOperationTest, FindsNamesAtAnyDepthAndSumsOnlyWhatMatched) {
    auto tree = dir("", dir("a", file("notes.txt", 10), file("big.bin", 1000), dir("notes.txt")),
                    dir("b", dir("c", file("notes.txt", 5))), dir("notes", file("x", 7)));
    SearchRun run = search(*tree, "path == \"notes.txt\"");
    ASSERT_NE(run.result, nullptr);
    const Directory& found = *run.result->asDirectory();
    EXPECT_EQ(found.size(), 15);
    EXPECT_EQ(found.fileCount(), 3); // two files and the empty folder that matched by name
    EXPECT_NE(found.fileAtPath("b/c/notes.txt"), nullptr);
    EXPECT_EQ(found.fileAtPath("a/big.bin"), nullptr);
    EXPECT_EQ(found.fileAtPath("notes"), nullptr); // a folder of another name with no match
    EXPECT_FALSE(found.expanded());
    EXPECT_FALSE(found.fileAtPath("a")->asDirectory()->expanded());
    EXPECT_EQ(found.sizeMode(), std::nullopt);
    EXPECT_EQ(tree->size(), 1022); // the source is untouched

    // Sizes compare each file's own size; an empty folder is tested with size 0.
    SearchRun small = search(*tree, "size < 8");
    ASSERT_NE(small.result, nullptr);
    EXPECT_EQ(small.result->size(), 12);
    EXPECT_NE(small.result->asDirectory()->fileAtPath("a/notes.txt"), nullptr);

    EXPECT_EQ(search(*tree, "path == \"nothing\"").result, nullptr);
}

TEST(SearchOperationTest, ACancelledSearchDeliversNothing) {
    auto tree = dir("", file("a", 1), file("b", 2));
    MainQueue mainQueue;
    auto results = std::make_shared<Results>();
    auto predicate = std::make_shared<const Predicate>(*parsePredicate("size > 0"));
    {
        OperationQueue queue;
        std::promise<void> release;
        std::shared_future<void> released = release.get_future().share();
        queue.add([released](const Operation&) { released.wait(); });
        auto operation =
            std::make_shared<SearchOperation>(*tree, "/x", predicate, results, mainQueue);
        queue.add(operation);
        operation->cancel();
        release.set_value();
        queue.waitUntilAllOperationsAreFinished();
    }
    mainQueue.runPending();
    EXPECT_EQ(results->calls, 0);
}

// Cancelled in the middle of a walk, by a predicate that sets the flag on its 100th file of
// 2,000: the filter stops there and gives none, rather than a tree of what it had found.
TEST(SearchOperationTest, ASearchCancelledMidWalkStopsAndGivesNothing) {
    std::vector<FilePtr> folders;
    for (int f = 0; f < 20; ++f) {
        std::vector<FilePtr> files;
        for (int i = 0; i < 100; ++i)
            files.push_back(file("f" + std::to_string(i), 1 + i));
        folders.push_back(Directory::create("d" + std::to_string(f), {}, {}, std::move(files)));
    }
    const DirectoryPtr tree = Directory::create("", {}, {}, std::move(folders));
    struct CancellingPredicate : FilePredicate {
        std::atomic<bool>* flag;
        mutable int evaluated = 0;
        bool evaluate(const File&) const override {
            if (++evaluated == 100) flag->store(true);
            return true;
        }
    };
    std::atomic<bool> cancelled{false};
    CancellingPredicate predicate;
    predicate.flag = &cancelled;
    EXPECT_EQ(tree->filteredForSearch(predicate, cancelled), nullptr);
    EXPECT_EQ(predicate.evaluated, 100);

    // Left alone, the same walk finds every file.
    cancelled = false;
    predicate.flag = nullptr;
    struct Everything : FilePredicate {
        bool evaluate(const File&) const override { return true; }
    };
    const FilePtr all = tree->filteredForSearch(Everything{}, cancelled);
    ASSERT_NE(all, nullptr);
    EXPECT_EQ(all->asDirectory()->fileCount(), 2000);
}

} // namespace
} // namespace tessera
