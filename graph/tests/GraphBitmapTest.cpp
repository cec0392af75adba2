#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "graph/Graph.h"
#include "graph/GraphFileError.h"
#include "graph/GraphPlot.h"
#include "graph/tests/GraphTestSupport.h"
#include "platform/CFormat.h"
#include "testsupport/TempFolder.h"

namespace voltrex {
namespace {

using testing::ReadBytes;
using testing::TempFolder;

constexpr std::size_t PixelData = 1078;
constexpr std::size_t Palette = 54;

std::uint32_t U32(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    return bytes[at] | (bytes[at + 1] << 8) | (bytes[at + 2] << 16) |
           (static_cast<std::uint32_t>(bytes[at + 3]) << 24);
}

std::uint32_t U16(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    return bytes[at] | (bytes[at + 1] << 8);
}

// The palette entry of an index as blue, green, red, reserved.
std::vector<std::uint8_t> Entry(const std::vector<std::uint8_t>& bytes, std::uint8_t index) {
    const auto at = Palette + 4u * index;
    return {bytes[at], bytes[at + 1], bytes[at + 2], bytes[at + 3]};
}

// The stored palette index of image pixel (x, y) of a 640-wide bitmap.
std::uint8_t StoredPixel(const std::vector<std::uint8_t>& bytes, int x, int y) {
    return bytes[PixelData + static_cast<std::size_t>(479 - y) * 640 + static_cast<std::size_t>(x)];
}

class GraphBitmapTest : public ::testing::Test {
  protected:
    TempFolder folder;
    Graph graph;
};

TEST_F(GraphBitmapTest, TheFileHasTheFixedEightBitLayout) {
    graph.CreateGraph(0.0, 3.5);
    const std::string name = folder.File("graph.bmp");
    graph.SaveCurrentGraph(name);
    const std::vector<std::uint8_t> bytes = ReadBytes(name);
    ASSERT_EQ(bytes.size(), 308278u);
    EXPECT_EQ(bytes[0], 'B');
    EXPECT_EQ(bytes[1], 'M');
    EXPECT_EQ(U32(bytes, 2), 308278u);
    EXPECT_EQ(U16(bytes, 6), 0u);
    EXPECT_EQ(U16(bytes, 8), 0u);
    EXPECT_EQ(U32(bytes, 10), 1078u);
    EXPECT_EQ(U32(bytes, 14), 40u);
    EXPECT_EQ(U32(bytes, 18), 640u);
    EXPECT_EQ(U32(bytes, 22), 480u);
    EXPECT_EQ(U16(bytes, 26), 1u);
    EXPECT_EQ(U16(bytes, 28), 8u);
    EXPECT_EQ(U32(bytes, 30), 0u);
    EXPECT_EQ(U32(bytes, 34), 307200u);
    EXPECT_EQ(U32(bytes, 38), 0u);
    EXPECT_EQ(U32(bytes, 42), 0u);
    EXPECT_EQ(U32(bytes, 46), 256u);
    EXPECT_EQ(U32(bytes, 50), 0u);
    // The colour cube's corners and the black padding after it.
    EXPECT_EQ(Entry(bytes, 0), (std::vector<std::uint8_t>{0, 0, 0, 0}));
    EXPECT_EQ(Entry(bytes, 215), (std::vector<std::uint8_t>{255, 255, 255, 0}));
    EXPECT_EQ(Entry(bytes, 255), (std::vector<std::uint8_t>{0, 0, 0, 0}));
}

TEST_F(GraphBitmapTest, PixelsAreStoredBottomRowFirstAsTheirPaletteEntries) {
    graph.CreateGraph(0.0, 3.5);
    RasterImage& image = graph.Image();
    image.SetPixel(5, 479);  // the bottom row, the last row of the status band
    image.SetPixel(7, 0);
    image.SetTraceColor(MakeRgb(26, 25, 250));  // off the palette
    image.SetPixel(9, 100);
    const std::string name = folder.File("graph.bmp");
    graph.SaveCurrentGraph(name);
    const std::vector<std::uint8_t> bytes = ReadBytes(name);
    ASSERT_EQ(bytes.size(), 308278u);

    const std::uint8_t trace = bytes[PixelData + 5];
    EXPECT_EQ(Entry(bytes, trace), (std::vector<std::uint8_t>{102, 204, 0, 0}));
    EXPECT_EQ(bytes[PixelData + 4], 0);
    EXPECT_EQ(Entry(bytes, bytes[PixelData + 4]), (std::vector<std::uint8_t>{0, 0, 0, 0}));
    EXPECT_EQ(StoredPixel(bytes, 7, 0), trace);
    EXPECT_EQ(bytes[bytes.size() - 640 + 7], trace);  // the top row comes last
    // Any other colour takes its nearest entry: (26, 25, 250) -> (51, 0, 255).
    EXPECT_EQ(Entry(bytes, StoredPixel(bytes, 9, 100)), (std::vector<std::uint8_t>{255, 0, 51, 0}));
}

TEST_F(GraphBitmapTest, SavingAgainReplacesTheFile) {
    const std::string name = folder.File("graph.bmp");
    testing::WriteBytes(name, std::vector<std::uint8_t>(400000, 0xAA));
    graph.CreateGraph(0.0, 3.5);
    graph.SaveCurrentGraph(name);
    AddPoint(*graph.CurrentGraph(), 0, 1.0);
    graph.SaveCurrentGraph(name);
    const std::vector<std::uint8_t> bytes = ReadBytes(name);
    EXPECT_EQ(bytes.size(), 308278u);
    EXPECT_EQ(bytes[0], 'B');
    EXPECT_EQ(folder.Files(), std::vector<std::string>{"graph.bmp"});
}

TEST_F(GraphBitmapTest, AFileThatCannotBeCreatedThrowsAndLeavesNothing) {
    graph.CreateGraph(0.0, 3.5);
    const std::string name = folder.File("missing/graph.bmp");
    try {
        graph.SaveCurrentGraph(name);
        FAIL() << "no error";
    } catch (const GraphFileError& error) {
        EXPECT_EQ(std::string(error.what()), "Cannot create file " + name);
        EXPECT_EQ(error.FileName(), name);
    }
    EXPECT_TRUE(folder.Files().empty());
}

TEST_F(GraphBitmapTest, AFailureAfterWritingRemovesTheTemporaryFile) {
    // A folder of that name: the bitmap is written, but cannot take its place.
    const std::string name = folder.File("taken");
    std::filesystem::create_directory(name);
    std::filesystem::create_directory(folder.File("taken/inside"));
    graph.CreateGraph(0.0, 3.5);
    EXPECT_THROW(graph.SaveCurrentGraph(name), GraphFileError);
    EXPECT_EQ(folder.Files(), std::vector<std::string>{"taken"});
}

TEST_F(GraphBitmapTest, WithoutAGraphNothingIsSaved) {
    EXPECT_EQ(graph.CurrentGraph(), nullptr);
    graph.SaveCurrentGraph(folder.File("graph.bmp"));
    EXPECT_TRUE(folder.Files().empty());
}

TEST_F(GraphBitmapTest, CreateGraphReplacesTheCurrentGraphAndBlanksTheImage) {
    graph.CreateGraph(0.0, 0.0);
    GraphPlot* first = graph.CurrentGraph();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(&first->Canvas, &graph.Image());
    AddPoint(*first, 0, 5.0);
    SetTitleLine(*first, "Title");
    graph.CreateGraph(4.0, 8.0);
    GraphPlot* second = graph.CurrentGraph();
    EXPECT_EQ(second->Low, 4.0);
    EXPECT_EQ(second->ColumnWeight[0], 0.0);
    for (int y = 0; y < Graph::ImageHeight; ++y) {
        for (int x = 0; x < Graph::ImageWidth; ++x) {
            ASSERT_EQ(graph.Image().Pixel(x, y), GraphBlack) << x << "," << y;
        }
    }
}

// ---------------------------------------------------------------------------
// Golden image: a one-hour discharge of a 7-cell NiMH pack drawn the way the
// discharge test draws it, compared byte for byte with the bitmap committed in
// graph/tests/golden/. After a deliberate change to the drawing, regenerate it
// with
//     VOLTREX_UPDATE_GOLDEN=1 <build>/bin/graph_tests --gtest_filter='*Golden*'
// look at the new file, and commit it with the change.

// The pack voltage under load, piecewise linear in the elapsed seconds (no
// library mathematics, so every machine computes the same doubles).
double SampleVoltage(int second) {
    static constexpr double Knots[][2] = {{0, 9.62},    {20, 9.20},   {120, 8.98},
                                          {600, 8.78},  {1800, 8.55}, {3000, 8.33},
                                          {3400, 8.10}, {3560, 7.60}, {3620, 6.70}};
    for (std::size_t i = 1; i < std::size(Knots); ++i) {
        if (second <= Knots[i][0]) {
            const double share = (second - Knots[i - 1][0]) / (Knots[i][0] - Knots[i - 1][0]);
            return Knots[i - 1][1] + share * (Knots[i][1] - Knots[i - 1][1]);
        }
    }
    return Knots[std::size(Knots) - 1][1];
}

void DrawSampleDischarge(Graph& graph) {
    graph.CreateGraph(0.0, 0.0);
    SetTitleLine(*graph.CurrentGraph(), "Internal Resistance");
    graph.CreateGraph(6.86, 9.62 + 0.05);
    GraphPlot& plot = *graph.CurrentGraph();
    SetTitleLine(plot,
                 "Discharge  Battery: 7 NiMH  Rate: 2000mA  VMin: 6.86V  "
                 "Resistance: 0.1500 Ohms");
    std::uint32_t noise = 12345;
    double charge = 0.0;
    double energy = 0.0;
    bool done = false;
    for (int second = 0; !done; ++second) {
        const double voltage = SampleVoltage(second);
        charge += 2.0;
        energy += 2.0 * voltage;
        for (int sample = 0; sample < 3; ++sample) {
            noise = noise * 1103515245u + 12345u;
            const double reading = voltage + static_cast<int>((noise >> 16) % 7 - 3) * 0.001;
            done = done || reading < 6.86;
            SetStatusLine(plot, Format("Time: %d:%02d:%02d  Voltage: %1.2fV  Discharge: "
                                       "%1.0fmAh (%1.0fmWh)",
                                       second / 3600, (second % 3600) / 60, second % 60, reading,
                                       charge / 3.6, energy / 3.6));
            AddPoint(plot, second, reading);
        }
    }
}

TEST(GraphGolden, ADischargeDrawsTheStoredImage) {
    Graph graph;
    DrawSampleDischarge(graph);
    TempFolder folder;
    const std::string actualName = folder.File("discharge.bmp");
    graph.SaveCurrentGraph(actualName);
    const std::vector<std::uint8_t> actual = ReadBytes(actualName);

    const std::string goldenName = std::string(VOLTREX_GRAPH_GOLDEN_DIR) + "/discharge.bmp";
    const char* update = std::getenv("VOLTREX_UPDATE_GOLDEN");
    if (update != nullptr && std::string(update) == "1") {
        graph.SaveCurrentGraph(goldenName);
        GTEST_SKIP() << "golden image written to " << goldenName;
    }

    const std::vector<std::uint8_t> golden = ReadBytes(goldenName);
    ASSERT_FALSE(golden.empty()) << goldenName
                                 << " is missing; make it with VOLTREX_UPDATE_GOLDEN=1";
    ASSERT_EQ(actual.size(), golden.size());
    for (std::size_t at = 0; at < actual.size(); ++at) {
        if (actual[at] != golden[at]) {
            graph.SaveCurrentGraph("discharge-actual.bmp");
            const long pixel = static_cast<long>(at) - 1078;
            FAIL() << "first difference at byte " << at << " (pixel " << pixel % 640 << ","
                   << 479 - pixel / 640 << "); this run's image is discharge-actual.bmp in "
                   << std::filesystem::current_path();
        }
    }
}

}  // namespace
}  // namespace voltrex
