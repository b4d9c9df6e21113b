// Names written on the chart: the layouts offer room for files' names (a tile, a ring sector),
// and the names that fit go there, the files that take most of the view first, none over
// another name or over the centre's label, none cut short; each in the colour that reads on the
// fill behind it.
#pragma once

#include "model/FileEnums.h"
#include "render/DrawColor.h"
#include "render/DrawRenderer.h"
#include "render/GraphLabel.h"

#include <functional>
#include <span>
#include <string_view>
#include <vector>

namespace tessera {

class File;

/// The type of the names and of the sizes under them, in points.
struct NameFont {
    double nameSize = 11;
    double sizeSize = 10;
    double lineHeight = 14;     // of a name's line
    double sizeLineHeight = 13; // of a size's line
    double padding = 3;         // kept free around the text inside its room

    /// Heights of the text of one line (the name) and of two (the name over its size).
    double oneLine() const { return lineHeight; }
    double twoLines() const { return lineHeight + sizeLineHeight; }
};

/// Room a layout offers for a file's name.
struct NameRoom {
    const File* file = nullptr;
    /// The centre of the name's box, in view points.
    DrawPoint centre;
    /// The widest box of one line's height (NameFont::oneLine() and the padding above and
    /// below) centred there that stays inside the file's shape; 0 when none does.
    double oneLineWidth = 0;
    /// The same for two lines, centred on `twoLinesCentre`; 0 when none fits.
    double twoLinesWidth = 0;
    DrawPoint twoLinesCentre;
    /// How high the room is around its centre, for a name moved up or down out of another's
    /// way (a tile's height); 0: the name stays on its centre.
    double height = 0;
    /// What the name is written on.
    DrawColor fill;
    /// Rooms with more go first: the area the file takes.
    double priority = 0;
    /// A folder's name over its children: left-aligned in the room, on a backdrop of the
    /// folder's colour, one line.
    bool heading = false;
};

/// How wide `text` is in type of `pointSize` points.
using TextWidth = std::function<double(std::string_view text, double pointSize)>;

/// The names that go into `rooms`: at most `most`, the rooms of most priority first, never
/// overlapping each other or `obstacles`; the file's size (in `sizeMode`) under its name where
/// two lines fit. Reads each file's name and size; measures only names that may fit.
std::vector<NameLabel> placeNames(std::vector<NameRoom> rooms, const NameFont& font,
                                  const TextWidth& width, std::span<const DrawRect> obstacles,
                                  SizeMode sizeMode, std::size_t most);

/// Text that reads on `fill`: near black on light fills, white on dark ones.
DrawColor nameColorOn(const DrawColor& fill);

} // namespace tessera
