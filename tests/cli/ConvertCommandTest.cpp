// tessera convert: the other form with the input's own columns, none made up; and the
// arguments it refuses.
#include "cli/SnapshotCommands.h"
#include "platform/Files.h"
#include "snapshot/Snapshot.h"
#include "support/TemporaryDirectory.h"
#include "support/TreeBuilders.h"

#include <gtest/gtest.h>

namespace tessera::cli {
namespace {

using namespace tessera::testing;

std::string contents(const std::string& path) {
    return platform::readWholeFile(path).value_or("");
}

TEST(ConvertCommandTest, TheOtherFormKeepsTheInputsColumns) {
    TemporaryDirectory folder;
    const auto root = dir("", dir("photos", file("p1", 7'000), file("p2", 3'000)), file("n", 10));
    SnapshotEncoder::Options sizesOnly;
    sizesOnly.includedKeys = {FileKey::name, FileKey::size};
    const std::string tsv = folder / "in.fssnapshot";
    ASSERT_TRUE(Snapshot::save(*root, sizesOnly, tsv));

    const std::string json = folder / "out.json";
    ASSERT_EQ(runConvertCommand(std::vector<std::string>{tsv, json, "--format", "json"}), 0);
    EXPECT_NE(contents(json).find("\"size\""), std::string::npos);
    EXPECT_EQ(contents(json).find("Date"), std::string::npos) << contents(json);

    const std::string back = folder / "back.fssnapshot";
    ASSERT_EQ(runConvertCommand(std::vector<std::string>{json, back, "--format", "tsv"}), 0);
    EXPECT_EQ(contents(back), contents(tsv));

    // Every column: JSON writes its keys sorted, TSV in their own order, and the way back is
    // byte for byte what it was.
    const std::string full = folder / "full.fssnapshot";
    ASSERT_TRUE(Snapshot::save(*root, {}, full));
    const std::string fullJson = folder / "full.json";
    const std::string fullBack = folder / "full-back.fssnapshot";
    ASSERT_EQ(runConvertCommand(std::vector<std::string>{full, fullJson, "--format", "json"}), 0);
    ASSERT_EQ(runConvertCommand(std::vector<std::string>{fullJson, fullBack, "--format", "tsv"}),
              0);
    EXPECT_EQ(contents(fullBack), contents(full));

    // Told otherwise, it writes what it is told.
    const std::string named = folder / "named.json";
    ASSERT_EQ(runConvertCommand(
                  std::vector<std::string>{tsv, named, "--format", "json", "--keys", "name"}),
              0);
    EXPECT_EQ(contents(named).find("\"size\""), std::string::npos);

    // A JSON snapshot without sizes cannot become TSV, which needs them: refused, not padded.
    const std::string tsvAgain = folder / "again.fssnapshot";
    EXPECT_EQ(runConvertCommand(std::vector<std::string>{named, tsvAgain, "--format", "tsv"}), 1);
    EXPECT_FALSE(platform::readWholeFile(tsvAgain).has_value());
}

TEST(ConvertCommandTest, BadArgumentsAreRefusedWithStatusTwo) {
    TemporaryDirectory folder;
    const std::string in = folder / "in.fssnapshot";
    ASSERT_TRUE(Snapshot::save(*dir("", file("a", 1)), {}, in));
    const std::string out = folder / "out";
    const std::vector<std::vector<std::string>> refused{
        {in, out},
        {in, "--format", "json"},
        {in, out, "--format", "xml"},
        {in, out, "--format"},
        {in, out, "--format", "tsv", "--keys", "name,name,size"},
        {in, out, "extra", "--format", "tsv"},
        {in, out, "--format", "tsv", "--bogus"},
    };
    for (const auto& arguments : refused) {
        EXPECT_EQ(runConvertCommand(arguments), 2) << ::testing::PrintToString(arguments);
    }
    EXPECT_FALSE(platform::readWholeFile(out).has_value());
}

} // namespace
} // namespace tessera::cli
