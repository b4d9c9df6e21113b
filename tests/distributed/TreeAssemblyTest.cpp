// The pieces of a distributed scan that need no MPI: folders listed by several listers in any
// order, their records grouped and delivered in any order, make the tree the local walk makes of
// the same folder, byte for byte in its snapshot; damaged records are refused, never guessed at.
#include "distributed/TreeAssembly.h"

#include "distributed/FolderLister.h"
#include "favorites/PredicateText.h"
#include "platform/FileSystem.h"
#include "platform/MainQueue.h"
#include "scan/ScanOperation.h"
#include "snapshot/Snapshot.h"
#include "support/AwkwardTree.h"

#include <algorithm>
#include <deque>
#include <gtest/gtest.h>
#include <mutex>
#include <random>
#include <unistd.h>

namespace tessera::distributed {
namespace {

using namespace tessera::testing;

std::string snapshotOf(const File& root) {
    SnapshotEncoder::Options options;
    return Snapshot::makeData(root, options);
}

struct Listed {
    FilePtr root;
    std::vector<std::string> errorPaths;
    std::uint64_t excluded = 0;
    std::vector<LinkedName> linkedNames;
};

// Lists `path` with three listers taking folders in an order drawn from `seed`, each writing
// its records in batches it hands over now and then, and assembles the batches in another drawn
// order. `beforeListing` runs before each folder is listed; with `keepLinks`, the files with
// several names are told of.
Listed listAndAssemble(const std::string& path, unsigned seed, const Predicate* exclusion = nullptr,
                       const std::function<void(const FolderUnit&)>& beforeListing = {},
                       bool keepLinks = false) {
    std::mt19937 random(seed);
    std::uint64_t nextId = 1;
    std::deque<FolderLister> listers;
    for (int i = 0; i < 3; ++i) {
        listers.emplace_back(exclusion, nullptr, [&nextId] { return nextId++; });
        if (keepLinks) listers.back().keepLinks();
    }
    std::vector<std::string> writing(3);
    std::vector<std::string> batches;

    const auto root = platform::statusOfPath(path);
    EXPECT_TRUE(root.has_value());
    std::deque<FolderUnit> units{{0, root->device, path}};
    while (!units.empty()) {
        const std::size_t at = random() % units.size();
        FolderUnit unit = std::move(units[at]);
        units.erase(units.begin() + static_cast<std::ptrdiff_t>(at));
        if (beforeListing) beforeListing(unit);
        const std::size_t lister = random() % 3;
        for (FolderUnit& other : listers[lister].list(std::move(unit), writing[lister]))
            units.push_back(std::move(other));
        if (random() % 4 == 0) batches.push_back(std::exchange(writing[lister], {}));
    }
    for (std::string& rest : writing)
        batches.push_back(std::move(rest));
    std::shuffle(batches.begin(), batches.end(), random);

    Listed listed;
    TreeAssembly assembly;
    for (std::string& batch : batches)
        assembly.add(std::move(batch),
                     [&](std::string_view entry, int) { listed.errorPaths.emplace_back(entry); });
    DirectoryPtr tree = Directory::create("", root->creationDate, root->modificationDate, {});
    assembly.build(*tree, 0);
    listed.linkedNames = assembly.linkedNames(path);
    listed.root = std::move(tree);
    for (const FolderLister& lister : listers)
        listed.excluded += lister.excludedCount();
    return listed;
}

TEST(TreeAssemblyTest, FoldersListedAnywhereInAnyOrderMakeTheLocalTree) {
    AwkwardTree tree;
    // A chain deeper than the stack would take one level at a time, and a wide level.
    tree.folder.makeChain("chain", 2500); // deeper than PATH_MAX
    for (int i = 0; i < 40; ++i)
        tree.folder.writeFile("wide/folder" + std::to_string(i) + "/file", 100 + i);

    ScanOperation local(tree.path(), nullptr, false, {}, MainQueue::shared());
    const FilePtr expected = local.scan();
    ASSERT_NE(expected, nullptr);
    for (unsigned seed = 1; seed <= 3; ++seed) {
        const Listed listed = listAndAssemble(tree.path(), seed);
        EXPECT_TRUE(listed.errorPaths.empty());
        EXPECT_EQ(snapshotOf(*listed.root), snapshotOf(*expected)) << "seed " << seed;
    }

    // The files with several names are told of as the local walk tells of them.
    std::vector<std::string> localLinks;
    std::mutex linksMutex;
    ScanOperation linking(tree.path(), nullptr, false, {}, MainQueue::shared());
    linking.setLinkedFileFound([&](std::string path, const platform::EntryStatus&) {
        std::lock_guard lock(linksMutex);
        localLinks.push_back(std::move(path));
    });
    ASSERT_NE(linking.scan(), nullptr);
    std::vector<std::string> listedLinks;
    for (const LinkedName& name : listAndAssemble(tree.path(), 5, nullptr, {}, true).linkedNames)
        listedLinks.push_back(name.path);
    std::sort(localLinks.begin(), localLinks.end());
    std::sort(listedLinks.begin(), listedLinks.end());
    EXPECT_GE(localLinks.size(), 2u);
    EXPECT_EQ(listedLinks, localLinks);

    const auto exclusion =
        std::make_shared<const Predicate>(*parsePredicate("path contains \"/wide/folder1\""));
    ScanOperation excluding(tree.path(), exclusion, false, {}, MainQueue::shared());
    const FilePtr expectedWithout = excluding.scan();
    const Listed listed = listAndAssemble(tree.path(), 7, exclusion.get());
    EXPECT_EQ(listed.excluded, excluding.excludedCount());
    EXPECT_EQ(listed.excluded, 11u); // folder1 and folder10 to folder19
    EXPECT_EQ(snapshotOf(*listed.root), snapshotOf(*expectedWithout));
}

// A folder removed after its parent was listed and before its own turn: the local walk shows it
// empty and reports it, and so does the distributed one.
TEST(TreeAssemblyTest, AFolderGoneBeforeItsTurnIsEmptyAndReported) {
    TemporaryDirectory folder;
    folder.writeFile("kept/file", 10);
    for (int i = 0; i < 10; ++i)
        folder.makeDirectory("going" + std::to_string(i));
    const Listed listed = listAndAssemble(folder.path(), 1, nullptr, [&](const FolderUnit& unit) {
        if (unit.path.find("/going") != std::string::npos) {
            ASSERT_EQ(::rmdir(unit.path.c_str()), 0);
        }
    });
    // The lister goes on with the first subfolder it meets at once; every other one waits for
    // its turn, and is gone by then.
    EXPECT_GE(listed.errorPaths.size(), 9u);
    for (const std::string& path : listed.errorPaths)
        EXPECT_NE(path.find(folder / "going"), std::string::npos) << path;
    const Directory* root = listed.root->asDirectory();
    EXPECT_EQ(root->count(), 11u);
    EXPECT_EQ(root->size(), 10);
    EXPECT_EQ(root->fileCount(), 11); // the file and the empty folders
}

TEST(TreeAssemblyTest, DamagedRecordsAreRefused) {
    const auto ignore = [](std::string_view, int) {};
    auto folderRecord = [](std::uint64_t id, std::string_view name, std::uint64_t child) {
        std::string bytes;
        FolderRecordWriter writer(bytes);
        writer.begin(id);
        RecordEntry entry;
        entry.name = name;
        entry.isFolder = child != 0;
        entry.folderId = child;
        entry.size = 3;
        writer.add(entry);
        writer.end();
        return bytes;
    };
    auto builds = [&](std::vector<std::string> batches) {
        TreeAssembly assembly;
        for (std::string& batch : batches)
            assembly.add(std::move(batch), ignore);
        DirectoryPtr root = Directory::create("", Date{}, Date{}, {});
        assembly.build(*root, 0);
        return root->size();
    };
    EXPECT_EQ(builds({folderRecord(0, "a", 5), folderRecord(5, "b", 0)}), 3);

    std::string whole = folderRecord(0, "a", 0);
    for (std::size_t cut : {std::size_t{1}, std::size_t{9}, whole.size() - 1}) {
        TreeAssembly assembly;
        EXPECT_THROW(assembly.add(whole.substr(0, cut), ignore), RecordError) << cut;
    }
    EXPECT_THROW(builds({folderRecord(0, "a", 5)}), RecordError); // 5 missing
    EXPECT_THROW(builds({folderRecord(0, "a", 0), folderRecord(0, "b", 0)}), RecordError);
    EXPECT_THROW(builds({folderRecord(0, "a", 0), folderRecord(9, "b", 0)}), RecordError);
    EXPECT_THROW(builds({folderRecord(0, "a/b", 0)}), RecordError);
    EXPECT_THROW(builds({folderRecord(0, "", 0)}), RecordError);
    EXPECT_THROW(builds({std::string("Z")}), RecordError);
    // A file with several names must be a file of its folder.
    auto linked = [&](std::uint64_t folder, std::uint32_t index) {
        std::string bytes;
        writeLinkRecord(bytes, folder, index, 1, 2);
        return bytes;
    };
    EXPECT_EQ(builds({folderRecord(0, "a", 0), linked(0, 0)}), 3);
    EXPECT_THROW(builds({folderRecord(0, "a", 0), linked(0, 1)}), RecordError);
    EXPECT_THROW(builds({folderRecord(0, "a", 5), folderRecord(5, "b", 0), linked(0, 0)}),
                 RecordError);
    EXPECT_THROW(builds({folderRecord(0, "a", 0), linked(7, 0)}), RecordError);
    std::string units;
    encodeUnits({{1, 2, "/x"}}, units);
    EXPECT_EQ(decodeUnits(units).front().path, "/x");
    units[0] = '\x7f'; // a count far beyond the bytes
    EXPECT_THROW(decodeUnits(units), RecordError);
}

} // namespace
} // namespace tessera::distributed
