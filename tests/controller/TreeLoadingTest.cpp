#include "controller/TreeLoading.h"

#include "model/Directory.h"
#include "platform/FileSystem.h"
#include "platform/Files.h"
#include "snapshot/Snapshot.h"
#include "support/TemporaryDirectory.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tessera {
namespace {

using namespace tessera::testing;

// What the app and `tessera render` open: a folder (through a link too) scanned, a snapshot
// read with its file's date, and everything else refused with a message naming the location.
TEST(TreeLoadingTest, FoldersAreScannedSnapshotsReadAndTheRestRefusedWithAMessage) {
    TemporaryDirectory folder;
    const std::string music = folder.makeDirectory("music");
    folder.writeFile("music/song", 3000);
    ASSERT_EQ(::symlink(music.c_str(), (folder / "link").c_str()), 0);

    auto scanned = loadTree(folder / "link");
    ASSERT_TRUE(scanned.has_value()) << scanned.error().message();
    EXPECT_TRUE(scanned->isFolder);
    EXPECT_EQ(scanned->path, music);
    ASSERT_TRUE(scanned->root->isDirectory());
    EXPECT_EQ(scanned->root->asDirectory()->count(), 1u);

    const std::string snapshot = folder / "music.fssnapshot";
    ASSERT_TRUE(Snapshot::save(*scanned->root, SnapshotEncoder::Options{}, snapshot).has_value());
    auto read = loadTree(snapshot);
    ASSERT_TRUE(read.has_value()) << read.error().message();
    EXPECT_FALSE(read->isFolder);
    EXPECT_EQ(read->root->size(), scanned->root->size());
    EXPECT_EQ(read->date, platform::statusOfPath(snapshot)->modificationDate);

    const auto refused = [](const std::string& path, Pipes pipes, TreeLoadError::Kind kind,
                            const std::string& words) {
        SCOPED_TRACE(path);
        auto loaded = loadTree(path, pipes);
        ASSERT_FALSE(loaded.has_value());
        EXPECT_EQ(loaded.error().kind, kind);
        const std::string message = loaded.error().message();
        EXPECT_NE(message.find(path), std::string::npos) << message;
        EXPECT_NE(message.find(words), std::string::npos) << message;
    };
    refused(folder / "nothing", Pipes::read, TreeLoadError::Kind::missing, "does not exist");
    refused("/dev/null", Pipes::read, TreeLoadError::Kind::notOpenable, "neither a folder");
    ASSERT_TRUE(platform::writeFileAtomically(folder / "broken.fssnapshot", "{\"a\":").has_value());
    refused(folder / "broken.fssnapshot", Pipes::refused, TreeLoadError::Kind::unreadableSnapshot,
            "not a readable snapshot");
    // A pipe would make the app wait for a writer: only the command line reads one.
    const std::string fifo = folder / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    refused(fifo, Pipes::refused, TreeLoadError::Kind::notOpenable, "neither a folder");
    EXPECT_TRUE(openableLocation(fifo, Pipes::read).has_value());
}

} // namespace
} // namespace tessera
