#include "layouts/DrawPieChart.h"

#include "cli/RenderCommand.h"
#include "draw/Palette.h"
#include "model/MergedFile.h"
#include "render/RasterCanvas.h"
#include "support/TemporaryDirectory.h"
#include "support/TreeBuilders.h"

#include <cmath>
#include <fstream>
#include <gtest/gtest.h>

namespace tessera {
namespace {

using namespace tessera::testing;

std::unique_ptr<DrawPieChart> makeChart(double width, double height, int levels = 8) {
    auto chart = std::make_unique<DrawPieChart>([] { return std::make_unique<DrawRenderer>(); });
    chart->levels = levels;
    chart->setViewSize({width, height});
    return chart;
}

TEST(DrawPieChartTest, RingsFollowTheViewSize) {
    auto chart = makeChart(1000, 800);
    EXPECT_DOUBLE_EQ(chart->radius().max, 380);
    EXPECT_DOUBLE_EQ(chart->radius().mid, 340);
    EXPECT_DOUBLE_EQ(chart->radius().min, 120);
    EXPECT_DOUBLE_EQ(chart->bigLevelHeight(), 44);
    EXPECT_DOUBLE_EQ(chart->smallLevelHeight(), 40.0 / 3);
    double ring = 120;
    for (int level = 0; level < 8; ++level) {
        const double outer = chart->ringOuterRadius(ring);
        EXPECT_NEAR(outer - ring, level < 5 ? 44 : 40.0 / 3, 1e-9) << level;
        ring = outer;
    }
    EXPECT_NEAR(ring, 380, 1e-9);
}

TEST(DrawPieChartTest, ChildrenTileTheirParentAndSmallOnesMerge) {
    auto chart = makeChart(1000, 800);
    std::vector<FilePtr> many;
    many.push_back(file("big", 1'000'000));
    for (int i = 0; i < 50; ++i)
        many.push_back(file("tiny" + std::to_string(i), 1));
    auto root = Directory::create("", kCreated, kModified, std::move(many));
    chart->display(root.get());

    const auto* big = chart->view(*root->child(0));
    ASSERT_NE(big, nullptr);
    EXPECT_EQ(big->sector.angle.upper, kFullCircle); // the largest starts at the upper angle
    EXPECT_EQ(chart->view(*root->child(1)), nullptr) << "merged away";
    const MergedFile* merged = root->existingMergedContents();
    ASSERT_NE(merged, nullptr);
    EXPECT_EQ(merged->mergedContentCount(), 50);
    EXPECT_EQ(merged->mergedDisplaySize(), 50);
    const auto* rest = chart->view(*merged);
    ASSERT_NE(rest, nullptr);
    EXPECT_EQ(rest->sector.angle.upper, big->sector.angle.lower);
    EXPECT_EQ(rest->sector.angle.lower, 0.0);

    // Without merging, the last child ends exactly at the parent's lower angle.
    auto thirds = dir("", file("a", 1), file("b", 1), file("c", 1));
    chart->display(thirds.get());
    EXPECT_EQ(chart->view(*thirds->child(2))->sector.angle.lower, 0.0);
    EXPECT_EQ(chart->view(*thirds->child(2))->range.lower, 0.0);

    // Children of size 0: all merged when there are several, a single one takes the span.
    auto zeros = dir("", file("a", 0), file("b", 0));
    chart->display(zeros.get());
    EXPECT_EQ(chart->view(*zeros->child(0)), nullptr);
    EXPECT_EQ(chart->view(*zeros->existingMergedContents())->sector.angle.upper, kFullCircle);
    auto lone = dir("", file("only", 0));
    chart->display(lone.get());
    EXPECT_EQ(chart->view(*lone->child(0))->sector.angle.upper, kFullCircle);
    EXPECT_EQ(chart->view(*lone->child(0))->sector.angle.lower, 0.0);
}

TEST(DrawPieChartTest, AVolumeRootCoversItsUsedShare) {
    auto chart = makeChart(400, 400);
    chart->totalSize = 400;
    auto root = dir("", file("a", 100));
    chart->display(root.get());
    ASSERT_TRUE(chart->mainFileView());
    EXPECT_DOUBLE_EQ(chart->mainFileView()->sector.angle.upper, kFullCircle / 4);
    EXPECT_DOUBLE_EQ(chart->view(*root->child(0))->sector.angle.upper, kFullCircle / 4);
}

TEST(DrawPieChartTest, HitTestsBelongToTheNextSectorOnBoundaries) {
    auto chart = makeChart(400, 400); // radii 190 / 170 / 60
    auto root = dir("", file("a", 1), file("b", 1), dir("c", file("d", 1), file("e", 1)));
    chart->display(root.get());
    EXPECT_EQ(chart->fileAt({0, 0}, nullptr), root.get());
    const double inner = chart->radius().min;
    const double outer = chart->ringOuterRadius(inner);
    const double r = (inner + outer) / 2;
    auto at = [&](double angle, double radius) {
        return chart->fileAt({std::cos(angle) * radius, std::sin(angle) * radius}, nullptr);
    };
    // Largest first, clockwise from the full turn: c (2 bytes), then a and b.
    File* a = root->fileAtPath("a");
    File* c = root->fileAtPath("c");
    ASSERT_NE(a, nullptr);
    const auto* viewA = chart->view(*a);
    EXPECT_EQ(at(viewA->sector.angle.middle(), r), a);
    // A sector holds its lower angle and radius, not its upper ones: those are the next
    // sector's and the next ring's.
    EXPECT_TRUE(viewA->sector.contains(viewA->sector.angle.lower, r));
    EXPECT_FALSE(viewA->sector.contains(viewA->sector.angle.upper, r));
    // Angle 0 lies in the last child (sorted: c, a, b), whose sector starts there.
    EXPECT_EQ(chart->fileAt({r, 0}, nullptr), root->fileAtPath("b"));
    // Exactly on the outer radius belongs to the next ring.
    const auto* viewC = chart->view(*c);
    const File* beyond = at(viewC->sector.angle.middle(), viewC->sector.radius.upper);
    ASSERT_NE(beyond, nullptr);
    EXPECT_EQ(beyond->parent(), c);
    // The previous file is tried first.
    EXPECT_EQ(chart->fileAt({std::cos(viewA->sector.angle.middle()) * r,
                             std::sin(viewA->sector.angle.middle()) * r},
                            a),
              a);
    const auto centre = chart->center(*a);
    ASSERT_TRUE(centre.has_value());
    EXPECT_EQ(chart->fileAt(*centre, nullptr), a);
}

TEST(DrawPieChartTest, RearrangeAndRecolourKeepTheirStartUntilTheEnd) {
    auto chart = makeChart(400, 400);
    auto root = dir("", file("a", 3), file("b", 1));
    chart->display(root.get());
    const double startUpper = chart->view(*root->child(1))->sector.angle.upper;

    // Sorting by count instead of size: a and b become equal.
    chart->sizeMode = SizeMode::childCount;
    chart->display(root.get(), DrawTransition{DrawTransition::Rearrange{}, 0.0});
    const std::size_t atStart = chart->renderer().vertexCount();
    EXPECT_GT(atStart, 0u);
    chart->display(root.get(), DrawTransition{DrawTransition::Rearrange{}, 0.5});
    chart->display(root.get(), DrawTransition{DrawTransition::Rearrange{}, 1.0});
    // At 1.0 the start is dropped: the final picture, as without a transition.
    const std::size_t final = chart->renderer().vertexCount();
    chart->display(root.get());
    EXPECT_EQ(chart->renderer().vertexCount(), final);
    EXPECT_NE(chart->view(*root->child(0))->sector.angle.lower, startUpper);

    chart->colorMode = ColorMode::modificationDate;
    chart->display(root.get(), DrawTransition{DrawTransition::UpdateColor{}, 0.0});
    EXPECT_GT(chart->renderer().vertexCount(), 0u);
    chart->display(root.get(), DrawTransition{DrawTransition::UpdateColor{}, 1.0});
    EXPECT_EQ(chart->renderer().vertexCount(), final);
}

TEST(DrawPieChartTest, APictureShowsKnownColoursAtKnownAngles) {
    isDarkAppearance = false;
    auto chart = std::make_unique<DrawPieChart>([] { return std::make_unique<RasterRenderer>(); });
    chart->setViewSize({200, 200}); // radii 95 / 85 / 30, first ring 30 to 41
    auto root = dir("", file("a", 3), file("b", 1));
    chart->display(root.get());
    RasterCanvas canvas(200, 200);
    canvas.clear(palette::backgroundGrey());
    canvas.draw(chart->renderer());
    auto near = [](const DrawColor& got, const DrawColor& want) {
        return std::abs(got.red - want.red) < 0.01 && std::abs(got.green - want.green) < 0.01 &&
               std::abs(got.blue - want.blue) < 0.01;
    };
    const double r = 36;
    // a spans three quarters clockwise from angle 0 (hue 1.0: red); b the first quadrant.
    const DrawColor red = palette::file(1.0);
    const DrawColor quarter = palette::file(0.25);
    EXPECT_TRUE(near(canvas.colorAt(0, -r), red));
    EXPECT_TRUE(near(canvas.colorAt(-r, 0), red));
    EXPECT_TRUE(near(canvas.colorAt(r * 0.7, r * 0.7), quarter));
    // The disc in the middle and the corners keep the background.
    const DrawColor background = DrawColor::grey(palette::backgroundGrey(), 1);
    EXPECT_TRUE(near(canvas.colorAt(5, 5), background));
    EXPECT_TRUE(near(canvas.colorAt(-95, 95), background));

    isDarkAppearance = true;
    chart->display(root.get());
    canvas.clear(palette::backgroundGrey());
    canvas.draw(chart->renderer());
    EXPECT_TRUE(near(canvas.colorAt(0, -r), palette::file(1.0)));
    EXPECT_TRUE(near(canvas.colorAt(5, 5), DrawColor::grey(0.2, 1)));
    isDarkAppearance = false;
}

TEST(DrawPieChartTest, TheLoadingRingShowsWhatIsDone) {
    auto chart = makeChart(400, 400);
    chart->drawLoading(0.0, 0.0);
    ASSERT_EQ(chart->renderer().triangleStrips().stripCount(), 4u);
    // Nothing done: the two done sectors span no angle (start and end points only).
    EXPECT_EQ(chart->renderer().triangleStrips().length()[0], 4);
    EXPECT_GT(chart->renderer().triangleStrips().length()[2], 4);
    auto empty = makeChart(0, 400);
    empty->drawLoading(0.5, 0.5);
    EXPECT_EQ(empty->renderer().vertexCount(), 0u);
}

TEST(DrawPieChartTest, RenderWritesAPictureOfAFolderWithTheLabelUnderThePointer) {
    TemporaryDirectory folder;
    folder.writeFile("one", 3000);
    folder.writeFile("sub/two", 1000);
    folder.writeFile("sub/three", 1000);
    TemporaryDirectory pictures; // outside the folder, whose scan would otherwise see them
    const std::string out = pictures / "picture.png";
    auto render = [&](std::vector<std::string> extra) {
        std::vector<std::string> arguments{folder.path(), "-o", out, "--size", "200x120"};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        return cli::runRenderCommand(arguments);
    };
    auto contents = [&] {
        std::ifstream png(out, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(png), {});
    };
    ASSERT_EQ(render({"--dark", "--show", "sub"}), 0);
    EXPECT_EQ(contents().substr(1, 3), "PNG");
    ASSERT_EQ(render({}), 0);
    const std::string plain = contents();
    // The pointer right of the centre, over the first ring: the file's highlight and label.
    ASSERT_EQ(render({"--hover", "130,60"}), 0);
    EXPECT_TRUE(contents() != plain);
    ASSERT_EQ(render({"--hover", "0,0"}), 0); // over nothing: the plain picture
    EXPECT_TRUE(contents() == plain);

    EXPECT_EQ(render({"--hover", "12"}), 2);
    EXPECT_EQ(render({"--show", "nowhere"}), 1);
}

} // namespace
} // namespace tessera
