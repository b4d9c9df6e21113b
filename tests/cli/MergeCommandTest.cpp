// tessera merge: snapshots of any form (ncdu's included) under one root, each under its own name
// (its root's or its file's by default, made unique, or the names given); the totals are the
// sums; and what it refuses.
#include "cli/MergeCommand.h"

#include "platform/Files.h"
#include "snapshot/Snapshot.h"
#include "snapshot/SnapshotMerge.h"
#include "support/TemporaryDirectory.h"
#include "support/TreeBuilders.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace tessera::cli {
namespace {

using namespace tessera::testing;

int merge(std::vector<std::string> arguments) {
    return runMergeCommand(arguments);
}

TEST(MergeCommandTest, SnapshotsOfEveryFormGoUnderOneRootEachUnderItsName) {
    TemporaryDirectory folder;
    const std::string tsv = folder / "web1.fssnapshot";
    const std::string json = folder / "web2.json";
    const std::string ncdu = folder.makeDirectory("other") + "/web1.json";
    ASSERT_TRUE(
        Snapshot::save(*dir("", dir("www", file("index", 7'000)), file("log", 10)), {}, tsv));
    SnapshotEncoder::Options asJson;
    asJson.format = SnapshotEncoder::FileFormat::json;
    ASSERT_TRUE(Snapshot::save(*dir("", file("index", 3'000)), asJson, json));
    const std::string ncduText =
        R"([1,2,{"progname":"ncdu"},[{"name":"/srv/web1"},{"name":"data","asize":500,"dsize":4096,"mtime":9}]])";
    {
        std::FILE* out = std::fopen(ncdu.c_str(), "w");
        std::fputs(ncduText.c_str(), out);
        std::fclose(out);
    }

    // Names by default: the file's without its extension (a root has none); "web1" twice
    // becomes "web1" and "web1 2".
    const std::string merged = folder / "all.json";
    ASSERT_EQ(merge({tsv, json, ncdu, "-o", merged, "--format", "json"}), 0);
    auto root = Snapshot::loadRootFromFile(merged);
    ASSERT_TRUE(root.has_value()) << root.error().description;
    const Directory& all = *(*root)->asDirectory();
    EXPECT_EQ(all.size(), 7'010 + 3'000 + 500);
    EXPECT_EQ(all.fileCount(), 4);
    ASSERT_NE(all.fileAtPath("web1/www/index"), nullptr);
    ASSERT_NE(all.fileAtPath("web2/index"), nullptr);
    ASSERT_NE(all.fileAtPath("web1 2/data"), nullptr);
    // Only the columns every input has: the ncdu export has no creation dates.
    EXPECT_EQ(platform::readWholeFile(merged)->find("creationDate"), std::string::npos);

    // Names given; and into ncdu's own form.
    const std::string named = folder / "named.ncdu";
    ASSERT_EQ(merge({tsv, json, "-o", named, "--names", "a,b", "--format", "ncdu"}), 0);
    auto back = Snapshot::loadRootFromFile(named);
    ASSERT_TRUE(back.has_value()) << back.error().description;
    EXPECT_NE((*back)->asDirectory()->fileAtPath("b/index"), nullptr);
    EXPECT_EQ((*back)->size(), 10'010);

    // Refused: too few names, a name that no entry can have, the same name twice, an
    // unreadable input; nothing is written then.
    const std::string refused = folder / "refused.json";
    EXPECT_NE(merge({tsv, json, "-o", refused, "--names", "a"}), 0);
    EXPECT_NE(merge({tsv, json, "-o", refused, "--names", "a/b,c"}), 0);
    EXPECT_NE(merge({tsv, json, "-o", refused, "--names", "a,a"}), 0);
    EXPECT_NE(merge({tsv, folder / "missing", "-o", refused}), 0);
    EXPECT_NE(merge({tsv, "-o", refused}), 0);
    EXPECT_FALSE(std::filesystem::exists(refused));

    EXPECT_EQ(uniqueMergeNames({"a", "a", "a 2", "b"}),
              (std::vector<std::string>{"a", "a 3", "a 2", "b"}));
}

} // namespace
} // namespace tessera::cli
