// Comparing two trees of one place: pairs by name, renames found by contents, the changes that
// say what happened, largest first, and every entry's sizes on both sides.
#include "compare/TreeComparison.h"

#include "support/TreeBuilders.h"

#include <gtest/gtest.h>

namespace tessera {
namespace {

using namespace tessera::testing;

std::vector<std::string> listed(const TreeComparison& comparison) {
    std::vector<std::string> lines;
    for (const EntryChange& change : comparison.changes()) {
        std::string line = std::string(changeKindName(change.kind)) + " ";
        if (change.kind == ChangeKind::renamed) line += change.before->relativePath() + " -> ";
        line += change.entry().relativePath() + " " + std::to_string(change.difference());
        lines.push_back(line);
    }
    return lines;
}

TEST(TreeComparisonTest, ChangesAreListedLargestFirstAndFoldersThatCameOrWentWhole) {
    const auto before =
        dir("", dir("music", file("song", 100), file("live", 30)),
            dir("old", dir("deep", file("junk", 70))), file("notes", 5), file("same", 40));
    const auto after =
        dir("", dir("music", file("song", 100), file("live", 20)),
            dir("photos", file("a", 300), file("b", 1)), file("notes", 14), file("same", 40));
    const TreeComparison comparison(*before, *after, SizeMode::fileSize);
    EXPECT_EQ(listed(comparison),
              (std::vector<std::string>{"new photos 301", "gone old -70", "shrunk music/live -10",
                                        "grown notes 9"}));
    const ChangeCounts& counts = comparison.counts();
    EXPECT_EQ(counts.grown, 1);
    EXPECT_EQ(counts.shrunk, 1);
    EXPECT_EQ(counts.added, 1);
    EXPECT_EQ(counts.removed, 1);
    EXPECT_EQ(counts.renamed, 0);

    // Every entry of either tree knows its counterpart and its sizes on both sides; what came
    // or went, down to what it held, has none.
    const File* music = after->fileAtPath("music");
    EXPECT_EQ(comparison.counterpart(*music), before->fileAtPath("music"));
    EXPECT_EQ(comparison.changeOf(*music), ChangeKind::shrunk);
    EXPECT_EQ(comparison.sizeBefore(*music), 130);
    EXPECT_EQ(comparison.sizeAfter(*music), 120);
    EXPECT_EQ(comparison.changeOf(*after->fileAtPath("same")), ChangeKind::unchanged);
    const File* junk = before->fileAtPath("old/deep/junk");
    EXPECT_EQ(comparison.counterpart(*junk), nullptr);
    EXPECT_EQ(comparison.changeOf(*junk), ChangeKind::removed);
    EXPECT_EQ(comparison.sizeBefore(*junk), 70);
    EXPECT_EQ(comparison.sizeAfter(*junk), 0);
    EXPECT_EQ(comparison.changeOf(*after->fileAtPath("photos/a")), ChangeKind::added);
    EXPECT_EQ(comparison.sizeBefore(*after->fileAtPath("photos/a")), 0);

    // Identical trees have nothing to say.
    const TreeComparison same(*before, *before, SizeMode::fileSize);
    EXPECT_TRUE(same.changes().empty());
}

TEST(TreeComparisonTest, AFolderFoundUnderAnotherNameOrPlaceIsOneFolderRenamed) {
    const auto before = dir("", dir("music", file("song", 100), dir("live", file("set", 30))),
                            dir("inbox", dir("scans", file("p1", 9), file("p2", 9))),
                            file("notes", 5), dir("empty1"), dir("empty2"));
    // music renamed to audio, inbox/scans moved to archive/scans, and two empty folders renamed
    // (either could be either: neither is taken for a rename).
    const auto after = dir("", dir("audio", file("song", 100), dir("live", file("set", 30))),
                           dir("inbox"), dir("archive", dir("scans", file("p1", 9), file("p2", 9))),
                           file("notes", 5), dir("e1"), dir("e2"));
    const TreeComparison comparison(*before, *after, SizeMode::fileSize);
    const std::vector<std::string> lines = listed(comparison);
    // archive came holding only what moved into it: nothing in it is new.
    EXPECT_EQ(lines,
              (std::vector<std::string>{"renamed music -> audio 0",
                                        "renamed inbox/scans -> archive/scans 0", "new archive 0",
                                        "new e1 0", "new e2 0", "gone empty1 0", "gone empty2 0"}));
    std::int64_t sum = 0;
    for (const EntryChange& change : comparison.changes())
        sum += change.difference();
    EXPECT_EQ(sum, after->size() - before->size());
    const File* set = after->fileAtPath("audio/live/set");
    EXPECT_EQ(comparison.counterpart(*set), before->fileAtPath("music/live/set"));
    EXPECT_EQ(comparison.changeOf(*after->fileAtPath("audio")), ChangeKind::renamed);
    EXPECT_EQ(comparison.changeOf(*after->fileAtPath("archive/scans")), ChangeKind::renamed);
    EXPECT_EQ(comparison.changeOf(*set), ChangeKind::unchanged);
    EXPECT_EQ(comparison.renamedPaths(),
              (std::vector<std::pair<std::string, std::string>>{{"inbox/scans", "archive/scans"},
                                                                {"music", "audio"}}));

    // A folder that also changed what it holds is not the same folder: gone and new; what it
    // holds unchanged moved from one to the other.
    const auto edited = dir("", dir("audio", file("song", 101), dir("live", file("set", 30))));
    const auto original = dir("", dir("music", file("song", 100), dir("live", file("set", 30))));
    const TreeComparison notRenamed(*original, *edited, SizeMode::fileSize);
    EXPECT_EQ(listed(notRenamed), (std::vector<std::string>{"new audio 101", "gone music -100",
                                                            "renamed music/live -> audio/live 0"}));
}

TEST(TreeComparisonTest, DuplicateNamesKindChangesAndDeepChainsPairSafely) {
    // A snapshot's folder may hold two entries of one name: they pair in order. A file that
    // became a folder is one entry gone and another new.
    const auto before = dir("", file("twin", 1), file("twin", 2), file("thing", 8));
    const auto after = dir("", file("twin", 1), file("twin", 5), dir("thing", file("x", 3)));
    const TreeComparison comparison(*before, *after, SizeMode::fileSize);
    EXPECT_EQ(listed(comparison),
              (std::vector<std::string>{"gone thing -8", "grown twin 3", "new thing 3"}));

    // A chain deeper than any stack, one byte grown at its bottom.
    auto chain = [](std::int64_t bottom) {
        DirectoryPtr deepest = dir("d", file("leaf", bottom));
        for (int i = 0; i < 100'000; ++i)
            deepest = dir("d", std::move(deepest));
        return dir("", std::move(deepest));
    };
    const auto shallow = chain(1);
    const auto deeper = chain(2);
    const TreeComparison deep(*shallow, *deeper, SizeMode::fileSize);
    ASSERT_EQ(deep.changes().size(), 1u);
    EXPECT_EQ(deep.changes().front().kind, ChangeKind::grown);
    EXPECT_EQ(deep.changes().front().difference(), 1);
}

} // namespace
} // namespace tessera
