#include "model/Directory.h"

#include "model/MergedFile.h"
#include "model/NodeStore.h"
#include "support/TreeBuilders.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <random>
#include <unordered_map>

namespace tessera {
namespace {

using namespace tessera::testing;

std::vector<std::string> names(const Directory& directory) {
    std::vector<std::string> result;
    for (const File* child : directory.contents())
        result.emplace_back(child->path());
    return result;
}

TEST(DirectoryTest, SortingIsBySizeDescendingThenNameInByteOrder) {
    auto root = dir("", file("a", 5), file("B", 5), file("c", 9), file("b", 5), file("d", 1));
    root->sortContents(SizeMode::fileSize);
    EXPECT_EQ(names(*root), (std::vector<std::string>{"c", "B", "a", "b", "d"}));
    EXPECT_EQ(root->sizeMode(), SizeMode::fileSize);

    // Already sorted by this mode: sizes changed behind its back do not reorder it.
    auto again = dir("", file("x", 1), file("y", 2));
    again->sortContents(SizeMode::childCount);
    EXPECT_EQ(names(*again), (std::vector<std::string>{"x", "y"}));
    again->sortContents(SizeMode::childCount);
    EXPECT_EQ(names(*again), (std::vector<std::string>{"x", "y"}));
    again->sortContents(SizeMode::fileSize);
    EXPECT_EQ(names(*again), (std::vector<std::string>{"y", "x"}));
}

// Folders of many children are sorted by keys read ahead; the order must be the same relation.
TEST(DirectoryTest, ManyChildrenSortByTheSameRuleAsFew) {
    std::mt19937 random(99);
    std::vector<FilePtr> children;
    for (int i = 0; i < 500; ++i) {
        const auto size = static_cast<std::int64_t>(random() % 7); // many equal sizes
        children.push_back(file("n" + std::to_string(random() % 100'000), size, 7 - size));
    }
    children.push_back(dir("sub", file("a", 3), file("b", 1)));
    auto root = Directory::create("", kCreated, kModified, std::move(children));
    for (SizeMode mode : {SizeMode::fileSize, SizeMode::allocatedFileSize, SizeMode::childCount}) {
        root->sortContents(mode);
        const auto contents = root->contents();
        EXPECT_TRUE(std::is_sorted(contents.begin(), contents.end(),
                                   [mode](File* a, File* b) { return comesBefore(*a, *b, mode); }));
        EXPECT_EQ(contents.size(), 501u);
    }
}

TEST(DirectoryTest, LeafCountsReplaceTheEmptyDirectorysOwnLeaf) {
    auto root = dir("");
    EXPECT_EQ(root->fileCount(), 1);
    root->add(file("one", 1));
    EXPECT_EQ(root->fileCount(), 1);
    root->add(file("two", 1));
    EXPECT_EQ(root->fileCount(), 2);
    root->add(dir("empty"));
    EXPECT_EQ(root->fileCount(), 3);
    auto removed = root->remove(*root->child(0));
    EXPECT_EQ(removed.index, 0u);
    EXPECT_EQ(removed.file->parent(), nullptr);
    root->remove(*root->child(0));
    root->remove(*root->child(0));
    EXPECT_EQ(root->fileCount(), 1);
    EXPECT_EQ(root->size(), 0);
}

TEST(DirectoryTest, UnsortedDirectoriesAppendAndRemoveByIdentity) {
    auto root = dir("", file("z", 1), file("a", 50));
    auto added = root->add(file("m", 100));
    EXPECT_EQ(added.index, 2u);
    EXPECT_TRUE(added.batch.empty()); // the root has no parent to move in
    EXPECT_EQ(names(*root), (std::vector<std::string>{"z", "a", "m"}));
    auto removed = root->remove(*root->child(1));
    EXPECT_EQ(removed.index, 1u);
    EXPECT_EQ(names(*root), (std::vector<std::string>{"z", "m"}));
    EXPECT_EQ(root->size(), 101);
}

TEST(DirectoryTest, AddingDeepDownReportsOneMovePerLevelDeepestFirst) {
    auto root = dir("", dir("big", file("f", 50)), dir("a", dir("b", dir("c", file("g", 1)))),
                    file("mid", 20));
    root->sortContents(SizeMode::fileSize);
    Directory* a = root->child(2)->asDirectory(); // big 50, mid 20, a 1
    ASSERT_EQ(a->path(), "a");
    Directory* b = a->child(0)->asDirectory();
    Directory* c = b->child(0)->asDirectory();
    b->sortContents(SizeMode::fileSize);
    a->sortContents(SizeMode::fileSize);

    auto insertion = c->add(file("new", 30));
    EXPECT_EQ(insertion.index, 1u); // c is unsorted: appended
    ASSERT_EQ(insertion.batch.size(), 3u);
    EXPECT_EQ(insertion.batch[0], (FileOrderChange{c, 0, 0}));
    EXPECT_EQ(insertion.batch[1], (FileOrderChange{b, 0, 0}));
    EXPECT_EQ(insertion.batch[2], (FileOrderChange{a, 2, 1})); // 31 passes mid's 20
    EXPECT_EQ(names(*root), (std::vector<std::string>{"big", "a", "mid"}));
    EXPECT_EQ(c->size(), 31);
    EXPECT_EQ(b->size(), 31);
    EXPECT_EQ(a->size(), 31);
    EXPECT_EQ(root->size(), 101);
    EXPECT_EQ(root->fileCount(), 4);

    auto shrink = c->updateSizes(c->child(1), -30, -30, 0);
    ASSERT_EQ(shrink.size(), 4u);
    EXPECT_EQ(shrink.back(), (FileOrderChange{a, 1, 2}));
    EXPECT_EQ(root->size(), 71);
}

TEST(DirectoryTest, TheMergedTailStandsForTheLastChildrenUntilTheNextChange) {
    auto root = dir("");
    for (int i = 0; i < 10; ++i)
        root->add(file("f" + std::to_string(i), 10 - i));
    root->sortContents(SizeMode::fileSize);
    EXPECT_EQ(root->displayedContents().size(), 10u);
    root->mergedContents().setMerge(3, 6);
    auto shown = root->displayedContents();
    ASSERT_EQ(shown.size(), 8u);
    EXPECT_EQ(shown[6], root->child(6));
    EXPECT_EQ(shown[7], &root->mergedContents());
    root->add(file("late", 4));
    EXPECT_EQ(root->mergedContents().mergedContentCount(), 0);
    EXPECT_EQ(root->displayedContents().size(), 11u);
}

// The placeholder lives in its folder's child array, behind the children and their room: it must
// survive the array growing, shrinking and being handed over, and go with the folder.
TEST(DirectoryTest, ThePlaceholderStaysItsFoldersWhileChildrenComeAndGo) {
    const std::size_t baseline = NodeStore::bytesInUse();
    {
        auto root = dir("");
        MergedFile* placeholder = &root->mergedContents(); // an empty folder has no array yet
        EXPECT_EQ(placeholder->parent(), root.get());
        for (int i = 0; i < 100; ++i) {
            root->add(file("f" + std::to_string(i), i + 1));
            ASSERT_EQ(root->existingMergedContents(), placeholder) << i;
        }
        root->sortContents(SizeMode::fileSize);
        root->mergedContents().setMerge(40, 820);
        EXPECT_EQ(root->displayedContents().size(), 61u);
        EXPECT_EQ(root->displayedContents().back(), placeholder);
        for (int i = 0; i < 100; i += 2) {
            File* gone = root->fileAtPath("f" + std::to_string(i));
            ASSERT_NE(gone, nullptr);
            root->remove(*gone);
            ASSERT_EQ(root->existingMergedContents(), placeholder) << i;
        }
        EXPECT_EQ(root->count(), 50u);
        EXPECT_EQ(root->fileCount(), 50);
        for (std::size_t i = 1; i < root->count(); ++i)
            EXPECT_GT(root->child(i - 1)->size(), root->child(i)->size());

        auto taken = root->takeContents();
        EXPECT_EQ(taken.size(), 50u);
        EXPECT_EQ(root->existingMergedContents(), nullptr);
        root->assignContents(std::move(taken));
        root->aggregate();
        EXPECT_EQ(root->fileCount(), 50);
        EXPECT_EQ(root->mergedContents().parent(), root.get());
    }
    EXPECT_EQ(NodeStore::bytesInUse(), baseline);
}

// Random additions, removals and resizes anywhere in a sorted tree, checked after each step
// against sums recomputed from the leaves, the sort order, and the indexes the batch reports.
TEST(DirectoryTest, RandomChangesKeepSumsOrderAndBatchesConsistent) {
    std::mt19937 random(1234);
    auto root = dir("");
    std::vector<Directory*> directories{root.get()};
    for (int i = 0; i < 40; ++i) {
        Directory* parent = directories[random() % directories.size()];
        auto sub = dir("d" + std::to_string(i));
        directories.push_back(sub.get());
        parent->add(std::move(sub));
    }
    for (Directory* directory : directories)
        directory->sortContents(SizeMode::fileSize);

    auto randomSize = [&] {
        return static_cast<std::int64_t>(random() % 5 == 0 ? 0 : random() % 1000);
    };
    // Checked after every step, along the chain that the step touched: sums, order, parents.
    const auto checkChain = [&](const Directory* directory) {
        for (; directory != nullptr; directory = directory->parent()) {
            const Totals totals = recompute(*directory);
            ASSERT_EQ(directory->size(), totals.size);
            ASSERT_EQ(directory->allocatedSize(), totals.allocated);
            ASSERT_EQ(directory->fileCount(), totals.leaves);
            const auto contents = directory->contents();
            ASSERT_TRUE(std::is_sorted(contents.begin(), contents.end(), [](File* a, File* b) {
                return comesBefore(*a, *b, SizeMode::fileSize);
            }));
            for (std::size_t i = 0; i < contents.size(); ++i)
                ASSERT_EQ(directory->child(i)->parent(), directory);
        }
    };
    for (int step = 0; step < 3000; ++step) {
        Directory* target = directories[random() % directories.size()];
        // Where every node of the chain stood before the step.
        std::unordered_map<const File*, std::ptrdiff_t> indexBefore;
        for (const Directory* level = target; level != nullptr; level = level->parent())
            for (std::size_t i = 0; i < level->count(); ++i)
                indexBefore[level->child(i)] = static_cast<std::ptrdiff_t>(i);
        FileOrderBatch batch;
        File* changed = nullptr;
        const int action = static_cast<int>(random() % 3);
        if (action == 0 || target->count() == 0) {
            const std::int64_t size = randomSize();
            auto added = target->add(file("f" + std::to_string(step), size, size * 2));
            changed = target->child(added.index);
            batch = std::move(added.batch);
        } else {
            File* child = target->child(random() % target->count());
            if (child->isDirectory()) continue;
            if (action == 1) {
                batch = target->remove(*child).batch;
            } else {
                const std::int64_t delta = randomSize() - child->size();
                batch = target->updateSizes(child, delta, 2 * delta, 0);
                changed = child;
            }
        }
        // Every reported entry names where the node stood and where it stands now.
        for (const FileOrderChange& change : batch) {
            const Directory* holder = change.file->parent();
            ASSERT_NE(holder, nullptr);
            ASSERT_LT(change.newIndex, static_cast<std::ptrdiff_t>(holder->count()));
            ASSERT_EQ(holder->child(static_cast<std::size_t>(change.newIndex)), change.file);
            const auto before = indexBefore.find(change.file);
            if (before != indexBefore.end()) {
                ASSERT_EQ(change.oldIndex, before->second) << "step " << step;
            }
        }
        // The batch climbs from the change to the root's child, one entry per level.
        const File* expected =
            changed != nullptr && !batch.empty() && batch[0].file == changed ? changed : target;
        for (const FileOrderChange& change : batch) {
            ASSERT_EQ(change.file, expected);
            expected = expected->parent();
        }
        ASSERT_EQ(expected, root.get());
        checkChain(target);
    }
}

} // namespace
} // namespace tessera
