// The statistics of a folder's files: totals equal the folder's, types by extension (whatever
// their case, a hidden file's dot no extension) with their largest files, a histogram of powers
// of two with percentiles, months of the last change; each row's filter finds its files and
// never a folder.
#include "statistics/TreeStatistics.h"

#include "support/TreeBuilders.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace tessera {
namespace {

using namespace tessera::testing;

FilePtr dated(std::string_view name, std::int64_t size, std::int64_t seconds) {
    return File::create(name, size, size, kCreated, Date::fromUnixSeconds(seconds));
}

constexpr std::int64_t kMarch2024 = 1'710'000'000; // 2024-03-09
constexpr std::int64_t kJuly2025 = 1'752'000'000;  // 2025-07-08

TEST(TreeStatisticsTest, TypesSizesAndMonthsAddUpToTheFolder) {
    auto root =
        dir("", dated("a.JPG", 5'000, kMarch2024), dated("b.jpg", 3'000, kJuly2025),
            dir("photos.jpg", dated("c.jpg", 1'000, kJuly2025), dated("notes.txt", 3, kJuly2025)),
            dated(".hidden", 1, kMarch2024), dated("README", 0, kMarch2024));
    std::atomic<bool> cancelled = false;
    const auto statistics = computeStatistics(*root, SizeMode::fileSize, cancelled);
    ASSERT_TRUE(statistics.has_value());
    EXPECT_EQ(statistics->files, 6);
    EXPECT_EQ(statistics->size, root->size());

    ASSERT_EQ(statistics->types.size(), 3u);
    const TypeStatistics& jpg = statistics->types[0];
    EXPECT_EQ(jpg.extension, "jpg");
    EXPECT_EQ(jpg.category, FileCategory::images);
    EXPECT_EQ(jpg.count, 3);
    EXPECT_EQ(jpg.size, 9'000);
    EXPECT_EQ(jpg.largest, (std::vector<std::string>{"a.JPG", "b.jpg", "photos.jpg/c.jpg"}));
    EXPECT_EQ(statistics->types[1].extension, "txt");
    EXPECT_EQ(statistics->types[2].extension, ""); // .hidden and README
    EXPECT_EQ(statistics->types[2].count, 2);

    // Buckets [0,1) [1,2) [2,4) ... up to [4096, 8192): the first and last used bound them.
    ASSERT_FALSE(statistics->sizes.empty());
    EXPECT_EQ(statistics->sizes.front().lower, 0);
    EXPECT_EQ(statistics->sizes.front().count, 1);
    EXPECT_EQ(statistics->sizes.back().lower, 4096);
    EXPECT_EQ(statistics->sizes.back().upper, 8192);
    std::int64_t counted = 0;
    for (const SizeBucket& bucket : statistics->sizes)
        counted += bucket.count;
    EXPECT_EQ(counted, 6);
    // Sorted sizes 0 1 3 1000 3000 5000: the median is the third, the largest the sixth.
    EXPECT_EQ(statistics->percentiles[1], 3);
    EXPECT_EQ(statistics->percentiles[4], 5'000);

    ASSERT_EQ(statistics->months.size(), 2u);
    EXPECT_EQ(statistics->months[0].year, 2024);
    EXPECT_EQ(statistics->months[0].month, 3);
    EXPECT_EQ(statistics->months[0].count, 3);
    EXPECT_EQ(statistics->months[1].size, 4'003);

    // Each row's filter: its files, never a folder of a matching name.
    const auto matches = [&](const FilePredicate& filter) {
        std::vector<std::string> found;
        std::vector<const Directory*> pending{root.get()};
        while (!pending.empty()) {
            const Directory* folder = pending.back();
            pending.pop_back();
            for (const File* child : folder->contents()) {
                if (filter.evaluate(*child)) found.push_back(child->relativePath());
                if (const Directory* sub = child->asDirectory()) pending.push_back(sub);
            }
        }
        std::ranges::sort(found);
        return found;
    };
    EXPECT_EQ(matches(StatisticsFilter::ofType("jpg")),
              (std::vector<std::string>{"a.JPG", "b.jpg", "photos.jpg/c.jpg"}));
    EXPECT_EQ(matches(StatisticsFilter::ofSizes(statistics->sizes.back(), SizeMode::fileSize)),
              (std::vector<std::string>{"a.JPG"}));
    EXPECT_EQ(matches(StatisticsFilter::ofMonth(2025, 7)),
              (std::vector<std::string>{"b.jpg", "photos.jpg/c.jpg", "photos.jpg/notes.txt"}));

    // Below a folder, the largest files' paths are the folder's own; a cancelled count gives none.
    const auto below = computeStatistics(*root->fileAtPath("photos.jpg")->asDirectory(),
                                         SizeMode::fileSize, cancelled);
    EXPECT_EQ(below->types[0].largest, (std::vector<std::string>{"c.jpg"}));
    cancelled = true;
    std::vector<FilePtr> many;
    for (int i = 0; i < 10'000; ++i)
        many.push_back(file("f" + std::to_string(i), 1));
    auto big = Directory::create("", kCreated, kModified, std::move(many));
    EXPECT_FALSE(computeStatistics(*big, SizeMode::fileSize, cancelled).has_value());
}

} // namespace
} // namespace tessera
