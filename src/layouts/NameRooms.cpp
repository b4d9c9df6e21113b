// Where each layout has room for the names of the files it shows: a tile of the tree map holds
// its name in the middle (a folder's over its children, as a heading along its top), a sector
// of the pie chart in the middle of its ring, as wide as its arc allows there.
#include "draw/Palette.h"
#include "layouts/DrawPieChart.h"
#include "layouts/DrawTreeMap.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace tessera {
namespace {

// A folder's heading covers no more than this share of its height: the rest shows its children.
constexpr double kMostHeadingShare = 1.0 / 3;

bool contains(const DrawRect& outer, const DrawRect& inner) {
    constexpr double kSlack = 1e-6;
    return inner.x >= outer.x - kSlack && inner.y >= outer.y - kSlack &&
           inner.maxX() <= outer.maxX() + kSlack && inner.maxY() <= outer.maxY() + kSlack;
}

// Whether the box of `width` × `height` centred on `centre` lies inside `sector` (a ring's
// sector is not convex, but its inner edge bends away from a box centred within it: the
// corners decide).
bool boxInSector(const PieSector& sector, DrawPoint centre, double width, double height) {
    for (const double dx : {-width / 2, width / 2})
        for (const double dy : {-height / 2, height / 2}) {
            const double x = centre.x + dx;
            const double y = centre.y + dy;
            const double distance = std::hypot(x, y);
            if (distance < sector.radius.lower || distance > sector.radius.upper) return false;
            double angle = std::atan2(y, x);
            while (angle < sector.angle.lower)
                angle += kFullCircle;
            while (angle >= sector.angle.lower + kFullCircle)
                angle -= kFullCircle;
            if (angle > sector.angle.upper) return false;
        }
    // The inner circle may still cut an edge between two corners: its nearest point to the
    // origin must lie outside it.
    const double nearestX = std::clamp(0.0, centre.x - width / 2, centre.x + width / 2);
    const double nearestY = std::clamp(0.0, centre.y - height / 2, centre.y + height / 2);
    return std::hypot(nearestX, nearestY) >= sector.radius.lower;
}

// The widest box of `height` centred on `centre` inside `sector`; 0 when none is.
double widestBoxInSector(const PieSector& sector, DrawPoint centre, double height) {
    constexpr double kNarrowest = 8;
    if (!boxInSector(sector, centre, kNarrowest, height)) return 0;
    double fits = kNarrowest;
    double fails = 2 * sector.radius.upper + kNarrowest;
    while (fails - fits > 1) {
        const double middle = (fits + fails) / 2;
        (boxInSector(sector, centre, middle, height) ? fits : fails) = middle;
    }
    return fits;
}

struct Place {
    DrawPoint centre;
    double width = 0;
};

// Where in `sector` the widest box of `height` lies. A ring is widest for a line where it runs
// across, at its top and bottom, and there most where the box sits on its inner edge: the
// places tried are angles spread over the sector and those nearest the top and the bottom, each
// at the ring's middle and against either edge. Wide enough for any name ends the search.
Place widestPlace(const PieSector& sector, double height) {
    constexpr int kSpread = 7;
    constexpr double kWideEnough = 240;
    std::vector<double> angles;
    for (int i = 0; i < kSpread; ++i)
        angles.push_back(sector.angle.lower +
                         (sector.angle.upper - sector.angle.lower) * (i + 0.5) / kSpread);
    for (double across = kFullCircle / 4 - kFullCircle; across < sector.angle.upper;
         across += kFullCircle / 2)
        if (across > sector.angle.lower) angles.push_back(across);
    // The middle first: most sectors are named there.
    std::swap(angles.front(), angles[kSpread / 2]);
    const double radii[] = {sector.radius.middle(), sector.radius.lower + height / 2 + 0.5,
                            sector.radius.upper - height / 2 - 0.5};
    Place best;
    for (const double angle : angles)
        for (const double r : radii) {
            const DrawPoint centre{std::cos(angle) * r, std::sin(angle) * r};
            if (const double width = widestBoxInSector(sector, centre, height);
                width > best.width) {
                best = {centre, width};
                if (width >= kWideEnough) return best;
            }
        }
    return best;
}

} // namespace

void DrawTreeMap::nameRooms(const NameFont& font, std::vector<NameRoom>& out) const {
    if (!mainFileView_) return;
    const DrawRect& whole = mainFileView_->frame;
    const double oneLine = font.oneLine() + 2 * font.padding;
    const double twoLines = font.twoLines() + 2 * font.padding;
    for (const FileView& view : fileViews_) {
        const DrawRect& frame = view.frame;
        if (view.merged || view.file == nullptr || view.file == mainFileView_->file ||
            frame.height < oneLine || frame.width < oneLine || !contains(whole, frame))
            continue;
        NameRoom room;
        room.file = view.file;
        room.fill = fillColor(view, view.hue, 1.0);
        room.priority = frame.width * frame.height;
        if (view.opened) {
            if (oneLine > frame.height * kMostHeadingShare) continue;
            room.heading = true;
            room.centre = {frame.x + frame.width / 2, frame.maxY() - oneLine / 2};
            room.oneLineWidth = frame.width;
        } else {
            room.centre = {frame.x + frame.width / 2, frame.y + frame.height / 2};
            room.oneLineWidth = frame.width;
            room.twoLinesWidth = frame.height >= twoLines ? frame.width : 0;
            room.twoLinesCentre = room.centre;
            room.height = frame.height;
        }
        out.push_back(room);
    }
}

void DrawPieChart::nameRooms(const NameFont& font, std::vector<NameRoom>& out) const {
    if (!mainFileView_) return;
    const double oneLine = font.oneLine() + 2 * font.padding;
    const double twoLines = font.twoLines() + 2 * font.padding;
    for (const auto& [file, view] : fileViews_) {
        const PieSector& sector = view.sector;
        const double ring = sector.radius.upper - sector.radius.lower;
        const double arc = (sector.angle.upper - sector.angle.lower) * sector.radius.middle();
        if (view.merged || file == mainFileView_->file || sector.radius.lower <= 0 ||
            ring < std::min(oneLine, arc) || arc < oneLine)
            continue;
        NameRoom room;
        room.file = view.file;
        const Place one = widestPlace(sector, oneLine);
        if (one.width <= 0) continue;
        room.centre = one.centre;
        room.oneLineWidth = one.width;
        const Place two = widestPlace(sector, twoLines);
        room.twoLinesCentre = two.centre;
        room.twoLinesWidth = two.width;
        room.fill = palette::file(view.hue, 1.0);
        room.priority =
            (sector.angle.upper - sector.angle.lower) / 2 *
            (sector.radius.upper * sector.radius.upper - sector.radius.lower * sector.radius.lower);
        out.push_back(room);
    }
}

} // namespace tessera
