#include "platform/Trash.h"

#include "base/Paths.h"
#include "model/Utf8.h"
#include "support/TemporaryDirectory.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tessera::platform {
namespace {

using namespace tessera::testing;

// Points the home trash into a temporary folder for the test's lifetime.
class TrashTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* old = std::getenv("XDG_DATA_HOME");
        if (old != nullptr) saved_ = old;
        hadValue_ = old != nullptr;
        ::setenv("XDG_DATA_HOME", (data_ / "share").c_str(), 1);
    }
    void TearDown() override {
        if (hadValue_)
            ::setenv("XDG_DATA_HOME", saved_.c_str(), 1);
        else
            ::unsetenv("XDG_DATA_HOME");
    }
    static bool exists(const std::string& path) {
        struct stat status;
        return ::lstat(path.c_str(), &status) == 0;
    }
    TemporaryDirectory data_;

private:
    std::string saved_;
    bool hadValue_ = false;
};

TEST_F(TrashTest, ItemsGoToTheTrashWithARecordAndComeBack) {
    const std::string file = data_.writeFile("report 100%.txt", 12);
    auto trashed = Trash::moveToTrash(file);
    ASSERT_TRUE(trashed.has_value()) << trashed.error();
    EXPECT_FALSE(exists(file));
    EXPECT_EQ(trashed->trashedPath, data_ / "share/Trash/files/report 100%.txt");
    std::ifstream record(trashed->infoPath);
    const std::string text((std::istreambuf_iterator<char>(record)),
                           std::istreambuf_iterator<char>());
    EXPECT_TRUE(text.starts_with("[Trash Info]\nPath=" + data_.path() +
                                 "/report%20100%25.txt\nDeletionDate="))
        << text;

    // A second item of the same name gets a name of its own.
    const std::string again = data_.writeFile("report 100%.txt", 3);
    auto second = Trash::moveToTrash(again);
    ASSERT_TRUE(second.has_value());
    EXPECT_NE(second->trashedPath, trashed->trashedPath);

    ASSERT_TRUE(Trash::restore(*trashed).has_value());
    EXPECT_TRUE(exists(file));
    EXPECT_FALSE(exists(trashed->infoPath));
    // Restoring onto an existing item would lose it: refused.
    EXPECT_FALSE(Trash::restore(*second).has_value());
    EXPECT_TRUE(exists(second->trashedPath));
}

TEST_F(TrashTest, TrashFoldersAndBadPathsAreRefused) {
    EXPECT_TRUE(Trash::isInsideTrash(Trash::homeTrash() + "/files/x"));
    EXPECT_TRUE(Trash::isInsideTrash("/media/disk/.Trash-1000/files/x"));
    EXPECT_TRUE(Trash::isInsideTrash("/media/disk/.Trash/1000"));
    EXPECT_FALSE(Trash::isInsideTrash("/media/disk/.Trashcan/x"));
    EXPECT_FALSE(Trash::isInsideTrash(data_ / "normal"));
    EXPECT_FALSE(Trash::moveToTrash("/").has_value());
    EXPECT_FALSE(Trash::moveToTrash("relative").has_value());
    EXPECT_FALSE(Trash::moveToTrash(data_ / "missing").has_value());
}

TEST_F(TrashTest, ItemsOnOtherVolumesUseTheirVolumesTrash) {
    const std::string volume = data_.makeDirectory("volume");
    if (::mount("tessera-test", volume.c_str(), "tmpfs", 0, "size=1m") != 0)
        GTEST_SKIP() << "cannot mount a tmpfs here";
    const std::string file = data_.writeFile("volume/item", 5);
    auto trashed = Trash::moveToTrash(file);
    ::umount2(volume.c_str(), MNT_DETACH);
    ASSERT_TRUE(trashed.has_value()) << trashed.error();
    EXPECT_EQ(trashed->trashedPath,
              volume + "/.Trash-" + std::to_string(::getuid()) + "/files/item");
}

// A name as long as a folder allows leaves no room for ".trashinfo": the trash takes a shorter
// name for it (keeping its extension, whole UTF-8 characters), and the record keeps the full
// path, so the item comes back under its own name.
TEST_F(TrashTest, NamesTooLongForTheRecordAreShortenedInTheTrash) {
    std::string name;
    while (name.size() < 244)
        name += "\u00e9t\u00e9 "; // two-byte letters: a cut must not split one
    name += "long.jpeg";
    ASSERT_GE(name.size(), 246u);
    ASSERT_LE(name.size(), 255u);
    const std::string file = data_.writeFile(name, 40);
    auto trashed = Trash::moveToTrash(file);
    ASSERT_TRUE(trashed.has_value()) << trashed.error();
    const std::string inTrash(lastComponent(trashed->trashedPath));
    EXPECT_LE(inTrash.size() + std::strlen(".trashinfo"), 255u);
    EXPECT_TRUE(inTrash.ends_with(".jpeg")) << inTrash;
    EXPECT_TRUE(isValidUtf8(inTrash)) << inTrash;
    EXPECT_TRUE(exists(trashed->trashedPath));
    // A second one of the same name gets a shortened name of its own.
    const std::string again = data_.writeFile(name, 7);
    auto second = Trash::moveToTrash(again);
    ASSERT_TRUE(second.has_value()) << second.error();
    EXPECT_NE(second->trashedPath, trashed->trashedPath);
    ASSERT_TRUE(Trash::restore(*trashed).has_value());
    EXPECT_TRUE(exists(file));
}

// A folder bound elsewhere on the home trash's own volume is another mount: renaming into the
// home trash from there fails, so its own mount's trash is used.
TEST_F(TrashTest, ItemsInABindMountOfTheHomeVolumeUseThatMountsTrash) {
    const std::string source = data_.makeDirectory("source");
    const std::string bound = data_.makeDirectory("bound");
    if (::mount(source.c_str(), bound.c_str(), nullptr, MS_BIND, nullptr) != 0)
        GTEST_SKIP() << "cannot bind-mount here (" << std::strerror(errno) << ")";
    const std::string file = data_.writeFile("bound/item", 5);
    auto trashed = Trash::moveToTrash(file);
    if (trashed) {
        EXPECT_FALSE(exists(file));
        EXPECT_TRUE(Trash::restore(*trashed).has_value());
        EXPECT_TRUE(exists(file));
    }
    ::umount2(bound.c_str(), MNT_DETACH);
    ASSERT_TRUE(trashed.has_value()) << trashed.error();
    EXPECT_EQ(trashed->trashedPath,
              bound + "/.Trash-" + std::to_string(::getuid()) + "/files/item");
}

} // namespace
} // namespace tessera::platform
