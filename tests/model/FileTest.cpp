#include "model/File.h"

#include "model/Directory.h"
#include "model/FilePredicate.h"
#include "model/MergedFile.h"
#include "model/NodeStore.h"
#include "support/TreeBuilders.h"

#include <algorithm>
#include <atomic>
#include <functional>
#include <gtest/gtest.h>
#include <thread>

namespace tessera {
namespace {

using namespace tessera::testing;

class LambdaPredicate : public FilePredicate {
public:
    explicit LambdaPredicate(std::function<bool(const File&)> test) : test_(std::move(test)) {}
    bool evaluate(const File& file) const override { return test_(file); }

private:
    std::function<bool(const File&)> test_;
};

TEST(FileTest, DirectoriesAggregateSizesAndLeavesExactly) {
    auto empty = dir("x");
    EXPECT_EQ(empty->fileCount(), 1);
    EXPECT_EQ(empty->size(), 0);
    EXPECT_EQ(empty->allocatedSize(), 0);
    EXPECT_TRUE(empty->isLeaf());

    EXPECT_EQ(dir("d", dir("e"))->fileCount(), 1);

    auto root =
        dir("", file("a", 10, 4096), dir("sub", file("b", 5, 0), dir("e")), file("c", 1, 512));
    EXPECT_EQ(root->size(), 16);
    EXPECT_EQ(root->allocatedSize(), 4608);
    EXPECT_EQ(root->fileCount(), 4);
    EXPECT_FALSE(root->isLeaf());
    EXPECT_EQ(root->child(1)->asDirectory()->fileCount(), 2);
    EXPECT_EQ(root->child(1)->parent(), root.get());
    EXPECT_EQ(root->size(SizeMode::childCount), 4);
    EXPECT_EQ(root->child(0)->size(SizeMode::childCount), 1);
    EXPECT_EQ(root->child(0)->size(SizeMode::allocatedFileSize), 4096);
}

TEST(FileTest, PackagesKeepTheirSizesButShowAsLeaves) {
    auto package = dir("App.app", file("bin", 100), file("data", 20));
    package->setPackageFlag(true);
    EXPECT_TRUE(package->didLoadPackageFlag());
    EXPECT_TRUE(package->isLeaf());
    EXPECT_EQ(package->size(), 120);
    EXPECT_EQ(package->fileCount(), 2);
}

TEST(FileTest, RelativePathsJoinNamesFromTheRoot) {
    auto scanned = dir("", dir("a", file("b", 1)));
    const File* b = scanned->child(0)->asDirectory()->child(0);
    EXPECT_EQ(scanned->child(0)->relativePath(), "a");
    EXPECT_EQ(b->relativePath(), "a/b");

    auto slashRoot = dir("/", dir("a", file("b", 1)));
    EXPECT_EQ(slashRoot->child(0)->relativePath(), "/a");
    EXPECT_EQ(slashRoot->child(0)->asDirectory()->child(0)->relativePath(), "/a/b");

    auto named = dir("home", file("x", 1));
    EXPECT_EQ(named->child(0)->relativePath(), "home/x");
}

TEST(FileTest, AncestorsAndCommonAncestorFollowIdentity) {
    auto root = dir("", dir("a", file("x", 1), file("y", 2)), file("z", 3));
    Directory* a = root->child(0)->asDirectory();
    File* x = a->child(0);
    File* y = a->child(1);
    File* z = root->child(1);

    const std::vector<File*> chain{root.get(), a, x};
    EXPECT_EQ(x->ancestors(), chain);
    EXPECT_EQ(x->commonAncestor(*x), x);
    EXPECT_EQ(x->commonAncestor(*y), a);
    EXPECT_EQ(x->commonAncestor(*z), root.get());
    EXPECT_EQ(z->commonAncestor(*a), root.get());
    EXPECT_TRUE(x->isDescendant(*root));
    EXPECT_TRUE(x->isDescendant(*x));
    EXPECT_FALSE(root->isDescendant(*x));

    auto other = dir("", file("x", 1));
    EXPECT_EQ(x->commonAncestor(*other->child(0)), nullptr);
}

TEST(FileTest, NamesAreBytesAndDisplayStringsAreValidUtf8) {
    const std::string awkward = "tab\there\nnew\xff\xfe line\xc3";
    auto node = file(awkward, 1);
    EXPECT_EQ(node->path(), awkward);
    EXPECT_EQ(node->displayName(), "tab\there\nnew\xEF\xBF\xBD\xEF\xBF\xBD line\xEF\xBF\xBD");
    EXPECT_EQ(file("caf\xc3\xa9", 1)->displayName(), "caf\xc3\xa9");

    auto root = dir("", file("old", 1));
    File* child = root->child(0);
    child->setPath("a much longer name than the record had room for");
    EXPECT_EQ(child->path(), "a much longer name than the record had room for");
    EXPECT_EQ(child->relativePath(), "a much longer name than the record had room for");
    root->setPath("/");
    EXPECT_EQ(child->relativePath(), "/a much longer name than the record had room for");

    // A record holds names up to 255 bytes, as long as Linux lets an entry's name be; longer ones
    // (a snapshot's root named by its whole path) are kept beside the store, whole.
    const std::size_t baseline = NodeStore::bytesInUse();
    for (const std::size_t length : {std::size_t{255}, std::size_t{256}, std::size_t{5000}}) {
        const std::string name = std::string(length - 1, 'n') + '\xff';
        DirectoryPtr folder = Directory::create(name, Date::distantPast(), Date::distantPast(), {});
        FilePtr leaf = file(name, 7);
        EXPECT_EQ(folder->path(), name);
        EXPECT_EQ(leaf->path(), name);
        EXPECT_EQ(leaf->copy()->path(), name);
        leaf->setPath("short");
        EXPECT_EQ(leaf->path(), "short");
    }
    EXPECT_EQ(NodeStore::bytesInUse(), baseline);
}

TEST(FileTest, DatesSurviveStorageAcrossTheWholeRange) {
    for (std::int64_t seconds : {std::int64_t{0}, std::int64_t{1}, std::int64_t{-1},
                                 std::int64_t{4'294'967'293}, std::int64_t{4'294'967'294},
                                 std::int64_t{-62'135'596'800}, std::int64_t{253'402'300'799}}) {
        auto node = File::create("f", 0, 0, Date::fromUnixSeconds(seconds),
                                 Date::fromUnixSeconds(seconds / 2));
        EXPECT_EQ(node->creationDate().seconds, seconds);
        EXPECT_EQ(node->modificationDate().seconds, seconds / 2);
        EXPECT_EQ(node->path(), "f");
    }
    auto unknown = File::create("u", 0, 0, Date::distantPast(), Date::fromUnixSeconds(5));
    EXPECT_EQ(unknown->date(ColorMode::creationDate), std::nullopt);
    EXPECT_EQ(unknown->date(ColorMode::modificationDate), Date::fromUnixSeconds(5));
    EXPECT_EQ(unknown->date(ColorMode::hueWheel), std::nullopt);

    // New dates go in place where the node's storage holds them, and never half-way.
    EXPECT_TRUE(unknown->setDates(Date::fromUnixSeconds(7), Date::fromUnixSeconds(8)));
    EXPECT_EQ(unknown->creationDate().seconds, 7);
    EXPECT_EQ(unknown->modificationDate().seconds, 8);
    EXPECT_EQ(unknown->path(), "u");
    EXPECT_FALSE(unknown->setDates(Date::fromUnixSeconds(9), Date::fromUnixSeconds(-5)));
    EXPECT_EQ(unknown->modificationDate().seconds, 8);
    auto wide = File::create("w", 0, 0, Date::fromUnixSeconds(-3), Date::fromUnixSeconds(1));
    EXPECT_TRUE(wide->setDates(Date::fromUnixSeconds(2), Date::fromUnixSeconds(-4)));
    EXPECT_EQ(wide->creationDate().seconds, 2);
    EXPECT_EQ(wide->modificationDate().seconds, -4);
    EXPECT_EQ(wide->path(), "w");
}

TEST(FileTest, KeyValueAccessGivesTheFiveKeys) {
    auto node = file("name", 42, 4096);
    EXPECT_EQ(std::get<std::string_view>(*node->value("path")), "name");
    EXPECT_EQ(std::get<std::int64_t>(*node->value("size")), 42);
    EXPECT_EQ(std::get<std::int64_t>(*node->value("allocatedSize")), 4096);
    EXPECT_EQ(std::get<Date>(*node->value("creationDate")), kCreated);
    EXPECT_EQ(std::get<Date>(*node->value("modificationDate")), kModified);
    EXPECT_EQ(node->value("fileCount"), std::nullopt);
}

TEST(FileTest, SizeStringsFollowTheMeasure) {
    auto root = dir("", file("a", 1500, 4096), file("b", 1));
    EXPECT_EQ(root->sizeString(SizeMode::fileSize), "2 KB");
    EXPECT_EQ(root->sizeString(SizeMode::childCount), "2");
    EXPECT_EQ(root->child(0)->sizeString(SizeMode::childCount), std::nullopt);
    EXPECT_EQ(root->child(0)->displaySizeString(SizeMode::allocatedFileSize), "4 KB allocated");
    EXPECT_EQ(root->displaySizeString(SizeMode::childCount), "2 files");
    EXPECT_EQ(dir("e")->displaySizeString(SizeMode::childCount), "1 file");
    EXPECT_EQ(root->child(0)->displaySizeString(SizeMode::childCount), std::nullopt);

    MergedFile& merged = root->mergedContents();
    EXPECT_EQ(merged.parent(), root.get());
    EXPECT_EQ(merged.path(), "<merged>");
    merged.setMerge(2, 1234);
    EXPECT_EQ(merged.size(SizeMode::childCount), 1234);
    EXPECT_EQ(merged.sizeString(SizeMode::childCount), "2");
    EXPECT_EQ(merged.sizeString(SizeMode::fileSize), "1 KB");
    EXPECT_EQ(merged.displaySizeString(SizeMode::childCount), "1,234 files");
}

TEST(FileTest, CopiesAreDetachedAndEqual) {
    auto root = dir("", dir("a", file("x", 3, 4096), dir("e")), file("y", 7));
    FilePtr copied = root->copy();
    Directory* copy = copied->asDirectory();
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->parent(), nullptr);
    EXPECT_EQ(copy->size(), 10);
    EXPECT_EQ(copy->allocatedSize(), 4103);
    EXPECT_EQ(copy->fileCount(), 3);
    EXPECT_EQ(copy->child(0)->relativePath(), "a");
    EXPECT_NE(copy->child(0), root->child(0));
    EXPECT_EQ(copy->child(0)->asDirectory()->child(1)->relativePath(), "a/e");

    auto& merged = root->mergedContents();
    merged.setMerge(1, 7);
    FilePtr mergedCopy = merged.copy();
    EXPECT_EQ(mergedCopy->kind(), File::Kind::file);
    EXPECT_EQ(mergedCopy->path(), "<merged>");
}

TEST(FileTest, FilteringKeepsMatchesAndTheirFolders) {
    auto root = dir("", dir("a", file("big", 100), file("small", 1)), dir("b", file("tiny", 2)),
                    dir("empty"), file("huge", 1000));
    const LambdaPredicate large([](const File& f) { return f.size() >= 100; });
    FilePtr kept = root->filtered(large);
    ASSERT_NE(kept, nullptr);
    Directory* filtered = kept->asDirectory();
    EXPECT_TRUE(filtered->expanded());
    ASSERT_EQ(filtered->count(), 2u);
    EXPECT_EQ(filtered->child(0)->relativePath(), "a");
    EXPECT_EQ(filtered->child(0)->asDirectory()->count(), 1u);
    EXPECT_EQ(filtered->child(1)->path(), "huge");
    EXPECT_EQ(filtered->size(), 1100);
    EXPECT_EQ(filtered->fileCount(), 2);
    EXPECT_EQ(root->size(), 1103); // the source is untouched

    const LambdaPredicate nothing([](const File&) { return false; });
    EXPECT_EQ(root->filtered(nothing), nullptr);
    // An empty directory survives when it matches itself.
    const LambdaPredicate named([](const File& f) { return f.path() == "empty"; });
    FilePtr onlyEmpty = root->filtered(named);
    ASSERT_NE(onlyEmpty, nullptr);
    EXPECT_EQ(onlyEmpty->asDirectory()->child(0)->path(), "empty");
    EXPECT_EQ(file("x", 1)->filtered(nothing), nullptr);
}

TEST(FileTest, LookupByRelativePathBacktracksOverEqualNames) {
    auto root = dir("", dir("a", file("x", 1)), dir("a", file("y", 1)), file("b", 1));
    EXPECT_EQ(root->fileAtPath(""), root.get());
    EXPECT_EQ(root->fileAtPath("b"), root->child(2));
    EXPECT_EQ(root->fileAtPath("a"), root->child(0));
    EXPECT_EQ(root->fileAtPath("a/y"), root->child(1)->asDirectory()->child(0));
    EXPECT_EQ(root->fileAtPath("a/z"), nullptr);
    EXPECT_EQ(root->fileAtPath("/a"), nullptr);

    auto slash = dir("/", dir("usr", file("lib", 1)));
    EXPECT_EQ(slash->fileAtPath("/usr/lib"), slash->child(0)->asDirectory()->child(0));
    EXPECT_EQ(slash->fileAtPath("/"), slash.get());

    auto named = dir("home", dir("me", file("notes", 1)));
    EXPECT_EQ(named->fileAtPath("home/me/notes")->path(), "notes");
    EXPECT_EQ(named->fileAtPath("homeless"), nullptr);
}

// Threads that make a few nodes and end (each snapshot read makes one) leave the rest of their
// piece of the node store to the next thread, instead of a piece of the store each for good.
TEST(FileTest, ThreadsThatEndLeaveTheirUnusedNodeStoreToTheNext) {
    // A size no other test frees, so that no block comes from the store's free lists.
    const std::string name(250, 'n');
    std::vector<FilePtr> made;
    for (int i = 0; i < 100; ++i)
        std::thread([&] { made.push_back(File::create(name, 1, 1, {}, {})); }).join();
    // Each thread's node lies right after the one before, but where a chunk runs out; a hundred
    // threads with a fresh chunk each would be a hundred chunks apart.
    int apart = 0;
    for (std::size_t i = 1; i < made.size(); ++i) {
        const auto step = static_cast<std::int64_t>(NodeStore::toRef(made[i].get())) -
                          static_cast<std::int64_t>(NodeStore::toRef(made[i - 1].get()));
        if (step <= 0 || step * static_cast<std::int64_t>(NodeStore::kGranule) > 4096) ++apart;
    }
    EXPECT_LE(apart, 5);
}

TEST(FileTest, TreesDeeperThanTheStackCopyFilterLookUpAndFree) {
    const std::size_t baseline = NodeStore::bytesInUse();
    constexpr int kDepth = 200'000;
    DirectoryPtr chain = dir("leaf", file("f", 3));
    for (int i = 0; i < kDepth; ++i)
        chain = dir("d", std::move(chain));
    EXPECT_EQ(chain->size(), 3);

    FilePtr copy = chain->copy();
    const LambdaPredicate everything([](const File&) { return true; });
    FilePtr filtered = chain->filtered(everything);
    EXPECT_EQ(filtered->size(), 3);

    std::string deepest = "d";
    for (int i = 1; i < kDepth; ++i)
        deepest += "/d";
    deepest += "/leaf/f";
    File* leaf = chain->fileAtPath(deepest);
    ASSERT_NE(leaf, nullptr);
    EXPECT_EQ(leaf->relativePath(), deepest);
    EXPECT_EQ(leaf->ancestors().size(), static_cast<std::size_t>(kDepth) + 2);

    auto update = leaf->parent()->updateSizes(leaf, 5, 5, 0);
    EXPECT_EQ(update.size(), static_cast<std::size_t>(kDepth) + 1);
    EXPECT_EQ(chain->size(), 8);

    chain.reset();
    copy.reset();
    filtered.reset();
    EXPECT_EQ(NodeStore::bytesInUse(), baseline);
}

TEST(FileTest, SizesKeepEveryValueWhetherTheyFitThirtyTwoBitsOrNot) {
    constexpr std::int64_t kFourGiB = std::int64_t{1} << 32;
    const std::size_t baseline = NodeStore::bytesInUse();
    struct Case {
        std::int64_t size;
        std::int64_t allocated;
    };
    // Compact: under 4 GiB and whole blocks under 256 MiB; wide: big files, and anything else a
    // snapshot may hold.
    constexpr std::int64_t k256MiB = std::int64_t{1} << 28;
    const Case cases[] = {{0, 0},
                          {100, k256MiB - 512},
                          {100, k256MiB},
                          {k256MiB, k256MiB + 4096},
                          {kFourGiB - 1, kFourGiB - 512},
                          {kFourGiB, kFourGiB},
                          {std::int64_t{1} << 62, 4096},
                          {3, 3},
                          {100, (std::int64_t{1} << 41)},
                          {100, (std::int64_t{1} << 41) - 512}};
    for (const Case& c : cases) {
        FilePtr node = file("f", c.size, c.allocated);
        EXPECT_EQ(node->size(), c.size);
        EXPECT_EQ(node->allocatedSize(), c.allocated);
        EXPECT_EQ(node->size(SizeMode::allocatedFileSize), c.allocated);
        FilePtr copied = node->copy();
        EXPECT_EQ(copied->size(), c.size);
        EXPECT_EQ(copied->allocatedSize(), c.allocated);
    }

    // A file that grows past 4 GiB in place (a live tree) and shrinks back keeps exact figures,
    // and its folders follow.
    DirectoryPtr root = dir("root", dir("sub", file("grows", kFourGiB - 1, 4096)));
    File* grows = root->fileAtPath("root/sub/grows");
    ASSERT_NE(grows, nullptr);
    grows->parent()->updateSizes(grows, 10, kFourGiB, 0);
    EXPECT_EQ(grows->size(), kFourGiB + 9);
    EXPECT_EQ(grows->allocatedSize(), kFourGiB + 4096);
    EXPECT_EQ(root->size(), kFourGiB + 9);
    EXPECT_EQ(root->allocatedSize(), kFourGiB + 4096);
    grows->parent()->updateSizes(grows, -kFourGiB, -kFourGiB, 0);
    EXPECT_EQ(grows->size(), 9);
    EXPECT_EQ(grows->allocatedSize(), 4096);
    EXPECT_EQ(root->size(), 9);

    // Folder sums take 48 bits where they fit: a petabyte file system's root goes past them, and
    // comes back when it shrinks.
    constexpr std::int64_t k256TiB = std::int64_t{1} << 48;
    DirectoryPtr volume = dir("", dir("a", file("x", k256TiB - 2, k256TiB - 512)), file("y", 1, 0));
    EXPECT_EQ(volume->size(), k256TiB - 1);
    EXPECT_EQ(volume->allocatedSize(), k256TiB - 512);
    File* y = volume->fileAtPath("y");
    volume->updateSizes(y, 1, 4096, 0);
    EXPECT_EQ(volume->size(), k256TiB);
    EXPECT_EQ(volume->allocatedSize(), k256TiB + 3584);
    EXPECT_EQ(volume->child(0)->size(), k256TiB - 2);
    volume->updateSizes(y, -2, -4096, 0);
    EXPECT_EQ(volume->size(), k256TiB - 2);
    EXPECT_EQ(volume->allocatedSize(), k256TiB - 512);
    EXPECT_EQ(volume->fileCount(), 2);
    volume.reset();
    root.reset();
    EXPECT_EQ(NodeStore::bytesInUse(), baseline);
}

TEST(FileTest, FilesMadeOnManyThreadsAtOnceKeepTheirOwnWideSizes) {
    // A scan makes nodes on all its threads; the files of 4 GiB and more among them share one
    // table.
    constexpr int kThreads = 4;
    constexpr int kFiles = 2000;
    std::vector<std::thread> threads;
    std::atomic<int> wrong{0};
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &wrong] {
            std::vector<FilePtr> made;
            for (int i = 0; i < kFiles; ++i) {
                const std::int64_t size = (std::int64_t{t + 1} << 40) + i;
                made.push_back(file("f", size, size * 2));
                if (i % 2 == 1) made[static_cast<std::size_t>(i - 1)].reset();
            }
            for (int i = 1; i < kFiles; i += 2) {
                const std::int64_t size = (std::int64_t{t + 1} << 40) + i;
                const File& node = *made[static_cast<std::size_t>(i)];
                if (node.size() != size || node.allocatedSize() != size * 2) ++wrong;
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(wrong.load(), 0);
}

} // namespace
} // namespace tessera
