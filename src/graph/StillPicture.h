// A graph's picture at rest, drawn without a window: what `tessera render` and the app's Save
// Picture write, as PNG or SVG.
#pragma once

#include "graph/HeadlessGraphView.h"

#include <expected>
#include <functional>
#include <string>

namespace tessera {

class Graph;

/// Draws `graph` into `view` as it stands once every transition and fade has ended: the clock
/// stands still, and moves past them before the last frame. `laidOut` runs between the first
/// frame (which lays the picture out) and the last.
void drawAtRest(Graph& graph, HeadlessGraphView& view, const std::function<void()>& laidOut = {});

/// True when `path` names an SVG file (by its extension), else it is written as PNG.
bool isSvgPath(const std::string& path);

/// Writes the view's last frame to `path`, atomically: SVG from its shapes when the path ends
/// in ".svg" (the view must keep shapes), else PNG.
[[nodiscard]] std::expected<void, std::string> writePicture(const HeadlessGraphView& view,
                                                            const std::string& path);

} // namespace tessera
