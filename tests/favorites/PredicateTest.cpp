#include "favorites/Predicate.h"

#include "favorites/PredicateText.h"
#include "model/Utf8.h"
#include "support/TreeBuilders.h"

#include <chrono>
#include <gtest/gtest.h>

namespace tessera {
namespace {

using namespace tessera::testing;

Predicate parsed(std::string_view text) {
    auto predicate = parsePredicate(text);
    if (!predicate) ADD_FAILURE() << predicate.error();
    return std::move(*predicate);
}

TEST(PredicateTest, TextFormRoundTripsEveryShape) {
    for (const char* text : {
             "or(path contains \"\")",
             "and(path ==[cd] \"Caf\\xc3\\xa9\", not(size > 1000), allocatedSize <= -5)",
             "or()",
             "and(modificationDate < date(\"2024-02-29T23:59:59Z\"), creationDate >= "
             "date(\"-00100-01-01T00:00:00Z\"))",
             "path matches[c] \".*\\\\.(jpe?g|png)\"",
             "not(or(path beginswith[d] \"/home\", path endswith \"\\\"q\\\"\\n\\t\\x01\"))",
         }) {
        const Predicate predicate = parsed(text);
        const std::string written = formatPredicate(predicate);
        EXPECT_EQ(parsed(written), predicate) << written;
    }
    EXPECT_EQ(formatPredicate(Predicate::defaultExclusion()), "or(path contains \"\")");

    // Bytes of a path that are not UTF-8 are written as escapes, so the text stays valid UTF-8
    // (settings store it in JSON) and reads back to the same bytes.
    const Predicate raw = parsed("path contains \"caf\xc3\xa9 \xff\xc3\"");
    const std::string written = formatPredicate(raw);
    EXPECT_TRUE(isValidUtf8(written)) << written;
    EXPECT_NE(written.find("\\xff\\xc3"), std::string::npos) << written;
    EXPECT_NE(written.find("caf\xc3\xa9"), std::string::npos) << written;
    EXPECT_EQ(parsed(written), raw);
}

TEST(PredicateTest, TheParserIsStrictAndSaysWhere) {
    for (const char* text :
         {"", "or(", "or(path contains \"x\"", "and(path contains \"x\",)", "name contains \"x\"",
          "size contains \"1\"", "size > \"1\"", "path > 3", "size > 1 trailing", "not()",
          "not(size > 1, size < 2)", "path contains[q] \"x\"", "path contains \"unterminated",
          "path contains \"\\q\"", "size > 99999999999999999999",
          "modificationDate < date(\"2024-02-30T00:00:00Z\")", "path matches \"(unclosed\"",
          "size >[c] 5", "pathcontains \"x\""}) {
        auto result = parsePredicate(text);
        EXPECT_FALSE(result.has_value()) << text;
        if (!result) {
            EXPECT_NE(result.error().find("offset"), std::string::npos) << result.error();
        }
    }
    std::string deep;
    for (int i = 0; i < 100'000; ++i)
        deep += "not(";
    EXPECT_FALSE(parsePredicate(deep).has_value());
}

TEST(PredicateTest, TextComparisonsFoldCaseAndDiacriticsAsUnicodeSays) {
    auto node = file("Cafe\xcc\x81 Menu.PDF", 10); // "Café" with a combining accent
    EXPECT_TRUE(parsed("path ==[cd] \"caf\xc3\xa9 menu.pdf\"").evaluate(*node));
    EXPECT_FALSE(parsed("path ==[c] \"cafe menu.pdf\"").evaluate(*node));
    EXPECT_TRUE(parsed("path ==[cd] \"CAFE MENU.PDF\"").evaluate(*node));
    EXPECT_TRUE(parsed("path endswith[c] \".pdf\"").evaluate(*node));
    EXPECT_FALSE(parsed("path endswith \".pdf\"").evaluate(*node));
    EXPECT_TRUE(parsed("path contains[cd] \"E M\"").evaluate(*node));
    EXPECT_TRUE(parsed("path ==[c] \"STRASSE\"")
                    .evaluate(*file("stra\xc3\x9f"
                                    "e",
                                    1)));
    EXPECT_TRUE(parsed("path matches[cd] \"cafe.*\"").evaluate(*node));
    EXPECT_FALSE(parsed("path matches \"Cafe\"").evaluate(*node)); // whole-string match
    // An empty constant matches nothing: a fresh exclusion filter excludes nothing.
    EXPECT_FALSE(Predicate::defaultExclusion().evaluatePath("/anything"));
    // Invalid bytes fold as U+FFFD on both sides.
    EXPECT_TRUE(parsed("path contains[cd] \"\xff\"").evaluate(*file("a\xfe", 1)));
}

TEST(PredicateTest, NodesAndPathsGiveTheirOwnProperties) {
    auto root = dir("", dir("photos", file("big.jpg", 5000), file("small.jpg", 10)));
    const Directory* photos = root->child(0)->asDirectory();
    const Predicate large = parsed("size > 1000");
    EXPECT_TRUE(large.evaluate(*photos)); // a directory's aggregated size
    EXPECT_FALSE(large.evaluate(*photos->child(1)));
    EXPECT_TRUE(parsed("path == \"big.jpg\"").evaluate(*photos->child(0))); // the own name
    EXPECT_TRUE(parsed("modificationDate > date(\"2020-01-01T00:00:00Z\")").evaluate(*photos));

    // Against a path only the path exists: a begins-with value needs the leading folders.
    EXPECT_TRUE(parsed("path beginswith \"/home/me\"").evaluatePath("/home/me/photos"));
    EXPECT_FALSE(parsed("path beginswith \"photos\"").evaluatePath("/home/me/photos"));
    EXPECT_FALSE(large.evaluatePath("/home/me/photos"));
    EXPECT_TRUE(parsed("size != 3").evaluatePath("/x"));
    EXPECT_TRUE(parsed("not(and(path contains \"a\", path contains \"z\"))").evaluatePath("/abc"));
}

TEST(PredicateTest, HostilePatternsCannotHangAScan) {
    const Predicate hostile = parsed("path matches \"(a+)+$b\"");
    const std::string subject(5000, 'a');
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(hostile.evaluatePath(subject));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
}

} // namespace
} // namespace tessera
