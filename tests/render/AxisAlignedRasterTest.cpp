#include "render/AxisAlignedRaster.h"

#include "render/DrawRenderer.h"
#include "render/RasterCanvas.h"

#include <cmath>
#include <cstdlib>
#include <gtest/gtest.h>
#include <memory>
#include <random>
#include <utility>

namespace tessera {
namespace {

// The image over an opaque grey, as the view composes it.
std::vector<std::uint8_t> overGrey(const LabelBitmap& image, std::uint8_t grey) {
    std::vector<std::uint8_t> out(image.pixels.size());
    for (std::size_t i = 0; i < image.pixels.size(); i += 4) {
        const double keep = 1.0 - image.pixels[i + 3] / 255.0;
        for (std::size_t c = 0; c < 3; ++c)
            out[i + c] = static_cast<std::uint8_t>(std::lround(image.pixels[i + c] + grey * keep));
        out[i + 3] = 255;
    }
    return out;
}

TEST(AxisAlignedRasterTest, OnlyRectanglesAndAxisLinesQualify) {
    DrawRenderer rects;
    rects.fillRect({-10, -10, 5, 7}, {1, 0, 0, 1});
    rects.strokeRect({-3, -3, 6, 6});
    rects.strokeLine({0, -5}, {0, 5});
    EXPECT_TRUE(isAxisAligned(rects));

    DrawRenderer diagonal;
    diagonal.strokeLine({0, 0}, {3, 4});
    EXPECT_FALSE(isAxisAligned(diagonal));
    DrawRenderer sector;
    sector.fillRingSector(0, 1, 5, 10, {0, 0}, {0, 1, 0, 1});
    EXPECT_FALSE(isAxisAligned(sector));
    DrawRenderer quad; // four corners, but not of one rectangle
    quad.fillQuad({0, 0, 1, 1}, {0, 0}, {4, 0}, {0, 4}, {5, 5});
    EXPECT_FALSE(isAxisAligned(quad));
    DrawRenderer blend; // a gradient is not one colour
    blend.fillRingSector(0, 0.01, 5, 10, {0, 0}, {0, 1, 0, 1}, {1, 0, 0, 1});
    EXPECT_FALSE(isAxisAligned(blend));
    // Drawing finds them out too.
    LabelBitmap image;
    for (const DrawRenderer* picture : {&diagonal, &sector, &quad, &blend})
        EXPECT_FALSE(rasteriseAxisAligned(*picture, 20, 20, 1.0, image));
    EXPECT_TRUE(rasteriseAxisAligned(rects, 20, 20, 1.0, image));
}

// The smallest area that holds every pixel of the image that is not transparent.
PixelArea opaquePart(const LabelBitmap& image) {
    PixelArea area;
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x)
            if (image.pixels[(static_cast<std::size_t>(y) * image.width + x) * 4 + 3] != 0)
                area = area.united({x, y, x + 1, y + 1});
    return area;
}

// The view draws only the part of the image that a picture drew into: it must hold every pixel
// drawn, from bands on several threads and from the recolouring's map alike, and no more.
TEST(AxisAlignedRasterTest, TheDrawnAreaIsExactlyThePartOfTheImageDrawnInto) {
    // Enough rectangles to be drawn in bands, in the view's lower right, a line above them.
    DrawRenderer r;
    std::vector<std::size_t> corners;
    for (int i = 0; i < 100; ++i)
        for (int j = 0; j < 60; ++j) {
            corners.push_back(r.vertexCount());
            r.fillRect({10.0 + i * 0.4, -45.0 + j * 0.5, 0.4, 0.5},
                       DrawColor::fromHue(i / 100.0, 0.7, 1, 1));
        }
    r.color = {0, 0, 0, 0.5};
    r.strokeLine({-20.25, 20}, {30, 20});
    ASSERT_GE(r.vertexCount(), 20'000u);

    LabelBitmap image;
    PixelArea drawn;
    ASSERT_TRUE(rasteriseAxisAligned(r, 120, 100, 2.0, image, &drawn));
    EXPECT_EQ(drawn, opaquePart(image));
    EXPECT_LT((drawn.right - drawn.left) * (drawn.bottom - drawn.top),
              image.width * image.height / 2);

    RecolouringRaster raster;
    r.recolourable = true;
    for (int frame = 0; frame < 3; ++frame) {
        SCOPED_TRACE("frame " + std::to_string(frame));
        if (frame > 0) {
            for (std::size_t k = 0; k < corners.size(); ++k)
                r.recolourQuad(corners[k], DrawColor::fromHue(frame * 0.3, 0.7, 1, 1));
            r.finishRecolouring();
        }
        ASSERT_TRUE(raster.draw(r, 120, 100, 2.0, image));
        EXPECT_TRUE(raster.lastColouredFromMap());
        EXPECT_EQ(raster.drawnArea(), opaquePart(image));
    }
    DrawRenderer nothing;
    ASSERT_TRUE(raster.draw(nothing, 120, 100, 2.0, image));
    EXPECT_TRUE(raster.drawnArea().isEmpty());
}

TEST(AxisAlignedRasterTest, RectanglesFillThePixelsWhoseCentresTheyHoldAndBlend) {
    DrawRenderer r;
    // In a 10 × 10 view at two pixels a point: x from -4.8 to -3.7 points is pixels 0.4 to 2.6.
    r.fillRect({-4.8, 3.0, 1.1, 2.0}, {1, 0, 0, 1});
    r.fillRect({-3.7, 3.0, 0.5, 2.0}, {0, 1, 0, 1}); // its neighbour: no seam, no overlap
    r.fillRect({-5, 3.0, 10, 2.0}, {0, 0, 1, 0.5});  // half blue over all of the top rows
    LabelBitmap image;
    ASSERT_TRUE(rasteriseAxisAligned(r, 10, 10, 2.0, image));
    ASSERT_EQ(image.width, 20);
    ASSERT_EQ(image.height, 20);
    auto pixel = [&](int x, int y) {
        const std::uint8_t* p = &image.pixels[(static_cast<std::size_t>(y) * 20 + x) * 4];
        return std::array<int, 4>{p[0], p[1], p[2], p[3]};
    };
    // Half blue (alpha 0.5, the byte 127 as the GPU gets it) over red, premultiplied.
    EXPECT_EQ(pixel(0, 0), (std::array<int, 4>{128, 0, 127, 255}));
    EXPECT_EQ(pixel(2, 3), (std::array<int, 4>{128, 0, 127, 255}));
    EXPECT_EQ(pixel(3, 0), (std::array<int, 4>{0, 128, 127, 255})); // the neighbour's
    EXPECT_EQ(pixel(4, 0), (std::array<int, 4>{0, 0, 127, 127}));   // centre 4.5: neither's
    EXPECT_EQ(pixel(2, 4), (std::array<int, 4>{0, 0, 0, 0}));       // below them all
}

// A tree map's kind of picture, rectangles of every size at fractional places with the lines
// between them, drawn like the CPU back end draws it.
TEST(AxisAlignedRasterTest, ATreeMapLikePictureMatchesTheCpuBackEnd) {
    std::mt19937 random(7);
    std::uniform_real_distribution<double> unit(0, 1);
    DrawRenderer r;
    constexpr double kWidth = 300;
    constexpr double kHeight = 200;
    double x = -kWidth / 2;
    while (x < kWidth / 2) {
        const double w = 0.3 + unit(random) * 9;
        double y = -kHeight / 2;
        while (y < kHeight / 2) {
            const double h = 0.3 + unit(random) * 9;
            r.fillRect({x, y, w, h}, {unit(random), unit(random), unit(random), 1});
            y += h;
        }
        r.color = {0, 0, 0, 0.3};
        r.strokeLine({x, -kHeight / 2}, {x, kHeight / 2});
        x += w;
    }
    r.color = {0, 0, 0, 1};
    r.strokeRect({-100.25, -60.5, 150, 90});
    ASSERT_TRUE(isAxisAligned(r));
    LabelBitmap image;
    ASSERT_TRUE(rasteriseAxisAligned(r, kWidth, kHeight, 1.0, image));
    const auto ours = overGrey(image, 237);
    // One sample a pixel: the same rules exactly. (The software view's two by two samples soften
    // the rectangles' edges; the app's tests compare its frames.)
    RasterCanvas canvas(static_cast<int>(kWidth), static_cast<int>(kHeight));
    canvas.clear(237 / 255.0);
    canvas.draw(r);
    const auto theirs = canvas.image();
    ASSERT_EQ(ours.size(), theirs.size());
    std::size_t differing = 0;
    for (std::size_t i = 0; i < ours.size(); i += 4)
        if (std::abs(ours[i] - theirs[i]) > 40 || std::abs(ours[i + 1] - theirs[i + 1]) > 40 ||
            std::abs(ours[i + 2] - theirs[i + 2]) > 40)
            ++differing;
    EXPECT_LT(static_cast<double>(differing) / (kWidth * kHeight), 0.02);
}

// A large picture is drawn in bands of rows, one a thread, each skipping the shapes outside its
// rows: it must be the picture drawn whole, pixel for pixel. Rectangles and lines at fractional
// places cross every band's edges; rectangles of no area in front make the picture large
// enough for bands without drawing anything.
TEST(AxisAlignedRasterTest, APictureDrawnInBandsIsThePictureDrawnWhole) {
    // The shapes, some rectangles translucent or (for the recolouring's map) all opaque.
    const auto drawShapes = [](DrawRenderer& r, bool allOpaque) {
        std::mt19937 random(5);
        std::uniform_real_distribution<double> unit(0, 1);
        for (double x = -60; x < 60;) {
            const double w = 0.2 + unit(random) * 6;
            for (double y = -40; y < 40;) {
                const double h = 0.2 + unit(random) * 6;
                const double alpha = unit(random) < 0.2 && !allOpaque ? 0.6 : 1;
                r.fillRect({x, y, w, h}, DrawColor::fromHue(unit(random), 0.7, 1, alpha));
                y += h;
            }
            x += w;
        }
        for (int i = 0; i < 40; ++i) {
            r.color = {0, 0, 0, 0.2 + unit(random) * 0.8};
            const double at = -40 + unit(random) * 80;
            r.strokeLine({-60 + unit(random) * 60, at}, {unit(random) * 60, at});
            r.strokeLine({at, -40 + unit(random) * 40}, {at, unit(random) * 40});
            r.strokeRect({-50 + unit(random) * 50, -35 + unit(random) * 35, unit(random) * 50,
                          unit(random) * 35});
        }
    };
    const auto largeOf = [](const DrawRenderer& shapes) {
        auto large = std::make_unique<DrawRenderer>();
        while (large->vertexCount() < 20'000)
            large->fillRect({0, 0, 0, 3}, {1, 0, 0, 1});
        large->append(shapes);
        return large;
    };
    DrawRenderer shapes;
    drawShapes(shapes, false);
    ASSERT_LT(shapes.vertexCount(), 20'000u);
    const auto large = largeOf(shapes);
    DrawRenderer opaque;
    drawShapes(opaque, true);
    const auto largeOpaque = largeOf(opaque);
    largeOpaque->recolourable = true;

    for (const double scale : {1.0, 1.5, 2.0}) {
        SCOPED_TRACE("scale " + std::to_string(scale));
        LabelBitmap whole;
        LabelBitmap inBands;
        PixelArea wholeArea;
        PixelArea bandsArea;
        ASSERT_TRUE(rasteriseAxisAligned(shapes, 121, 81, scale, whole, &wholeArea));
        ASSERT_TRUE(rasteriseAxisAligned(*large, 121, 81, scale, inBands, &bandsArea));
        EXPECT_EQ(inBands.pixels, whole.pixels);
        EXPECT_EQ(bandsArea, wholeArea);
        // The recolouring's map is made in bands too.
        RecolouringRaster raster;
        LabelBitmap mapped;
        ASSERT_TRUE(raster.draw(*largeOpaque, 121, 81, scale, mapped));
        ASSERT_TRUE(raster.lastColouredFromMap());
        ASSERT_TRUE(rasteriseAxisAligned(opaque, 121, 81, scale, whole, &wholeArea));
        ASSERT_EQ(mapped.pixels.size(), whole.pixels.size());
        int worst = 0;
        for (std::size_t i = 0; i < mapped.pixels.size(); ++i)
            worst = std::max(worst, std::abs(mapped.pixels[i] - whole.pixels[i]));
        EXPECT_LE(worst, 2);
        EXPECT_EQ(raster.drawnArea(), wholeArea);
    }
}

// A recolouring: the same rectangles and lines frame after frame, only the rectangles' colours
// changing, each picture marked recolourable. The pictures are coloured from a map of which
// rectangle covers each pixel, and each must be the picture drawn afresh, pixel for pixel (but
// for rounding); new shapes make a new map, and a picture not marked is drawn afresh.
TEST(AxisAlignedRasterTest, ARecolouredPictureIsTheOneDrawnAfresh) {
    std::mt19937 random(11);
    std::uniform_real_distribution<double> unit(0, 1);
    std::vector<DrawRect> rects;
    for (double x = -60; x < 60;) {
        const double w = 0.4 + unit(random) * 7;
        for (double y = -40; y < 40;) {
            const double h = 0.4 + unit(random) * 7;
            rects.push_back({x, y, w, h});
            y += h;
        }
        x += w;
    }
    const auto picture = [&](double hue, double moved, bool recolourable = true) {
        auto drawn = std::make_unique<DrawRenderer>();
        DrawRenderer& r = *drawn;
        r.recolourable = recolourable;
        r.color = {0.1, 0.1, 0.1, 0.4};
        r.strokeRect({-50.5, -30.25, 100, 60}); // lines first, rectangles after: the back end
        for (const DrawRect& rect : rects)      // draws strips before lines anyway
            r.fillRect({rect.x + moved, rect.y, rect.width, rect.height},
                       DrawColor::fromHue(std::fmod(hue + rect.x / 200 + 1, 1.0), 0.7, 1, 1));
        r.color = {0, 0, 0, 0.3};
        for (const DrawRect& rect : rects)
            r.strokeLine({rect.x + moved, rect.y}, {rect.x + moved, rect.maxY()});
        return drawn;
    };
    RecolouringRaster raster;
    LabelBitmap image;
    LabelBitmap fresh;
    for (int frame = 0; frame < 5; ++frame) {
        const auto r = picture(frame * 0.1, 0);
        ASSERT_TRUE(raster.draw(*r, 120, 80, 2.0, image));
        ASSERT_TRUE(rasteriseAxisAligned(*r, 120, 80, 2.0, fresh));
        ASSERT_EQ(image.pixels.size(), fresh.pixels.size());
        int worst = 0;
        for (std::size_t i = 0; i < image.pixels.size(); ++i)
            worst = std::max(worst, std::abs(image.pixels[i] - fresh.pixels[i]));
        EXPECT_LE(worst, 2) << "frame " << frame;
        EXPECT_TRUE(raster.lastColouredFromMap()) << "frame " << frame;
    }
    // Moved shapes: mapped anew.
    const auto moved = picture(0.5, 0.5);
    ASSERT_TRUE(raster.draw(*moved, 120, 80, 2.0, image));
    ASSERT_TRUE(rasteriseAxisAligned(*moved, 120, 80, 2.0, fresh));
    for (std::size_t i = 0; i < image.pixels.size(); ++i)
        ASSERT_LE(std::abs(image.pixels[i] - fresh.pixels[i]), 2) << "byte " << i;
    EXPECT_TRUE(raster.lastColouredFromMap());
    // Not marked: drawn afresh, even with the same shapes.
    for (int twice = 0; twice < 2; ++twice) {
        const auto plain = picture(0.7, 0.5, false);
        ASSERT_TRUE(raster.draw(*plain, 120, 80, 2.0, image));
        ASSERT_TRUE(rasteriseAxisAligned(*plain, 120, 80, 2.0, fresh));
        EXPECT_EQ(image.pixels, fresh.pixels);
        EXPECT_FALSE(raster.lastColouredFromMap());
    }
}

// Rectangles recoloured in place in one renderer (a recolouring's frames) are coloured from the
// map, as drawn afresh; a translucent colour is drawn afresh, and the map is made again after. A
// picture marked recolourable is coloured from the map from its first frame.
TEST(AxisAlignedRasterTest, RectanglesRecolouredInPlaceAreTheOnesDrawnAfresh) {
    for (const bool marked : {false, true}) {
        SCOPED_TRACE(marked ? "marked recolourable" : "not marked");
        DrawRenderer r;
        r.recolourable = marked;
        r.color = {0, 0, 0, 0.5};
        std::vector<std::size_t> corners;
        for (int i = 0; i < 12; ++i)
            for (int j = 0; j < 8; ++j) {
                corners.push_back(r.vertexCount());
                r.fillRect({-60.0 + i * 10, -40.0 + j * 10, 10, 10},
                           DrawColor::fromHue(i / 12.0, 0.7, 1, 1));
                r.strokeLine({-60.0 + i * 10, -40}, {-60.0 + i * 10, 40});
            }
        RecolouringRaster raster;
        LabelBitmap image;
        LabelBitmap fresh;
        for (int frame = 0; frame < 7; ++frame) {
            SCOPED_TRACE("frame " + std::to_string(frame));
            const double alpha = frame == 4 ? 0.5 : 1.0;
            if (frame > 0) {
                for (std::size_t k = 0; k < corners.size(); ++k)
                    r.recolourQuad(
                        corners[k],
                        DrawColor::fromHue(std::fmod(frame * 0.1 + k / 96.0, 1.0), 0.7, 1, alpha));
                r.finishRecolouring();
            }
            ASSERT_TRUE(raster.draw(r, 120, 80, 1.0, image));
            ASSERT_TRUE(rasteriseAxisAligned(r, 120, 80, 1.0, fresh));
            int worst = 0;
            for (std::size_t i = 0; i < image.pixels.size(); ++i)
                worst = std::max(worst, std::abs(image.pixels[i] - fresh.pixels[i]));
            EXPECT_LE(worst, 2);
            EXPECT_EQ(raster.lastColouredFromMap(), marked && frame != 4);
            EXPECT_EQ(raster.drawnArea(), (PixelArea{0, 0, 120, 80}));
        }
    }
}

// An image made over the view's background (a transition's frame, which the OpenGL view then
// copies into the window) is the picture over that grey, opaque: drawn afresh, with translucent
// rectangles and lines, and coloured from the map, whose next frame over transparency is the
// transparent picture again.
TEST(AxisAlignedRasterTest, AnImageOverTheBackgroundIsThePictureOverThatGrey) {
    constexpr std::uint8_t kGrey = 40;
    const auto picture = [](double hue, bool translucent) {
        auto drawn = std::make_unique<DrawRenderer>();
        drawn->recolourable = !translucent;
        for (int i = 0; i < 12; ++i)
            drawn->fillRect({-30.25 + 5 * i, -20.5, 4.5, 30},
                            DrawColor::fromHue(std::fmod(hue + i / 12.0, 1.0), 0.8, 0.9,
                                               translucent && i % 3 == 0 ? 0.5 : 1));
        drawn->color = {0.9, 0.9, 0.9, 0.5};
        drawn->strokeRect({-35.5, -15.5, 60, 20}); // partly over nothing
        return drawn;
    };
    const auto expectOverGrey = [](const LabelBitmap& over, const LabelBitmap& transparent) {
        const std::vector<std::uint8_t> expected = overGrey(transparent, kGrey);
        ASSERT_EQ(over.pixels.size(), expected.size());
        int worst = 0;
        for (std::size_t i = 0; i < expected.size(); ++i)
            worst = std::max(worst, std::abs(over.pixels[i] - expected[i]));
        EXPECT_LE(worst, 1);
    };
    for (const PixelOrder order : {PixelOrder::rgba, PixelOrder::bgra}) {
        LabelBitmap transparent;
        LabelBitmap over;
        transparent.order = order;
        over.order = order;
        PixelArea transparentArea;
        PixelArea overArea;
        const auto translucent = picture(0.1, true);
        ASSERT_TRUE(rasteriseAxisAligned(*translucent, 90, 60, 1.5, transparent, &transparentArea));
        ASSERT_TRUE(rasteriseAxisAligned(*translucent, 90, 60, 1.5, over, &overArea, kGrey));
        expectOverGrey(over, transparent);
        EXPECT_EQ(overArea, transparentArea); // what the view draws of it

        RecolouringRaster raster;
        for (int frame = 0; frame < 3; ++frame) {
            SCOPED_TRACE("frame " + std::to_string(frame));
            const auto opaque = picture(frame * 0.2, false);
            const bool overBackground = frame != 1;
            ASSERT_TRUE(raster.draw(*opaque, 90, 60, 1.5, over,
                                    overBackground ? std::optional(kGrey) : std::nullopt));
            EXPECT_TRUE(raster.lastColouredFromMap());
            ASSERT_TRUE(rasteriseAxisAligned(*opaque, 90, 60, 1.5, transparent));
            if (overBackground) {
                expectOverGrey(over, transparent);
            } else {
                int worst = 0;
                for (std::size_t i = 0; i < over.pixels.size(); ++i)
                    worst = std::max(worst, std::abs(over.pixels[i] - transparent.pixels[i]));
                EXPECT_LE(worst, 2);
            }
        }
    }
}

// The OpenGL view asks for images blue first. Every way of making one (drawn afresh, coloured
// from the map, a map made for the other order) gives the same colours as red first, bytes 0
// and 2 swapped; and the software view reads such a bitmap as the same picture.
TEST(AxisAlignedRasterTest, ImagesBlueFirstHoldTheSameColours) {
    const auto picture = [](double hue) {
        auto drawn = std::make_unique<DrawRenderer>();
        drawn->recolourable = true;
        for (int i = 0; i < 12; ++i)
            drawn->fillRect({-30.0 + 5 * i, -20, 5, 40},
                            DrawColor::fromHue(std::fmod(hue + i / 12.0, 1.0), 0.8, 0.9, 1));
        drawn->color = {0.9, 0.2, 0.1, 0.5}; // translucent lines, not grey
        drawn->strokeRect({-20.5, -10.5, 30, 20});
        return drawn;
    };
    const auto swapped = [](const LabelBitmap& image) {
        std::vector<std::uint8_t> bytes = image.pixels;
        for (std::size_t i = 0; i < bytes.size(); i += 4)
            std::swap(bytes[i], bytes[i + 2]);
        return bytes;
    };
    RecolouringRaster red;
    RecolouringRaster blue;
    RecolouringRaster switching; // changes order from frame to frame
    for (int frame = 0; frame < 4; ++frame) {
        const auto r = picture(frame * 0.2);
        LabelBitmap rgba;
        LabelBitmap bgra;
        bgra.order = PixelOrder::bgra;
        ASSERT_TRUE(red.draw(*r, 80, 60, 1.0, rgba));
        ASSERT_TRUE(blue.draw(*r, 80, 60, 1.0, bgra));
        EXPECT_EQ(bgra.order, PixelOrder::bgra);
        EXPECT_EQ(swapped(bgra), rgba.pixels) << "frame " << frame;
        EXPECT_TRUE(blue.lastColouredFromMap()) << "frame " << frame;

        LabelBitmap either;
        either.order = frame % 2 == 0 ? PixelOrder::rgba : PixelOrder::bgra;
        ASSERT_TRUE(switching.draw(*r, 80, 60, 1.0, either));
        EXPECT_EQ(frame % 2 == 0 ? either.pixels : swapped(either), rgba.pixels)
            << "frame " << frame;

        // Drawn afresh (which may round differently from the map): the same in both orders.
        LabelBitmap freshRgba;
        LabelBitmap freshBgra;
        freshBgra.order = PixelOrder::bgra;
        ASSERT_TRUE(rasteriseAxisAligned(*r, 80, 60, 1.0, freshRgba));
        ASSERT_TRUE(rasteriseAxisAligned(*r, 80, 60, 1.0, freshBgra));
        EXPECT_EQ(swapped(freshBgra), freshRgba.pixels) << "frame " << frame;

        RasterCanvas fromRgba(80, 60);
        RasterCanvas fromBgra(80, 60);
        for (RasterCanvas* canvas : {&fromRgba, &fromBgra})
            canvas->clear(0.5);
        fromRgba.drawBitmap(rgba, {-40, -30, 80, 60}, 0.8);
        fromBgra.drawBitmap(bgra, {-40, -30, 80, 60}, 0.8);
        EXPECT_EQ(fromBgra.image(), fromRgba.image()) << "frame " << frame;
    }
}

} // namespace
} // namespace tessera
