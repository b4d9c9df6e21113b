#include "snapshot/Snapshot.h"

#include "model/Directory.h"
#include "model/Iso8601.h"
#include "model/Utf8.h"
#include "platform/Files.h"
#include "platform/MainQueue.h"
#include "scan/ScanOperation.h"
#include "snapshot/StoredName.h"
#include "support/AwkwardTree.h"
#include "support/TemporaryDirectory.h"
#include "support/TreeBuilders.h"

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>

namespace tessera {
namespace {

using namespace tessera::testing;
using Format = SnapshotEncoder::FileFormat;

SnapshotEncoder::Options options(Format format, std::vector<FileKey> keys = {allFileKeys.begin(),
                                                                             allFileKeys.end()}) {
    SnapshotEncoder::Options result;
    result.format = format;
    result.includedKeys = std::move(keys);
    return result;
}

FilePtr load(std::string data) {
    auto root = Snapshot::loadRoot(std::move(data));
    EXPECT_TRUE(root.has_value()) << (root ? "" : root.error().description);
    return root ? std::move(*root) : nullptr;
}

std::string loadError(std::string data) {
    auto root = Snapshot::loadRoot(std::move(data));
    EXPECT_FALSE(root.has_value());
    return root ? std::string() : root.error().description;
}

// Every property a snapshot keeps, in contents order (TSV sorts children by name, so compare
// sorted trees with `sorted`).
void describe(const File& node, std::string& out, bool sorted, int depth = 0) {
    out += std::string(static_cast<std::size_t>(depth), ' ') + std::string(node.path()) + "|" +
           std::to_string(node.size()) + "|" + std::to_string(node.allocatedSize()) + "|" +
           std::to_string(node.creationDate().seconds) + "|" +
           std::to_string(node.modificationDate().seconds) + "|" +
           std::to_string(node.size(SizeMode::childCount)) + "\n";
    const Directory* directory = node.asDirectory();
    if (directory == nullptr) return;
    if (!sorted) {
        for (const File* child : directory->contents())
            describe(*child, out, sorted, depth + 1);
        return;
    }
    std::vector<std::string> lines;
    for (const File* child : directory->contents()) {
        std::string line;
        describe(*child, line, sorted, depth + 1);
        lines.push_back(line);
    }
    if (sorted) std::stable_sort(lines.begin(), lines.end());
    for (const auto& line : lines)
        out += line;
}

std::string shape(const File& node, bool sorted = false) {
    std::string out;
    describe(node, out, sorted);
    return out;
}

TEST(SnapshotTest, StoredNamesKeepEveryByteAndStayValidUnicode) {
    for (const std::string& name : {std::string("plain"), std::string("caf\xc3\xa9"),
                                    std::string("\xff\xfe"), std::string("a\xc3"),
                                    std::string("\xf4\x8f\xb8\x80"), // U+10FE00 itself
                                    std::string("\xf4\x8f\xbb\xbf"), // U+10FEFF
                                    std::string("x\xf4\x8f\xba\x80\x80")}) {
        const std::string stored = toStoredName(name);
        EXPECT_TRUE(isValidUtf8(stored)) << name;
        EXPECT_EQ(fromStoredName(stored), name);
    }
    EXPECT_EQ(toStoredName("caf\xc3\xa9"), "caf\xc3\xa9");
    // Text beyond ASCII without the escapes' range is its own bytes; text that is not UTF-8 is
    // no stored name.
    EXPECT_EQ(fromStoredName("\xd0\x9e\xd1\x82\xd1\x87\xd1\x91\xd1\x82 \xe5\x86\x99"),
              "\xd0\x9e\xd1\x82\xd1\x87\xd1\x91\xd1\x82 \xe5\x86\x99");
    EXPECT_EQ(fromStoredName("\xf4\x80\x80\x80 plane 16"), "\xf4\x80\x80\x80 plane 16");
    EXPECT_EQ(fromStoredName("caf\xc3"), std::nullopt);
    EXPECT_EQ(fromStoredName("caf\xc3\xa9\xff"), std::nullopt);
    EXPECT_EQ(fromStoredName("\xf4\x8f\xb8\x80"), std::nullopt); // an escape with nothing after it
}

TEST(SnapshotTest, ScannedAwkwardTreesRoundTripThroughBothForms) {
    AwkwardTree tree;
    ScanOperation scan(tree.path(), nullptr, false, {}, MainQueue::shared());
    FilePtr scanned = scan.scan();
    ASSERT_NE(scanned, nullptr);
    for (Format format : {Format::json, Format::tsv}) {
        const std::string data = Snapshot::makeData(*scanned, options(format));
        EXPECT_FALSE(data.ends_with('\n'));
        FilePtr back = load(data);
        ASSERT_NE(back, nullptr);
        EXPECT_EQ(shape(*back, format == Format::tsv), shape(*scanned, format == Format::tsv));
        for (const std::string& name : tree.awkwardNames)
            EXPECT_NE(back->asDirectory()->fileAtPath("odd/" + name), nullptr) << name;
        // Writing what was read gives the same bytes.
        EXPECT_EQ(Snapshot::makeData(*back, options(format)), data);
    }

    // Other JSON readers read our JSON, awkward names included.
    const std::string json = Snapshot::makeData(*scanned, options(Format::json));
    TemporaryDirectory folder;
    ASSERT_TRUE(platform::writeFileAtomically(folder / "s.json", json).has_value());
    const std::string check =
        "python3 -c \"import json,sys; d=json.load(open(sys.argv[1])); "
        "sys.exit(0 if d['version']==1 and len(d['rootFile']['contents'])>5 else 1)\" '" +
        folder / "s.json" + "'";
    EXPECT_EQ(std::system(check.c_str()), 0);
}

// Names that are prefixes of one another, or differ in case only, each keep their own place
// and contents in both forms.
TEST(SnapshotTest, NamesThatArePrefixesOfEachOtherKeepTheirOwnEntries) {
    const auto folder = [](const char* name) {
        return dir(name, file(std::string(name) + "-file", std::strlen(name) * 100));
    };
    const DirectoryPtr root = dir("", folder("a"), folder("ab"), folder("A"), folder("a b"),
                                  folder("a."), folder("ab.c"), file("ab-file", 7));
    for (Format format : {Format::json, Format::tsv}) {
        const std::string data = Snapshot::makeData(*root, options(format));
        FilePtr back = load(data);
        ASSERT_NE(back, nullptr);
        EXPECT_EQ(shape(*back, true), shape(*root, true));
        for (const char* name : {"a", "ab", "A", "a b", "a.", "ab.c"}) {
            const File* inner =
                back->asDirectory()->fileAtPath(std::string(name) + "/" + name + "-file");
            ASSERT_NE(inner, nullptr) << name;
            EXPECT_EQ(inner->size(), static_cast<std::int64_t>(std::strlen(name) * 100)) << name;
        }
        EXPECT_EQ(Snapshot::makeData(*back, options(format)), data);
    }
}

TEST(SnapshotTest, TheWrittenFormsFollowTheFormat) {
    auto root =
        dir("", dir("d", file("b", 1, 4096), file("A", 2, 0), file("a", 3, 0)), dir("empty"));
    const std::string tsv =
        Snapshot::makeData(*root, options(Format::tsv, {FileKey::size, FileKey::name}));
    EXPECT_EQ(tsv,
              "\"size\"\t\"name\"\n\"\"\n \"d\"\n  2\t\"A\"\n  3\t\"a\"\n  1\t\"b\"\n \"empty\"");
    const std::string json =
        Snapshot::makeData(*dir("", file("f/x\t", 5, 8), dir("e")),
                           options(Format::json, {FileKey::size, FileKey::name}));
    EXPECT_EQ(json,
              "{\n  \"rootFile\" : {\n    \"contents\" : [\n      {\n        \"name\" : "
              "\"f/x\\t\",\n        \"size\" : 5\n      },\n      {\n        \"contents\" : [],\n"
              "        \"name\" : \"e\"\n      }\n    ],\n    \"name\" : \"\"\n  },\n"
              "  \"version\" : 1\n}");
    const std::string bare = Snapshot::makeData(*dir("", file("f", 5)), options(Format::json, {}));
    EXPECT_NE(bare.find("\"contents\" : [\n      {}\n    ]"), std::string::npos);
    auto old = File::create("old", 0, 0, Date::fromUnixSeconds(-86400), Date::distantPast());
    EXPECT_EQ(Snapshot::makeData(
                  *old, options(Format::tsv, {FileKey::creationDate, FileKey::modificationDate})),
              "\"creationDate\"\t\"modificationDate\"\n\"1969-12-31T00:00:00Z\"\t\"0001-01-01T00:"
              "00:00Z\"");
}

TEST(SnapshotTest, ReadersAcceptWhatTheFormatAllows) {
    // Blank lines, a trailing line feed, CR LF line ends, null cells and surplus cells.
    FilePtr tsv = load("\"name\"\t\"size\"\r\n\n\"root\"\r\n \"f\"\t7\r\n \"g\"\tnull\n \"d\"\n  "
                       "null\t5\n \"x\"\t1\t2\t3\n");
    ASSERT_NE(tsv, nullptr);
    const Directory& root = *tsv->asDirectory();
    EXPECT_EQ(root.path(), "root");
    EXPECT_EQ(root.size(), 12);
    EXPECT_EQ(root.fileAtPath("root/d/?")->size(), 5);
    EXPECT_TRUE(root.fileAtPath("root/x")->isDirectory()); // more cells than the header
    EXPECT_EQ(root.fileCount(), 4);

    FilePtr single = load("\"name\"\n\"lonely\"");
    EXPECT_FALSE(single->isDirectory());

    // Dates as seconds since 2001 (older versions), escaped slashes, any member order.
    FilePtr json = load("{\"version\": 7, \"rootFile\": {\"name\": \"r\\/s\", \"contents\": "
                        "[{\"size\": 3, \"modificationDate\": 0.5}], \"creationDate\": -1}}");
    ASSERT_NE(json, nullptr);
    EXPECT_EQ(json->path(), "r/s");
    EXPECT_EQ(json->creationDate().seconds, 978'307'199);
    EXPECT_EQ(json->asDirectory()->child(0)->modificationDate().seconds, 978'307'200);
    EXPECT_EQ(json->asDirectory()->child(0)->path(), "?");
    EXPECT_EQ(json->size(), 3);

    FilePtr escapedKey = load("{\"version\": 1, \"rootFile\": {\"n\\u0061me\": \"x\"}}");
    ASSERT_NE(escapedKey, nullptr);
    EXPECT_EQ(escapedKey->path(), "x");

    // null stands for an absent member; dates with an offset from UTC are the instant they name.
    FilePtr nulls = load("{\"version\": 1, \"rootFile\": {\"name\": \"r\", \"size\": null, "
                         "\"creationDate\": \"2024-05-01T14:30:00+02:00\", \"modificationDate\": "
                         "\"2024-05-01T12:30:00-00:30\", \"contents\": [{\"name\": null, \"size\": "
                         "4, \"creationDate\": null}]}}");
    ASSERT_NE(nulls, nullptr);
    EXPECT_EQ(nulls->size(), 4);
    EXPECT_EQ(nulls->asDirectory()->child(0)->path(), "?");
    EXPECT_EQ(nulls->creationDate().seconds, parseIso8601("2024-05-01T12:30:00Z")->seconds);
    EXPECT_EQ(nulls->modificationDate().seconds, parseIso8601("2024-05-01T13:00:00Z")->seconds);

    // Members this version does not know are passed over, whatever they hold.
    FilePtr extra = load("{\"extra\": {\"a\": [1, {\"b\": null}]}, \"version\": 1, \"rootFile\": "
                         "{\"tags\": [true, {\"k\": \"v\"}], \"name\": \"x\", \"size\": 3}}");
    ASSERT_NE(extra, nullptr);
    EXPECT_EQ(extra->path(), "x");
    EXPECT_EQ(extra->size(), 3);
}

TEST(SnapshotTest, FilesAreReadLikeTheirBytesAndJsonAsItStreams) {
    AwkwardTree tree;
    ScanOperation scan(tree.path(), nullptr, false, {}, MainQueue::shared());
    FilePtr scanned = scan.scan();
    ASSERT_NE(scanned, nullptr);
    TemporaryDirectory folder;
    for (Format format : {Format::json, Format::tsv}) {
        const std::string data = Snapshot::makeData(*scanned, options(format));
        const std::string path = folder / "tree.fssnapshot";
        ASSERT_TRUE(platform::writeFileAtomically(path, data).has_value());
        auto fromFile = Snapshot::loadRootFromFile(path);
        ASSERT_TRUE(fromFile.has_value()) << fromFile.error().description;
        EXPECT_EQ(shape(**fromFile), shape(*load(data)));
    }
    // Files larger than the pieces they are read in, so that lines and values straddle them.
    std::vector<FilePtr> folders;
    for (int f = 0; f < 4; ++f) {
        std::vector<FilePtr> files;
        for (int i = 0; i < 8'000; ++i)
            files.push_back(
                file("a file with a rather long name number " + std::to_string(i), i * 7 + f));
        folders.push_back(Directory::create("folder " + std::to_string(f), kCreated, kModified,
                                            std::move(files)));
    }
    DirectoryPtr big = Directory::create("big", kCreated, kModified, std::move(folders));
    for (Format format : {Format::json, Format::tsv, Format::ncdu}) {
        const std::string data = Snapshot::makeData(*big, options(format));
        ASSERT_GT(data.size(), 2u << 20);
        ASSERT_TRUE(platform::writeFileAtomically(folder / "big", data).has_value());
        // The progress counts every byte and every node made (the root included).
        ReadProgress progress;
        auto fromFile = Snapshot::loadRootFromFile(folder / "big", nullptr, &progress);
        ASSERT_TRUE(fromFile.has_value()) << fromFile.error().description;
        EXPECT_EQ(shape(**fromFile), shape(*load(data)));
        EXPECT_EQ(progress.bytes.load(), data.size());
        EXPECT_EQ(progress.entries.load(), 1u + 4u + 4u * 8000u);
    }

    // A damaged JSON file gives the same error as its bytes, saying where; a missing one says
    // so.
    const std::string damaged = "{\"version\": 1, \"rootFile\": {\"size\": \"big\"}}";
    ASSERT_TRUE(platform::writeFileAtomically(folder / "bad", damaged).has_value());
    auto bad = Snapshot::loadRootFromFile(folder / "bad");
    ASSERT_FALSE(bad.has_value());
    EXPECT_EQ(bad.error().description, loadError(damaged));
    EXPECT_EQ(bad.error().description,
              "The snapshot is damaged (byte 41): a text where a size belongs.");
    // Leading blank lines still count in a TSV file's errors; pipes are read like files.
    const std::string secondRoot = "\n\n\"name\"\n\"a\"\n\"b\"";
    ASSERT_TRUE(platform::writeFileAtomically(folder / "tsv", secondRoot).has_value());
    EXPECT_EQ(Snapshot::loadRootFromFile(folder / "tsv").error().description,
              loadError(secondRoot));
    const std::string fifo = folder / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string json = "  \n" + Snapshot::makeData(*big, options(Format::json));
    std::thread writer([&] { std::ofstream(fifo, std::ios::binary) << json; });
    auto piped = Snapshot::loadRootFromFile(fifo);
    writer.join();
    ASSERT_TRUE(piped.has_value()) << piped.error().description;
    EXPECT_EQ(shape(**piped), shape(*big));

    auto missing = Snapshot::loadRootFromFile(folder / "missing");
    ASSERT_FALSE(missing.has_value());
    EXPECT_NE(missing.error().description.find("No such file"), std::string::npos);
}

TEST(SnapshotTest, DamagedSnapshotsFailWithAClearErrorAndNothingPartial) {
    const std::string header = "\"name\"\t\"size\"\n";
    for (const std::string& data : {
             std::string(""),
             std::string("\n\n"),
             header,
             std::string("\"name\"\t\"name\"\n\"x\""),
             std::string("\"colour\"\n\"x\""),
             std::string("name\n\"x\""),
             std::string("\t\n\"x\""),
             header + "\"a\"\n\"b\"",
             header + "\"r\"\n  \"deep\"\t1",
             header + "\"f\"\t1\n \"under a file\"\t1",
             header + "\"r\"\n \"f\"\tone",
             header + "\"r\"\n \"f\"\t99999999999999999999",
             header + "\"r\"\n \"f\"\t1.5",
             header + "\"r\"\n \"bad\\q\"\t1",
             header + "\"r\"\n \"lone\\udcff\"\t1",
             header + "\"r\"\n \"nul\\u0000ok\"\t1" + std::string("\n \"raw\0nul\"\t1", 13),
             header + "\"r\"\n \"\xff\"\t1",
             header + "\"r\"\n \"" + std::string(70000, 'n') + "\"\t1",
             header + "\"r\"\n \"a\"\t9223372036854775807\n \"b\"\t1",
             std::string("{\"rootFile\": {\"contents\": []}}"), // no version, and not TSV
             std::string("[1, 2]"),
             std::string("{\"version\": 1, \"rootFile\": {\"name\": \"x\"}} trailing"),
             std::string("{\"version\": 1, \"rootFile\": {\"name\": \"x\"}}\0junk", 46),
             std::string("{\"version\": 1, \"rootFile\": {\"contents\": [5]}}"),
             std::string("{\"version\": 1, \"rootFile\": []}"),
             std::string("{\"version\": 1, \"rootFile\": null}"),
             std::string("{\"version\": 1, \"rootFile\": {\"contents\": [null]}}"),
             std::string("{\"version\": 1, \"rootFile\": {\"name\": \"a\"}, \"rootFile\": "
                         "{\"name\": \"b\"}}"),
             std::string("{\"version\": 1, \"rootFile\": {\"creationDate\": "
                         "\"2024-05-01T14:30:00+24:00\"}}"),
             std::string("{\"version\": \"1\", \"rootFile\": {}}"),
             std::string("{\"version\": 1, \"rootFile\": {\"size\": 1e3}}"),
             std::string("{\"version\": 1, \"rootFile\": {\"contents\": [{\"size\": "
                         "9223372036854775807}, {\"size\": 1}]}}"),
             std::string("{\"version\": 1, \"rootFile\": {\"contents\": [{\"modificationDate\": "
                         "\"2024-01-01T00:00:00Z\"}, {\"creationDate\": 5}]}}"),
             // A date read once does not stand for a broken one after it.
             std::string("{\"version\": 1, \"rootFile\": {\"contents\": [{\"creationDate\": "
                         "\"2024-01-01T00:00:00Z\"}, {\"creationDate\": \"\"}]}}"),
             std::string(
                 "{\"version\": 1, \"rootFile\": {\"contents\": [{\"creationDate\": "
                 "\"2024-01-01T00:00:00Z\"}, {\"creationDate\": \"2024-01-01T00:00:00\"}]}}"),
         }) {
        const std::string error = loadError(data);
        EXPECT_FALSE(error.empty()) << data.substr(0, 80);
        EXPECT_EQ(error.find("line 0"), std::string::npos) << error; // lines count from one
    }
    EXPECT_EQ(loadError(""), "The snapshot is empty: it holds no tree.");
}

// A JSON snapshot's nodes are made on a thread of their own while the reading goes on: damage is
// still named where it first stands, whichever of the two finds it.
TEST(SnapshotTest, DamageIsNamedWhereItFirstStandsWhileNodesAreMadeBesideTheReading) {
    std::string many; // entries enough for several of the batches the reading hands over
    for (int i = 0; i < 30'000; ++i)
        many += ", {\"name\": \"file " + std::to_string(i) + "\", \"size\": 1}";
    const std::string head = "{\"version\": 1, \"rootFile\": {\"contents\": [";
    const std::string overflowing = "{\"name\": \"huge\", \"contents\": [{\"name\": \"a\", "
                                    "\"size\": 9223372036854775807}, {\"name\": \"b\", "
                                    "\"size\": 1}]}";
    // Folder sums beyond 64 bits, found where nodes are made, before broken syntax far after.
    EXPECT_EQ(loadError(head + overflowing + many + ", {\"name\": }]}}"),
              "The snapshot is damaged (byte " + std::to_string(head.size() + overflowing.size()) +
                  "): sizes add up beyond the 64-bit range.");
    // Broken syntax first, found by the reading: the folder after it is never made.
    const std::string brokenFirst =
        head + many.substr(2) + ", {\"name\": 5}, " + overflowing + "]}}";
    EXPECT_EQ(loadError(brokenFirst), "The snapshot is damaged (byte " +
                                          std::to_string(brokenFirst.find(": 5}") + 3) +
                                          "): a number where a name belongs.");
    // A root named longer than a node's name can be (the location's name, which no entry's
    // rule bounds), found where nodes are made, after all its entries.
    const std::string longRoot = "{\"version\": 1, \"rootFile\": {\"name\": \"" +
                                 std::string(70'000, 'n') + "\", \"contents\": [" + many.substr(2) +
                                 "]}}";
    EXPECT_EQ(loadError(longRoot), "The snapshot is damaged (byte " +
                                       std::to_string(longRoot.size() - 1) +
                                       "): file name longer than 65535 bytes.");
}

// Entries a folder cannot hold, and sizes no file has, are damage: named with the line (TSV) or
// byte (JSON) where they stand, never a tree whose paths or totals lie.
TEST(SnapshotTest, ImpossibleNamesAndNegativeSizesAreDamage) {
    const std::string header = "\"name\"\t\"size\"\n";
    for (const auto& [data, where] : std::vector<std::pair<std::string, std::string>>{
             {header + "\"r\"\n \"a/b\"\t1", "(line 3): name: a name holding \"/\""},
             {header + "\"r\"\n \"ok\"\t1\n \"..\"\t1", "(line 4): name: a name that is"},
             {header + "\"r\"\n \"d\"\n  \".\"\t1", "(line 4)"},
             {header + "\"r\"\n \"f\"\t-1", "(line 3): size: negative"},
             {"{\"version\": 1, \"rootFile\": {\"contents\": [{\"name\": \"x/y\"}]}}",
              "a name holding \"/\""},
             {"{\"version\": 1, \"rootFile\": {\"contents\": [{\"name\": \"..\"}]}}",
              "a name that is"},
             {"{\"version\": 1, \"rootFile\": {\"contents\": [{\"name\": \"f\", \"size\": "
              "-9223372036854775807}]}}",
              "a negative size"},
         }) {
        const std::string error = loadError(data);
        EXPECT_NE(error.find(where), std::string::npos) << data << "\n" << error;
        if (data.front() == '{') {
            EXPECT_NE(error.find("(byte "), std::string::npos) << error;
        }
    }
    // The root's own name is the location's, not an entry's: any text stays readable.
    EXPECT_TRUE(Snapshot::loadRoot(header + "\"/home/me\"\n \"f\"\t1").has_value());
}

TEST(SnapshotTest, LinesAndTokensLongerThanAnySnapshotHoldsStopTheReaderEarly) {
    // Read from files in pieces, a line or a token past the bound fails as soon as it is seen,
    // however long it goes on; deep level markers of a legitimate line are no such line.
    TemporaryDirectory folder;
    const std::string header = "\"name\"\t\"size\"\n";
    const std::string endless(3 << 20, 'z');
    for (const auto& [data, expected] : std::vector<std::pair<std::string, std::string>>{
             {endless, "longer than any entry"},
             {header + "\"r\"\n \"" + endless + "\"\t1\n", "longer than any entry"},
             {header + "\"r\"\n" + std::string(1 << 20, ' ') + "\"f\"\t1\n", "deeper"},
             {"{\"version\": 1, \"rootFile\": {\"name\": \"" + endless + "\"}}", "a token longer"},
         }) {
        const std::string path = folder / "hostile";
        ASSERT_TRUE(platform::writeFileAtomically(path, data));
        auto root = Snapshot::loadRootFromFile(path);
        ASSERT_FALSE(root) << data.substr(0, 40);
        EXPECT_NE(root.error().description.find(expected), std::string::npos)
            << root.error().description;
    }
}

// Both forms indent by depth (TSV with level markers, JSON pretty-printed), so a deep file grows
// with the square of its depth: TSV is tested 2,000 deep, compact JSON 100,000 deep.
TEST(SnapshotTest, NestingDeeperThanAnyStackIsReadAndWritten) {
    constexpr int kTsvDepth = 2'000;
    std::string tsv = "\"name\"\t\"size\"";
    for (int i = 0; i < kTsvDepth; ++i)
        tsv += "\n" + std::string(static_cast<std::size_t>(i), ' ') + "\"d\"";
    tsv += "\n" + std::string(kTsvDepth, ' ') + "\"f\"\t42";
    FilePtr fromTsv = load(tsv);
    ASSERT_NE(fromTsv, nullptr);
    EXPECT_EQ(fromTsv->size(), 42);
    for (Format format : {Format::tsv, Format::json}) {
        FilePtr back = load(Snapshot::makeData(*fromTsv, options(format)));
        ASSERT_NE(back, nullptr);
        EXPECT_EQ(shape(*back), shape(*fromTsv));
    }

    constexpr int kJsonDepth = 100'000;
    std::string json = "{\"version\": 1, \"rootFile\": ";
    for (int i = 0; i < kJsonDepth; ++i)
        json += "{\"contents\": [";
    json += "{\"size\": 42}";
    for (int i = 0; i < kJsonDepth; ++i)
        json += "]}";
    json += "}";
    FilePtr fromJson = load(json);
    ASSERT_NE(fromJson, nullptr);
    EXPECT_EQ(fromJson->size(), 42);
    EXPECT_EQ(fromJson->asDirectory()->fileCount(), 1);
}

} // namespace
} // namespace tessera

namespace tessera {
namespace {

// Key sets whose TSV cannot be read back are refused before anything is written, with a reason
// that points to JSON; JSON takes any set of distinct keys, and what it writes reads back.
TEST(SnapshotKeysTest, OnlyKeySetsThatReadBackAreWritten) {
    using Form = SnapshotEncoder::FileFormat;
    using K = FileKey;
    struct Case {
        std::vector<FileKey> keys;
        Form format;
        bool readable;
    };
    const std::vector<Case> cases{
        {{K::name, K::size}, Form::tsv, true},
        {{K::name, K::allocatedSize, K::modificationDate}, Form::tsv, true},
        {{K::name, K::creationDate}, Form::tsv, false}, // folders and files alike
        {{K::size}, Form::tsv, false},                  // no names
        {{K::name, K::name, K::size}, Form::tsv, false},
        {{K::size}, Form::json, true},
        {{}, Form::json, true},
        {{K::size, K::size}, Form::json, false},
    };
    const auto tree =
        testing::dir("", testing::dir("d", testing::file("f", 5)), testing::file("g", 7));
    for (const Case& c : cases) {
        SnapshotEncoder::Options options;
        options.includedKeys = c.keys;
        options.format = c.format;
        const auto readable = SnapshotEncoder::checkReadable(options);
        EXPECT_EQ(readable.has_value(), c.readable) << c.keys.size();
        if (!readable) {
            EXPECT_FALSE(readable.error().empty());
            continue;
        }
        const auto back = Snapshot::loadRoot(SnapshotEncoder(options).encode(*tree));
        ASSERT_TRUE(back.has_value()) << back.error().description;
        EXPECT_EQ((*back)->isDirectory(), true);
    }
}

} // namespace
} // namespace tessera
