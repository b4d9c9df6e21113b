#include "favorites/Favorite.h"

#include "favorites/PredicateText.h"
#include "model/Base64.h"
#include "support/TemporaryDirectory.h"

#include "json/JsonWriter.h"
#include <gtest/gtest.h>
#include <sys/mount.h>

namespace tessera {
namespace {

using namespace tessera::testing;

// Stands in for the file controller, which the favourite only starts, stops and asks for a size.
struct CountingController : FavoriteController {
    int scans = 0, detaches = 0;
    std::optional<std::int64_t> size;
    void startScan() override { ++scans; }
    void detach() override { ++detaches; }
    std::optional<std::int64_t> rootSize() const override { return size; }
    void setFavorite(Favorite* favorite) override { holder = favorite; }
    Favorite* holder = nullptr;
};

TEST(FavoriteTest, BookmarksKeepEveryByteOfThePathAndRejectGarbage) {
    TemporaryDirectory folder;
    const std::string awkward = folder.makeDirectory("100% = odd\nname\xff");
    const auto bookmark = Bookmark::make(awkward);
    ASSERT_TRUE(bookmark.has_value());
    EXPECT_FALSE(bookmark->mountPoint.empty());
    const auto back = Bookmark::fromBytes(bookmark->bytes());
    ASSERT_TRUE(back.has_value()) << back.error();
    EXPECT_EQ(*back, *bookmark);
    EXPECT_EQ(back->resolve(), awkward);

    EXPECT_FALSE(Bookmark::fromBytes("").has_value());
    EXPECT_FALSE(Bookmark::fromBytes("tessera-bookmark 1\npath=%4").has_value());
    EXPECT_FALSE(Bookmark::fromBytes("tessera-bookmark 1\npath=relative\n").has_value());
    EXPECT_FALSE(Bookmark::make(folder / "missing").has_value());

    Bookmark gone = *bookmark;
    gone.path = folder / "gone";
    gone.uuid.clear();
    gone.label.clear();
    EXPECT_EQ(gone.resolve(), std::nullopt);
}

// A disk bookmarked at one mount point and mounted at another: its folders are found there by
// the volume's UUID, else its label; an empty folder left where it was mounted is not it, and
// another disk that only shares the label is not it when the bookmark knows the UUID.
TEST(FavoriteTest, BookmarksFollowTheirVolumeToWhereverItIsMounted) {
    TemporaryDirectory folder;
    folder.makeDirectory("media");
    const std::string before = folder.makeDirectory("media/before");
    const std::string now = folder.makeDirectory("media/now");
    const std::string stranger = folder.makeDirectory("media/stranger");
    for (const std::string& disk : {now, stranger, before}) {
        // The last is left behind on the root file system, where the disk was mounted.
        folder.makeDirectory(disk.substr(folder.path().size() + 1) + "/photos");
        folder.makeDirectory(disk.substr(folder.path().size() + 1) + "/photos/2024");
    }

    Bookmark byUuid{before + "/photos/2024", before, "1111-AAAA", "STICK", "/dev/sdb1"};
    Bookmark byLabel = byUuid;
    byLabel.uuid.clear();
    const auto table = [&](std::vector<platform::Mount> mounts) {
        return MountTable{std::move(mounts), [](const platform::Mount& mount) {
                              platform::VolumeIdentity identity;
                              if (mount.source == "/dev/sdc1") identity.uuid = "1111-AAAA";
                              if (mount.source == "/dev/sdd1") identity.uuid = "2222-BBBB";
                              if (mount.source != "/dev/sda1") identity.label = "STICK";
                              identity.mountPoint = mount.mountPoint;
                              return identity;
                          }};
    };
    const platform::Mount root{"/", 1, "/dev/sda1", "ext4"};
    const platform::Mount stick{now, 2, "/dev/sdc1", "vfat"};
    const platform::Mount otherStick{stranger, 3, "/dev/sdd1", "vfat"};

    // Mounted elsewhere: the same place on it, by UUID and by label alone.
    EXPECT_EQ(byUuid.resolve(table({root, otherStick, stick})), now + "/photos/2024");
    EXPECT_EQ(byLabel.resolve(table({root, stick})), now + "/photos/2024");
    // Not mounted: the folder left behind is on the root file system, not the disk.
    EXPECT_FALSE(byUuid.isOnItsVolume(before + "/photos/2024", table({root})));
    EXPECT_EQ(byUuid.resolve(table({root})), std::nullopt);
    // Another disk with the same label is not the one whose UUID the bookmark knows.
    EXPECT_EQ(byUuid.resolve(table({root, otherStick})), std::nullopt);
    // Mounted where it was: the path itself.
    const platform::Mount stickBefore{before, 2, "/dev/sdc1", "vfat"};
    EXPECT_EQ(byUuid.resolve(table({root, stickBefore})), before + "/photos/2024");
}

TEST(FavoriteTest, TheStoredFormRoundTripsAndABadPredicateFailsDecoding) {
    TemporaryDirectory folder;
    Favorite favorite(folder.path(), true);
    EXPECT_TRUE(favorite.enabled());
    EXPECT_FALSE(favorite.isVolume());
    EXPECT_EQ(favorite.activeExclusion(), nullptr);
    favorite.setFilterPredicateEnabled(true);
    ASSERT_NE(favorite.activeExclusion(), nullptr);
    EXPECT_EQ(*favorite.activeExclusion(), Predicate::defaultExclusion());
    favorite.setFilterPredicate(
        std::make_shared<const Predicate>(*parsePredicate("path endswith \"/cache\"")));
    favorite.setFilterPredicateEnabled(true); // an existing predicate is kept
    EXPECT_EQ(formatPredicate(*favorite.filterPredicate()), "path endswith \"/cache\"");

    std::string json;
    JsonWriter writer(json);
    favorite.encode(writer);
    const std::string bookmark = encodeBase64(favorite.bookmark()->bytes());
    EXPECT_EQ(json, "{\n  \"bookmarkData\" : \"" + bookmark +
                        "\",\n  \"filterPredicate\" : \"path endswith \\\"/cache\\\"\",\n"
                        "  \"isFilterPredicateEnabled\" : true\n}");

    auto decoded = Favorite::decode(favorite.stored());
    ASSERT_TRUE(decoded.has_value()) << decoded.error();
    EXPECT_TRUE((*decoded)->isFavorite());
    EXPECT_EQ((*decoded)->url(), folder.path());
    EXPECT_EQ(*(*decoded)->filterPredicate(), *favorite.filterPredicate());

    Favorite::Stored broken = favorite.stored();
    broken.filterPredicate = "path endswith";
    auto failed = Favorite::decode(broken);
    ASSERT_FALSE(failed.has_value());
    EXPECT_NE(failed.error().find("filterPredicate"), std::string::npos);

    // A favourite whose location is gone is unavailable and has no controller.
    Favorite::Stored missing;
    missing.bookmarkData = "tessera-bookmark 1\npath=/nonexistent/tessera/place\n";
    auto unavailable = Favorite::decode(missing);
    ASSERT_TRUE(unavailable.has_value());
    EXPECT_FALSE((*unavailable)->enabled());
}

// Exclude from Chart: a rule naming exactly the path joins the filter (its siblings and names
// that begin alike stay), the untouched default rule gives way, and a filter that was off with
// rules of its own says that they woke too. The rule survives the stored form, odd bytes and all.
TEST(FavoriteTest, AnExcludedPathJoinsTheFilterAsARuleOfItsOwn) {
    TemporaryDirectory folder;
    Favorite favorite(folder.path(), true);
    const std::string build = folder.path() + "/build \"x\"\xff";
    EXPECT_FALSE(favorite.addExcludedPath(build));
    ASSERT_NE(favorite.activeExclusion(), nullptr);
    EXPECT_TRUE(favorite.activeExclusion()->evaluatePath(build));
    EXPECT_FALSE(favorite.activeExclusion()->evaluatePath(build + "2"));
    EXPECT_FALSE(favorite.activeExclusion()->evaluatePath(folder.path()));
    auto decoded = Favorite::decode(favorite.stored());
    ASSERT_TRUE(decoded.has_value()) << decoded.error();
    EXPECT_TRUE((*decoded)->activeExclusion()->evaluatePath(build));
    EXPECT_FALSE((*decoded)->activeExclusion()->evaluatePath(build + "2"));

    // Beside the rules of a filter that is on; the default rule, untouched, gives way.
    Favorite other(folder.path(), true);
    other.setFilterPredicateEnabled(true);
    EXPECT_FALSE(other.addExcludedPath("/a"));
    EXPECT_EQ(formatPredicate(*other.activeExclusion()), "or(path == \"/a\")");
    other.setFilterPredicate(
        std::make_shared<const Predicate>(*parsePredicate("path endswith \".o\"")));
    EXPECT_FALSE(other.addExcludedPath("/b"));
    for (const char* path : {"/b", "/x/y.o"})
        EXPECT_TRUE(other.activeExclusion()->evaluatePath(path)) << path;
    EXPECT_FALSE(other.activeExclusion()->evaluatePath("/c"));

    // A filter that was off: its rules wake with the new one.
    other.setFilterPredicateEnabled(false);
    EXPECT_TRUE(other.addExcludedPath("/c"));
    EXPECT_TRUE(other.activeExclusion()->evaluatePath("/x/y.o"));
}

TEST(FavoriteTest, FoldersTakeTheirTotalFromTheScannedTree) {
    TemporaryDirectory folder;
    Favorite favorite(folder.path(), false);
    auto first = std::make_shared<CountingController>();
    favorite.setFileController(first);
    EXPECT_EQ(first->scans, 1);
    EXPECT_EQ(favorite.totalSize(), std::nullopt);
    first->size = 4096;
    favorite.updateSizes();
    EXPECT_EQ(favorite.totalSize(), 4096);
    favorite.setFileController(nullptr);
    EXPECT_EQ(first->detaches, 1);
    EXPECT_EQ(favorite.totalSize(), std::nullopt);
}

TEST(FavoriteTest, VolumesShowUsageAgainstWarningAndCriticalLevels) {
    Favorite root("/", true);
    EXPECT_TRUE(root.isVolume());
    ASSERT_TRUE(root.totalSize().has_value());
    EXPECT_GT(root.size(), 0);
    EXPECT_LE(root.size(), *root.totalSize());

    // A small volume filled past three fifths, then past four fifths, of its capacity.
    TemporaryDirectory folder;
    const std::string point = folder.makeDirectory("volume");
    if (mount("tessera-test", point.c_str(), "tmpfs", 0, "size=400k") != 0)
        GTEST_SKIP() << "cannot mount a tmpfs here";
    Favorite volume(point, true);
    EXPECT_TRUE(volume.isVolume());
    EXPECT_EQ(volume.usageLevel(), Favorite::UsageLevel::normal);
    folder.writeFile("volume/fill", 270 * 1024);
    volume.updateSizes();
    EXPECT_EQ(volume.usageLevel(), Favorite::UsageLevel::warning);
    folder.writeFile("volume/more", 80 * 1024);
    volume.updateSizes();
    EXPECT_EQ(volume.usageLevel(), Favorite::UsageLevel::critical);
    umount(point.c_str());
}

} // namespace
} // namespace tessera
