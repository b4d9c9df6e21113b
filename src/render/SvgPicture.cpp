#include "render/SvgPicture.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <string_view>

namespace tessera {
namespace {

constexpr double kPi = std::numbers::pi;

std::string piece(std::string_view text) {
    return std::string(text);
}
std::string piece(int value) {
    return std::to_string(value);
}

// "{}" in `pattern` replaced by `values`, in order (GCC 12 has no std::format).
template <typename... Values>
std::string formatted(std::string_view pattern, const Values&... values) {
    const std::string pieces[] = {piece(values)...};
    std::string out;
    out.reserve(pattern.size() + 16 * sizeof...(values));
    std::size_t next = 0;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '{' && i + 1 < pattern.size() && pattern[i + 1] == '}' &&
            next < sizeof...(values)) {
            out += pieces[next++];
            ++i;
        } else {
            out += pattern[i];
        }
    }
    return out;
}

class SvgWriter {
public:
    explicit SvgWriter(const VectorPicture& picture)
        : halfWidth_(picture.width / 2.0), halfHeight_(picture.height / 2.0) {}

    std::string& out() { return out_; }

    // A view point as SVG coordinates, rounded to what a pixel needs.
    std::string point(double x, double y) const {
        return formatted("{} {}", number(x + halfWidth_), number(halfHeight_ - y));
    }
    static std::string number(double value) {
        char text[32];
        std::snprintf(text, sizeof text, "%.2f", value);
        std::string out = text;
        while (out.back() == '0')
            out.pop_back();
        if (out.back() == '.') out.pop_back();
        return out == "-0" ? "0" : out;
    }
    static std::string hex(const DrawColor& c) {
        const auto byte = [](double v) {
            return static_cast<int>(std::lround(std::clamp(v, 0.0, 1.0) * 255));
        };
        char text[8];
        std::snprintf(text, sizeof text, "#%02x%02x%02x", byte(c.red), byte(c.green), byte(c.blue));
        return text;
    }
    // ` fill="#…"` with its opacity when not opaque.
    static std::string paint(const char* attribute, const DrawColor& c, double alpha) {
        std::string text = formatted(" {}=\"{}\"", attribute, hex(c));
        if (const double opacity = c.alpha * alpha; opacity < 0.999)
            text += formatted(" {}-opacity=\"{}\"", attribute, number(opacity));
        return text;
    }

    // The path of the arc of `radius` about `centre` from angle `from` to `to` (counterclockwise
    // on the view, y up), the pen already at its start. Whole turns go as two halves.
    std::string arc(double cx, double cy, double radius, double from, double to) const {
        std::string d;
        const double span = to - from;
        const int halves = span >= 2 * kPi - 1e-9 ? 2 : 1;
        for (int i = 1; i <= halves; ++i) {
            const double end = from + span * i / halves;
            const bool large = span / halves > kPi;
            // Counterclockwise on the view is clockwise in SVG's y-down space: sweep 0.
            d += formatted(" A {} {} 0 {} 0 {}", number(radius), number(radius), large ? 1 : 0,
                           point(cx + radius * std::cos(end), cy + radius * std::sin(end)));
        }
        return d;
    }
    std::string arcReversed(double cx, double cy, double radius, double from, double to) const {
        std::string d;
        const double span = to - from;
        const int halves = span >= 2 * kPi - 1e-9 ? 2 : 1;
        for (int i = halves - 1; i >= 0; --i) {
            const double end = from + span * i / halves;
            const bool large = span / halves > kPi;
            d += formatted(" A {} {} 0 {} 1 {}", number(radius), number(radius), large ? 1 : 0,
                           point(cx + radius * std::cos(end), cy + radius * std::sin(end)));
        }
        return d;
    }
    std::string move(double x, double y) const { return "M " + point(x, y); }

    std::string ringSectorPath(const std::array<double, 8>& at) const {
        const auto [from, to, inner, outer, cx, cy, unused1, unused2] = at;
        const bool whole = to - from >= 2 * kPi - 1e-9;
        std::string d = move(cx + outer * std::cos(from), cy + outer * std::sin(from)) +
                        arc(cx, cy, outer, from, to);
        if (inner <= 0) {
            if (!whole) d += " L " + point(cx, cy);
        } else if (whole) {
            // A whole ring: the inner circle as a hole of its own (even-odd fill).
            d += " Z " + move(cx + inner * std::cos(to), cy + inner * std::sin(to)) +
                 arcReversed(cx, cy, inner, from, to);
        } else {
            d += " L " + point(cx + inner * std::cos(to), cy + inner * std::sin(to)) +
                 arcReversed(cx, cy, inner, from, to);
        }
        return d + " Z";
    }

    void shape(const DrawShape& s, double alpha) {
        const auto& a = s.at;
        switch (s.kind) {
        case DrawShape::Kind::fillQuad:
            if (a[1] == a[3] && a[0] == a[4] && a[2] == a[6] && a[5] == a[7]) {
                // A rectangle, as fillRect gives its corners.
                const double x = std::min(a[0], a[2]);
                const double top = std::max(a[1], a[5]);
                out_ += formatted("<rect x=\"{}\" y=\"{}\" width=\"{}\" height=\"{}\"{}/>\n",
                                  number(x + halfWidth_), number(halfHeight_ - top),
                                  number(std::abs(a[2] - a[0])), number(std::abs(a[5] - a[1])),
                                  paint("fill", s.color, alpha));
            } else {
                // A strip's corners: 1 2 4 3 go round.
                out_ += formatted("<path d=\"M {} L {} L {} L {} Z\"{}/>\n", point(a[0], a[1]),
                                  point(a[2], a[3]), point(a[6], a[7]), point(a[4], a[5]),
                                  paint("fill", s.color, alpha));
            }
            return;
        case DrawShape::Kind::fillRingSector: {
            std::string fill = paint("fill", s.color, alpha);
            if (hex(s.color) != hex(s.inner) || s.color.alpha != s.inner.alpha)
                fill = " fill=\"url(#" + gradient(s, alpha) + ")\"";
            out_ +=
                formatted("<path d=\"{}\" fill-rule=\"evenodd\"{}/>\n", ringSectorPath(a), fill);
            return;
        }
        case DrawShape::Kind::fillCircle:
            out_ +=
                formatted("<circle cx=\"{}\" cy=\"{}\" r=\"{}\"{}/>\n", number(a[0] + halfWidth_),
                          number(halfHeight_ - a[1]), number(a[2]), paint("fill", s.color, alpha));
            return;
        case DrawShape::Kind::strokeLine:
            out_ += formatted("<path d=\"M {} L {}\"{}/>\n", point(a[0], a[1]), point(a[2], a[3]),
                              stroke(s, alpha));
            return;
        case DrawShape::Kind::strokeRect:
            out_ += formatted("<rect x=\"{}\" y=\"{}\" width=\"{}\" height=\"{}\"{}/>\n",
                              number(a[0] + halfWidth_), number(halfHeight_ - a[1] - a[3]),
                              number(a[2]), number(a[3]), stroke(s, alpha));
            return;
        case DrawShape::Kind::strokeArc:
            out_ += formatted("<path d=\"{}{}\"{}/>\n",
                              move(a[0] + a[2] * std::cos(a[3]), a[1] + a[2] * std::sin(a[3])),
                              arc(a[0], a[1], a[2], a[3], a[4]), stroke(s, alpha));
            return;
        case DrawShape::Kind::strokeCircle:
            out_ +=
                formatted("<circle cx=\"{}\" cy=\"{}\" r=\"{}\"{}/>\n", number(a[0] + halfWidth_),
                          number(halfHeight_ - a[1]), number(a[2]), stroke(s, alpha));
            return;
        case DrawShape::Kind::strokeRingSector:
            out_ += formatted("<path d=\"{}\"{}/>\n", ringSectorPath(a), stroke(s, alpha));
            return;
        }
    }

    static std::string stroke(const DrawShape& s, double alpha) {
        return " fill=\"none\"" + paint("stroke", s.color, alpha) + " stroke-width=\"1\"";
    }

    // A radial gradient from the inner colour at the inner radius to the outer one at the outer
    // radius, as the renderers blend a ring sector's colours; its id.
    std::string gradient(const DrawShape& s, double alpha) {
        const auto& a = s.at;
        const std::string id = formatted("ring{}", gradients_++);
        const double innerStop = a[3] > 0 ? a[2] / a[3] : 0;
        const auto stop = [&](double offset, const DrawColor& c) {
            return formatted("<stop offset=\"{}\" stop-color=\"{}\" stop-opacity=\"{}\"/>",
                             number(offset), hex(c), number(c.alpha * alpha));
        };
        out_ += formatted("<radialGradient id=\"{}\" gradientUnits=\"userSpaceOnUse\" cx=\"{}\" "
                          "cy=\"{}\" r=\"{}\">{}{}</radialGradient>\n",
                          id, number(a[4] + halfWidth_), number(halfHeight_ - a[5]), number(a[3]),
                          stop(innerStop, s.inner), stop(1, s.color));
        return id;
    }

    // One line of text with its baseline `baseline` points below the top of the picture.
    void text(const std::string& content, double x, double baseline, double size,
              const DrawColor& color, double alpha, const char* anchor, bool bold) {
        out_ += formatted(
            "<text x=\"{}\" y=\"{}\" font-size=\"{}\"{}{}{}>{}</text>\n", number(x),
            number(baseline), number(size),
            std::string_view(anchor) == "start" ? std::string()
                                                : formatted(" text-anchor=\"{}\"", anchor),
            bold ? " font-weight=\"bold\"" : "", paint("fill", color, alpha), escaped(content));
    }

    void name(const NameLabel& label, double alpha) {
        const double top = halfHeight_ - label.frame.maxY();
        const double left = label.frame.x + halfWidth_;
        if (label.backdrop)
            out_ +=
                formatted("<rect x=\"{}\" y=\"{}\" width=\"{}\" height=\"{}\"{}/>\n",
                          number(left - 2), number(top - 1), number(label.frame.width + 4),
                          number(label.frame.height + 2), paint("fill", *label.backdrop, alpha));
        const double x = label.leftAligned ? left : left + label.frame.width / 2;
        const char* anchor = label.leftAligned ? "start" : "middle";
        const double nameLine = label.nameSize * 1.27;
        text(label.name, x, top + nameLine * 0.78, label.nameSize, label.color, alpha, anchor,
             false);
        if (!label.size.empty())
            text(label.size, x, top + nameLine + label.sizeSize * 1.27 * 0.78, label.sizeSize,
                 label.color, alpha, anchor, false);
    }

    void label(const VectorPicture::Label& label) {
        const double top = halfHeight_ - label.frame.maxY();
        const double left = label.frame.x + halfWidth_;
        if (label.background)
            out_ += formatted("<rect x=\"{}\" y=\"{}\" width=\"{}\" height=\"{}\" rx=\"{}\"{}/>\n",
                              number(left), number(top), number(label.frame.width),
                              number(label.frame.height), number(label.cornerRadius),
                              paint("fill", *label.background, label.alpha));
        // Lines of pieces: a run's "\n" ends a line, and the next run goes on from there.
        std::vector<std::vector<std::pair<std::string_view, const LabelRun*>>> lines(1);
        for (const LabelRun& run : label.text.runs) {
            std::string_view rest = run.text;
            for (std::size_t end; (end = rest.find('\n')) != std::string_view::npos;) {
                lines.back().emplace_back(rest.substr(0, end), &run);
                lines.emplace_back();
                rest.remove_prefix(end + 1);
            }
            lines.back().emplace_back(rest, &run);
        }
        const double x =
            label.text.centered ? left + label.frame.width / 2 : left + label.padding.width;
        double lineTop = top + label.padding.height;
        for (const auto& line : lines) {
            double size = 0;
            for (const auto& piece : line)
                size = std::max(size, piece.second->pointSize);
            const double baseline = lineTop + size * 0.95;
            lineTop += size * 1.2 + label.text.lineSpacing;
            std::string pieces;
            for (const auto& [content, run] : line)
                if (!content.empty())
                    pieces += formatted(
                        "<tspan font-size=\"{}\"{}{}>{}</tspan>", number(run->pointSize),
                        run->weight == LabelRun::Weight::bold ? " font-weight=\"bold\"" : "",
                        paint("fill", run->color, label.alpha), escaped(content));
            if (pieces.empty()) continue;
            out_ += formatted("<text x=\"{}\" y=\"{}\"{}>{}</text>\n", number(x), number(baseline),
                              label.text.centered ? " text-anchor=\"middle\"" : "", pieces);
        }
    }

    // Text as XML character data: markup escaped, and control characters (which XML does not
    // allow, and which file names may hold) shown as U+FFFD.
    static std::string escaped(std::string_view text) {
        std::string out;
        out.reserve(text.size());
        for (const char c : text) {
            switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20 && c != '\t')
                    out += "\xEF\xBF\xBD";
                else
                    out += c;
            }
        }
        return out;
    }

private:
    double halfWidth_;
    double halfHeight_;
    int gradients_ = 0;
    std::string out_;
};

} // namespace

std::string svgOf(const VectorPicture& picture) {
    SvgWriter writer(picture);
    std::string& out = writer.out();
    out += formatted("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                     "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"{}\" height=\"{}\" "
                     "viewBox=\"0 0 {} {}\" font-family=\"sans-serif\">\n",
                     picture.width, picture.height, picture.width, picture.height);
    out += formatted("<rect width=\"{}\" height=\"{}\"{}/>\n", picture.width, picture.height,
                     SvgWriter::paint("fill", picture.background, 1));
    for (const VectorPicture::Layer& layer : picture.layers) {
        if (layer.alpha <= 0) continue;
        if (layer.placement.isIdentity()) {
            out += "<g>\n";
        } else {
            // The placement in SVG pixels (origin at the top left, y down).
            const DrawPlacement& p = layer.placement;
            const double halfWidth = picture.width / 2.0;
            const double halfHeight = picture.height / 2.0;
            char matrix[128];
            std::snprintf(matrix, sizeof matrix, "%.5g 0 0 %.5g %.5g %.5g", p.scaleX, p.scaleY,
                          p.offsetX + halfWidth * (1 - p.scaleX),
                          halfHeight * (1 - p.scaleY) - p.offsetY);
            out += formatted("<g transform=\"matrix({})\">\n", std::string(matrix));
        }
        for (const DrawShape& shape : layer.shapes)
            if (shape.isFill()) writer.shape(shape, layer.alpha);
        for (const DrawShape& shape : layer.shapes)
            if (!shape.isFill()) writer.shape(shape, layer.alpha);
        out += "</g>\n";
    }
    if (!picture.names.empty() && picture.namesAlpha > 0) {
        out += "<g class=\"names\">\n";
        for (const NameLabel& name : picture.names)
            writer.name(name, picture.namesAlpha);
        out += "</g>\n";
    }
    for (const VectorPicture::Label& label : picture.labels)
        writer.label(label);
    out += "</svg>\n";
    return out;
}

} // namespace tessera
