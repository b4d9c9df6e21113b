#include "graph/StillPicture.h"

#include "draw/Animation.h"
#include "graph/Graph.h"
#include "platform/Files.h"
#include "render/PngWriter.h"
#include "render/SvgPicture.h"

#include <algorithm>
#include <cctype>

namespace tessera {

void drawAtRest(Graph& graph, HeadlessGraphView& view, const std::function<void()>& laidOut) {
    double now = 0;
    auto previousClock = Animation::setClock([&now] { return now; });
    graph.finishTransition();
    view.drawFrame(graph);
    if (laidOut) laidOut();
    now = 10; // past every fade
    view.drawFrame(graph);
    Animation::setClock(std::move(previousClock));
}

bool isSvgPath(const std::string& path) {
    if (path.size() < 4) return false;
    std::string extension = path.substr(path.size() - 4);
    std::ranges::transform(extension, extension.begin(),
                           [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension == ".svg";
}

std::expected<void, std::string> writePicture(const HeadlessGraphView& view,
                                              const std::string& path) {
    if (isSvgPath(path)) return platform::writeFileAtomically(path, svgOf(view.vectorPicture()));
    return writePng(path, view.canvas().width(), view.canvas().height(), view.canvas().image());
}

} // namespace tessera
