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
    EXPECT_EQ(root.warningSize(), static_cast<std::int64_t>(*root.totalSize() * 0.6));
    EXPECT_EQ(root.criticalSize(), static_cast<std::int64_t>(*root.totalSize() * 0.8));
    EXPECT_EQ(root.size(), *root.totalSize() - root.freeSize());

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
