#include "render/RasterCanvas.h"

#include <cmath>
#include <gtest/gtest.h>

namespace tessera {
namespace {

TEST(RasterCanvasTest, AdjacentStripsCoverEverySampleOnce) {
    // 720 sectors of half a degree, each half-transparent black over white: a gap would leave
    // white, a sample covered twice would come out darker than the rest.
    RasterCanvas canvas(120, 120);
    canvas.clear(1.0);
    DrawRenderer r;
    constexpr int kPieces = 720;
    const double step = 2 * M_PI / kPieces;
    for (int i = 0; i < kPieces; ++i)
        r.fillRingSector(i * step, (i + 1) * step, 10, 55, {0, 0}, {0, 0, 0, 0.5});
    canvas.draw(r);
    const auto image = canvas.image();
    int inside = 0;
    for (int y = 0; y < 120; ++y) {
        for (int x = 0; x < 120; ++x) {
            const double dx = x + 0.5 - 60;
            const double dy = 60 - (y + 0.5);
            const double d = std::sqrt(dx * dx + dy * dy);
            if (d < 12 || d > 53) continue; // away from the ring's curved edges
            ++inside;
            const std::uint8_t value = image[(static_cast<std::size_t>(y) * 120 + x) * 4];
            ASSERT_EQ(value, 128) << "at " << x << "," << y;
        }
    }
    EXPECT_GT(inside, 5000);
}

TEST(RasterCanvasTest, ColoursBlendByAlphaAndInterpolateAcrossTriangles) {
    RasterCanvas canvas(40, 40);
    canvas.clear(0.2);
    DrawRenderer r;
    r.fillRect({-20, -20, 40, 40}, {1.0, 1.0, 1.0, 1.0});
    r.alpha = 0.5; // the whole renderer at half opacity
    canvas.draw(r);
    EXPECT_NEAR(canvas.colorAt(0, 0).red, 0.6, 1.0 / 255);

    RasterCanvas gradient(100, 10);
    gradient.clear(0.0);
    DrawRenderer g;
    g.fillQuad({0, 0, 0, 1}, {-50, -5}, {50, -5}, {-50, 5}, {50, 5});
    // Left black, right white: colours run across the strip.
    auto& v = const_cast<std::vector<DrawVertex>&>(g.vertices());
    v[1].red = v[3].red = 255;
    gradient.draw(g);
    EXPECT_LT(gradient.colorAt(-45, 0).red, 0.1);
    EXPECT_NEAR(gradient.colorAt(0, 0).red, 0.5, 0.02);
    EXPECT_GT(gradient.colorAt(45, 0).red, 0.9);
}

TEST(RasterCanvasTest, LinesLieAboveFillsWhateverTheOrderTheyWereAddedIn) {
    RasterCanvas canvas(20, 20);
    canvas.clear(1.0);
    DrawRenderer r;
    r.color = {1, 0, 0, 1};
    r.strokeLine({-10, 0.5}, {10, 0.5});
    r.fillRect({-10, -10, 20, 20}, {0, 0, 1, 1});
    canvas.draw(r);
    EXPECT_EQ(canvas.colorAt(0, 0.5), (DrawColor{1, 0, 0, 1}));
    EXPECT_EQ(canvas.colorAt(0, -5), (DrawColor{0, 0, 1, 1}));
}

// A placed picture is drawn where its placement puts it; a small one's lines stay a point wide.
TEST(RasterCanvasTest, APlacedPictureIsDrawnWhereItsPlacementPutsIt) {
    RasterCanvas canvas(60, 40);
    canvas.clear(1.0);
    DrawRenderer r;
    r.fillRect({-5, -5, 10, 10}, {0, 0, 1, 1});
    r.color = {1, 0, 0, 1};
    r.strokeLine({-5, 0.5}, {5, 0.5});
    r.placement = DrawPlacement::between({-5, -5, 10, 10}, {0, -10, 20, 20});
    canvas.draw(r);
    EXPECT_EQ(canvas.colorAt(3, -8), (DrawColor{0, 0, 1, 1}));
    EXPECT_EQ(canvas.colorAt(17, 8), (DrawColor{0, 0, 1, 1}));
    EXPECT_EQ(canvas.colorAt(-3, 0), (DrawColor{1, 1, 1, 1}));
    EXPECT_EQ(canvas.colorAt(10, 1.5), (DrawColor{1, 0, 0, 1}));
    EXPECT_EQ(canvas.colorAt(10, 2.5), (DrawColor{0, 0, 1, 1}));
}

// A large picture of rectangles shown placed or fading is drawn as one image, as the OpenGL
// view draws it: stretched as a whole, and faded as a whole (its lines hide what lies under them
// in the picture, and only the background shows through).
TEST(RasterCanvasTest, ALargePictureIsPlacedAndFadedAsOneImage) {
    RasterRenderer r;
    r.color = {1, 0, 0, 1};
    for (int row = 0; row < 80; ++row)
        for (int column = 0; column < 80; ++column)
            r.fillRect({-40.0 + column, -40.0 + row, 1, 1}, {0, 0, 1, 1});
    r.strokeLine({-40, 0.5}, {40, 0.5});
    ASSERT_GE(r.vertexCount(), kLeastVerticesShownAsImage);
    RasterCanvas canvas(100, 100);
    RasterRenderer::setCurrentCanvas(&canvas);
    canvas.clear(1.0);
    r.placement = DrawPlacement::between({-40, -40, 80, 80}, {-20, -20, 40, 40});
    r.draw();
    EXPECT_EQ(canvas.colorAt(-15, -15), (DrawColor{0, 0, 1, 1}));
    EXPECT_EQ(canvas.colorAt(-25, -15), (DrawColor{1, 1, 1, 1}));
    EXPECT_EQ(canvas.colorAt(15, 25), (DrawColor{1, 1, 1, 1}));

    canvas.clear(1.0);
    r.placement = {};
    r.alpha = 0.5;
    r.draw();
    const DrawColor onLine = canvas.colorAt(10, 0.5);
    EXPECT_NEAR(onLine.red, 1.0, 0.02);
    EXPECT_NEAR(onLine.green, 0.5, 0.02);
    EXPECT_NEAR(onLine.blue, 0.5, 0.02);
    RasterRenderer::setCurrentCanvas(nullptr);
}

} // namespace
} // namespace tessera
