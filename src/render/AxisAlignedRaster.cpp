#include "render/AxisAlignedRaster.h"

#include "platform/WorkerPool.h"
#include "render/DrawRenderer.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstring>
#include <numeric>
#include <span>
#include <utility>

namespace tessera {
namespace {

// Pictures smaller than this are drawn by one thread: handing out the bands would cost more.
constexpr std::size_t kLeastVerticesInBands = 20'000;

bool sameColor(const DrawVertex& a, const DrawVertex& b) {
    return a.red == b.red && a.green == b.green && a.blue == b.blue && a.alpha == b.alpha;
}

// The vertices of fillRect(): (x0, y0), (x1, y0), (x0, y1), (x1, y1), or any order of corners
// that makes one rectangle of one colour.
bool isRectangle(std::span<const DrawVertex> v) {
    if (v.size() != 4) return false;
    for (const DrawVertex& vertex : v.subspan(1))
        if (!sameColor(vertex, v[0])) return false;
    const float minX = std::min({v[0].x, v[1].x, v[2].x, v[3].x});
    const float maxX = std::max({v[0].x, v[1].x, v[2].x, v[3].x});
    const float minY = std::min({v[0].y, v[1].y, v[2].y, v[3].y});
    const float maxY = std::max({v[0].y, v[1].y, v[2].y, v[3].y});
    for (const DrawVertex& vertex : v)
        if ((vertex.x != minX && vertex.x != maxX) || (vertex.y != minY && vertex.y != maxY))
            return false;
    if (minX == maxX || minY == maxY) return true; // covers nothing, drawn as nothing
    // The strip's triangles (0 1 2) and (1 2 3) cover the rectangle when 0 and 3 are opposite
    // corners, and 1 and 2.
    return v[0].x != v[3].x && v[0].y != v[3].y && v[1].x != v[2].x && v[1].y != v[2].y;
}

bool isAlongAnAxis(const DrawVertex& a, const DrawVertex& b) {
    return a.x == b.x || a.y == b.y;
}

// Grows `area` by the pixels of a fill: columns x0...x1 - 1 of rows y0...y1 - 1. Each band of
// rows keeps an area of its own; they are put together once all are drawn.
void include(PixelArea& area, int x0, int x1, int y0, int y1) {
    area = area.united({x0, y0, x1, y1});
}

class Canvas {
public:
    /// Draws rows `firstRow` to `endRow` of `image` alone.
    Canvas(double viewWidth, double viewHeight, double scale, double alpha, LabelBitmap& image,
           int firstRow, int endRow)
        : halfWidth_(viewWidth / 2), halfHeight_(viewHeight / 2), scale_(scale), alpha_(alpha),
          firstRow_(firstRow), endRow_(endRow), image_(image) {}

    /// A colour's four bytes, opaque, in the image's order.
    static std::array<std::uint8_t, 4> opaqueBytes(const DrawVertex& color, PixelOrder order) {
        if (order == PixelOrder::bgra) return {color.blue, color.green, color.red, 255};
        return {color.red, color.green, color.blue, 255};
    }

    // Pixel coordinates from the top left, in device pixels.
    double column(double x) const { return (x + halfWidth_) * scale_; }
    double row(double y) const { return (halfHeight_ - y) * scale_; }

    struct Pixels {
        int left, right, top, bottom; // columns left...right - 1, rows top...bottom - 1
    };
    // The pixels whose centres lie inside the rectangle, as the GPU fills them: neighbouring
    // rectangles share no pixel and leave none between them. (Covering edge pixels partly would
    // let the background show through the seam between two neighbours.)
    Pixels pixelsOf(std::span<const DrawVertex> v) const {
        return {firstCentre(column(std::min({v[0].x, v[1].x, v[2].x, v[3].x}))),
                firstCentre(column(std::max({v[0].x, v[1].x, v[2].x, v[3].x}))),
                firstCentre(row(std::max({v[0].y, v[1].y, v[2].y, v[3].y}))),
                firstCentre(row(std::min({v[0].y, v[1].y, v[2].y, v[3].y})))};
    }

    /// Whether a rectangle surely covers none of this canvas's rows, as found from two opposite
    /// corners (its first and last, in a strip isRectangle() passes) without working out its
    /// pixels: a band of rows skips most of a large picture's rectangles so.
    bool missesRows(std::span<const DrawVertex> v) const {
        // Its rows run from firstCentre(top) to before firstCentre(bottom).
        const double top = row(std::max(v[0].y, v[3].y));
        const double bottom = row(std::min(v[0].y, v[3].y));
        return bottom < firstRow_ || top > endRow_;
    }

    void fillRectangle(std::span<const DrawVertex> v) {
        const Pixels p = pixelsOf(v);
        fill(p.left, p.right, p.top, p.bottom, v[0], 1.0);
    }

    // Marks the rectangle's pixels (of this canvas's rows) in `shapes` with `mark`.
    void markRectangle(std::span<const DrawVertex> v, std::uint32_t mark,
                       std::vector<std::uint32_t>& shapes) {
        const Pixels p = pixelsOf(v);
        const int top = std::max(p.top, firstRow_);
        const int bottom = std::min(p.bottom, endRow_);
        const int left = std::max(p.left, 0);
        const int right = std::min(p.right, image_.width);
        if (top >= bottom || left >= right) return;
        include(drawn_, left, right, top, bottom);
        for (int y = top; y < bottom; ++y)
            std::fill_n(shapes.begin() + static_cast<std::ptrdiff_t>(y) * image_.width + left,
                        right - left, mark);
    }

    void strokeSegment(const DrawVertex& a, const DrawVertex& b) {
        // A segment whose band of rows surely lies outside this canvas's is skipped at once.
        const double top = row(std::max(a.y, b.y)) - 1;
        const double bottom = row(std::min(a.y, b.y)) + 1;
        if (bottom < firstRow_ || top > endRow_) return;
        if (a.y == b.y) {
            const int from = firstCentre(column(std::min(a.x, b.x)));
            const int to = firstCentre(column(std::max(a.x, b.x)));
            band(row(a.y), [&](int r, double coverage) { fill(from, to, r, r + 1, a, coverage); });
        } else {
            const int from = firstCentre(row(std::max(a.y, b.y)));
            const int to = firstCentre(row(std::min(a.y, b.y)));
            band(column(a.x),
                 [&](int c, double coverage) { fill(c, c + 1, from, to, a, coverage); });
        }
    }

    /// The pixels drawn into (or marked) so far.
    const PixelArea& drawn() const { return drawn_; }

private:
    static int firstCentre(double edge) { return static_cast<int>(std::ceil(edge - 0.5)); }

    // The rows (or columns) a one-pixel band centred on `centre` covers, with how much of each:
    // the share of a pixel's two sample rows (at a quarter and three quarters) inside the band,
    // as the CPU back end samples it.
    template <typename Each> static void band(double centre, Each&& each) {
        const double low = centre - 0.5;
        const double high = centre + 0.5;
        const int first = static_cast<int>(std::floor(low));
        for (int k = first; k <= first + 1; ++k) {
            int inside = 0;
            for (const double sample : {k + 0.25, k + 0.75})
                if (low <= sample && sample < high) ++inside;
            if (inside > 0) each(k, inside / 2.0);
        }
    }

    void fill(int x0, int x1, int y0, int y1, const DrawVertex& color, double coverage) {
        y0 = std::max(y0, firstRow_);
        y1 = std::min(y1, endRow_);
        if (y0 >= y1) return;
        x0 = std::max(x0, 0);
        x1 = std::min(x1, image_.width);
        if (x0 >= x1) return;
        const double a = color.alpha / 255.0 * alpha_ * coverage;
        if (a <= 0) return;
        include(drawn_, x0, x1, y0, y1);
        const auto stride = static_cast<std::size_t>(image_.width) * 4;
        const std::array<std::uint8_t, 4> solid = opaqueBytes(color, image_.order);
        if (a >= 1.0) {
            for (int y = y0; y < y1; ++y) {
                std::uint8_t* p = image_.pixels.data() + static_cast<std::size_t>(y) * stride +
                                  static_cast<std::size_t>(x0) * 4;
                for (int x = x0; x < x1; ++x, p += 4)
                    std::copy(solid.begin(), solid.end(), p);
            }
            return;
        }
        // Source over, premultiplied, as the GPU blends (ONE, ONE_MINUS_SRC_ALPHA), in integers:
        // the source's share in 256ths, its premultiplied channels scaled alike.
        const auto share = static_cast<unsigned>(std::lround(a * 256));
        const unsigned keep = 256 - share;
        const unsigned source[4] = {solid[0] * share, solid[1] * share, solid[2] * share,
                                    255 * share};
        for (int y = y0; y < y1; ++y) {
            std::uint8_t* p = image_.pixels.data() + static_cast<std::size_t>(y) * stride +
                              static_cast<std::size_t>(x0) * 4;
            for (int x = x0; x < x1; ++x, p += 4)
                for (int c = 0; c < 4; ++c)
                    p[c] = static_cast<std::uint8_t>((source[c] + p[c] * keep + 128) >> 8);
        }
    }

    double halfWidth_;
    double halfHeight_;
    double scale_;
    double alpha_;
    int firstRow_;
    int endRow_;
    LabelBitmap& image_;
    PixelArea drawn_;
};

// The strips one band of rows checks are rectangles, of the `bands` that draw a picture: each
// checks an equal share, so that none waits for another.
class ShareOfChecks {
public:
    ShareOfChecks(const DrawRenderer& picture, std::size_t band, std::size_t bands)
        : first_(picture.triangleStrips().stripCount() * band / bands),
          end_(picture.triangleStrips().stripCount() * (band + 1) / bands) {}
    bool checks(std::size_t strip) const { return first_ <= strip && strip < end_; }

private:
    std::size_t first_;
    std::size_t end_;
};

// Calls `each` with every triangle strip's vertices, in the order they are drawn; stops at the
// first that answers false.
template <typename Each> bool everyStrip(const DrawRenderer& picture, Each&& each) {
    const std::span<const DrawVertex> vertices(picture.vertices());
    const DrawPrimitive& strips = picture.triangleStrips();
    for (std::size_t i = 0; i < strips.stripCount(); ++i)
        if (!each(vertices.subspan(static_cast<std::size_t>(strips.offset()[i]),
                                   static_cast<std::size_t>(strips.length()[i]))))
            return false;
    return true;
}

// The same with every line segment: the line strips' then the lines'.
template <typename Each> bool everySegment(const DrawRenderer& picture, Each&& each) {
    const std::vector<DrawVertex>& vertices = picture.vertices();
    for (const DrawPrimitive* lines : {&picture.lineStrips(), &picture.lines()}) {
        const std::size_t step = lines == &picture.lines() ? 2 : 1;
        for (std::size_t i = 0; i < lines->stripCount(); ++i) {
            const auto first = static_cast<std::size_t>(lines->offset()[i]);
            const auto count = static_cast<std::size_t>(lines->length()[i]);
            for (std::size_t k = 0; k + 1 < count; k += step)
                if (!each(vertices[first + k], vertices[first + k + 1])) return false;
        }
    }
    return true;
}

// A line's pixel (four bytes, premultiplied, of opacity `alpha`) over a rectangle's: each byte
// line + under × (255 - alpha) / 255, rounded, as the lines were drawn over the rectangles.
// The four bytes are worked on at once, each in 16 bits of a 64-bit word.
std::uint32_t lineOver(std::uint32_t line, std::uint8_t alpha, std::uint32_t under) {
    constexpr std::uint64_t kLowBytes = 0x00FF00FF00FF00FFull;
    constexpr std::uint64_t kLowHalves = 0x0000FFFF0000FFFFull;
    const auto spread = [](std::uint32_t bytes) {
        std::uint64_t word = bytes;
        word = (word | (word << 16)) & kLowHalves;
        return (word | (word << 8)) & kLowBytes;
    };
    const auto gather = [](std::uint64_t word) {
        word = (word | (word >> 8)) & kLowHalves;
        return static_cast<std::uint32_t>(word | (word >> 16));
    };
    // (x + 127) / 255 for each x = byte × keep, at most 65152: (y + 1 + y / 256) / 256 for
    // y = x + 127 divides exactly by 255 below 65536.
    const std::uint64_t scaled = spread(under) * (255u - alpha) + 0x007F007F007F007Full;
    const std::uint64_t kept =
        ((scaled + 0x0001000100010001ull + ((scaled >> 8) & kLowBytes)) >> 8) & kLowBytes;
    return gather((kept + spread(line)) & kLowBytes);
}

// An opaque grey's four bytes, or transparency's.
std::uint32_t backgroundBytes(std::optional<std::uint8_t> grey) {
    if (!grey) return 0;
    const std::array<std::uint8_t, 4> bytes{*grey, *grey, *grey, 255};
    std::uint32_t word = 0;
    std::memcpy(&word, bytes.data(), 4);
    return word;
}

// Sets every pixel of rows `firstRow`...`endRow` - 1 to `pixel`'s four bytes.
void clearRows(LabelBitmap& image, int firstRow, int endRow, std::uint32_t pixel) {
    const auto width = static_cast<std::size_t>(image.width);
    std::uint8_t* out = image.pixels.data() + static_cast<std::size_t>(firstRow) * width * 4;
    const std::size_t count = static_cast<std::size_t>(std::max(endRow - firstRow, 0)) * width;
    if (pixel == 0 || count == 0) {
        std::memset(out, 0, count * 4);
        return;
    }
    // One row a pixel at a time, the others copied from it.
    for (std::size_t p = 0; p < width; ++p)
        std::memcpy(out + p * 4, &pixel, 4);
    for (std::size_t done = width; done < count; done += width)
        std::memcpy(out + done * 4, out, width * 4);
}

// Each of `count` pixels' four bytes from `colours`, by its index there.
void lookUpColours(const std::uint32_t* colours, const std::uint32_t* indices, std::uint8_t* out,
                   std::size_t count) {
    for (std::size_t p = 0; p < count; ++p)
        std::memcpy(out + p * 4, &colours[indices[p]], 4);
}

} // namespace

PixelArea PixelArea::united(const PixelArea& other) const {
    if (other.isEmpty()) return *this;
    if (isEmpty()) return other;
    return {std::min(left, other.left), std::min(top, other.top), std::max(right, other.right),
            std::max(bottom, other.bottom)};
}

bool isAxisAligned(const DrawRenderer& picture) {
    return everyStrip(picture, isRectangle) && everySegment(picture, isAlongAnAxis);
}

bool rasteriseAxisAligned(const DrawRenderer& picture, double viewWidth, double viewHeight,
                          double scale, LabelBitmap& image, PixelArea* drawnArea,
                          std::optional<std::uint8_t> backgroundGrey) {
    // A picture of other shapes (the pie chart's) shows it at once, as a rule.
    if (const DrawPrimitive& strips = picture.triangleStrips();
        strips.stripCount() > 0 &&
        !isRectangle(std::span(picture.vertices())
                         .subspan(static_cast<std::size_t>(strips.offset()[0]),
                                  static_cast<std::size_t>(strips.length()[0]))))
        return false;
    image.width = std::max(0, static_cast<int>(std::lround(viewWidth * scale)));
    image.height = std::max(0, static_cast<int>(std::lround(viewHeight * scale)));
    image.pixels.resize(static_cast<std::size_t>(image.width) * image.height * 4);
    // In bands of rows, one a thread: each goes over the whole picture and draws its own rows,
    // so every pixel still sees the shapes in their order. Each band also checks its share of
    // the rectangles on its way, and the first every line (the others check only that a strip
    // has a rectangle's four corners to read).
    WorkerPool& pool = WorkerPool::shared();
    const std::size_t bands =
        picture.vertexCount() < kLeastVerticesInBands ? 1 : pool.threadCount();
    std::atomic<bool> aligned = true;
    std::vector<PixelArea> bandAreas(bands);
    const auto draw = [&](std::size_t band) {
        const auto firstRow = static_cast<int>(image.height * band / bands);
        const auto endRow = static_cast<int>(image.height * (band + 1) / bands);
        clearRows(image, firstRow, endRow, backgroundBytes(backgroundGrey));
        const bool checks = band == 0;
        const ShareOfChecks share(picture, band, bands);
        std::size_t index = 0;
        Canvas canvas(viewWidth, viewHeight, scale, 1.0, image, firstRow, endRow);
        const bool drawn =
            everyStrip(picture,
                       [&](std::span<const DrawVertex> strip) {
                           if (share.checks(index++) ? !isRectangle(strip) : strip.size() != 4)
                               return false;
                           if (!canvas.missesRows(strip)) canvas.fillRectangle(strip);
                           return aligned.load(std::memory_order_relaxed);
                       }) &&
            everySegment(picture, [&](const DrawVertex& a, const DrawVertex& b) {
                if (checks && !isAlongAnAxis(a, b)) return false;
                canvas.strokeSegment(a, b);
                return aligned.load(std::memory_order_relaxed);
            });
        if (!drawn) aligned = false;
        bandAreas[band] = canvas.drawn();
    };
    if (bands == 1)
        draw(0);
    else
        pool.run(bands, draw);
    if (drawnArea != nullptr) {
        *drawnArea = {};
        for (const PixelArea& area : bandAreas)
            *drawnArea = drawnArea->united(area);
    }
    return aligned;
}

bool RecolouringRaster::allOpaque(const DrawRenderer& picture) {
    return everyStrip(picture, [](std::span<const DrawVertex> strip) {
        return std::ranges::all_of(strip, [](const DrawVertex& v) { return v.alpha == 255; });
    });
}

bool RecolouringRaster::sameShapes(const DrawRenderer& picture) const {
    const std::vector<DrawVertex>& vertices = picture.vertices();
    if (vertices.size() != vertices_.size() || picture.triangleStrips().offset() != stripOffsets_ ||
        picture.lines().offset() != lineOffsets_ ||
        picture.lineStrips().offset() != lineStripOffsets_)
        return false;
    // Every corner where it was; the rectangles opaque; the lines in their colours.
    for (std::size_t i = 0; i < vertices.size(); ++i)
        if (vertices[i].x != vertices_[i].x || vertices[i].y != vertices_[i].y) return false;
    if (!allOpaque(picture)) return false;
    const auto sameColour = [](const DrawVertex& a, const DrawVertex& b) {
        return sameColor(a, b);
    };
    for (const DrawPrimitive* lines : {&picture.lineStrips(), &picture.lines()})
        for (std::size_t i = 0; i < lines->stripCount(); ++i) {
            const auto first = static_cast<std::size_t>(lines->offset()[i]);
            const auto count = static_cast<std::size_t>(lines->length()[i]);
            for (std::size_t k = first; k < first + count; ++k)
                if (!sameColour(vertices[k], vertices_[k])) return false;
        }
    return true;
}

bool RecolouringRaster::mapShapes(const DrawRenderer& picture, double viewWidth, double viewHeight,
                                  double scale, LabelBitmap& lines) {
    lines.width = std::max(0, static_cast<int>(std::lround(viewWidth * scale)));
    lines.height = std::max(0, static_cast<int>(std::lround(viewHeight * scale)));
    lines.pixels.assign(static_cast<std::size_t>(lines.width) * lines.height * 4, 0);
    lines.order = order_;
    width_ = lines.width;
    height_ = lines.height;
    colourOf_.assign(static_cast<std::size_t>(lines.width) * lines.height, 0);
    WorkerPool& pool = WorkerPool::shared();
    const std::size_t bands = pool.threadCount();
    std::atomic<bool> aligned = true;
    std::vector<PixelArea> bandAreas(bands);
    pool.run(bands, [&](std::size_t band) {
        const auto firstRow = static_cast<int>(lines.height * band / bands);
        const auto endRow = static_cast<int>(lines.height * (band + 1) / bands);
        Canvas canvas(viewWidth, viewHeight, scale, 1.0, lines, firstRow, endRow);
        const ShareOfChecks share(picture, band, bands);
        std::uint32_t mark = 0;
        const bool drawn =
            everyStrip(picture,
                       [&](std::span<const DrawVertex> strip) {
                           if (share.checks(mark++) ? !isRectangle(strip) : strip.size() != 4)
                               return false;
                           if (!canvas.missesRows(strip))
                               canvas.markRectangle(strip, mark, colourOf_);
                           return true;
                       }) &&
            everySegment(picture, [&](const DrawVertex& a, const DrawVertex& b) {
                if (!isAlongAnAxis(a, b)) return false;
                canvas.strokeSegment(a, b);
                return true;
            });
        if (!drawn) aligned = false;
        bandAreas[band] = canvas.drawn();
    });
    mappedArea_ = {};
    for (const PixelArea& area : bandAreas)
        mappedArea_ = mappedArea_.united(area);
    if (aligned) mapLinePixels(lines, picture.triangleStrips().stripCount());
    return aligned;
}

void RecolouringRaster::mapLinePixels(const LabelBitmap& lines, std::size_t rectangles) {
    // A line's pixels over one rectangle share a colour: a pixel takes that of the pixel before
    // it in its row, or of the one above it, where it is the same line's over the same
    // rectangle. Each band of rows counts the colours it needs, then numbers them from where the
    // bands before it end, in the order of its pixels.
    WorkerPool& pool = WorkerPool::shared();
    const std::size_t bands = pool.threadCount();
    const auto width = static_cast<std::size_t>(width_);
    const auto rowsOf = [&](std::size_t band) {
        return std::pair{static_cast<std::size_t>(height_) * band / bands,
                         static_cast<std::size_t>(height_) * (band + 1) / bands};
    };
    const auto lineAt = [&](std::size_t p) {
        std::array<std::uint8_t, 4> line{};
        std::memcpy(line.data(), &lines.pixels[p * 4], 4);
        return line;
    };
    const auto underLine = [&](std::size_t p) { return lines.pixels[p * 4 + 3] != 0; };
    // Whether pixel `p` is a line's over the same rectangle as `other`, both as they were mapped.
    const auto sameAs = [&](std::size_t p, std::size_t other) {
        return underLine(other) && colourOf_[other] == colourOf_[p] &&
               std::memcmp(&lines.pixels[p * 4], &lines.pixels[other * 4], 4) == 0;
    };
    std::vector<std::size_t> firstOfBand(bands + 1, 0);
    pool.run(bands, [&](std::size_t band) {
        const auto [top, bottom] = rowsOf(band);
        std::size_t count = 0;
        for (std::size_t y = top; y < bottom; ++y)
            for (std::size_t x = 0, p = y * width; x < width; ++x, ++p)
                if (underLine(p) && !(x > 0 && sameAs(p, p - 1)) &&
                    !(y > top && sameAs(p, p - width)))
                    ++count;
        firstOfBand[band + 1] = count;
    });
    std::partial_sum(firstOfBand.begin(), firstOfBand.end(), firstOfBand.begin());
    linePixels_.resize(firstOfBand[bands]);
    const std::size_t first = rectangles + 1;
    pool.run(bands, [&](std::size_t band) {
        const auto [top, bottom] = rowsOf(band);
        std::size_t next = firstOfBand[band];
        // Whether pixel `p`, not yet numbered, matches `other`, numbered (and so a line's pixel
        // when its colour lies past the rectangles').
        const auto matches = [&](std::size_t p, std::size_t other) {
            if (colourOf_[other] < first) return false;
            const LinePixel& numbered = linePixels_[colourOf_[other] - first];
            return numbered.under == colourOf_[p] && numbered.line == lineAt(p);
        };
        for (std::size_t y = top; y < bottom; ++y)
            for (std::size_t x = 0, p = y * width; x < width; ++x, ++p) {
                if (!underLine(p)) continue;
                if (x > 0 && matches(p, p - 1)) {
                    colourOf_[p] = colourOf_[p - 1];
                } else if (y > top && matches(p, p - width)) {
                    colourOf_[p] = colourOf_[p - width];
                } else {
                    linePixels_[next] = {colourOf_[p], lineAt(p)};
                    colourOf_[p] = static_cast<std::uint32_t>(first + next);
                    ++next;
                }
            }
    });
}

void RecolouringRaster::colour(const DrawRenderer& picture, LabelBitmap& image,
                               std::uint32_t background) {
    image.width = width_;
    image.height = height_;
    image.pixels.resize(colourOf_.size() * 4);
    image.order = order_;
    // Transparent, then each rectangle's colour, opaque, then those of the pixels under lines.
    const std::vector<DrawVertex>& vertices = picture.vertices();
    const DrawPrimitive& strips = picture.triangleStrips();
    const std::size_t rectangles = strips.stripCount();
    const std::size_t first = rectangles + 1;
    colours_.resize(first + linePixels_.size());
    colours_[0] = background;
    WorkerPool& pool = WorkerPool::shared();
    const std::size_t bands = pool.threadCount();
    pool.run(bands, [&](std::size_t band) {
        for (std::size_t i = rectangles * band / bands; i < rectangles * (band + 1) / bands; ++i) {
            const std::array<std::uint8_t, 4> bytes =
                Canvas::opaqueBytes(vertices[static_cast<std::size_t>(strips.offset()[i])], order_);
            std::memcpy(&colours_[i + 1], bytes.data(), 4);
        }
    });
    pool.run(bands, [&](std::size_t band) {
        const std::size_t count = linePixels_.size();
        for (std::size_t k = count * band / bands; k < count * (band + 1) / bands; ++k) {
            const LinePixel& pixel = linePixels_[k];
            std::uint32_t line = 0;
            std::memcpy(&line, pixel.line.data(), 4);
            colours_[first + k] = lineOver(line, pixel.line[3], colours_[pixel.under]);
        }
    });
    const std::size_t pixels = colourOf_.size();
    pool.run(bands, [&](std::size_t band) {
        const std::size_t from = pixels * band / bands;
        lookUpColours(colours_.data(), colourOf_.data() + from, image.pixels.data() + from * 4,
                      pixels * (band + 1) / bands - from);
    });
}

bool RecolouringRaster::draw(const DrawRenderer& picture, double viewWidth, double viewHeight,
                             double scale, LabelBitmap& image,
                             std::optional<std::uint8_t> backgroundGrey) {
    const bool sameView = viewWidth == viewWidth_ && viewHeight == viewHeight_ && scale == scale_ &&
                          image.order == order_;
    // Rectangles recoloured in place since the map was made, all opaque: nothing to compare.
    const bool recolouredInPlace = sameView && mapped_ &&
                                   picture.shapesRevision() == mappedShapes_ &&
                                   picture.recolouredOpaque();
    const bool same =
        recolouredInPlace || (sameView && picture.recolourable && sameShapes(picture));
    // The first picture of a recolouring's shapes: this picture and the ones after it are
    // coloured from the map.
    const bool first = !same && picture.recolourable && allOpaque(picture);
    if (first) remember(picture, viewWidth, viewHeight, scale, image.order);
    if ((same && !mapped_) || first) {
        mapped_ = mapShapes(picture, viewWidth, viewHeight, scale, image);
        mappedShapes_ = picture.shapesRevision();
    }
    fromMap_ = (same || first) && mapped_;
    if (fromMap_) {
        colour(picture, image, backgroundBytes(backgroundGrey));
        drawn_ = mappedArea_;
        return true;
    }
    // Any other picture is drawn afresh, and the next is not compared with it.
    mapped_ = false;
    vertices_.clear();
    return rasteriseAxisAligned(picture, viewWidth, viewHeight, scale, image, &drawn_,
                                backgroundGrey);
}

void RecolouringRaster::remember(const DrawRenderer& picture, double viewWidth, double viewHeight,
                                 double scale, PixelOrder order) {
    vertices_ = picture.vertices();
    stripOffsets_ = picture.triangleStrips().offset();
    lineOffsets_ = picture.lines().offset();
    lineStripOffsets_ = picture.lineStrips().offset();
    viewWidth_ = viewWidth;
    viewHeight_ = viewHeight;
    scale_ = scale;
    order_ = order;
}

} // namespace tessera
