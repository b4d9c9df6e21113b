#include "app/graphview/GraphFocusFrame.h"

#include <QEvent>
#include <QPainter>
#include <QVBoxLayout>

namespace tessera {

GraphFocusFrame::GraphFocusFrame(QWidget& view, QWidget* parent) : QWidget(parent), view_(view) {
    setObjectName(QStringLiteral("graphFocusFrame"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(kRingWidth, kRingWidth, kRingWidth, kRingWidth);
    layout->addWidget(&view);
    view.installEventFilter(this);
}

bool GraphFocusFrame::eventFilter(QObject* watched, QEvent* event) {
    if (watched == &view_ &&
        (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut))
        update();
    return false;
}

void GraphFocusFrame::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QColor ring =
        view_.hasFocus() ? palette().color(QPalette::Highlight) : palette().color(QPalette::Window);
    painter.fillRect(rect(), ring);
}

} // namespace tessera
