#pragma once

#include <string>

#include "graph/GraphPlot.h"

namespace voltrex {

// The drawing helpers behind RedrawGraph, SetTitleLine and SetStatusLine, for
// the graph's own use.

// Fills the pixels x1 - 1 to x2 - 1 and y1 - 1 to y2 - 1 with black: corners
// counted from 1 and inclusive. Returns the rectangle filled (unclipped).
PixelRect FillArea(GraphPlot& graph, int x1, int y1, int x2, int y2);

// Anchors for DrawLabel: which point of the text (x, y) names.
inline constexpr int AnchorEnd = -1;    // right end / bottom
inline constexpr int AnchorCentre = 0;  // centre / middle
inline constexpr int AnchorStart = 1;   // left end / top

// Writes a text anchored at (x, y): horizontal negative means x is the text's
// right end, 0 its centre, positive its left end; vertical negative means y is
// its bottom, 0 its middle, positive its top. A text that would start left of
// the image starts at column 0, one that would leave the image at the top or
// the bottom is moved inside. Returns the text cell it painted.
PixelRect DrawLabel(GraphPlot& graph, int x, int y, const std::string& text, int horizontal,
                    int vertical);

}  // namespace voltrex
