// Labels typeset and drawn by Qt on the offscreen platform: their geometry, what their bitmaps
// hold, when they are uploaded again, and how the CPU back end paints them.
#include "render/GraphLabel.h"
#include "render/QtLabelTypesetter.h"
#include "render/RasterCanvas.h"

#include <gtest/gtest.h>
#include <memory>

namespace tessera {
namespace {

// Keeps every upload, so that a test sees when and how the bitmap was handed over.
class RecordingRenderer final : public LabelRenderer {
public:
    struct Upload {
        int width;
        int height;
        bool sizeChanged;
    };
    explicit RecordingRenderer(std::vector<Upload>& uploads) : uploads_(uploads) {}
    void updateTexture(const LabelBitmap& bitmap, bool sizeChanged) override {
        uploads_.push_back({bitmap.width, bitmap.height, sizeChanged});
    }
    void draw(const DrawRect&) override {}
    void drawPieces(std::span<const LabelPiece>) override {}

private:
    std::vector<Upload>& uploads_;
};

// Measures every text as 100 × 16 points and draws with Qt: the geometry of the examples.
class FixedMeasure final : public LabelTypesetter {
public:
    DrawSize measure(const LabelText&, DrawSize) const override { return {100, 16}; }
    LabelBitmap render(const GraphLabel& label, double scale) const override {
        return qt.render(label, scale);
    }
    QtLabelTypesetter qt;
};

LabelText plain(std::string text, double pointSize = 13) {
    LabelText label;
    label.runs.push_back({std::move(text), LabelRun::Weight::bold, pointSize, {0, 0, 0, 1}});
    return label;
}

// One pixel of a bitmap: premultiplied RGBA, x from the left and y from the top.
struct Pixel {
    int red, green, blue, alpha;
};
Pixel pixelAt(const LabelBitmap& bitmap, int x, int y) {
    const std::uint8_t* p = &bitmap.pixels[static_cast<std::size_t>((y * bitmap.width + x) * 4)];
    return {p[0], p[1], p[2], p[3]};
}

GraphLabel pointerLabel(std::vector<RecordingRenderer::Upload>& uploads) {
    GraphLabel label(std::make_unique<RecordingRenderer>(uploads));
    label.cornerRadius = 4;
    label.padding = {10, 6};
    label.shadow = GraphLabel::Shadow{{4, -4}, 2};
    label.backgroundColor = DrawColor::grey(0.93, 0.85);
    label.borderColor = DrawColor::grey(0, 0.5);
    return label;
}

TEST(LabelTest, PaddingAndShadowMakeRoomAroundTheTextAtTheScreensScale) {
    std::vector<RecordingRenderer::Upload> uploads;
    FixedMeasure typesetter;
    GraphLabel label(std::make_unique<RecordingRenderer>(uploads));
    label.padding = {10, 6};
    label.setText(plain("Documents"), typesetter);
    EXPECT_DOUBLE_EQ(label.frameSize().width, 120);
    EXPECT_DOUBLE_EQ(label.frameSize().height, 28);

    label.shadow = GraphLabel::Shadow{{4, -4}, 2};
    EXPECT_DOUBLE_EQ(label.frameSize().width, 126);
    EXPECT_DOUBLE_EQ(label.frameSize().height, 34);
    // The bubble sits at the top left; the shadow gets 6 points below and to the right.
    const DrawRect bubble = label.bubbleRect();
    EXPECT_DOUBLE_EQ(bubble.x, 0.5);
    EXPECT_DOUBLE_EQ(bubble.y, 6.5);
    EXPECT_DOUBLE_EQ(bubble.maxX(), 119.5);
    EXPECT_DOUBLE_EQ(bubble.maxY(), 33.5);
    EXPECT_DOUBLE_EQ(label.textRect().x, 10);
    EXPECT_DOUBLE_EQ(label.textRect().y, 12);

    label.updateIfNeeded(typesetter, 2.0);
    ASSERT_EQ(uploads.size(), 1u);
    EXPECT_EQ(uploads[0].width, 252);
    EXPECT_EQ(uploads[0].height, 68);
}

TEST(LabelTest, TheBitmapHoldsBubbleShadowAndText) {
    std::vector<RecordingRenderer::Upload> uploads;
    QtLabelTypesetter typesetter;
    GraphLabel label = pointerLabel(uploads);
    label.setText(plain("Documents - 12 MB"), typesetter);
    EXPECT_GT(label.stringSize().width, 60);
    EXPECT_GT(label.stringSize().height, 10);
    const LabelBitmap bitmap = typesetter.render(label, 1.0);
    ASSERT_EQ(bitmap.width, label.bitmapWidth(1.0));
    ASSERT_EQ(bitmap.height, label.bitmapHeight(1.0));
    const int bubbleRight = bitmap.width - 6;
    const int bubbleBottom = bitmap.height - 6;

    // Inside the bubble, left of the text: the background grey at alpha 0.85, premultiplied.
    const Pixel fill = pixelAt(bitmap, 4, bubbleBottom / 2);
    EXPECT_NEAR(fill.alpha, 217, 3);
    EXPECT_NEAR(fill.red, 201, 3);
    // Below and right of the bubble: the black shadow, faint.
    const Pixel shadow = pixelAt(bitmap, bubbleRight + 1, bubbleBottom + 1);
    EXPECT_GT(shadow.alpha, 5);
    EXPECT_LT(shadow.alpha, 60);
    EXPECT_EQ(shadow.red, 0);
    // Above the shadow at the top right corner: nothing.
    EXPECT_EQ(pixelAt(bitmap, bitmap.width - 1, 0).alpha, 0);
    // The text: dark pixels within its rectangle.
    int dark = 0;
    for (int y = 6; y < bubbleBottom - 6; ++y)
        for (int x = 10; x < bubbleRight - 10; ++x)
            dark += pixelAt(bitmap, x, y).red < 60 ? 1 : 0;
    EXPECT_GT(dark, 50);
}

TEST(LabelTest, WithoutBubbleColoursOnlyTheTextIsDrawnAndNoShadow) {
    std::vector<RecordingRenderer::Upload> uploads;
    QtLabelTypesetter typesetter;
    GraphLabel label(std::make_unique<RecordingRenderer>(uploads));
    label.shadow = GraphLabel::Shadow{{4, -4}, 2};
    label.padding = {10, 6};
    label.setText(plain("1.2 GB", 24), typesetter);
    const LabelBitmap bitmap = typesetter.render(label, 2.0);
    const DrawRect text = label.textRect();
    const double height = label.frameSize().height;
    int inside = 0;
    for (int y = 0; y < bitmap.height; ++y)
        for (int x = 0; x < bitmap.width; ++x) {
            const double px = (x + 0.5) / 2.0;
            const double py = height - (y + 0.5) / 2.0; // y up
            const bool inText =
                px >= text.x && px <= text.maxX() && py >= text.y && py <= text.maxY();
            const int alpha = pixelAt(bitmap, x, y).alpha;
            if (inText)
                inside += alpha > 0 ? 1 : 0;
            else
                ASSERT_EQ(alpha, 0) << "at " << x << ", " << y;
        }
    EXPECT_GT(inside, 100);
}

TEST(LabelTest, TheBitmapIsUploadedAgainOnlyAfterAChangeAndAtANewSizeOnlyForNewText) {
    std::vector<RecordingRenderer::Upload> uploads;
    QtLabelTypesetter typesetter;
    GraphLabel label = pointerLabel(uploads);
    label.setText(plain("music"), typesetter);
    label.updateIfNeeded(typesetter, 1.0);
    label.updateIfNeeded(typesetter, 1.0); // nothing changed
    ASSERT_EQ(uploads.size(), 1u);
    EXPECT_TRUE(uploads[0].sizeChanged);

    label.backgroundColor = DrawColor::grey(0.2, 0.85); // the appearance changed
    label.setNeedsUpdate();
    label.updateIfNeeded(typesetter, 1.0);
    ASSERT_EQ(uploads.size(), 2u);
    EXPECT_FALSE(uploads[1].sizeChanged); // the pixels are replaced in place

    label.setText(plain("music"), typesetter); // a new text always specifies the texture anew
    label.updateIfNeeded(typesetter, 1.0);
    ASSERT_EQ(uploads.size(), 3u);
    EXPECT_TRUE(uploads[2].sizeChanged);
}

TEST(LabelTest, LongTextsWrapWithinTheMaximumWidthAndBadNamesStillShow) {
    std::vector<RecordingRenderer::Upload> uploads;
    QtLabelTypesetter typesetter;
    GraphLabel label(std::make_unique<RecordingRenderer>(uploads));
    LabelText text = plain("a-folder-name with several words that cannot fit on one line");
    text.wraps = true;
    label.setText(text, typesetter);
    const DrawSize oneLine = label.stringSize();
    label.maxSize = {120, 0};
    label.setText(text, typesetter);
    EXPECT_LE(label.stringSize().width, 120);
    EXPECT_GE(label.stringSize().height, 2 * oneLine.height - 1);

    label.setText(plain(std::string("caf\xe9\xff.txt", 9)), typesetter); // not UTF-8
    EXPECT_GT(label.stringSize().width, 0);
    label.updateIfNeeded(typesetter, 1.0);
    EXPECT_EQ(uploads.size(), 1u);
}

TEST(LabelTest, TheCpuBackEndStretchesTheBitmapOverTheRectangleWithItsAlpha) {
    // A 2 × 1 bitmap, opaque red then transparent, over 8 × 4 points of a white canvas.
    LabelBitmap bitmap{2, 1, {255, 0, 0, 255, 0, 0, 0, 0}};
    RasterCanvas canvas(20, 20);
    canvas.clear(1.0);
    RasterLabelRenderer renderer;
    renderer.updateTexture(bitmap, true);
    renderer.alpha = 0.5;
    RasterRenderer::setCurrentCanvas(&canvas);
    renderer.draw({-4, 0, 8, 4});
    RasterRenderer::setCurrentCanvas(nullptr);
    const DrawColor left = canvas.colorAt(-3.5, 2);
    EXPECT_NEAR(left.red, 1.0, 0.01);
    EXPECT_NEAR(left.green, 0.5, 0.01); // half red over white
    const DrawColor right = canvas.colorAt(3.5, 2);
    EXPECT_NEAR(right.green, 1.0, 0.01); // the transparent texel leaves white
    const DrawColor middle = canvas.colorAt(0.5, 2);
    EXPECT_GT(middle.green, 0.5); // filtered between the two
    EXPECT_LT(middle.green, 1.0);
    EXPECT_NEAR(canvas.colorAt(-3.5, 5).green, 1.0, 0.01); // outside the rectangle
}

} // namespace
} // namespace tessera
