// The frame the graph's view sits in: a ring in the palette's highlight colour around the view
// while it has the keyboard, so that the user sees where the keys go. Either back end's view fits
// in it (the OpenGL one is a window of its own, which no widget can draw over).
#pragma once

#include <QWidget>

namespace tessera {

class GraphFocusFrame final : public QWidget {
public:
    /// The ring's width, in points.
    static constexpr int kRingWidth = 2;

    GraphFocusFrame(QWidget& view, QWidget* parent = nullptr);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QWidget& view_;
};

} // namespace tessera
