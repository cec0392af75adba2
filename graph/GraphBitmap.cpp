#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "graph/GraphFileError.h"
#include "graph/GraphPlot.h"
#include "platform/ReplaceWhole.h"

namespace voltrex {
namespace {

// The file layout of an uncompressed 8-bit Windows bitmap: a 14-byte file
// header, the 40-byte BITMAPINFOHEADER and a 256-entry colour table, then the
// rows of palette indices, bottom row first, each padded to 4 bytes.
constexpr std::uint32_t FileHeaderSize = 14;
constexpr std::uint32_t InfoHeaderSize = 40;
constexpr std::uint32_t PaletteEntries = 256;
constexpr std::uint32_t PixelDataOffset = FileHeaderSize + InfoHeaderSize + PaletteEntries * 4;

// The colour table: a uniform colour cube with six levels per channel (216
// entries) padded with black. It holds the graph's two colours exactly, black
// at index 0 and the trace colour RGB(0, 204, 102) at index 26, and a saved
// graph shows the same colours as the screen. Entry 36 r + 6 g + b has the
// levels r, g, b.
constexpr int CubeLevels = 6;
constexpr int LevelSpacing = 51;  // 0, 51, 102, 153, 204, 255

// The cube level nearest to a channel value. The cube is a regular grid, so
// the nearest level per channel gives the nearest entry overall.
int NearestLevel(int channel) {
    return (channel + LevelSpacing / 2) / LevelSpacing;
}

std::uint8_t PaletteIndex(Rgb32 pixel) {
    const int red = NearestLevel(static_cast<int>((pixel >> 16) & 0xFF));
    const int green = NearestLevel(static_cast<int>((pixel >> 8) & 0xFF));
    const int blue = NearestLevel(static_cast<int>(pixel & 0xFF));
    return static_cast<std::uint8_t>((red * CubeLevels + green) * CubeLevels + blue);
}

void PutU16(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t value) {
    out[at] = static_cast<std::uint8_t>(value);
    out[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

void PutU32(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t value) {
    PutU16(out, at, value & 0xFFFF);
    PutU16(out, at + 2, value >> 16);
}

std::vector<std::uint8_t> EncodeBitmap(const RasterImage& image, int width, int height) {
    const auto rowLength = (static_cast<std::uint32_t>(width) + 3u) & ~3u;
    const std::uint32_t pixelDataSize = rowLength * static_cast<std::uint32_t>(height);
    std::vector<std::uint8_t> file(PixelDataOffset + pixelDataSize, 0);

    file[0] = 'B';
    file[1] = 'M';
    PutU32(file, 2, PixelDataOffset + pixelDataSize);
    // 6 and 8: two reserved words, zero.
    PutU32(file, 10, PixelDataOffset);
    PutU32(file, 14, InfoHeaderSize);
    PutU32(file, 18, static_cast<std::uint32_t>(width));
    PutU32(file, 22, static_cast<std::uint32_t>(height));  // positive: bottom row first
    PutU16(file, 26, 1);                                   // planes
    PutU16(file, 28, 8);                                   // bits per pixel
    PutU32(file, 30, 0);                                   // no compression
    PutU32(file, 34, pixelDataSize);
    PutU32(file, 38, 0);  // horizontal resolution: not stated
    PutU32(file, 42, 0);  // vertical resolution: not stated
    PutU32(file, 46, PaletteEntries);
    PutU32(file, 50, 0);  // all colours important

    std::size_t entry = FileHeaderSize + InfoHeaderSize;
    for (int red = 0; red < CubeLevels; ++red) {
        for (int green = 0; green < CubeLevels; ++green) {
            for (int blue = 0; blue < CubeLevels; ++blue) {
                file[entry] = static_cast<std::uint8_t>(blue * LevelSpacing);
                file[entry + 1] = static_cast<std::uint8_t>(green * LevelSpacing);
                file[entry + 2] = static_cast<std::uint8_t>(red * LevelSpacing);
                entry += 4;  // the fourth byte stays 0; the padding entries stay black
            }
        }
    }

    std::size_t at = PixelDataOffset;
    for (int y = height - 1; y >= 0; --y) {
        for (int x = 0; x < width; ++x) {
            file[at + static_cast<std::size_t>(x)] = PaletteIndex(image.Pixel(x, y));
        }
        at += rowLength;
    }
    return file;
}

}  // namespace

// The bitmap replaces the file only once it is complete and on the disk: a
// full disk, a vanished folder or a power cut then leave the previous file (or
// none) rather than half a bitmap.
void SaveGraphBitmap(const GraphPlot& graph, const std::string& fileName) {
    const std::vector<std::uint8_t> bytes =
        EncodeBitmap(graph.Canvas, graph.ImageWidth, graph.ImageHeight);
    const std::string_view contents(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    if (!ReplaceWhole(fileName, contents)) {
        throw GraphFileError(fileName);
    }
}

}  // namespace voltrex
