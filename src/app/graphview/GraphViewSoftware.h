// The graph drawn by the CPU rasteriser, for machines where OpenGL 3.3 core cannot be had (or
// the user turned it off): the same frames as the OpenGL view, painted as an image.
#pragma once

#include "app/graphview/GraphSurface.h"
#include "graph/HeadlessGraphView.h"

#include <QTimer>
#include <QWidget>

namespace tessera {

class Graph;

class GraphViewSoftware final : public QWidget, public GraphSurface {
public:
    GraphViewSoftware(Graph& graph, const LabelTypesetter& typesetter, QWidget* parent = nullptr);

    QWidget* widget() override { return this; }
    GraphView& graphView() override { return view_; }
    QImage grabFrame() override;
    QString backEndName() const override { return QStringLiteral("software"); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    /// Subsamples per pixel and axis: edges are anti-aliased as in the command line's pictures.
    static constexpr int kSamples = 2;
    QImage frameImage() const;

    Graph& graph_;
    HeadlessGraphView view_;
    bool painting_ = false;
    // Frames asked for while one is painted come at the display's pace, not at once.
    QTimer nextFrame_;
};

} // namespace tessera
