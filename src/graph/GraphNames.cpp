#include "graph/GraphNames.h"

#include "draw/DrawGraph.h"
#include "graph/GraphView.h"

#include <cmath>

namespace tessera {
namespace {

bool sameRects(std::span<const DrawRect> a, std::span<const DrawRect> b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const auto& x, const auto& y) {
        return x.x == y.x && x.y == y.y && x.width == y.width && x.height == y.height;
    });
}

// The type of the names, its lines as high as the typesetter sets them.
NameFont fontOf(const LabelTypesetter& typesetter) {
    NameFont font;
    const auto lineHeight = [&](double pointSize) {
        LabelText line;
        line.runs.push_back({.text = "Ag", .pointSize = pointSize});
        return std::ceil(typesetter.measure(line, {}).height);
    };
    if (const double height = lineHeight(font.nameSize); height > 0) font.lineHeight = height;
    if (const double height = lineHeight(font.sizeSize); height > 0) font.sizeLineHeight = height;
    return font;
}

} // namespace

bool GraphNames::samePicture(const Key& a, const Key& b) {
    return a.picture.samePicture(b.picture) && sameRects(a.obstacles, b.obstacles);
}

bool GraphNames::update(GraphView& view, const DrawGraph& drawing, Key key) {
    if (key_ && samePicture(*key_, key)) return false;
    const LabelTypesetter& typesetter = view.labelTypesetter();
    if (!font_) font_ = fontOf(typesetter);
    std::vector<NameRoom> rooms;
    drawing.nameRooms(*font_, rooms);
    names_ = placeNames(
        std::move(rooms), *font_,
        [&typesetter](std::string_view text, double size) {
            return typesetter.lineWidth(text, size);
        },
        key.obstacles, key.picture.sizeMode, kMostNames);
    NameSheet sheet = typesetter.renderNames(names_, key.picture.scale);
    if (!renderer_) renderer_ = view.makeLabelRenderer();
    pieces_.clear();
    if (!sheet.pieces.empty()) {
        // Each piece's corner on a pixel's corner: the bitmap is drawn one to one, unblurred.
        const double halfWidth = key.picture.viewSize.width / 2;
        const double halfHeight = key.picture.viewSize.height / 2;
        const auto aligned = [&](double value, double half) {
            return std::round((value + half) * key.picture.scale) / key.picture.scale - half;
        };
        for (LabelPiece piece : sheet.pieces) {
            piece.target = {aligned(piece.target.x, halfWidth), aligned(piece.target.y, halfHeight),
                            piece.source.width / key.picture.scale,
                            piece.source.height / key.picture.scale};
            pieces_.push_back(piece);
        }
        const bool sizeChanged =
            sheet.bitmap.width != bitmapWidth_ || sheet.bitmap.height != bitmapHeight_;
        bitmapWidth_ = sheet.bitmap.width;
        bitmapHeight_ = sheet.bitmap.height;
        renderer_->updateTexture(sheet.bitmap, sizeChanged);
    }
    key_ = std::move(key);
    return true;
}

void GraphNames::draw(double alpha) {
    if (!renderer_ || pieces_.empty() || alpha <= 0) return;
    renderer_->alpha = alpha;
    renderer_->drawPieces(pieces_);
}

void GraphNames::clear() {
    key_.reset();
    names_.clear();
    pieces_.clear();
}

} // namespace tessera
