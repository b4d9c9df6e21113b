#include "render/QtLabelTypesetter.h"

#include "logs/Logger.h"

#include <QAbstractTextDocumentLayout>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <string_view>

namespace tessera {
namespace {

void ensureGuiApplication() {
    if (QGuiApplication::instance() != nullptr) return;
    static int argc = 3;
    static char name[] = "tessera";
    static char platformOption[] = "-platform";
    static char platform[] = "offscreen";
    static char* argv[] = {name, platformOption, platform, nullptr};
    // Qt's own warnings (a missing runtime folder and the like) go to the log, not the terminal.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& message) {
        Logger::log(type == QtDebugMsg || type == QtInfoMsg ? 3 : 2,
                    "Qt: " + message.toStdString());
    });
    // Lives until the process ends, like the labels that use its fonts.
    [[maybe_unused]] static auto* application = new QGuiApplication(argc, argv);
}

QColor toQColor(const DrawColor& color) {
    return QColor::fromRgbF(static_cast<float>(color.red), static_cast<float>(color.green),
                            static_cast<float>(color.blue), static_cast<float>(color.alpha));
}

QFont fontOf(double pointSize, bool bold) {
    QFont font = QGuiApplication::font();
    font.setPixelSize(std::max(1, static_cast<int>(std::lround(pointSize))));
    font.setBold(bold);
    return font;
}

QTextCharFormat formatOf(const LabelRun& run) {
    const QFont font = fontOf(run.pointSize, run.weight == LabelRun::Weight::bold);
    QTextCharFormat format;
    format.setFont(font);
    format.setForeground(toQColor(run.color));
    return format;
}

// Fills `document` with the text; names that are not UTF-8 show their bad bytes as U+FFFD.
void typeset(QTextDocument& document, const LabelText& text) {
    document.setDocumentMargin(0);
    document.setUndoRedoEnabled(false);
    QTextOption option = document.defaultTextOption();
    option.setWrapMode(text.wraps ? QTextOption::WrapAtWordBoundaryOrAnywhere
                                  : QTextOption::NoWrap);
    document.setDefaultTextOption(option);
    QTextBlockFormat block;
    block.setLineHeight(text.lineSpacing, QTextBlockFormat::LineDistanceHeight);
    block.setAlignment(text.centered ? Qt::AlignHCenter : Qt::AlignLeft);
    QTextCursor cursor(&document);
    cursor.setBlockFormat(block);
    for (const LabelRun& run : text.runs) {
        const QTextCharFormat format = formatOf(run);
        std::string_view rest = run.text;
        for (;;) {
            const auto newline = rest.find('\n');
            const std::string_view line = rest.substr(0, newline);
            cursor.insertText(QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size())),
                              format);
            if (newline == std::string_view::npos) break;
            cursor.insertBlock(block, format);
            rest.remove_prefix(newline + 1);
        }
    }
}

QRectF toQt(const DrawRect& rect, double frameHeight) {
    return {rect.x, frameHeight - rect.maxY(), rect.width, rect.height};
}

// Three box blurs of the alpha channel approximate a Gaussian blur; the shadow is black, so the
// premultiplied colour channels stay 0.
void blurAlpha(QImage& image, int radius) {
    if (radius <= 0) return;
    const int width = image.width();
    const int height = image.height();
    std::vector<int> line(static_cast<std::size_t>(std::max(width, height)));
    auto pass = [&](auto at, int length) {
        int sum = 0;
        for (int i = -radius; i <= radius; ++i)
            sum += i >= 0 && i < length ? at(i) : 0;
        for (int i = 0; i < length; ++i) {
            line[static_cast<std::size_t>(i)] = sum;
            const int leaving = i - radius;
            const int entering = i + radius + 1;
            if (leaving >= 0) sum -= at(leaving);
            if (entering < length) sum += at(entering);
        }
        const int span = 2 * radius + 1;
        for (int i = 0; i < length; ++i)
            at(i) = (line[static_cast<std::size_t>(i)] + span / 2) / span;
    };
    std::vector<int> alpha(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    for (int y = 0; y < height; ++y) {
        const uchar* row = image.constScanLine(y);
        for (int x = 0; x < width; ++x)
            alpha[static_cast<std::size_t>(y * width + x)] = row[x * 4 + 3];
    }
    for (int round = 0; round < 3; ++round) {
        for (int y = 0; y < height; ++y)
            pass([&](int x) -> int& { return alpha[static_cast<std::size_t>(y * width + x)]; },
                 width);
        for (int x = 0; x < width; ++x)
            pass([&](int y) -> int& { return alpha[static_cast<std::size_t>(y * width + x)]; },
                 height);
    }
    for (int y = 0; y < height; ++y) {
        uchar* row = image.scanLine(y);
        for (int x = 0; x < width; ++x) {
            row[x * 4] = row[x * 4 + 1] = row[x * 4 + 2] = 0;
            row[x * 4 + 3] = static_cast<uchar>(
                std::clamp(alpha[static_cast<std::size_t>(y * width + x)], 0, 255));
        }
    }
}

// Room around a name's text for its backdrop, in points.
constexpr double kBackdropMargin = 2;
constexpr double kBackdropRadius = 3;

QString toQString(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

QtLabelTypesetter::QtLabelTypesetter() {
    ensureGuiApplication();
}

DrawSize QtLabelTypesetter::measure(const LabelText& text, DrawSize maxSize) const {
    QTextDocument document;
    typeset(document, text);
    document.setTextWidth(-1);
    double width = document.idealWidth();
    if (text.wraps && maxSize.width > 0 && width > maxSize.width) {
        document.setTextWidth(maxSize.width);
        width = std::min(document.idealWidth(), maxSize.width);
    }
    double height = document.size().height();
    if (maxSize.height > 0) height = std::min(height, maxSize.height);
    return {width, height};
}

double QtLabelTypesetter::lineWidth(std::string_view text, double pointSize) const {
    return QFontMetricsF(fontOf(pointSize, false)).horizontalAdvance(toQString(text));
}

NameSheet QtLabelTypesetter::renderNames(std::span<const NameLabel> names, double scale) const {
    NameSheet sheet;
    if (names.empty()) return sheet;
    // Each name's piece, with room for a backdrop and one clear pixel after it, on shelves of a
    // sheet as wide as the widest piece or 1024 pixels.
    struct Place {
        int x, y, width, height;
    };
    std::vector<Place> places;
    places.reserve(names.size());
    int sheetWidth = 1024;
    for (const NameLabel& name : names)
        sheetWidth = std::max(
            sheetWidth,
            static_cast<int>(std::ceil((name.frame.width + 2 * kBackdropMargin) * scale)) + 1);
    int x = 0;
    int y = 0;
    int shelfHeight = 0;
    for (const NameLabel& name : names) {
        const int width =
            static_cast<int>(std::ceil((name.frame.width + 2 * kBackdropMargin) * scale));
        const int height =
            static_cast<int>(std::ceil((name.frame.height + 2 * kBackdropMargin) * scale));
        if (x + width > sheetWidth) {
            x = 0;
            y += shelfHeight + 1;
            shelfHeight = 0;
        }
        places.push_back({x, y, width, height});
        x += width + 1;
        shelfHeight = std::max(shelfHeight, height);
    }
    const int sheetHeight = y + shelfHeight;
    QImage image(sheetWidth, sheetHeight, QImage::Format_RGBA8888_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
    const QFont nameFont = fontOf(names.front().nameSize, false);
    const QFont sizeFont = fontOf(names.front().sizeSize, false);
    for (std::size_t i = 0; i < names.size(); ++i) {
        const NameLabel& name = names[i];
        const Place& place = places[i];
        painter.save();
        painter.translate(place.x, place.y);
        painter.scale(scale, scale);
        const QRectF box(kBackdropMargin, kBackdropMargin, name.frame.width, name.frame.height);
        if (name.backdrop) {
            painter.setPen(Qt::NoPen);
            painter.setBrush(toQColor(*name.backdrop));
            painter.drawRoundedRect(
                box.adjusted(-kBackdropMargin, -kBackdropMargin, kBackdropMargin, kBackdropMargin),
                kBackdropRadius, kBackdropRadius);
        }
        const auto alignment =
            (name.leftAligned ? Qt::AlignLeft : Qt::AlignHCenter) | Qt::AlignVCenter;
        painter.setPen(toQColor(name.color));
        painter.setFont(nameFont);
        const double nameHeight =
            name.size.empty() ? box.height()
                              : box.height() * name.nameSize / (name.nameSize + name.sizeSize);
        painter.drawText(QRectF(box.x(), box.y(), box.width(), nameHeight), alignment,
                         toQString(name.name));
        if (!name.size.empty()) {
            QColor sizeColor = toQColor(name.color);
            sizeColor.setAlphaF(0.8f);
            painter.setPen(sizeColor);
            painter.setFont(sizeFont);
            painter.drawText(
                QRectF(box.x(), box.y() + nameHeight, box.width(), box.height() - nameHeight),
                alignment, toQString(name.size));
        }
        painter.restore();
        // The piece lies over the label's frame, grown by the backdrop's margin.
        sheet.pieces.push_back(
            {{static_cast<double>(place.x), static_cast<double>(place.y),
              static_cast<double>(place.width), static_cast<double>(place.height)},
             {name.frame.x - kBackdropMargin, name.frame.y - kBackdropMargin, place.width / scale,
              place.height / scale}});
    }
    painter.end();
    sheet.bitmap.width = sheetWidth;
    sheet.bitmap.height = sheetHeight;
    const auto rowBytes = static_cast<std::size_t>(sheetWidth) * 4;
    sheet.bitmap.pixels.resize(rowBytes * static_cast<std::size_t>(sheetHeight));
    for (int row = 0; row < sheetHeight; ++row)
        std::memcpy(&sheet.bitmap.pixels[static_cast<std::size_t>(row) * rowBytes],
                    image.constScanLine(row), rowBytes);
    return sheet;
}

LabelBitmap QtLabelTypesetter::render(const GraphLabel& label, double scale) const {
    LabelBitmap bitmap{label.bitmapWidth(scale), label.bitmapHeight(scale), {}};
    if (bitmap.width <= 0 || bitmap.height <= 0) return {};
    QImage image(bitmap.width, bitmap.height, QImage::Format_RGBA8888_Premultiplied);
    image.fill(Qt::transparent);
    const double frameHeight = label.frameSize().height;
    QPainterPath bubble;
    bubble.addRoundedRect(toQt(label.bubbleRect(), frameHeight), label.cornerRadius,
                          label.cornerRadius);
    QPainter painter(&image);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
    // The shadow falls from the bubble's fill only.
    if (label.backgroundColor && label.shadow) {
        QImage shadow(image.size(), QImage::Format_RGBA8888_Premultiplied);
        shadow.fill(Qt::transparent);
        {
            QPainter shadowPainter(&shadow);
            shadowPainter.setRenderHint(QPainter::Antialiasing);
            shadowPainter.scale(scale, scale);
            // y is down here: a shadow offset downwards (negative height) moves it down.
            shadowPainter.translate(label.shadow->offset.width, -label.shadow->offset.height);
            shadowPainter.fillPath(bubble, toQColor(GraphLabel::kShadowColor));
        }
        blurAlpha(shadow, static_cast<int>(std::lround(scale * label.shadow->blurRadius / 2)));
        painter.drawImage(0, 0, shadow);
    }
    painter.scale(scale, scale);
    if (label.backgroundColor) painter.fillPath(bubble, toQColor(*label.backgroundColor));
    if (label.borderColor)
        painter.strokePath(bubble, QPen(toQColor(*label.borderColor), GraphLabel::kBorderWidth));
    if (label.text()) {
        QTextDocument document;
        typeset(document, *label.text());
        const DrawRect textRect = label.textRect();
        document.setTextWidth(textRect.width);
        const QRectF area = toQt(textRect, frameHeight);
        painter.translate(area.topLeft());
        QAbstractTextDocumentLayout::PaintContext context;
        context.clip = QRectF(0, 0, area.width(), area.height());
        document.documentLayout()->draw(&painter, context);
    }
    painter.end();
    const auto rowBytes = static_cast<std::size_t>(bitmap.width) * 4;
    bitmap.pixels.resize(rowBytes * static_cast<std::size_t>(bitmap.height));
    for (int y = 0; y < bitmap.height; ++y)
        std::memcpy(&bitmap.pixels[static_cast<std::size_t>(y) * rowBytes], image.constScanLine(y),
                    rowBytes);
    return bitmap;
}

} // namespace tessera
