// tessera scan's arguments: every bad one is refused with status 2 before anything is scanned.
#include "cli/ScanCommand.h"

#include "snapshot/StoredName.h"
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
        {path, "--exclude", "size > 5"},
        {path, "--exclude",
         "or(path endswith \"/x\", modificationDate < date(\"2024-05-01T00:00:00Z\"))"},
        {path, "--exclude", "path endswith \"/x\"", "--exclude", "path endswith \"/y\""},
        {path, "--threads"},
        {path, path},
        {"--json"},
        {path, "--watch", "--threads", "2"},
        {path, "--hard-links", "twice"},
        {path, "--hard-links", "once", "--watch"},
    };
    for (const auto& arguments : refused) {
        EXPECT_EQ(runScanCommand(arguments), 2) << ::testing::PrintToString(arguments);
    }
    EXPECT_FALSE(std::filesystem::exists(snapshot));
    EXPECT_EQ(
        runScanCommand(std::vector<std::string>{path, "--threads", "2", "--json", "-log", "0"}), 0);
}

TEST(ScanCommandTest, HelpListsTheOptionsAndEndsWithStatusZero) {
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(runScanCommand(std::vector<std::string>{"--help"}), 0);
    const std::string help = ::testing::internal::GetCapturedStdout();
    for (const char* option : {"--json", "--exclude", "--export", "--format", "--keys", "--threads",
                               "--watch", "-log N"})
        EXPECT_NE(help.find(option), std::string::npos) << option << " in\n" << help;
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

TEST(ScanCommandTest, JsonNamesKeepEveryByte) {
    TemporaryDirectory folder;
    folder.writeFile("name\xff", 200);
    folder.writeFile("name\xfe", 100);
    ::testing::internal::CaptureStdout();
    ASSERT_EQ(runScanCommand(std::vector<std::string>{folder.path(), "--json"}), 0);
    const std::string out = ::testing::internal::GetCapturedStdout();
    // Two names that a replacement character would print alike stay apart, and map back.
    const std::string first = "\"name\": \"" + toStoredName("name\xff") + "\"";
    const std::string second = "\"name\": \"" + toStoredName("name\xfe") + "\"";
    EXPECT_NE(out.find(first), std::string::npos) << out;
    EXPECT_NE(out.find(second), std::string::npos) << out;
    EXPECT_EQ(fromStoredName(toStoredName("name\xff")), "name\xff");
}

// What --exclude left out is counted, not guessed: entries, without a size.
TEST(ScanCommandTest, TheVolumeSaysHowManyEntriesWereExcluded) {
    TemporaryDirectory folder;
    folder.writeFile("kept", 10);
    folder.writeFile("cache/a", 1'000);
    folder.writeFile("cache/deep/b", 1'000);
    folder.writeFile("old.cache", 1'000);
    ::testing::internal::CaptureStdout();
    ASSERT_EQ(runScanCommand(std::vector<std::string>{folder.path(), "--json", "--exclude",
                                                      "path endswith \"cache\""}),
              0);
    const std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("\"size\": 10,"), std::string::npos) << out;
    EXPECT_NE(out.find("\"excluded\": 2,"), std::string::npos) << out; // the folder, the file
}

} // namespace
} // namespace tessera::cli
