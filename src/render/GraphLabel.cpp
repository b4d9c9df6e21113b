#include "render/GraphLabel.h"

#include <cmath>

namespace tessera {

std::string LabelText::plainText() const {
    std::string text;
    for (const LabelRun& run : runs)
        text += run.text;
    return text;
}

GraphLabel::GraphLabel(std::unique_ptr<LabelRenderer> renderer) : renderer_(std::move(renderer)) {}

void GraphLabel::setText(std::optional<LabelText> text, const LabelTypesetter& typesetter) {
    text_ = std::move(text);
    stringSize_ = {};
    if (text_) {
        const DrawSize measured = typesetter.measure(*text_, maxSize);
        stringSize_ = {std::ceil(measured.width), std::ceil(measured.height)};
    }
    textureWidth_ = textureHeight_ = 0;
    requiresUpdate_ = true;
}

DrawSize GraphLabel::shadowRoom() const {
    if (!shadow) return {};
    return {std::abs(shadow->offset.width) + shadow->blurRadius,
            std::abs(shadow->offset.height) + shadow->blurRadius};
}

double GraphLabel::shadowBelow() const {
    return shadow ? shadow->blurRadius - shadow->offset.height : 0;
}

DrawSize GraphLabel::insets() const {
    const DrawSize room = shadowRoom();
    return {2 * padding.width + room.width, 2 * padding.height + room.height};
}

DrawSize GraphLabel::frameSize() const {
    const DrawSize around = insets();
    return {stringSize_.width + around.width, stringSize_.height + around.height};
}

DrawRect GraphLabel::bubbleRect() const {
    const DrawSize frame = frameSize();
    DrawRect bubble{0, 0, frame.width, frame.height};
    if (shadow) {
        bubble.y = shadowBelow();
        bubble.width = frame.width - (shadow->blurRadius + shadow->offset.width);
        bubble.height = frame.height + (shadow->offset.height - shadow->blurRadius);
    }
    return {bubble.x + 0.5, bubble.y + 0.5, bubble.width - 1, bubble.height - 1};
}

DrawRect GraphLabel::textRect() const {
    return {padding.width, padding.height + shadowBelow(), stringSize_.width, stringSize_.height};
}

int GraphLabel::bitmapWidth(double scale) const {
    return static_cast<int>(scale * frameSize().width);
}

int GraphLabel::bitmapHeight(double scale) const {
    return static_cast<int>(scale * frameSize().height);
}

void GraphLabel::updateIfNeeded(const LabelTypesetter& typesetter, double scale) {
    if (!requiresUpdate_) return;
    const LabelBitmap bitmap = typesetter.render(*this, scale);
    const bool sizeChanged = bitmap.width != textureWidth_ || bitmap.height != textureHeight_;
    textureWidth_ = bitmap.width;
    textureHeight_ = bitmap.height;
    renderer_->updateTexture(bitmap, sizeChanged);
    requiresUpdate_ = false;
}

} // namespace tessera

namespace tessera {

double LabelTypesetter::lineWidth(std::string_view text, double pointSize) const {
    LabelText line;
    line.runs.push_back({.text = std::string(text), .pointSize = pointSize});
    return measure(line, {}).width;
}

NameSheet LabelTypesetter::renderNames(std::span<const NameLabel>, double) const {
    return {};
}

} // namespace tessera
