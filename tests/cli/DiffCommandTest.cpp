// tessera diff on real folders and snapshots: what it prints, as text and JSON, and what it
// refuses.
#include "cli/DiffCommand.h"

#include "snapshot/Snapshot.h"
#include "support/TemporaryDirectory.h"
#include "support/TreeBuilders.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace tessera::cli {
namespace {

using namespace tessera::testing;

std::pair<int, std::string> diff(std::vector<std::string> arguments) {
    ::testing::internal::CaptureStdout();
    const int status = runDiffCommand(arguments);
    return {status, ::testing::internal::GetCapturedStdout()};
}

TEST(DiffCommandTest, AFolderAgainstItsEarlierSnapshotSaysWhatChanged) {
    TemporaryDirectory home;
    home.writeFile("place/music/song.bin", 100'000);
    home.writeFile("place/music/live/set.bin", 30'000);
    home.writeFile("place/old/junk.bin", 70'000);
    home.writeFile("place/notes.txt", 5'000);
    const std::string place = home / "place";
    const std::string snapshot = home / "before.json";
    {
        auto [status, out] = diff({place, place});
        ASSERT_EQ(status, 0);
        EXPECT_NE(out.find("no changes"), std::string::npos) << out;
    }
    // The earlier state kept as a snapshot, then the folder changed as disks change.
    SnapshotEncoder::Options json;
    json.format = SnapshotEncoder::FileFormat::json;
    ASSERT_TRUE(Snapshot::save(
        *dir("", dir("music", file("song.bin", 100'000), dir("live", file("set.bin", 30'000))),
             dir("old", file("junk.bin", 70'000)), file("notes.txt", 5'000)),
        json, snapshot));
    std::filesystem::rename(place + "/music", place + "/audio");
    std::filesystem::remove_all(place + "/old");
    home.writeFile("place/notes.txt", 14'000);
    home.writeFile("place/new/x.bin", 12'000);

    auto [status, out] = diff({snapshot, place});
    ASSERT_EQ(status, 0) << out;
    EXPECT_NE(out.find("1 grown, 0 shrunk, 1 new, 1 gone, 1 renamed or moved"), std::string::npos)
        << out;
    const auto at = [&](const std::string& text) { return out.find(text); };
    ASSERT_NE(at("renamed  music/ -> audio/"), std::string::npos) << out;
    ASSERT_NE(at("gone     old/"), std::string::npos) << out;
    ASSERT_NE(at("new      new/"), std::string::npos) << out;
    ASSERT_NE(at("grown    notes.txt (5 KB -> 14 KB)"), std::string::npos) << out;
    EXPECT_LT(at("renamed  music/"), at("gone     old/")); // largest first
    EXPECT_LT(at("gone     old/"), at("new      new/"));
    EXPECT_LT(at("new      new/"), at("grown    notes.txt"));

    auto [jsonStatus, jsonOut] = diff({snapshot, place, "--json", "--limit", "1"});
    ASSERT_EQ(jsonStatus, 0);
    EXPECT_NE(jsonOut.find(R"("changes": [{"kind": "renamed", "path": "audio", )"
                           R"("previousPath": "music", "folder": true, "sizeBefore": 130000, )"
                           R"("sizeAfter": 130000, "difference": 0, "fileCount": 2}])"),
              std::string::npos)
        << jsonOut;
    EXPECT_NE(jsonOut.find(R"("counts": {"grown": 1, "shrunk": 0, "new": 1, "gone": 1, )"
                           R"("renamed": 1})"),
              std::string::npos)
        << jsonOut;
}

TEST(DiffCommandTest, BadArgumentsAreRefusedAndNothingMissingIsCompared) {
    TemporaryDirectory home;
    home.writeFile("a/x", 10);
    home.writeFile("lone", 10);
    EXPECT_EQ(diff({home / "a"}).first, 2);
    EXPECT_EQ(diff({home / "a", home / "a", "--limit", "-3"}).first, 2);
    EXPECT_EQ(diff({home / "a", home / "a", "--size-mode", "huge"}).first, 2);
    EXPECT_EQ(diff({home / "a", home / "missing"}).first, 1);
    EXPECT_EQ(diff({home / "a", home / "lone"}).first, 1);
}

} // namespace
} // namespace tessera::cli
