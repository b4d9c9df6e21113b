// ncdu's and gdu's exports open wherever a snapshot opens: read from the real programs' output
// of a real folder (names that are not UTF-8, hard links, symbolic links, a sparse file, an
// empty folder, a deep chain), they give the tree a scan of the folder gives; damaged or hostile
// exports are refused with the reason, nothing read past it. Tessera's own export in that format
// is read by ncdu and written back unchanged.
#include "platform/MainQueue.h"
#include "scan/ScanOperation.h"
#include "snapshot/Snapshot.h"
#include "support/TemporaryDirectory.h"

#include <algorithm>
#include <cstdlib>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

namespace tessera {
namespace {

using namespace tessera::testing;

// Each node below the root: its path, size, allocated size and leaf count, in name order.
std::string dump(const File& root) {
    std::vector<std::string> lines;
    std::vector<std::pair<const File*, std::string>> pending{{&root, ""}};
    while (!pending.empty()) {
        const auto [node, path] = pending.back();
        pending.pop_back();
        const Directory* folder = node->asDirectory();
        lines.push_back(path + " " + std::to_string(node->size()) + " " +
                        std::to_string(node->allocatedSize()) + " " +
                        std::to_string(folder != nullptr ? folder->fileCount() : 1));
        if (folder == nullptr) continue;
        for (const File* child : folder->contents())
            pending.emplace_back(child, path + "/" + std::string(child->path()));
    }
    std::ranges::sort(lines);
    std::string text;
    for (const std::string& line : lines)
        text += line + "\n";
    return text;
}

bool hasProgram(const char* name) {
    return std::system(("command -v " + std::string(name) + " >/dev/null 2>&1").c_str()) == 0;
}

class NcduExportTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder.writeFile("docs/report.txt", 12'345);
        folder.writeFile("docs/deeper/still/leaf.bin", 70'000);
        folder.makeDirectory("docs/empty");
        folder.writeFile("original.dat", 5'000);
        ASSERT_EQ(::link((folder / "original.dat").c_str(), (folder / "docs/hardlink.dat").c_str()),
                  0);
        ASSERT_EQ(::symlink("docs", (folder / "link-to-docs").c_str()), 0);
        const int fd =
            ::open((folder / "sparse.img").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, 16 << 20), 0);
        ASSERT_EQ(::pwrite(fd, "x", 1, 4096), 1);
        ::close(fd);
        for (const char* name :
             {"latin1-caf\xe9", "\xff\xfe-bytes", "back\\slash \"quoted\"", "tab\there"})
            folder.writeFile(std::string("odd/") + name, 11);
        std::string chain = "chain";
        for (int i = 0; i < 60; ++i)
            chain += "/d";
        folder.writeFile(chain + "/bottom", 3);
    }

    std::string scanned() {
        ScanOperation scan(folder.path(), nullptr, false, {}, MainQueue::shared());
        FilePtr root = scan.scan();
        return root ? dump(*root) : "(no tree)";
    }

    TemporaryDirectory folder;
    TemporaryDirectory exports;
};

TEST_F(NcduExportTest, NcdusExportGivesTheTreeAScanGives) {
    if (!hasProgram("ncdu"))
        GTEST_SKIP() << "ncdu is not installed (scripts/bootstrap installs it)";
    const std::string file = exports / "ncdu.json";
    ASSERT_EQ(std::system(("ncdu -0 -o '" + file + "' '" + folder.path() + "'").c_str()), 0);
    auto loaded = Snapshot::loadRootFromFile(file);
    ASSERT_TRUE(loaded.has_value()) << loaded.error().description;
    EXPECT_EQ(dump(**loaded), scanned()); // names byte for byte, hard links where met
}

TEST_F(NcduExportTest, GdusExportGivesTheTotalsAScanGives) {
    if (!hasProgram("gdu")) GTEST_SKIP() << "gdu is not installed (scripts/bootstrap installs it)";
    const std::string file = exports / "gdu.json";
    ASSERT_EQ(std::system(("gdu -n -o '" + file + "' '" + folder.path() + "' 2>/dev/null").c_str()),
              0);
    auto loaded = Snapshot::loadRootFromFile(file);
    ASSERT_TRUE(loaded.has_value()) << loaded.error().description;
    // gdu writes names that are not UTF-8 with replacement characters: the totals are compared.
    ScanOperation scan(folder.path(), nullptr, false, {}, MainQueue::shared());
    FilePtr root = scan.scan();
    EXPECT_EQ((*loaded)->size(), root->size());
    EXPECT_EQ((*loaded)->allocatedSize(), root->allocatedSize());
    EXPECT_EQ((*loaded)->asDirectory()->fileCount(), root->asDirectory()->fileCount());
}

TEST_F(NcduExportTest, TesserasNcduExportIsReadByNcduAndBack) {
    ScanOperation scan(folder.path(), nullptr, false, {}, MainQueue::shared());
    FilePtr root = scan.scan();
    ASSERT_TRUE(root);
    SnapshotEncoder::Options options;
    options.format = SnapshotEncoder::FileFormat::ncdu;
    options.rootName = folder.path();
    const std::string ours = exports / "ours.json";
    ASSERT_TRUE(Snapshot::save(*root, options, ours));
    auto back = Snapshot::loadRootFromFile(ours);
    ASSERT_TRUE(back.has_value()) << back.error().description;
    EXPECT_EQ(dump(**back), dump(*root));
    if (!hasProgram("ncdu"))
        GTEST_SKIP() << "ncdu is not installed (scripts/bootstrap installs it)";
    // ncdu reads it and writes it out again: the same tree, names byte for byte.
    const std::string theirs = exports / "theirs.json";
    ASSERT_EQ(std::system(("ncdu -f '" + ours + "' -o '" + theirs + "'").c_str()), 0);
    auto again = Snapshot::loadRootFromFile(theirs);
    ASSERT_TRUE(again.has_value()) << again.error().description;
    EXPECT_EQ(dump(**again), dump(*root));
}

TEST(NcduExportReading, DamagedAndHostileExportsAreRefusedWithTheReason) {
    const std::string header = R"([1,2,{"progname":"ncdu"},)";
    const auto refusal = [](const std::string& data) {
        auto loaded = Snapshot::loadRoot(data);
        return loaded ? std::string("(read)") : loaded.error().description;
    };
    EXPECT_NE(refusal(R"([2,0,{},[{"name":"/r"}]])").find("major version 2"), std::string::npos);
    EXPECT_NE(refusal(R"([1,2,{"progname":"ncdu"}])").find("no root"), std::string::npos);
    EXPECT_NE(refusal(header + R"([{"name":"/r"},{"name":"a","asize":-1}]])").find("negative"),
              std::string::npos);
    EXPECT_NE(refusal(header + R"([{"name":"/r"},{"name":"a/b"}]])"), "(read)");
    EXPECT_NE(refusal(header + R"([{"name":"/r"},{"asize":3}]])").find("without a name"),
              std::string::npos);
    EXPECT_NE(refusal(header + R"([{"name":"/r"},[]]])").find("without its entry"),
              std::string::npos);
    EXPECT_NE(refusal(header + R"([{"name":"/r"}]] [)"), "(read)");
    EXPECT_NE(refusal(header + R"([{"name":"/r"},{"name":"a","asize":1)"), "(read)");
    // Nesting deeper than any stack: refused or read, never a crash.
    std::string deep = header + R"([{"name":"/r"})";
    for (int i = 0; i < 200'000; ++i)
        deep += R"(,[{"name":"d"})";
    deep += std::string(200'000, ']') + "]]";
    auto read = Snapshot::loadRoot(deep);
    ASSERT_TRUE(read.has_value()) << read.error().description;
    EXPECT_EQ((*read)->asDirectory()->fileCount(), 1);

    // Excluded entries are left out; unknown members and values are passed over.
    auto kept = Snapshot::loadRoot(
        header + R"([{"name":"/r","asize":4096},{"name":"a","asize":10,"dsize":4096,"mtime":5,)"
                 R"("ext":{"x":[1,{}]},"hlnkc":true},{"name":"skip","excluded":"pattern"},)"
                 R"([{"name":"sub","excluded":"otherfs"}]]])");
    ASSERT_TRUE(kept.has_value()) << kept.error().description;
    EXPECT_EQ((*kept)->size(), 10); // the root folder's own 4096 bytes are not counted
    EXPECT_EQ((*kept)->asDirectory()->count(), 1u);
    EXPECT_EQ((*kept)->asDirectory()->child(0)->modificationDate().seconds, 5);
}

} // namespace
} // namespace tessera
