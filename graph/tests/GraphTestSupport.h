#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "graph/RasterImage.h"

namespace voltrex::testing {

std::vector<std::uint8_t> ReadBytes(const std::string& fileName);
void WriteBytes(const std::string& fileName, const std::vector<std::uint8_t>& bytes);

// How many pixels of the rectangle differ from what TextOut of the text at
// (x, y) on a black image in the graph's colours gives: 0 when the text's cell
// stands there exactly (as far as it lies within the image).
int TextMismatches(const RasterImage& image, int x, int y, const std::string& text);

// Whether the pixel has the trace colour.
bool Lit(const RasterImage& image, int x, int y);

}  // namespace voltrex::testing
