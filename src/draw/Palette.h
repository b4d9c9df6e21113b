// The fixed colours of the graph, the layouts and the loading ring, for the light and the dark
// appearance.
#pragma once

#include "model/FileTypes.h"
#include "render/DrawColor.h"

namespace tessera {

/// True while the graph uses the dark appearance; read at every colour computation, so a change
/// shows at the next rebuild of a picture. Main thread.
extern bool isDarkAppearance;

namespace palette {

constexpr double kSaturation = 0.7;
/// Brightness of file colours: 1.0 light, 0.75 dark.
double brightness();
/// The hues of the colour mode by file type that stand for no hue: a folder's (its mode's
/// neutral colour) and a file of no known kind's.
constexpr double kFolderHue = -1;
constexpr double kOtherKindHue = -2;
/// The hues of the colour mode by change stand for no hue either: kUnchangedHue is an entry
/// that did not change (neutral), kUnchangedHue + s one that grew by the strength s (up to 1,
/// new), kUnchangedHue - s one that shrank (down to -1, gone). They lie apart from the wheel's
/// hues so that a recolouring between two states moves along the strengths.
constexpr double kUnchangedHue = 3;
/// The hue of a kind of file in the colour mode by file type (kOtherKindHue for `other`).
double categoryHue(FileCategory category);
/// A file's fill; the two hues that stand for none give greys.
DrawColor file(double hue, double alpha = 1.0);
/// How opaque a folder still being read is drawn (and its files), over the background: while
/// a scan runs, what is measured to the end stands out from what is still growing.
constexpr double kBeingReadAlpha = 0.45;
/// The merged remainder's fill: grey 0.7 light, 0.4 dark.
DrawColor merged(double alpha = 1.0);
/// The grey of borders: 0 light, 1 dark.
double strokeGrey();
/// Borders of arcs, radial lines and sector outlines.
DrawColor border(double alpha = 0.85);
/// The highlight of the active file and of the active remainder.
DrawColor activeFile(double hue);
DrawColor activeMerged();
/// The background: grey 0.93 light, 0.2 dark.
double backgroundGrey();
/// Text of the labels: the desktop's label colour, or its secondary (dimmer) label colour.
DrawColor labelText(bool secondary = false);
/// The bubble of the active file's label and its border.
DrawColor activeLabelBackground();
DrawColor activeLabelBorder();

} // namespace palette
} // namespace tessera
