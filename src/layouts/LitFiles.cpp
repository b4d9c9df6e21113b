// The shapes of the files a search found, drawn over the dimmed picture: a file's tile or sector
// in its own colour, a folder that matches by itself outlined twice in the border colour (its
// tile is its children's; a pie chart's folder has a sector of its own, filled).
#include "draw/Palette.h"
#include "layouts/DrawPieChart.h"
#include "layouts/DrawTreeMap.h"

namespace tessera {
namespace {

constexpr DrawPoint kOrigin{0, 0};

DrawRect inset(const DrawRect& rect, double by) {
    return {rect.x + by, rect.y + by, rect.width - 2 * by, rect.height - 2 * by};
}

} // namespace

std::size_t DrawTreeMap::drawLitFiles(const std::function<bool(const File&)>& isLit,
                                      DrawRenderer& into) const {
    if (!mainFileView_) return 0;
    std::size_t lit = 0;
    for (const FileView& view : fileViews_) {
        if (view.merged || view.file == nullptr || view.file == mainFileView_->file ||
            !isLit(*view.file))
            continue;
        ++lit;
        if (view.opened) {
            into.color = palette::border(1.0);
            into.strokeRect(view.frame);
            if (view.frame.width > 4 && view.frame.height > 4)
                into.strokeRect(inset(view.frame, 1));
        } else {
            into.fillRect(view.frame, fillColor(view, view.hue, 1.0));
        }
    }
    return lit;
}

std::size_t DrawPieChart::drawLitFiles(const std::function<bool(const File&)>& isLit,
                                       DrawRenderer& into) const {
    if (!mainFileView_) return 0;
    std::size_t lit = 0;
    for (const auto& [file, view] : fileViews_) {
        const PieSector& sector = view.sector;
        if (view.merged || file == mainFileView_->file || sector.radius.lower <= 0 ||
            !isLit(*view.file))
            continue;
        ++lit;
        into.fillRingSector(sector.angle.lower, sector.angle.upper, sector.radius.lower,
                            sector.radius.upper, kOrigin, palette::file(view.hue, 1.0));
        into.color = palette::border();
        into.strokeRingSector(sector.angle.lower, sector.angle.upper, sector.radius.lower,
                              sector.radius.upper, kOrigin);
    }
    return lit;
}

} // namespace tessera
