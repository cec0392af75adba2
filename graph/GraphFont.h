#pragma once

#include <array>
#include <cstdint>

namespace voltrex {

// The graph's own bitmap font: fixed pitch, bold, every character a cell of
// GlyphWidth x GlyphHeight pixels. It is built into the program so that the
// graph, its layout (the left margin follows the width of "99.99") and every
// saved bitmap come out pixel for pixel the same on every machine, whatever
// fonts the desktop has installed.
inline constexpr int GlyphWidth = 6;
inline constexpr int GlyphHeight = 11;

// One glyph: GlyphHeight rows, top row first. In each row bit 4 is the cell's
// leftmost column and bit 0 its fifth; the sixth column is always blank and
// keeps neighbouring characters apart.
using GlyphRows = std::array<std::uint8_t, GlyphHeight>;

// The glyph of a character. Printable ASCII (32 to 126) has its own glyphs;
// every other byte, including each byte of a multi-byte UTF-8 sequence, shows
// as a hollow box, so that a text never loses its width.
const GlyphRows& GraphGlyph(char character);

}  // namespace voltrex
