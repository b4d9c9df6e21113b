// A picture of the graph as SVG: the shapes the layouts drew (rectangles, ring sectors, arcs and
// lines, not their triangles), the names on the chart and the view's labels as text.
#pragma once

#include "render/DrawRenderer.h"
#include "render/DrawShape.h"
#include "render/GraphLabel.h"

#include <optional>
#include <string>
#include <vector>

namespace tessera {

struct VectorPicture {
    /// Everything one renderer drew, at its opacity.
    struct Layer {
        std::vector<DrawShape> shapes;
        double alpha = 1;
        DrawPlacement placement; // where the renderer showed them
    };
    /// A label over the picture (the shown folder's size, the legend).
    struct Label {
        LabelText text;
        DrawRect frame; // view points
        std::optional<DrawColor> background;
        double cornerRadius = 0;
        DrawSize padding;
        double alpha = 1;
    };

    int width = 0;
    int height = 0;
    DrawColor background;
    std::vector<Layer> layers; // in the order drawn
    std::vector<NameLabel> names;
    double namesAlpha = 1;
    std::vector<Label> labels;
};

/// The SVG document of `picture`: view points (origin at the centre, y up) become SVG pixels
/// (origin at the top left, y down). Fills are drawn before the strokes of the same layer, as
/// the renderers do.
std::string svgOf(const VectorPicture& picture);

} // namespace tessera
