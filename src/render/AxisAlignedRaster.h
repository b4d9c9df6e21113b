// Pictures made of axis-aligned rectangles and lines (the tree map's) rasterised on the CPU into
// an image of the view's pixels: a rectangle fills the pixels whose centres it holds, as OpenGL
// fills them, and a line covers the band one pixel wide around it, each pixel as much as its two
// rows or columns of samples fall in the band (as the CPU back end samples); and
// everything is blended over what was drawn before in the order the GPU back end draws (the
// triangle strips, then the line strips, then the lines). A software OpenGL (Mesa's llvmpipe)
// pays about a fifth of a microsecond for each primitive, a hundred milliseconds for a tree map
// of a million entries; spans filled here take a few, and the GPU then draws one textured quad.
#pragma once

#include "render/LabelRenderer.h"

namespace tessera {

class DrawRenderer;

/// Whether every strip of `picture` is a rectangle (four vertices, the corners of one with its
/// sides along the axes, of one colour) and every line segment runs along an axis.
bool isAxisAligned(const DrawRenderer& picture);

/// Draws `picture` into `image`, premultiplied RGBA rows from the top, of the
/// view of `viewWidth` × `viewHeight` points (origin at its centre, y up) at `scale` pixels a
/// point. The image is cleared to transparent first; `picture.alpha` is left to whoever draws
/// the image, which a fade then changes as a whole (the other back ends blend each shape with
/// it: where a picture's lines lie over its rectangles, a fading picture shows the rectangles
/// through its lines there, and not here).
/// Returns false, the image unfinished, when a shape is not axis-aligned after all
/// (isAxisAligned, checked on the way).
bool rasteriseAxisAligned(const DrawRenderer& picture, double viewWidth, double viewHeight,
                          double scale, LabelBitmap& image);

} // namespace tessera
