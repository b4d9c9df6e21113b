// tessera render: the still pictures of a morph between two snapshots, with and without the
// files' names.
#include "cli/RenderCommand.h"

#include "cli/ScanCommand.h"
#include "platform/Files.h"
#include "support/TemporaryDirectory.h"

#include <QImage>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>

namespace tessera::cli {
namespace {

using namespace tessera::testing;

std::string bytesOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// Degrees of a circle of `radius` around the picture's centre that show the background.
int uncoveredDegrees(const std::string& picture, double radius) {
    const QImage image(QString::fromStdString(picture));
    EXPECT_FALSE(image.isNull()) << picture;
    const QColor background = image.pixelColor(0, 0);
    int uncovered = 0;
    for (int degree = 0; degree < 360; ++degree) {
        const double angle = degree * M_PI / 180;
        const QColor pixel =
            image.pixelColor(static_cast<int>(image.width() / 2 + radius * std::cos(angle)),
                             static_cast<int>(image.height() / 2 - radius * std::sin(angle)));
        if (std::abs(pixel.red() - background.red()) < 8 &&
            std::abs(pixel.green() - background.green()) < 8 &&
            std::abs(pixel.blue() - background.blue()) < 8)
            ++uncovered;
    }
    return uncovered;
}

class RenderSequenceTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The same folder before and after a change: "new" (500 kB) appeared, "c" went.
        ASSERT_TRUE(platform::writeFileAtomically(before, "\"name\"\t\"size\"\n\"\"\n \"sub\"\n"
                                                          "  \"a\"\t400000\n \"other\"\n"
                                                          "  \"b\"\t200000\n \"c\"\t100000\n"));
        ASSERT_TRUE(platform::writeFileAtomically(after, "\"name\"\t\"size\"\n\"\"\n \"sub\"\n"
                                                         "  \"a\"\t400000\n  \"new\"\t500000\n"
                                                         " \"other\"\n  \"b\"\t200000\n"));
    }
    std::string render(std::vector<std::string> arguments, const std::string& name) {
        const std::string out = folder / name;
        arguments.insert(arguments.end(), {"-o", out, "--size", "600x400", "--samples", "1"});
        EXPECT_EQ(runRenderCommand(arguments), 0) << name;
        return out;
    }
    std::string at(const std::string& value) {
        return render({"--sequence", before, after, "--at", value}, "at" + value + ".png");
    }

    TemporaryDirectory folder;
    std::string before = folder / "folder.fssnapshot";
    std::string after = folder.makeDirectory("later") + "/folder.fssnapshot";
};

TEST_F(RenderSequenceTest, TheEndsAreEachTreeAloneAndTheMorphGrowsNewFiles) {
    EXPECT_EQ(bytesOf(at("0")), bytesOf(render({before}, "before.png")));
    // The second tree as it is drawn alone, but for the colour wheel's hues: an entry keeps the
    // hue it has in the first tree. In colours that do not follow places, the very picture.
    EXPECT_TRUE(bytesOf(at("1")) != bytesOf(render({after}, "after.png")));
    EXPECT_TRUE(
        bytesOf(render({"--sequence", before, after, "--at", "1", "--color-mode", "creationDate"},
                       "dated1.png")) ==
        bytesOf(render({after, "--color-mode", "creationDate"}, "dated-after.png")));

    // The outer ring: "new" takes 150° of it in the second tree. New entries grow during the
    // last 30% of a morph, so at 0.85 half of it is drawn, at 0.5 none of it yet.
    constexpr double kOuterRing = 95;
    EXPECT_EQ(uncoveredDegrees(folder / "after.png", kOuterRing), 0);
    const int halfway = uncoveredDegrees(at("0.85"), kOuterRing);
    EXPECT_GT(halfway, 50);
    EXPECT_LT(halfway, 110);
    EXPECT_GT(uncoveredDegrees(at("0.5"), kOuterRing), halfway);
}

// In a comparison an entry keeps its hue of the first tree: "other" (unchanged) is drawn in the
// second tree in the colour it had in the first, though it moved round the circle.
TEST_F(RenderSequenceTest, AnEntryKeepsItsHueFromTreeToTree) {
    constexpr double kInnerRing = 75;
    const QImage first(QString::fromStdString(at("0")));
    const QImage second(QString::fromStdString(at("1")));
    const auto colourAt = [&](const QImage& image, double degrees) {
        const double angle = degrees * M_PI / 180;
        return image.pixelColor(static_cast<int>(300 + kInnerRing * std::cos(angle)),
                                static_cast<int>(200 - kInnerRing * std::sin(angle)));
    };
    // Clockwise from 360°: the first tree has sub (206°), other (103°), c (51°); the second
    // sub (294°), other (65°).
    const QColor inFirst = colourAt(first, 360 - 206 - 50);
    const QColor inSecond = colourAt(second, 360 - 294 - 30);
    EXPECT_EQ(inFirst.name(), inSecond.name());
}

// At one scale the smaller tree takes its share of the larger one's circle, and the larger is
// drawn as it is alone; coloured by change, what came is warm and what stayed grey.
TEST_F(RenderSequenceTest, OneScaleAndTheColoursOfChange) {
    constexpr double kOuterRing = 95;
    const int own = uncoveredDegrees(at("0"), kOuterRing); // where "c" holds nothing: 51°
    EXPECT_NEAR(own, 51, 3);
    const int scaled = uncoveredDegrees(
        render({"--sequence", before, after, "--at", "0", "--same-scale"}, "scaled0.png"),
        kOuterRing);
    EXPECT_NEAR(scaled, 360 - 600.0 / 1100 * 360, 3);
    EXPECT_EQ(
        bytesOf(render({"--sequence", before, after, "--at", "1", "--same-scale"}, "scaled1.png")),
        bytesOf(at("1")));

    const QImage changes(QString::fromStdString(render(
        {"--sequence", before, after, "--at", "1", "--color-mode", "change"}, "change1.png")));
    const auto colourAt = [&](double degrees) {
        const double angle = degrees * M_PI / 180;
        return changes.pixelColor(static_cast<int>(300 + kOuterRing * std::cos(angle)),
                                  static_cast<int>(200 - kOuterRing * std::sin(angle)));
    };
    // Clockwise from 360°, the largest first: "new" (150°), then "a" (131°), then "b" (65°).
    const QColor came = colourAt(285);
    const QColor stayed = colourAt(150);
    EXPECT_GT(came.red(), came.blue() + 60) << came.name().toStdString();
    EXPECT_LT(stayed.hslSaturationF(), 0.05) << stayed.name().toStdString();
}

TEST_F(RenderSequenceTest, BadSequencesAndSettingsAreRefused) {
    const std::string out = folder / "x.png";
    for (const auto& arguments : std::vector<std::vector<std::string>>{
             {"--sequence", before, "--at", "0", "-o", out},
             {"--sequence", before, after, "--at", "1.5", "-o", out},
             {"--sequence", before, after, "--at", "-0.1", "-o", out},
             {"--sequence", before, after, "--at", "half", "-o", out},
             {before, "--at", "0", "-o", out},
             {before, "--same-scale", "-o", out},
             {before, "--color-mode", "change", "-o", out},
             // Settings the app's View menu would not reach, or not numbers at all.
             {before, "--levels", "20", "-o", out},
             {before, "--levels", "9x", "-o", out},
             {before, "--levels", "8.5", "-o", out},
             {before, "--border", "0.31", "-o", out},
             {before, "--border", "-0", "--levels", "nan", "-o", out},
         })
        EXPECT_EQ(runRenderCommand(arguments), 2) << ::testing::PrintToString(arguments);
    EXPECT_EQ(runRenderCommand(
                  std::vector<std::string>{"--sequence", before, folder / "missing", "-o", out}),
              1);
}

// Names on the picture: written where they fit, left out with --no-labels, and nothing else
// changes.
TEST_F(RenderSequenceTest, NamesAreWrittenUnlessLeftOut) {
    for (const char* graph : {"pie", "treemap"}) {
        const QImage named(QString::fromStdString(
            render({after, "--graph", graph}, std::string(graph) + "-named.png")));
        const QImage bare(QString::fromStdString(
            render({after, "--graph", graph, "--no-labels"}, std::string(graph) + "-bare.png")));
        ASSERT_EQ(named.size(), bare.size());
        int different = 0;
        for (int y = 0; y < named.height(); ++y)
            for (int x = 0; x < named.width(); ++x)
                different += named.pixel(x, y) != bare.pixel(x, y);
        // The few names of this small tree, a sliver of the picture.
        EXPECT_GT(different, 100) << graph;
        EXPECT_LT(different, named.width() * named.height() / 20) << graph;
    }
}

// --search lights what the app's search would find and dims the rest: "new" keeps its colour,
// "a" and "b" fade towards the background.
TEST_F(RenderSequenceTest, ASearchLightsItsMatches) {
    const QImage plain(
        QString::fromStdString(render({after, "--graph", "treemap", "--no-labels"}, "plain.png")));
    const QImage lit(QString::fromStdString(
        render({after, "--graph", "treemap", "--no-labels", "--search", "new"}, "lit.png")));
    ASSERT_EQ(plain.size(), lit.size());
    const QColor background(237, 237, 237); // the view's, under the veil's grey
    int same = 0;
    int dimmed = 0;
    for (int y = 0; y < plain.height(); y += 2)
        for (int x = 0; x < plain.width(); x += 2) {
            const QColor was = plain.pixelColor(x, y);
            const QColor is = lit.pixelColor(x, y);
            if (was == is) ++same;
            if (std::abs(is.lightness() - background.lightness()) <
                std::abs(was.lightness() - background.lightness()) - 10)
                ++dimmed;
        }
    // "new" is 500 of the 1,100 kB: about half the map keeps its colour, the rest is dimmed.
    const int samples = (plain.width() / 2) * (plain.height() / 2);
    EXPECT_GT(same, samples / 4);
    EXPECT_GT(dimmed, samples / 4);
}

// The share of the pixels of two pictures of one size that differ (a channel by more than 8).
double differingShare(const std::string& a, const std::string& b) {
    const QImage first(QString::fromStdString(a));
    const QImage second(QString::fromStdString(b));
    EXPECT_EQ(first.size(), second.size());
    std::int64_t differing = 0;
    for (int y = 0; y < first.height(); ++y)
        for (int x = 0; x < first.width(); ++x) {
            const QColor p = first.pixelColor(x, y);
            const QColor q = second.pixelColor(x, y);
            if (std::abs(p.red() - q.red()) > 8 || std::abs(p.green() - q.green()) > 8 ||
                std::abs(p.blue() - q.blue()) > 8)
                ++differing;
        }
    return static_cast<double>(differing) / (first.width() * first.height());
}

// Two scans of one real folder with a few hundred small edits, or a folder renamed, between
// them: the comparison's pictures barely change, in both graphs. (Names are written on a picture
// at rest only: they are left out of both.)
TEST(RenderComparisonTest, SmallEditsAndARenameBarelyChangeThePicture) {
    TemporaryDirectory home;
    for (int d = 0; d < 12; ++d)
        for (int f = 0; f < 40; ++f)
            home.writeFile("place/d" + std::to_string(d) + "/f" + std::to_string(f),
                           2'000 + 97 * f + 1'013 * d);
    const std::string place = home / "place";
    const auto scan = [&](const std::string& name) {
        const std::string out = home / name;
        ::testing::internal::CaptureStdout();
        EXPECT_EQ(runScanCommand(std::vector<std::string>{place, "--export", out}), 0);
        ::testing::internal::GetCapturedStdout();
        return out;
    };
    const std::string before = scan("before.json");
    for (int d = 0; d < 12; ++d)
        for (int f = 0; f < 40; f += 2)
            std::ofstream(place + "/d" + std::to_string(d) + "/f" + std::to_string(f),
                          std::ios::app)
                << std::string(100, 'e');
    const std::string edited = scan("edited.json");
    std::filesystem::rename(place + "/d5", place + "/renamed");
    const std::string renamed = scan("renamed.json");
    for (const char* graph : {"pie", "treemap"}) {
        SCOPED_TRACE(graph);
        const auto draw = [&](const std::string& later, const char* at) {
            const std::string out =
                home / (std::string(graph) + "-" + std::filesystem::path(later).stem().string() +
                        "-" + at + ".png");
            EXPECT_EQ(runRenderCommand(std::vector<std::string>{
                          "--sequence", before, later, "--at", at, "--graph", graph, "-o", out,
                          "--size", "400x250", "--samples", "1", "--no-labels"}),
                      0);
            return out;
        };
        const double edits = differingShare(draw(edited, "0"), draw(edited, "1"));
        const double rename = differingShare(draw(renamed, "0"), draw(renamed, "0.5"));
        std::printf("%s: ends after edits %.3f, a rename half-way %.3f\n", graph, edits, rename);
        EXPECT_LT(edits, 0.10);
        EXPECT_LT(rename, 0.25);
    }
}

} // namespace
} // namespace tessera::cli
