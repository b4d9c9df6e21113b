#include "app/graphview/GraphViewSoftware.h"

#include "graph/Graph.h"

#include <QEvent>
#include <QPainter>

namespace tessera {

GraphViewSoftware::GraphViewSoftware(Graph& graph, const LabelTypesetter& typesetter,
                                     QWidget* parent)
    : QWidget(parent), graph_(graph), view_(typesetter, 1, 1, isDarkPalette(palette()), kSamples) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    nextFrame_.setSingleShot(true);
    nextFrame_.setInterval(16);
    connect(&nextFrame_, &QTimer::timeout, this, qOverload<>(&QWidget::update));
    view_.onNeedsDisplay = [this] {
        if (painting_) {
            if (!nextFrame_.isActive()) nextFrame_.start();
        } else {
            update();
        }
    };
}

QImage GraphViewSoftware::frameImage() const {
    const RasterCanvas& canvas = view_.canvas();
    const std::vector<std::uint8_t> pixels = canvas.image();
    QImage image(canvas.width(), canvas.height(), QImage::Format_RGBA8888);
    for (int row = 0; row < canvas.height(); ++row)
        std::memcpy(image.scanLine(row),
                    pixels.data() + static_cast<std::size_t>(row) * canvas.width() * 4,
                    static_cast<std::size_t>(canvas.width()) * 4);
    return image;
}

QImage GraphViewSoftware::grabFrame() {
    return frameImage();
}

void GraphViewSoftware::paintEvent(QPaintEvent*) {
    painting_ = true;
    view_.drawFrame(graph_);
    painting_ = false;
    QPainter painter(this);
    painter.drawImage(rect(), frameImage());
}

void GraphViewSoftware::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    view_.resize(std::max(1, width()), std::max(1, height()));
    graph_.viewSizeDidChange();
}

void GraphViewSoftware::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        view_.setDarkAppearance(isDarkPalette(palette()));
        graph_.updateAppearance();
        graph_.redisplay();
    }
}

} // namespace tessera
