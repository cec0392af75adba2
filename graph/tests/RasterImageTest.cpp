#include "graph/RasterImage.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "graph/GraphFont.h"
#include "graph/tests/GraphTestSupport.h"

namespace voltrex {
namespace {

using testing::Lit;

constexpr Rgb32 Black = MakeRgb(0, 0, 0);
constexpr Rgb32 Red = MakeRgb(255, 0, 0);

int LitCount(const RasterImage& image) {
    int count = 0;
    for (int y = 0; y < image.Height(); ++y) {
        for (int x = 0; x < image.Width(); ++x) {
            count += Lit(image, x, y) ? 1 : 0;
        }
    }
    return count;
}

TEST(RasterImage, StartsBlackInRgb32LayoutTopRowFirst) {
    RasterImage image(5, 3);
    EXPECT_EQ(image.BytesPerLine(), 20);
    for (int i = 0; i < 15; ++i) {
        EXPECT_EQ(image.Bits()[i], 0xFF000000u);
    }
    image.SetPixel(4, 1);
    EXPECT_EQ(image.Bits()[1 * 5 + 4], 0xFF00CC66u);
    EXPECT_EQ(image.Pixel(-1, 0), Black);
    EXPECT_EQ(image.Pixel(5, 0), Black);
}

TEST(RasterImage, FillRectExcludesRightAndBottomAndClips) {
    RasterImage image(10, 10);
    image.SetFillColor(Red);
    image.FillRect(2, 3, 5, 4);
    for (int y = 0; y < 10; ++y) {
        for (int x = 0; x < 10; ++x) {
            const bool inside = x >= 2 && x < 5 && y == 3;
            EXPECT_EQ(image.Pixel(x, y), inside ? Red : Black) << x << "," << y;
        }
    }
    image.FillRect(-5, -5, 100, 100);
    EXPECT_EQ(image.Pixel(0, 0), Red);
    EXPECT_EQ(image.Pixel(9, 9), Red);
    image.SetFillColor(Black);
    image.FillRect(6, 6, 6, 9);  // empty: right == left
    image.FillRect(8, 8, 7, 9);  // inverted
    EXPECT_EQ(image.Pixel(6, 6), Red);
    EXPECT_EQ(image.Pixel(7, 8), Red);
}

TEST(RasterImage, LinesLeaveOutTheirEndPointAndMoveThePen) {
    RasterImage image(20, 20);
    image.MoveTo(2, 5);
    image.LineTo(6, 5);
    EXPECT_TRUE(Lit(image, 2, 5));
    EXPECT_TRUE(Lit(image, 5, 5));
    EXPECT_FALSE(Lit(image, 6, 5));
    image.LineTo(6, 1);  // continues from (6, 5) upwards
    EXPECT_TRUE(Lit(image, 6, 5));
    EXPECT_TRUE(Lit(image, 6, 2));
    EXPECT_FALSE(Lit(image, 6, 1));
    EXPECT_EQ(LitCount(image), 8);

    RasterImage still(4, 4);
    still.MoveTo(1, 1);
    still.LineTo(1, 1);
    EXPECT_EQ(LitCount(still), 0);
}

TEST(RasterImage, GeneralLinesAreBresenhamLines) {
    RasterImage image(12, 12);
    image.MoveTo(0, 0);
    image.LineTo(9, 3);  // slope 1/3: each pixel on the row nearest the true line
    const std::vector<std::pair<int, int>> expected{{0, 0}, {1, 0}, {2, 1}, {3, 1}, {4, 1},
                                                    {5, 2}, {6, 2}, {7, 2}, {8, 3}};
    for (const auto& [x, y] : expected) {
        EXPECT_TRUE(Lit(image, x, y)) << x << "," << y;
    }
    EXPECT_EQ(LitCount(image), 9);

    RasterImage back(12, 12);
    back.MoveTo(10, 10);
    back.LineTo(7, 7);  // diagonal backwards
    EXPECT_TRUE(Lit(back, 10, 10));
    EXPECT_TRUE(Lit(back, 8, 8));
    EXPECT_FALSE(Lit(back, 7, 7));
    EXPECT_EQ(LitCount(back), 3);

    RasterImage clipped(5, 5);
    clipped.MoveTo(-100, 2);
    clipped.LineTo(100, 2);
    EXPECT_EQ(LitCount(clipped), 5);
    clipped.MoveTo(-2000000000, -7);  // wholly above the image: nothing, at once
    clipped.LineTo(2, -7);
    clipped.LineTo(2, 3);  // from where the pen went: rows 0 to 2 of column 2
    EXPECT_TRUE(Lit(clipped, 2, 0));
    EXPECT_FALSE(Lit(clipped, 2, 3));
    EXPECT_EQ(LitCount(clipped), 5 + 2);
}

TEST(RasterImage, TextPaintsItsWholeCellThenTheGlyphs) {
    RasterImage image(40, 20);
    image.SetFillColor(Red);
    image.FillRect(0, 0, 40, 20);
    image.SetFillColor(Black);
    image.TextOut(3, 2, "H");
    // The cell (3..8, 2..12) is black where the glyph has no ink...
    EXPECT_EQ(image.Pixel(3, 2), Black);
    EXPECT_EQ(image.Pixel(8, 12), Black);
    // ...and outside it nothing changed.
    EXPECT_EQ(image.Pixel(9, 5), Red);
    EXPECT_EQ(image.Pixel(3, 13), Red);
    EXPECT_EQ(image.Pixel(2, 5), Red);
    // The H's left stem: columns 0 and 1 of the cell, capital rows 2..8.
    EXPECT_TRUE(Lit(image, 3, 4));
    EXPECT_TRUE(Lit(image, 4, 10));
    EXPECT_FALSE(Lit(image, 8, 6));  // the sixth column keeps characters apart
}

TEST(RasterImage, TextIsClippedAtTheEdges) {
    // Drawing past the edges shows exactly the part of the text that a larger
    // image shows in the same window.
    RasterImage small(10, 8);
    RasterImage large(60, 40);
    small.TextOut(-4, -3, "WW");
    small.TextOut(7, 5, "Wide text past the edge");
    large.TextOut(20 - 4, 20 - 3, "WW");
    large.TextOut(20 + 7, 20 + 5, "Wide text past the edge");
    for (int y = 0; y < small.Height(); ++y) {
        for (int x = 0; x < small.Width(); ++x) {
            EXPECT_EQ(small.Pixel(x, y), large.Pixel(x + 20, y + 20)) << x << "," << y;
        }
    }
    EXPECT_GT(LitCount(small), 10);
}

TEST(RasterImage, TextExtentIsSixPixelsPerCharacterAndElevenHigh) {
    RasterImage image(1, 1);
    EXPECT_EQ(image.TextWidth("99.99"), 30);
    EXPECT_EQ(image.TextWidth(""), 0);
    EXPECT_EQ(image.TextHeight(""), 11);
    EXPECT_EQ(image.TextHeight(" "), 11);
    EXPECT_EQ(image.TextHeight("Time: 1:00:00"), 11);
}

TEST(RasterImage, RepaintPassesTheChangedRectangleClippedToTheImage) {
    RasterImage image(100, 50);
    image.Repaint({0, 0, 10, 10});  // no callback yet: nothing happens
    std::vector<PixelRect> calls;
    image.SetRepaintCallback([&calls](const PixelRect& rect) { calls.push_back(rect); });
    image.Repaint({5, 6, 7, 8});
    image.Repaint({-5, 40, 200, 60});
    image.Repaint({20, 20, 20, 30});  // empty: no call
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].Left, 5);
    EXPECT_EQ(calls[0].Bottom, 8);
    EXPECT_EQ(calls[1].Left, 0);
    EXPECT_EQ(calls[1].Top, 40);
    EXPECT_EQ(calls[1].Right, 100);
    EXPECT_EQ(calls[1].Bottom, 50);
}

TEST(GraphFont, EveryPrintableCharacterHasItsOwnGlyph) {
    std::set<GlyphRows> seen;
    for (int code = 33; code <= 126; ++code) {
        const GlyphRows& glyph = GraphGlyph(static_cast<char>(code));
        bool inked = false;
        for (const auto row : glyph) {
            inked = inked || row != 0;
            EXPECT_LT(row, 1 << (GlyphWidth - 1)) << "sixth column must stay blank";
        }
        EXPECT_TRUE(inked) << static_cast<char>(code);
        // Zero and capital O share their shape, as in many screen fonts.
        if (code != 'O') {
            EXPECT_TRUE(seen.insert(glyph).second) << "duplicate glyph " << static_cast<char>(code);
        }
    }
    EXPECT_EQ(GraphGlyph(' '), GlyphRows{});
}

TEST(GraphFont, OtherBytesShowAsABox) {
    const GlyphRows& box = GraphGlyph('\x01');
    EXPECT_NE(box, GlyphRows{});
    EXPECT_EQ(GraphGlyph('\x7F'), box);
    EXPECT_EQ(GraphGlyph('\xC3'), box);  // a UTF-8 lead byte
    EXPECT_EQ(GraphGlyph('\n'), box);
    EXPECT_NE(GraphGlyph('?'), box);
}

}  // namespace
}  // namespace voltrex
