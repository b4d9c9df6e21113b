#include "snapshot/NodeAssembly.h"

#include "model/Directory.h"

#include <gtest/gtest.h>
#include <string>

namespace tessera {
namespace {

const Date kCreated = Date::fromUnixSeconds(1'600'000'000);
const Date kModified = Date::fromUnixSeconds(1'700'000'000);

// Folders "d0".."d9" of 3,000 files each under "root": more than one batch of entries.
void handOver(NodeAssembly& nodes) {
    nodes.beginFolder();
    std::size_t offset = 0;
    for (int d = 0; d < 10; ++d) {
        nodes.beginFolder();
        for (int f = 0; f < 3'000; ++f)
            nodes.addFile("file " + std::to_string(f), f, f * 2, kCreated, kModified, ++offset);
        nodes.endFolder("d" + std::to_string(d), kCreated, kModified, ++offset);
    }
    nodes.endFolder("root", kCreated, kModified, ++offset);
}

// Made on a thread of their own or on the caller's, as batches fill, the nodes are the entries
// handed over, in order, with their folders' sums.
TEST(NodeAssemblyTest, NodesAreTheEntriesHandedOverOnEitherThread) {
    for (const bool concurrent : {true, false}) {
        SCOPED_TRACE(concurrent ? "concurrent" : "on the caller's thread");
        NodeAssembly nodes(concurrent);
        handOver(nodes);
        auto made = nodes.finish();
        ASSERT_TRUE(made.has_value());
        const Directory* root = (*made)->asDirectory();
        ASSERT_NE(root, nullptr);
        EXPECT_EQ(root->path(), "root");
        ASSERT_EQ(root->count(), 10u);
        const Directory* last = root->child(9)->asDirectory();
        ASSERT_NE(last, nullptr);
        EXPECT_EQ(last->path(), "d9");
        ASSERT_EQ(last->count(), 3'000u);
        EXPECT_EQ(last->child(2'999)->path(), "file 2999");
        EXPECT_EQ(last->child(2'999)->allocatedSize(), 5'998);
        EXPECT_EQ(last->child(2'999)->modificationDate(), kModified);
        EXPECT_EQ(root->size(), 10 * (2'999 * 3'000 / 2));
        EXPECT_EQ(root->fileCount(), 30'000);
    }
}

// The first node that cannot be made names the entry's offset, and the reader is told to stop;
// an assembly given up before it finished frees what it made.
TEST(NodeAssemblyTest, TheFirstFailureStopsTheMakingAndAnUnfinishedOneFreesItsNodes) {
    for (const bool concurrent : {true, false}) {
        SCOPED_TRACE(concurrent ? "concurrent" : "on the caller's thread");
        NodeAssembly nodes(concurrent);
        nodes.beginFolder();
        nodes.addFile("a", INT64_MAX, 0, kCreated, kModified, 10);
        nodes.addFile("b", 1, 0, kCreated, kModified, 20);
        nodes.endFolder("sums beyond 64 bits", kCreated, kModified, 30);
        nodes.endFolder("never reached", kCreated, kModified, 40);
        handOver(nodes);
        const auto made = nodes.finish();
        ASSERT_FALSE(made.has_value());
        EXPECT_EQ(made.error().offset, 30u);
        EXPECT_EQ(made.error().problem, "sizes add up beyond the 64-bit range");
        EXPECT_TRUE(nodes.failed());

        NodeAssembly abandoned(concurrent);
        handOver(abandoned);
        abandoned.beginFolder(); // left open: destroyed without finish()
    }
}

} // namespace
} // namespace tessera
