#include "controller/EntriesLeftOut.h"

#include <gtest/gtest.h>
#include <set>
#include <string>
#include <vector>

namespace tessera {
namespace {

std::set<std::string> pathsOf(const EntriesLeftOut& entries) {
    return {entries.paths().begin(), entries.paths().end()};
}

// Names that sort between "a/b" and "a/b/..." ("a/b c", "a/b.d", "a/b-") are neighbours, not
// descendants: what is settled at a folder leaves them as they are.
TEST(EntriesLeftOutTest, WhatIsSettledAtAFolderIsThatFolderAndWhatLiesBelowIt) {
    EntriesLeftOut entries;
    entries.add({"a/b", "a/b/x", "a/b/x/y", "a/b c", "a/b.d", "a/b-", "a/bc", "a", "z"});
    EXPECT_EQ(entries.count(), 9u);

    entries.replaceAtOrBelow("a/b", {"a/b/new"});
    EXPECT_EQ(pathsOf(entries),
              (std::set<std::string>{"a", "a/b c", "a/b.d", "a/b-", "a/bc", "a/b/new", "z"}));

    entries.forgetAtOrBelow("a/b");
    EXPECT_EQ(pathsOf(entries),
              (std::set<std::string>{"a", "a/b c", "a/b.d", "a/b-", "a/bc", "z"}));

    // The root holds everything.
    entries.replaceAtOrBelow("", {"q"});
    EXPECT_EQ(pathsOf(entries), std::set<std::string>{"q"});
    entries.forgetAtOrBelow("");
    EXPECT_EQ(entries.count(), 0u);
}

TEST(EntriesLeftOutTest, AMovedFolderTakesItsEntriesAndReplacesWhatWasAtItsNewPlace) {
    EntriesLeftOut entries;
    entries.add({"from", "from/locked", "from/locked/deep", "from x", "to/old", "other"});
    entries.move("from", "to");
    EXPECT_EQ(pathsOf(entries),
              (std::set<std::string>{"to", "to/locked", "to/locked/deep", "from x", "other"}));
    // Into a folder of its own former contents: counted once, at the new place.
    entries.move("to", "to2/inner");
    EXPECT_EQ(pathsOf(entries),
              (std::set<std::string>{"to2/inner", "to2/inner/locked", "to2/inner/locked/deep",
                                     "from x", "other"}));
    // A move onto a name replaces what was there, readable or not.
    entries.move("nothing", "other");
    EXPECT_EQ(entries.count(), 4u);
    EXPECT_FALSE(entries.paths().contains("other"));
}

} // namespace
} // namespace tessera
