// Cleanups' command lines: the placeholders become the entry's path, name and folder, each one
// word of the real shell whatever bytes it holds; and the list kept in the settings file reads
// back, with entries that cannot be used left out and said so.
#include "cleanups/Cleanup.h"

#include "settings/Settings.h"
#include "support/TemporaryDirectory.h"

#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>

namespace tessera {
namespace {

using namespace tessera::testing;

// What the shell prints for `command`.
std::string shellOutput(const std::string& command) {
    FILE* pipe = ::popen(command.c_str(), "r");
    std::string out;
    char buffer[256];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        out.append(buffer, n);
    ::pclose(pipe);
    return out;
}

TEST(CleanupTest, PlaceholdersReachTheShellAsOneWordEachWhateverTheyHold) {
    const Cleanup show{"Show", "printf '[%s]' %p %n %d; echo ' 100%% %x'", false};
    for (const std::string& path :
         {std::string("/tmp/plain/name"), std::string("/tmp/it's $HOME/a \"b\" `c` \\d;e&f"),
          std::string("/tmp/bytes\xff\xfe/\x01new\nline")}) {
        const std::size_t slash = path.rfind('/');
        EXPECT_EQ(shellOutput(expandedCommand(show, path)),
                  "[" + path + "][" + path.substr(slash + 1) + "][" + path.substr(0, slash) +
                      "] 100% %x\n")
            << path;
    }
    // A real cleanup on a real folder: only the junk goes.
    TemporaryDirectory folder;
    folder.writeFile("with space/keep.txt", 10);
    folder.writeFile("with space/old.bak", 10);
    folder.writeFile("with space/deep/x.tmp", 10);
    const Cleanup junk = defaultCleanups().back();
    ASSERT_EQ(junk.title, "Delete Junk Files");
    EXPECT_TRUE(junk.dangerous);
    shellOutput(expandedCommand(junk, folder / "with space"));
    EXPECT_TRUE(std::filesystem::exists(folder / "with space/keep.txt"));
    EXPECT_FALSE(std::filesystem::exists(folder / "with space/old.bak"));
    EXPECT_FALSE(std::filesystem::exists(folder / "with space/deep/x.tmp"));
}

TEST(CleanupTest, TheSettingsKeepTheUsersListAndLeaveOutWhatTheyCannotRead) {
    Settings settings;
    EXPECT_EQ(settings.cleanupsOrDefaults(), defaultCleanups());
    EXPECT_EQ(settings.encode().find("cleanups"), std::string::npos); // the defaults, unwritten
    settings.cleanups = std::vector<Cleanup>{{"Empty \"Trash\"", "rm -rf %p/*", true},
                                             {"Count", "ls %p | wc -l", false}};
    const std::string text = settings.encode();
    EXPECT_LT(text.find("\"cleanups\""), text.find("\"colorMode\"")); // in sorted order
    auto decoded = Settings::decode(text);
    ASSERT_TRUE(decoded.has_value()) << decoded.error();
    EXPECT_EQ(decoded->cleanups, settings.cleanups);

    std::vector<std::string> repairs;
    auto repaired = Settings::decode(
        R"({"version": 1, "cleanups": [{"title": "Fine", "command": "true"},)"
        R"( {"title": 3, "command": "x"}, {"title": "T", "command": "y", "dangerous": "yes"}]})",
        &repairs);
    ASSERT_TRUE(repaired.has_value());
    ASSERT_EQ(repaired->cleanups->size(), 1u);
    EXPECT_EQ(repaired->cleanups->front(), (Cleanup{"Fine", "true", false}));
    EXPECT_EQ(repairs.size(), 2u);
    repairs.clear();
    repaired = Settings::decode(R"({"version": 1, "cleanups": "none"})", &repairs);
    EXPECT_EQ(repaired->cleanupsOrDefaults(), defaultCleanups());
    EXPECT_EQ(repairs.size(), 1u);
}

} // namespace
} // namespace tessera
