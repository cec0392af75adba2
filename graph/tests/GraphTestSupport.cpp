#include "graph/tests/GraphTestSupport.h"

#include <algorithm>
#include <fstream>
#include <iterator>

#include "graph/GraphPlot.h"

namespace voltrex::testing {

std::vector<std::uint8_t> ReadBytes(const std::string& fileName) {
    std::ifstream in(fileName, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const std::string& fileName, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(fileName, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

int TextMismatches(const RasterImage& image, int x, int y, const std::string& text) {
    RasterImage reference(image.TextWidth(text), image.TextHeight(text));
    reference.SetFillColor(GraphBlack);
    reference.SetTraceColor(TraceColor);
    reference.TextOut(0, 0, text);
    int mismatches = 0;
    for (int row = 0; row < reference.Height(); ++row) {
        for (int column = 0; column < reference.Width(); ++column) {
            const int atX = x + column;
            const int atY = y + row;
            if (atX < 0 || atY < 0 || atX >= image.Width() || atY >= image.Height()) {
                continue;  // clipped away
            }
            if (image.Pixel(atX, atY) != reference.Pixel(column, row)) {
                ++mismatches;
            }
        }
    }
    return mismatches;
}

bool Lit(const RasterImage& image, int x, int y) {
    return image.Pixel(x, y) == TraceColor;
}

}  // namespace voltrex::testing
