// The locations the commands are given: what is opened, what is refused before anything is.
#include "cli/Locations.h"

#include "support/TemporaryDirectory.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tessera::cli {
namespace {

using namespace tessera::testing;

TEST(LocationsTest, FoldersThroughLinksAndSnapshotsFromFilesOrPipesOnly) {
    TemporaryDirectory folder;
    folder.writeFile("real/sub/file", 10);
    ASSERT_EQ(::symlink((folder / "real").c_str(), (folder / "link").c_str()), 0);
    ASSERT_EQ(::mkfifo((folder / "fifo").c_str(), 0600), 0);

    // A link to a folder is the folder, with or without a trailing slash, as for du.
    EXPECT_EQ(folderToScan(folder / "link", "scan"), folder / "real");
    EXPECT_EQ(folderToScan(folder / "link/", "scan"), folder / "real");
    EXPECT_EQ(folderToScan(folder / "real/", "scan"), folder / "real");
    // Never opened as folders: a FIFO (opening it would wait for a writer), a device, a file.
    EXPECT_FALSE(folderToScan(folder / "fifo", "scan"));
    EXPECT_FALSE(folderToScan("/dev/null", "scan"));
    EXPECT_FALSE(folderToScan(folder / "real/sub/file", "scan"));
    EXPECT_FALSE(folderToScan(folder / "missing", "scan"));

    // Snapshots stream from regular files and pipes; never from devices or folders.
    EXPECT_TRUE(snapshotToRead(folder / "real/sub/file", "info"));
    EXPECT_TRUE(snapshotToRead(folder / "fifo", "info"));
    EXPECT_FALSE(snapshotToRead("/dev/zero", "info"));
    EXPECT_FALSE(snapshotToRead(folder / "real", "info"));
    EXPECT_FALSE(snapshotToRead(folder / "missing", "info"));
}

} // namespace
} // namespace tessera::cli
