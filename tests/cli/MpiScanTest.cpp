// `mpirun -np 3 tessera scan PATH --mpi` over a tree with what real disks hold (names that are
// not UTF-8, links, a deep chain, many folders to share out, a mount point where the machine
// allows one) writes the snapshot a scan on one machine writes, byte for byte, and counts what
// the exclusion left out the same; a process killed in the middle of the walk ends the job with
// an error and no snapshot.
#include "support/AwkwardTree.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tessera {
namespace {

using namespace tessera::testing;

struct Ran {
    int status = -1;
    std::string output; // standard output and standard error together
};

Ran run(const std::string& command) {
    Ran ran;
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) return ran;
    char buffer[4096];
    while (const std::size_t read = std::fread(buffer, 1, sizeof buffer, pipe))
        ran.output.append(buffer, read);
    const int status = ::pclose(pipe);
    ran.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return ran;
}

std::string quoted(const std::string& word) {
    return "'" + word + "'";
}

std::string contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class MpiScanTest : public ::testing::Test {
protected:
    void SetUp() override {
#ifndef TESSERA_MPI_HELPER_BUILT
        GTEST_SKIP() << "built without MPI: tessera scan --mpi is not there to test";
#endif
        if (run("command -v mpirun").status != 0) GTEST_SKIP() << "mpirun is not installed";
        mpirun = "mpirun --oversubscribe --bind-to none";
        if (::geteuid() == 0) mpirun += " --allow-run-as-root";
        // Containers forbid the kernel's cross-memory copies that shared memory would use.
        ::setenv("OMPI_MCA_btl_vader_single_copy_mechanism", "none", 1);
        // Every process runs on this machine: mpirun needs no ssh, but refuses to start where
        // none is installed unless told of an agent it will never call.
        ::setenv("OMPI_MCA_plm_rsh_agent", "false", 1);
        tree.folder.makeChain("chain", 2500); // deeper than PATH_MAX
        for (int i = 0; i < 30; ++i)
            for (int j = 0; j < 10; ++j)
                tree.folder.writeFile("share/" + std::to_string(i) + "/" + std::to_string(j) +
                                          "/file",
                                      static_cast<std::size_t>(i * 10 + j));
        const std::string point = tree.folder.makeDirectory("share/3/mounted");
        if (::mount("tessera-mpi", point.c_str(), "tmpfs", 0, "size=1m") == 0) {
            mounted = point;
            tree.folder.writeFile("share/3/mounted/not-counted", 4096);
        } else {
            std::printf("no mount point in the tree: cannot mount a tmpfs here\n");
        }
    }
    void TearDown() override {
        if (!mounted.empty()) ::umount2(mounted.c_str(), MNT_DETACH);
    }

    std::string tessera(const std::string& arguments) const {
        return quoted(TESSERA_BINARY) + " scan " + quoted(tree.path()) + " " + arguments;
    }

    AwkwardTree tree;
    TemporaryDirectory exports;
    std::string mpirun;
    std::string mounted;
};

TEST_F(MpiScanTest, ThreeProcessesWriteTheSnapshotOneMachineWrites) {
    const std::string local = exports / "local.tsv";
    const std::string spread = exports / "spread.tsv";
    const Ran alone = run(tessera("--export " + quoted(local)));
    ASSERT_EQ(alone.status, 0) << alone.output;
    const Ran together = run(mpirun + " -np 3 " + tessera("--mpi --export " + quoted(spread)));
    ASSERT_EQ(together.status, 0) << together.output;
    const std::string snapshot = contents(local);
    EXPECT_GT(snapshot.size(), 1000u * 3);
    EXPECT_EQ(contents(spread), snapshot);
    EXPECT_EQ(snapshot.find("not-counted"), std::string::npos);
    // One summary, from the process that assembled the tree.
    EXPECT_EQ(together.output.find("largest"), together.output.rfind("largest"));
    EXPECT_NE(together.output.find("largest"), std::string::npos) << together.output;

    // Files with several names counted once: the same names keep their sizes.
    ASSERT_EQ(run(tessera("--hard-links once --export " + quoted(local))).status, 0);
    const Ran once =
        run(mpirun + " -np 3 " + tessera("--hard-links once --mpi --export " + quoted(spread)));
    ASSERT_EQ(once.status, 0) << once.output;
    EXPECT_EQ(contents(spread), contents(local));
    EXPECT_NE(contents(local), snapshot);

    // With an exclusion, and as JSON: the same tree, the same count of entries left out.
    const std::string exclude = "--exclude 'path contains \"/share/1\"' --json";
    const Ran aloneExcluding = run(tessera(exclude + " --export " + quoted(local)));
    const Ran togetherExcluding =
        run(mpirun + " -np 3 " + tessera(exclude + " --mpi --export " + quoted(spread)));
    ASSERT_EQ(togetherExcluding.status, aloneExcluding.status) << togetherExcluding.output;
    EXPECT_EQ(contents(spread), contents(local));
    EXPECT_NE(togetherExcluding.output.find("\"excluded\": 11"), std::string::npos)
        << togetherExcluding.output;
    EXPECT_NE(aloneExcluding.output.find("\"excluded\": 11"), std::string::npos)
        << aloneExcluding.output;
}

TEST_F(MpiScanTest, AProcessKilledInTheWalkEndsTheJobWithoutASnapshot) {
    ::setenv("TESSERA_MPI_TEST_KILL_RANK", "1", 1);
    const Ran killed =
        run(mpirun + " -np 3 " + tessera("--mpi --export " + quoted(exports / "out.tsv")));
    ::unsetenv("TESSERA_MPI_TEST_KILL_RANK");
    EXPECT_NE(killed.status, 0);
    EXPECT_NE(killed.output.find("signal 9"), std::string::npos) << killed.output;
    EXPECT_TRUE(std::filesystem::is_empty(exports.path()));
}

} // namespace
} // namespace tessera
