#include "draw/ChartNames.h"

#include "model/File.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>

namespace tessera {
namespace {

// No glyph of the names' type is narrower than this share of its size (a dot, an "i"): a name
// whose every character would need more than the room holds is not measured.
constexpr double kNarrowestGlyph = 0.2;

// Boxes already taken, found by the square cells of a grid that they touch.
class TakenBoxes {
public:
    explicit TakenBoxes(double cell) : cell_(cell) {}

    bool overlaps(const DrawRect& box) const {
        bool found = false;
        forEachCell(box, [&](std::int64_t key) {
            const auto bucket = cells_.find(key);
            if (bucket == cells_.end()) return;
            for (const std::size_t index : bucket->second)
                if (intersect(boxes_[index], box)) found = true;
        });
        return found;
    }

    void add(const DrawRect& box) {
        const std::size_t index = boxes_.size();
        boxes_.push_back(box);
        forEachCell(box, [&](std::int64_t key) { cells_[key].push_back(index); });
    }

private:
    static bool intersect(const DrawRect& a, const DrawRect& b) {
        return a.x < b.maxX() && b.x < a.maxX() && a.y < b.maxY() && b.y < a.maxY();
    }

    template <typename Each> void forEachCell(const DrawRect& box, Each&& each) const {
        const auto first = [&](double v) {
            return static_cast<std::int64_t>(std::floor(v / cell_));
        };
        for (std::int64_t y = first(box.y); y <= first(box.maxY()); ++y)
            for (std::int64_t x = first(box.x); x <= first(box.maxX()); ++x)
                each(y * 1'000'003 + x);
    }

    double cell_;
    std::vector<DrawRect> boxes_;
    std::unordered_map<std::int64_t, std::vector<std::size_t>> cells_;
};

double luminance(const DrawColor& color) {
    return 0.299 * color.red + 0.587 * color.green + 0.114 * color.blue;
}

DrawRect grown(const DrawRect& box, double by) {
    return {box.x - by, box.y - by, box.width + 2 * by, box.height + 2 * by};
}

} // namespace

DrawColor nameColorOn(const DrawColor& fill) {
    return luminance(fill) > 0.55 ? DrawColor::grey(0.08, 1) : DrawColor::grey(1, 1);
}

std::vector<NameLabel> placeNames(std::vector<NameRoom> rooms, const NameFont& font,
                                  const TextWidth& width, std::span<const DrawRect> obstacles,
                                  SizeMode sizeMode, std::size_t most) {
    std::vector<NameLabel> placed;
    // Rooms too low for a line never hold a name; the rest, largest first.
    std::erase_if(
        rooms, [](const NameRoom& room) { return room.file == nullptr || room.oneLineWidth <= 0; });
    std::sort(rooms.begin(), rooms.end(),
              [](const NameRoom& a, const NameRoom& b) { return a.priority > b.priority; });
    TakenBoxes taken(4 * font.lineHeight);
    for (const DrawRect& obstacle : obstacles)
        taken.add(obstacle);
    const double pad = font.padding;
    for (const NameRoom& room : rooms) {
        if (placed.size() >= most) break;
        const double room1 = room.oneLineWidth - 2 * pad;
        if (room1 <= 0) continue;
        const std::string name = room.file->displayName();
        if (name.empty()) continue;
        // Cheap bound first: most names of a large tree are far too long for their room.
        const auto characters = std::count_if(name.begin(), name.end(), [](char byte) {
            return (static_cast<unsigned char>(byte) & 0xC0) != 0x80;
        });
        if (static_cast<double>(characters) * kNarrowestGlyph * font.nameSize > room1) continue;
        const double nameWidth = width(name, font.nameSize);
        if (nameWidth > room1) continue;
        NameLabel label;
        label.name = name;
        label.nameSize = font.nameSize;
        label.sizeSize = font.sizeSize;
        double textWidth = nameWidth;
        double textHeight = font.oneLine();
        DrawPoint centre = room.centre;
        if (!room.heading && room.twoLinesWidth - 2 * pad > 0) {
            if (auto size = room.file->displaySizeString(sizeMode)) {
                const double sizeWidth = width(*size, font.sizeSize);
                if (std::max(nameWidth, sizeWidth) <= room.twoLinesWidth - 2 * pad) {
                    label.size = std::move(*size);
                    textWidth = std::max(nameWidth, sizeWidth);
                    textHeight = font.twoLines();
                    centre = room.twoLinesCentre;
                }
            }
        }
        const double left =
            room.heading ? centre.x - room.oneLineWidth / 2 + pad : centre.x - textWidth / 2;
        // The middle first; then, where the room is high enough, up or down a line at a time
        // out of the way of the centre label or a folder's heading.
        const double reach = std::max(0.0, room.height / 2 - pad - textHeight / 2);
        const double step = textHeight + 2 * pad;
        bool free = false;
        DrawRect claim;
        for (int k = 0; !free && k * step <= reach; ++k)
            for (const double shift : {k * step, -k * step}) {
                label.frame = {left, centre.y + shift - textHeight / 2, textWidth, textHeight};
                // A little space around each name keeps neighbours apart.
                claim = grown(label.frame, room.heading ? pad : 1);
                if (!taken.overlaps(claim)) {
                    free = true;
                    break;
                }
                if (k == 0) break;
            }
        if (!free) continue;
        taken.add(claim);
        if (room.heading) {
            DrawColor backdrop = room.fill;
            backdrop.red *= 0.6;
            backdrop.green *= 0.6;
            backdrop.blue *= 0.6;
            backdrop.alpha = 0.85;
            label.backdrop = backdrop;
            label.leftAligned = true;
            label.color = nameColorOn(backdrop);
        } else {
            label.color = nameColorOn(room.fill);
        }
        placed.push_back(std::move(label));
    }
    return placed;
}

} // namespace tessera
