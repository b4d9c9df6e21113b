#include "render/SvgPicture.h"

#include <cstdio>
#include <gtest/gtest.h>

namespace tessera {
namespace {

// A layer shown placed (a frame of a zoom) is moved and stretched in the document as it was on
// screen: its group's matrix takes the layer's own SVG coordinates to where the view showed them.
TEST(SvgPictureTest, APlacedLayerCarriesItsPlacementAsATransform) {
    VectorPicture picture;
    picture.width = 200;
    picture.height = 100;
    DrawRenderer r;
    r.setRecordsShapes(true);
    r.fillRect({-50, -25, 100, 50}, {0, 0, 1, 1});
    const DrawRect shown{0, 0, 50, 25};
    const DrawPlacement placement = DrawPlacement::between({-50, -25, 100, 50}, shown);
    picture.layers.push_back({r.shapes(), 1.0, placement});
    picture.layers.push_back({r.shapes(), 1.0, {}});
    const std::string svg = svgOf(picture);

    const std::size_t at = svg.find("<g transform=\"matrix(");
    ASSERT_NE(at, std::string::npos) << svg;
    double a = 0, b = 0, c = 0, d = 0, e = 0, f = 0;
    ASSERT_EQ(std::sscanf(svg.c_str() + at, "<g transform=\"matrix(%lf %lf %lf %lf %lf %lf)\"", &a,
                          &b, &c, &d, &e, &f),
              6);
    EXPECT_EQ(b, 0);
    EXPECT_EQ(c, 0);
    // The rectangle's corners, SVG pixels of the layer: (50, 25) and (150, 75); shown at view
    // points (0, 0)...(50, 25), which are SVG pixels (100, 25)...(150, 50).
    EXPECT_NEAR(a * 50 + e, 100, 1e-3);
    EXPECT_NEAR(d * 25 + f, 25, 1e-3);
    EXPECT_NEAR(a * 150 + e, 150, 1e-3);
    EXPECT_NEAR(d * 75 + f, 50, 1e-3);
    // A layer in its own place has no transform.
    EXPECT_EQ(svg.find("<g transform", at + 1), std::string::npos);
}

} // namespace
} // namespace tessera
