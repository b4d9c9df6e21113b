// Writing output files: what each kind of target becomes, and what an interruption leaves.
#include "platform/Files.h"

#include "support/TemporaryDirectory.h"

#include <csignal>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace tessera::platform {
namespace {

using namespace tessera::testing;
namespace fs = std::filesystem;

std::string contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

struct stat statusOf(const std::string& path) {
    struct stat status {};
    EXPECT_EQ(::lstat(path.c_str(), &status), 0) << path;
    return status;
}

/// Names in `folder` that a write left behind beside its target.
std::vector<std::string> leftovers(const std::string& folder) {
    std::vector<std::string> found;
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.path().filename().string().find(".tmp-") != std::string::npos)
            found.push_back(entry.path().filename());
    return found;
}

TEST(FilesTest, ARegularFileIsReplacedWholeAndKeepsItsModeAndOwner) {
    TemporaryDirectory folder;
    const std::string target = folder.writeFile("private.tsv", 10);
    ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::chown(target.c_str(), 4321, 4321), 0);
    }
    ASSERT_TRUE(writeFileAtomically(target, "new"));
    EXPECT_EQ(contents(target), "new");
    const struct stat status = statusOf(target);
    EXPECT_EQ(status.st_mode & 07777, 0640u);
    if (root) {
        EXPECT_EQ(status.st_uid, 4321u);
    }
    EXPECT_TRUE(leftovers(folder.path()).empty());

    // A new file gets the usual permissions.
    const mode_t mask = ::umask(022);
    ASSERT_TRUE(writeFileAtomically(folder / "fresh", "x"));
    ::umask(mask);
    EXPECT_EQ(statusOf(folder / "fresh").st_mode & 07777, 0644u);
}

TEST(FilesTest, ALinkStaysALinkAndItsTargetIsWritten) {
    TemporaryDirectory folder;
    folder.writeFile("real/snapshot.tsv", 5);
    fs::create_symlink("real/snapshot.tsv", folder / "link");
    ASSERT_TRUE(writeFileAtomically(folder / "link", "through the link"));
    EXPECT_TRUE(S_ISLNK(statusOf(folder / "link").st_mode));
    EXPECT_EQ(contents(folder / "real/snapshot.tsv"), "through the link");

    // A link to nothing yet makes the file it names.
    fs::create_symlink(folder / "real/later.tsv", folder / "dangling");
    ASSERT_TRUE(writeFileAtomically(folder / "dangling", "made"));
    EXPECT_TRUE(S_ISLNK(statusOf(folder / "dangling").st_mode));
    EXPECT_EQ(contents(folder / "real/later.tsv"), "made");
    EXPECT_TRUE(leftovers(folder / "real").empty());
}

TEST(FilesTest, DevicesAndFifosAreWrittenThroughAndOtherKindsRefused) {
    ASSERT_TRUE(writeFileAtomically("/dev/null", "discarded"));
    EXPECT_TRUE(S_ISCHR(statusOf("/dev/null").st_mode));

    TemporaryDirectory folder;
    const std::string fifo = folder / "pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::string received;
    std::thread reader([&] { received = contents(fifo); });
    ASSERT_TRUE(writeFileAtomically(fifo, "streamed"));
    reader.join();
    EXPECT_EQ(received, "streamed");
    EXPECT_TRUE(S_ISFIFO(statusOf(fifo).st_mode));

    const auto onFolder = writeFileAtomically(folder.makeDirectory("dir"), "x");
    ASSERT_FALSE(onFolder);
    EXPECT_NE(onFolder.error().find("is a folder"), std::string::npos) << onFolder.error();

    const std::string socketPath = folder / "socket";
    const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    socketPath.copy(address.sun_path, sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    EXPECT_FALSE(writeFileAtomically(socketPath, "x"));
    EXPECT_TRUE(S_ISSOCK(statusOf(socketPath).st_mode));
    ::close(listener);
    EXPECT_TRUE(leftovers(folder.path()).empty());
}

TEST(FilesTest, AnInterruptedWriteLeavesNoTemporaryFile) {
    TemporaryDirectory folder;
    const std::string target = folder.writeFile("kept.tsv", 3);
    for (int signalNumber : {SIGINT, SIGTERM, SIGHUP}) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            auto file = AtomicFile::create(target);
            if (!file || !file->write("half a snapshot")) ::_exit(3);
            ::raise(signalNumber);
            ::_exit(4); // not reached: the signal ends the process
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status)) << "signal " << signalNumber << " status " << status;
        EXPECT_EQ(WTERMSIG(status), signalNumber);
        EXPECT_TRUE(leftovers(folder.path()).empty()) << "signal " << signalNumber;
    }
    EXPECT_EQ(fs::file_size(target), 3u); // the target is as it was
}

// Under nohup SIGHUP is ignored: a hang-up during the write changes nothing, the write commits
// and leaves no temporary file.
TEST(FilesTest, AWriteGoesOnThroughAHangUpThatIsIgnored) {
    TemporaryDirectory folder;
    const std::string target = folder.writeFile("kept.tsv", 3);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGHUP, SIG_IGN);
        auto file = AtomicFile::create(target);
        if (!file || !file->write("half a snapshot")) ::_exit(3);
        ::raise(SIGHUP);
        if (!file->write(", and the rest") || !file->commit()) ::_exit(4);
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "status " << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_TRUE(leftovers(folder.path()).empty());
    EXPECT_EQ(fs::file_size(target), std::string("half a snapshot, and the rest").size());
}

} // namespace
} // namespace tessera::platform
