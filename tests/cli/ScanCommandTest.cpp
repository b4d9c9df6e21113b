// tessera scan's arguments: every bad one is refused with status 2 before anything is scanned.
#include "cli/ScanCommand.h"

#include "support/TemporaryDirectory.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tessera::cli {
namespace {

using namespace tessera::testing;

TEST(ScanCommandTest, BadArgumentsAreRefusedWithStatusTwo) {
    TemporaryDirectory folder;
    folder.writeFile("f", 10);
    const std::string path = folder.path();
    const std::string snapshot = folder / "out.fssnapshot";
    const std::vector<std::vector<std::string>> refused{
        {path, "--threads", "abc"},
        {path, "--threads", "0"},
        {path, "--threads", "-1"},
        {path, "--threads", "100000"},
        {path, "--threads", "4294967296"},
        {path, "--threads", "18446744073709551616"},
        {path, "-log", "9"},
        {path, "-log", "-1"},
        {path, "--export", ""},
        {path, "--format", "json"},
        {path, "--keys", "name,size"},
        {path, "--export", snapshot, "--keys", "size"},
        {path, "--export", snapshot, "--keys", "name,name,size"},
        {path, "--export", snapshot, "--keys", "name,creationDate"},
        {path, "--unknown"},
    };
    for (const auto& arguments : refused) {
        EXPECT_EQ(runScanCommand(arguments), 2) << ::testing::PrintToString(arguments);
    }
    EXPECT_FALSE(std::filesystem::exists(snapshot));
    EXPECT_EQ(
        runScanCommand(std::vector<std::string>{path, "--threads", "2", "--json", "-log", "0"}), 0);
}

TEST(ScanCommandTest, AScanWithUnreadableEntriesEndsWithStatusThree) {
    TemporaryDirectory folder;
    folder.writeFile("open/f", 10);
    const std::string locked = folder.makeDirectory("locked");
    folder.writeFile("locked/secret", 10);
    ::chmod(locked.c_str(), 0000);
    const std::string path = folder.path();
    // Root reads everything: the scan runs in a child process that gives up root.
    EXPECT_EXIT(
        {
            if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) std::_Exit(9);
            std::_Exit(runScanCommand(std::vector<std::string>{path, "--json"}));
        },
        ::testing::ExitedWithCode(3), "");
    ::chmod(locked.c_str(), 0755);
    EXPECT_EQ(runScanCommand(std::vector<std::string>{path, "--json"}), 0);
}

} // namespace
} // namespace tessera::cli
