// A text label over the picture: the size of the shown file in the middle, or the bubble with the
// name and size of the file under the pointer. The label holds its text and appearance, knows
// its geometry in points, and has its bitmap drawn by the platform's text facilities (a
// LabelTypesetter) only after the text or the appearance changed.
#pragma once

#include "render/DrawRenderer.h"
#include "render/LabelRenderer.h"

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tessera {

/// A piece of label text in one font and colour.
struct LabelRun {
    enum class Weight { regular, bold };
    std::string text; // UTF-8; "\n" starts a new line
    Weight weight = Weight::regular;
    double pointSize = 13;
    DrawColor color{0, 0, 0, 1};
};

/// The whole text of a label: runs and the paragraph style applied to all of them.
struct LabelText {
    /// The desktop's usual sizes of the regular and the small system font, in points.
    static constexpr double kSystemFontSize = 13;
    static constexpr double kSmallSystemFontSize = 11;

    std::vector<LabelRun> runs;
    double lineSpacing = 0; // extra points between lines
    bool centered = false;  // lines centred on each other (else left-aligned)
    bool wraps = false;     // long lines wrap at word boundaries within the label's maxSize

    std::string plainText() const;
};

class LabelTypesetter;

class GraphLabel {
public:
    struct Shadow {
        DrawSize offset; // y up: (4, -4) falls to the right and below
        double blurRadius = 0;
    };
    static constexpr DrawColor kShadowColor{0, 0, 0, 0.15};
    static constexpr double kBorderWidth = 0.5;

    explicit GraphLabel(std::unique_ptr<LabelRenderer> renderer);

    /// Largest size the text may take (its owner sets it before setting the text).
    DrawSize maxSize;
    std::optional<DrawColor> backgroundColor;
    std::optional<DrawColor> borderColor;
    double cornerRadius = 0;
    std::optional<Shadow> shadow;
    /// Between the bubble's edge and the text, horizontally and vertically.
    DrawSize padding;

    LabelRenderer& renderer() { return *renderer_; }
    const std::optional<LabelText>& text() const { return text_; }
    std::string plainText() const { return text_ ? text_->plainText() : std::string(); }
    bool hasText() const { return text_.has_value() && !text_->runs.empty(); }

    /// Replaces the text (none clears it) and measures it: whole points, rounded up.
    void setText(std::optional<LabelText> text, const LabelTypesetter& typesetter);
    /// The appearance changed: the bitmap is drawn again before the next draw.
    void setNeedsUpdate() { requiresUpdate_ = true; }
    bool requiresUpdate() const { return requiresUpdate_; }
    DrawSize stringSize() const { return stringSize_; }
    /// Pixel size of the bitmap last uploaded.
    int textureWidth() const { return textureWidth_; }
    int textureHeight() const { return textureHeight_; }

    /// The label's size in points: text, padding on both sides, and room for the shadow.
    DrawSize frameSize() const;
    /// What the label adds around its text: padding on both sides and room for the shadow.
    DrawSize insets() const;
    /// Geometry within the bitmap, in points from its bottom-left corner, y up.
    DrawRect bubbleRect() const;
    DrawRect textRect() const;
    /// Pixel size of the bitmap at `scale` pixels per point.
    int bitmapWidth(double scale) const;
    int bitmapHeight(double scale) const;

    /// Draws the bitmap again when it is stale and uploads it through the renderer.
    void updateIfNeeded(const LabelTypesetter& typesetter, double scale);

private:
    DrawSize shadowRoom() const;
    /// How far the bubble sits above the bitmap's bottom edge (the shadow falls below it).
    double shadowBelow() const;

    std::unique_ptr<LabelRenderer> renderer_;
    std::optional<LabelText> text_;
    DrawSize stringSize_;
    int textureWidth_ = 0;
    int textureHeight_ = 0;
    bool requiresUpdate_ = true;
};

/// A file's name written on the chart: one line, or the name over the file's size, centred in
/// `frame` (or left-aligned, on a backdrop, for a folder's heading).
struct NameLabel {
    std::string name; // UTF-8
    std::string size; // empty: the name alone
    DrawRect frame;   // the text's box in view points
    double nameSize = 11;
    double sizeSize = 10;
    DrawColor color;
    std::optional<DrawColor> backdrop; // filled behind the text, a little beyond its box
    bool leftAligned = false;
};

/// Where each name of a sheet lies in its bitmap (pixels from the top left) and on the view.
struct NameSheet {
    LabelBitmap bitmap;
    std::vector<LabelPiece> pieces;
};

/// The platform's text facilities: measuring a label's text and drawing a label's bitmap.
class LabelTypesetter {
public:
    virtual ~LabelTypesetter() = default;
    /// The bounding size of `text` laid out within `maxSize` (a zero width: no limit).
    virtual DrawSize measure(const LabelText& text, DrawSize maxSize) const = 0;
    /// The label's bitmap at `scale` pixels per point: bitmapWidth(scale) × bitmapHeight(scale)
    /// pixels with the shadow, the bubble, its border and the text.
    virtual LabelBitmap render(const GraphLabel& label, double scale) const = 0;
    /// The width of one line of regular text (many are measured: this is the quick way).
    virtual double lineWidth(std::string_view text, double pointSize) const;
    /// All of `names` drawn into one bitmap at `scale` pixels per point, each piece as large as
    /// its label's frame (and backdrop); none when the typesetter draws no names.
    virtual NameSheet renderNames(std::span<const NameLabel> names, double scale) const;
};

} // namespace tessera
