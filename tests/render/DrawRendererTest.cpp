#include "render/DrawRenderer.h"

#include "render/DrawColor.h"

#include <cmath>
#include <gtest/gtest.h>

namespace tessera {
namespace {

TEST(DrawRendererTest, ShapesEmitTheirVerticesIntoOneStripEach) {
    DrawRenderer r;
    r.color = {0.5, 0.25, 1.0, 1.0};
    r.fillRect({0, 0, 10, 20}, {1.0, 0, 0, 1.0});
    r.strokeRect({0, 0, 10, 20});
    EXPECT_EQ(r.vertexCount(), 9u);
    EXPECT_EQ(r.triangleStrips().length(), std::vector<std::int32_t>{4});
    EXPECT_EQ(r.lineStrips().offset(), std::vector<std::int32_t>{4});
    EXPECT_EQ(r.lineStrips().length(), std::vector<std::int32_t>{5});
    const auto& v = r.vertices();
    EXPECT_EQ(v[4].x, v[8].x);
    EXPECT_EQ(v[4].y, v[8].y);
    // Colour bytes are truncated: 1.0 is 255, 0.5 is 127.
    EXPECT_EQ(v[0].red, 255);
    EXPECT_EQ(v[4].red, 127);
    EXPECT_EQ(v[4].green, 63);

    r.reset();
    EXPECT_EQ(r.vertexCount(), 0u);
    EXPECT_EQ(r.triangleStrips().stripCount(), 0u);
}

TEST(DrawRendererTest, ArcsStepByTheChordLengthAndEndExactly) {
    DrawRenderer r;
    // Narrower than one step (2 points at radius 100 is 0.02 radians): start and end only.
    r.fillRingSector(0.1, 0.11, 50, 100, {0, 0}, {0, 0, 0, 1});
    EXPECT_EQ(r.vertexCount(), 4u);
    r.reset();

    r.strokeCircle({0, 0}, 100);
    EXPECT_EQ(r.vertexCount(), 314u + 2u);
    EXPECT_FLOAT_EQ(r.vertices().back().x, 100.0f);

    r.reset();
    const double end = 2.5;
    r.strokeArc({10, 20}, 50, 0.5, end);
    const auto n = static_cast<std::size_t>((end - 0.5) / (2.0 / 50));
    ASSERT_EQ(r.vertexCount(), n + 2);
    EXPECT_FLOAT_EQ(r.vertices().back().x, static_cast<float>(10 + 50 * std::cos(end)));
    EXPECT_FLOAT_EQ(r.vertices().back().y, static_cast<float>(20 + 50 * std::sin(end)));

    // The outline of a ring sector: outer arc, inner arc back, closed.
    r.reset();
    r.strokeRingSector(0, 1, 40, 100, {0, 0});
    const auto points = static_cast<std::size_t>(1 / (2.0 / 100)) + 2;
    ASSERT_EQ(r.vertexCount(), 2 * points + 1);
    EXPECT_FLOAT_EQ(r.vertices()[points].x, static_cast<float>(40 * std::cos(1.0)));
    EXPECT_FLOAT_EQ(r.vertices().back().x, 100.0f);
}

TEST(DrawRendererTest, HuesConvertAsTheColourWheelSays) {
    const DrawColor red{1.0, 0.30000000000000004, 0.30000000000000004, 1.0};
    EXPECT_EQ(DrawColor::fromHue(0.0, 0.7, 1.0, 1.0), red);
    EXPECT_EQ(DrawColor::fromHue(1.0, 0.7, 1.0, 1.0), red);
    EXPECT_EQ(DrawColor::fromHue(0.5, 0.7, 1.0, 1.0),
              (DrawColor{0.30000000000000004, 1.0, 1.0, 1.0}));
    EXPECT_EQ(DrawColor::fromHue(0.3, 0.0, 0.4, 0.5), (DrawColor{0.4, 0.4, 0.4, 0.5}));
}

} // namespace
} // namespace tessera
