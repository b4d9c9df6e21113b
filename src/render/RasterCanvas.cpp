#include "render/RasterCanvas.h"

#include <algorithm>
#include <cmath>

namespace tessera {
namespace {

constexpr int kSubpixelBits = 8;
constexpr std::int64_t kOne = std::int64_t{1} << kSubpixelBits;

RasterCanvas* currentCanvas = nullptr;
std::vector<VectorPicture::Layer>* currentLayers = nullptr;

std::int64_t orient(std::int64_t ax, std::int64_t ay, std::int64_t bx, std::int64_t by,
                    std::int64_t px, std::int64_t py) {
    return (bx - ax) * (py - ay) - (by - ay) * (px - ax);
}

// With y pointing down and the inside positive, an edge owns the samples exactly on it when it
// is a left edge (going up) or a top edge (horizontal, going right).
bool isTopLeft(std::int64_t dx, std::int64_t dy) {
    return dy < 0 || (dy == 0 && dx > 0);
}

} // namespace

RasterCanvas::RasterCanvas(int width, int height, int samples)
    : width_(std::max(width, 0)), height_(std::max(height, 0)), samples_(std::max(samples, 1)),
      sampleWidth_(width_ * samples_), sampleHeight_(height_ * samples_),
      pixels_(static_cast<std::size_t>(sampleWidth_) * static_cast<std::size_t>(sampleHeight_) *
              4) {}

void RasterCanvas::clear(double grey) {
    const auto value = static_cast<std::uint8_t>(std::lround(std::clamp(grey, 0.0, 1.0) * 255));
    for (std::size_t i = 0; i < pixels_.size(); i += 4) {
        pixels_[i] = pixels_[i + 1] = pixels_[i + 2] = value;
        pixels_[i + 3] = 255;
    }
}

RasterCanvas::Fixed RasterCanvas::toFixed(double x, double y) const {
    const double scale = static_cast<double>(samples_ * kOne);
    return {std::llround((x + width_ / 2.0) * scale), std::llround((height_ / 2.0 - y) * scale)};
}

void RasterCanvas::fillTriangle(const DrawVertex& a, const DrawVertex& b, const DrawVertex& c,
                                double alpha) {
    Fixed p[3] = {toFixed(a.x, a.y), toFixed(b.x, b.y), toFixed(c.x, c.y)};
    const DrawVertex* v[3] = {&a, &b, &c};
    std::int64_t area = orient(p[0].x, p[0].y, p[1].x, p[1].y, p[2].x, p[2].y);
    if (area == 0) return;
    if (area < 0) {
        std::swap(p[1], p[2]);
        std::swap(v[1], v[2]);
        area = -area;
    }
    const std::int64_t minX = std::max<std::int64_t>(0, std::min({p[0].x, p[1].x, p[2].x}) / kOne);
    const std::int64_t maxX =
        std::min<std::int64_t>(sampleWidth_ - 1, std::max({p[0].x, p[1].x, p[2].x}) / kOne + 1);
    const std::int64_t minY = std::max<std::int64_t>(0, std::min({p[0].y, p[1].y, p[2].y}) / kOne);
    const std::int64_t maxY =
        std::min<std::int64_t>(sampleHeight_ - 1, std::max({p[0].y, p[1].y, p[2].y}) / kOne + 1);
    if (minX > maxX || minY > maxY) return;

    // Edge i is opposite vertex i.
    const int from[3] = {1, 2, 0};
    const int to[3] = {2, 0, 1};
    std::int64_t bias[3];
    for (int e = 0; e < 3; ++e)
        bias[e] = isTopLeft(p[to[e]].x - p[from[e]].x, p[to[e]].y - p[from[e]].y) ? 0 : -1;
    const bool flat = v[0]->red == v[1]->red && v[1]->red == v[2]->red &&
                      v[0]->green == v[1]->green && v[1]->green == v[2]->green &&
                      v[0]->blue == v[1]->blue && v[1]->blue == v[2]->blue &&
                      v[0]->alpha == v[1]->alpha && v[1]->alpha == v[2]->alpha;
    const double inverseArea = 1.0 / static_cast<double>(area);
    for (std::int64_t y = minY; y <= maxY; ++y) {
        const std::int64_t sy = y * kOne + kOne / 2;
        std::uint8_t* row =
            &pixels_[static_cast<std::size_t>(y) * static_cast<std::size_t>(sampleWidth_) * 4];
        for (std::int64_t x = minX; x <= maxX; ++x) {
            const std::int64_t sx = x * kOne + kOne / 2;
            std::int64_t w[3];
            bool inside = true;
            for (int e = 0; e < 3 && inside; ++e) {
                w[e] = orient(p[from[e]].x, p[from[e]].y, p[to[e]].x, p[to[e]].y, sx, sy);
                inside = w[e] + bias[e] >= 0;
            }
            if (!inside) continue;
            // Colours premultiplied by their vertex's opacity, then interpolated, as the GPU
            // back end does: a shape fading out across its width keeps its colour.
            double red, green, blue, opacity;
            if (flat) {
                opacity = v[0]->alpha;
                red = v[0]->red * opacity / 255.0;
                green = v[0]->green * opacity / 255.0;
                blue = v[0]->blue * opacity / 255.0;
            } else {
                const double l0 = static_cast<double>(w[0]) * inverseArea;
                const double l1 = static_cast<double>(w[1]) * inverseArea;
                const double l[3] = {l0, l1, 1 - l0 - l1};
                red = green = blue = opacity = 0;
                for (int k = 0; k < 3; ++k) {
                    const double share = l[k] * v[k]->alpha / 255.0;
                    red += share * v[k]->red;
                    green += share * v[k]->green;
                    blue += share * v[k]->blue;
                    opacity += l[k] * v[k]->alpha;
                }
            }
            const double sourceAlpha = opacity / 255.0 * alpha;
            if (sourceAlpha <= 0) continue;
            std::uint8_t* sample = row + x * 4;
            const double keep = 1 - sourceAlpha;
            const double source[4] = {red * alpha, green * alpha, blue * alpha,
                                      255.0 * sourceAlpha};
            for (int i = 0; i < 4; ++i)
                sample[i] = static_cast<std::uint8_t>(
                    std::min<long>(255, std::lround(source[i] + sample[i] * keep)));
        }
    }
}

void RasterCanvas::fillLine(const DrawVertex& a, const DrawVertex& b, double alpha) {
    // A line one point wide, as a quad of two triangles.
    const double dx = b.x - a.x;
    const double dy = b.y - a.y;
    const double length = std::sqrt(dx * dx + dy * dy);
    if (length == 0) return;
    const auto nx = static_cast<float>(-dy / length * 0.5);
    const auto ny = static_cast<float>(dx / length * 0.5);
    DrawVertex a1 = a, a2 = a, b1 = b, b2 = b;
    a1.x += nx, a1.y += ny, a2.x -= nx, a2.y -= ny;
    b1.x += nx, b1.y += ny, b2.x -= nx, b2.y -= ny;
    fillTriangle(a1, a2, b1, alpha);
    fillTriangle(a2, b1, b2, alpha);
}

void RasterCanvas::draw(const DrawRenderer& renderer) {
    const auto& vertices = renderer.vertices();
    const double alpha = renderer.alpha;
    // Each vertex where the picture is shown; lines are widened after, a point wide as ever.
    const DrawPlacement& placement = renderer.placement;
    const bool placed = !placement.isIdentity();
    auto at = [&](std::size_t index) {
        DrawVertex v = vertices[index];
        if (placed) {
            const DrawPoint p = placement.apply(DrawPoint{v.x, v.y});
            v.x = static_cast<float>(p.x);
            v.y = static_cast<float>(p.y);
        }
        return v;
    };
    const DrawPrimitive& strips = renderer.triangleStrips();
    for (std::size_t s = 0; s < strips.stripCount(); ++s) {
        const auto first = static_cast<std::size_t>(strips.offset()[s]);
        const auto count = static_cast<std::size_t>(strips.length()[s]);
        for (std::size_t i = 2; i < count; ++i)
            fillTriangle(at(first + i - 2), at(first + i - 1), at(first + i), alpha);
    }
    const DrawPrimitive& lineStrips = renderer.lineStrips();
    for (std::size_t s = 0; s < lineStrips.stripCount(); ++s) {
        const auto first = static_cast<std::size_t>(lineStrips.offset()[s]);
        const auto count = static_cast<std::size_t>(lineStrips.length()[s]);
        for (std::size_t i = 1; i < count; ++i)
            fillLine(at(first + i - 1), at(first + i), alpha);
    }
    const DrawPrimitive& lines = renderer.lines();
    for (std::size_t s = 0; s < lines.stripCount(); ++s) {
        const auto first = static_cast<std::size_t>(lines.offset()[s]);
        const auto count = static_cast<std::size_t>(lines.length()[s]);
        for (std::size_t i = 1; i < count; i += 2)
            fillLine(at(first + i - 1), at(first + i), alpha);
    }
}

std::vector<std::uint8_t> RasterCanvas::image() const {
    std::vector<std::uint8_t> out(static_cast<std::size_t>(width_) *
                                  static_cast<std::size_t>(height_) * 4);
    const int n = samples_ * samples_;
    for (int y = 0; y < height_; ++y) {
        for (int x = 0; x < width_; ++x) {
            int sum[4] = {0, 0, 0, 0};
            for (int sy = 0; sy < samples_; ++sy) {
                const std::uint8_t* sample =
                    &pixels_[(static_cast<std::size_t>(y * samples_ + sy) * sampleWidth_ +
                              static_cast<std::size_t>(x * samples_)) *
                             4];
                for (int sx = 0; sx < samples_; ++sx)
                    for (int i = 0; i < 4; ++i)
                        sum[i] += sample[sx * 4 + i];
            }
            std::uint8_t* pixel =
                &out[(static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) +
                      static_cast<std::size_t>(x)) *
                     4];
            const int alphaSum = sum[3];
            for (int i = 0; i < 3; ++i)
                pixel[i] = alphaSum == 0 ? 0
                                         : static_cast<std::uint8_t>(std::min(
                                               255, (sum[i] * 255 + alphaSum / 2) / alphaSum));
            pixel[3] = static_cast<std::uint8_t>((alphaSum + n / 2) / n);
        }
    }
    return out;
}

DrawColor RasterCanvas::colorAt(double x, double y) const {
    const auto px = static_cast<int>(std::floor(x + width_ / 2.0));
    const auto py = static_cast<int>(std::floor(height_ / 2.0 - y));
    if (px < 0 || py < 0 || px >= width_ || py >= height_) return {};
    int sum[4] = {0, 0, 0, 0};
    for (int sy = 0; sy < samples_; ++sy)
        for (int sx = 0; sx < samples_; ++sx)
            for (int i = 0; i < 4; ++i)
                sum[i] += pixels_[(static_cast<std::size_t>(py * samples_ + sy) * sampleWidth_ +
                                   static_cast<std::size_t>(px * samples_ + sx)) *
                                      4 +
                                  static_cast<std::size_t>(i)];
    const double alpha = sum[3] / 255.0;
    if (alpha == 0) return {};
    return {sum[0] / 255.0 / alpha, sum[1] / 255.0 / alpha, sum[2] / 255.0 / alpha,
            alpha / (samples_ * samples_)};
}

void RasterCanvas::drawBitmap(const LabelBitmap& bitmap, const DrawRect& rect, double alpha) {
    drawBitmap(bitmap,
               {0, 0, static_cast<double>(bitmap.width), static_cast<double>(bitmap.height)}, rect,
               alpha);
}

void RasterCanvas::drawBitmap(const LabelBitmap& bitmap, const DrawRect& source,
                              const DrawRect& rect, double alpha) {
    if (bitmap.width <= 0 || bitmap.height <= 0 || rect.width <= 0 || rect.height <= 0 ||
        alpha <= 0)
        return;
    const int sourceX = std::clamp(static_cast<int>(source.x), 0, bitmap.width - 1);
    const int sourceY = std::clamp(static_cast<int>(source.y), 0, bitmap.height - 1);
    const int sourceWidth = std::clamp(static_cast<int>(source.width), 1, bitmap.width - sourceX);
    const int sourceHeight =
        std::clamp(static_cast<int>(source.height), 1, bitmap.height - sourceY);
    // Subsample coordinates: x from the left, y from the top.
    const double left = (rect.x + width_ / 2.0) * samples_;
    const double top = (height_ / 2.0 - rect.maxY()) * samples_;
    const double spanX = rect.width * samples_;
    const double spanY = rect.height * samples_;
    const int firstX = std::max(0, static_cast<int>(std::ceil(left - 0.5)));
    const int lastX = std::min(sampleWidth_, static_cast<int>(std::ceil(left + spanX - 0.5)));
    const int firstY = std::max(0, static_cast<int>(std::ceil(top - 0.5)));
    const int lastY = std::min(sampleHeight_, static_cast<int>(std::ceil(top + spanY - 0.5)));
    const auto opacity = static_cast<int>(std::lround(std::clamp(alpha, 0.0, 1.0) * 256));
    // Each channel's byte in the bitmap's pixels: red, green, blue, alpha here.
    constexpr int kRgba[4] = {0, 1, 2, 3};
    constexpr int kBgra[4] = {2, 1, 0, 3};
    const int* byteOf = bitmap.order == PixelOrder::bgra ? kBgra : kRgba;
    auto texel = [&](int x, int y, int channel) {
        x = sourceX + std::clamp(x, 0, sourceWidth - 1);
        y = sourceY + std::clamp(y, 0, sourceHeight - 1);
        return static_cast<int>(
            bitmap.pixels[(static_cast<std::size_t>(y) * static_cast<std::size_t>(bitmap.width) +
                           static_cast<std::size_t>(x)) *
                              4 +
                          static_cast<std::size_t>(byteOf[channel])]);
    };
    for (int sy = firstY; sy < lastY; ++sy) {
        // Texel centres sit at half-integers, and each pixel's subsamples take the colour at
        // its centre: the GPU samples a texture once a pixel, linearly filtered.
        const double v = ((sy / samples_ + 0.5) * samples_ - top) / spanY * sourceHeight - 0.5;
        const int ty = static_cast<int>(std::floor(v));
        const auto fy = static_cast<int>((v - ty) * 256);
        for (int sx = firstX; sx < lastX; ++sx) {
            const double u = ((sx / samples_ + 0.5) * samples_ - left) / spanX * sourceWidth - 0.5;
            const int tx = static_cast<int>(std::floor(u));
            const auto fx = static_cast<int>((u - tx) * 256);
            int sample[4];
            for (int c = 0; c < 4; ++c) {
                const int upper = texel(tx, ty, c) * (256 - fx) + texel(tx + 1, ty, c) * fx;
                const int lower = texel(tx, ty + 1, c) * (256 - fx) + texel(tx + 1, ty + 1, c) * fx;
                sample[c] = ((upper * (256 - fy) + lower * fy) >> 16) * opacity >> 8;
            }
            if (sample[3] == 0) continue;
            std::uint8_t* pixel =
                &pixels_[(static_cast<std::size_t>(sy) * static_cast<std::size_t>(sampleWidth_) +
                          static_cast<std::size_t>(sx)) *
                         4];
            for (int c = 0; c < 4; ++c)
                pixel[c] = static_cast<std::uint8_t>(
                    std::min(255, sample[c] + (pixel[c] * (255 - sample[3]) + 127) / 255));
        }
    }
}

void RasterLabelRenderer::updateTexture(const LabelBitmap& bitmap, bool) {
    texture_ = bitmap;
}

void RasterLabelRenderer::draw(const DrawRect& rect) {
    if (currentCanvas != nullptr) currentCanvas->drawBitmap(texture_, rect, alpha);
}

void RasterLabelRenderer::drawPieces(std::span<const LabelPiece> pieces) {
    if (currentCanvas == nullptr) return;
    for (const LabelPiece& piece : pieces)
        currentCanvas->drawBitmap(texture_, piece.source, piece.target, alpha);
}

void RasterRenderer::setCurrentCanvas(RasterCanvas* canvas) {
    currentCanvas = canvas;
}

void RasterRenderer::setCurrentLayers(std::vector<VectorPicture::Layer>* layers) {
    currentLayers = layers;
}

bool RasterRenderer::drawAsImage(RasterCanvas& canvas) {
    if (imageRevision_ != revision() || imageWidth_ != canvas.width() ||
        imageHeight_ != canvas.height()) {
        imageRevision_ = 0;
        if (!rasteriseAxisAligned(*this, canvas.width(), canvas.height(), 1.0, image_, &imageArea_))
            return false;
        imageRevision_ = revision();
        imageWidth_ = canvas.width();
        imageHeight_ = canvas.height();
    }
    if (imageArea_.isEmpty()) return true;
    const DrawRect source{static_cast<double>(imageArea_.left), static_cast<double>(imageArea_.top),
                          static_cast<double>(imageArea_.right - imageArea_.left),
                          static_cast<double>(imageArea_.bottom - imageArea_.top)};
    const DrawRect at{source.x - canvas.width() / 2.0, canvas.height() / 2.0 - imageArea_.bottom,
                      source.width, source.height};
    canvas.drawBitmap(image_, source, placement.apply(at), alpha);
    return true;
}

void RasterRenderer::draw() {
    if (currentCanvas != nullptr) {
        const bool asImage = (!placement.isIdentity() || alpha < 1) &&
                             vertexCount() >= kLeastVerticesShownAsImage &&
                             drawAsImage(*currentCanvas);
        if (!asImage) currentCanvas->draw(*this);
    }
    if (currentLayers != nullptr && recordsShapes() && !shapes().empty())
        currentLayers->push_back({shapes(), alpha, placement});
}

} // namespace tessera
