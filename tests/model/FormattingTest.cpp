#include "model/Formatting.h"

#include "base/Paths.h"
#include "model/FileEnums.h"
#include "model/Iso8601.h"
#include "model/Localization.h"

#include <gtest/gtest.h>
#include <limits>

namespace tessera {
namespace {

TEST(FormattingTest, ByteCountsUseDecimalUnitsChosenAfterRounding) {
    EXPECT_EQ(formatByteCount(0), "0 bytes");
    EXPECT_EQ(formatByteCount(1), "1 byte");
    EXPECT_EQ(formatByteCount(999), "999 bytes");
    EXPECT_EQ(formatByteCount(1000), "1 KB");
    EXPECT_EQ(formatByteCount(1499), "1 KB");
    EXPECT_EQ(formatByteCount(999'499), "999 KB");
    EXPECT_EQ(formatByteCount(999'500), "1 MB");
    EXPECT_EQ(formatByteCount(12'345'678), "12.3 MB");
    EXPECT_EQ(formatByteCount(1'000'000'000), "1 GB");
    EXPECT_EQ(formatByteCount(1'235'000'000), "1.24 GB");
    EXPECT_EQ(formatByteCount(4'000'000'000'000), "4 TB");
    EXPECT_EQ(formatByteCount(-2500), "-3 KB");
    EXPECT_EQ(formatByteCount(std::numeric_limits<std::int64_t>::max()), "9.22 EB");
    EXPECT_EQ(formatByteCount(std::numeric_limits<std::int64_t>::min()), "-9.22 EB");
}

TEST(FormattingTest, CountsAreGroupedAndTextsPickTheirPluralForm) {
    EXPECT_EQ(formatCount(0), "0");
    EXPECT_EQ(formatCount(999), "999");
    EXPECT_EQ(formatCount(1000), "1,000");
    EXPECT_EQ(formatCount(-1234567), "-1,234,567");
    EXPECT_EQ(localizedCountFormat("file.display.childCount", 1), "1 file");
    EXPECT_EQ(localizedCountFormat("file.display.childCount", 12345), "12,345 files");
    EXPECT_EQ(localizedFormat("file.display.allocatedSize", "3 KB"), "3 KB allocated");
    EXPECT_EQ(localizedText("no.such.key"), "no.such.key");
}

TEST(FormattingTest, PathsJoinAndRelateAtSlashBoundaries) {
    EXPECT_EQ(joinPath("", "a"), "a");
    EXPECT_EQ(joinPath("/", "a"), "/a");
    EXPECT_EQ(joinPath("/a", "b"), "/a/b");
    EXPECT_EQ(joinPath("/a", ""), "/a");
    EXPECT_EQ(relatePaths("/a/b", "/a"), PathRelation::firstInsideSecond);
    EXPECT_EQ(relatePaths("/a", "/a/b"), PathRelation::secondInsideFirst);
    EXPECT_EQ(relatePaths("/ab", "/a"), PathRelation::unrelated);
    EXPECT_EQ(relatePaths("/a", "/a"), PathRelation::equal);
    EXPECT_EQ(relatePaths("/x", "/"), PathRelation::firstInsideSecond);
    EXPECT_EQ(parentPath("/a/b"), "/a");
    EXPECT_EQ(parentPath("/a"), "/");
    EXPECT_EQ(lastComponent("/a/b"), "b");
}

TEST(FormattingTest, EnumerationsRoundTripThroughTheirRawValues) {
    for (SizeMode mode : allSizeModes)
        EXPECT_EQ(sizeModeFromRaw(rawValue(mode)), mode);
    for (FileKey key : allFileKeys)
        EXPECT_EQ(fileKeyFromRaw(rawValue(key)), key);
    for (ColorMode mode : allColorModes)
        EXPECT_EQ(colorModeFromRaw(rawValue(mode)), mode);
    EXPECT_EQ(sizeModeFromRaw("FileSize"), std::nullopt);
    EXPECT_EQ(rawValue(FileKey::allocatedSize), "allocatedSize");
}

TEST(FormattingTest, Iso8601DatesFollowEachOtherAcrossDaysYearsAndBack) {
    // Writing keeps the last day's text: times within a day, the same time on other days, years
    // beyond four digits in between and the first day again must all come out whole.
    const std::pair<std::int64_t, const char*> dates[] = {
        {1'700'000'000, "2023-11-14T22:13:20Z"},
        {1'700'000'001, "2023-11-14T22:13:21Z"},
        {1'700'000'000 - 86'400, "2023-11-13T22:13:20Z"},
        {0, "1970-01-01T00:00:00Z"},
        {-1, "1969-12-31T23:59:59Z"},
        {253'402'300'800, "+10000-01-01T00:00:00Z"},
        {1'700'000'000, "2023-11-14T22:13:20Z"},
        {-62'167'219'201, "-00001-12-31T23:59:59Z"},
        {-62'167'219'200, "0000-01-01T00:00:00Z"},
        {1'700'000'000, "2023-11-14T22:13:20Z"},
    };
    std::string joined;
    std::string expected;
    for (const auto& [seconds, text] : dates) {
        EXPECT_EQ(formatIso8601(Date::fromUnixSeconds(seconds)), text);
        appendIso8601(joined, Date::fromUnixSeconds(seconds));
        expected += text;
        EXPECT_EQ(parseIso8601(text), Date::fromUnixSeconds(seconds)) << text;
    }
    EXPECT_EQ(joined, expected);

    // Reading keeps the last day too: a bad time on a day just read, and bad days, still fail.
    ASSERT_TRUE(parseIso8601("2023-11-14T22:13:20Z"));
    for (const char* bad : {"2023-11-14T24:00:00Z", "2023-11-14T22:60:00Z", "2023-11-14T22:13:2xZ",
                            "2023-02-29T00:00:00Z", "2023-13-01T00:00:00Z", "2023-11-31T00:00:00Z",
                            "2023-11-14 22:13:20Z", "2023-11-14T22:13:20"})
        EXPECT_EQ(parseIso8601(bad), std::nullopt) << bad;
    EXPECT_EQ(parseIso8601("2024-02-29T00:00:00Z"), Date::fromUnixSeconds(1'709'164'800));
    EXPECT_EQ(parseIso8601("2023-11-14T23:13:20+01:00"), Date::fromUnixSeconds(1'700'000'000));
}

} // namespace
} // namespace tessera
