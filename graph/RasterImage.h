#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace voltrex {

// A rectangle of pixels; Right and Bottom are exclusive.
struct PixelRect {
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;
};

// 0xFFRRGGBB, the pixel layout of Qt's QImage::Format_RGB32.
using Rgb32 = std::uint32_t;
constexpr Rgb32 MakeRgb(int red, int green, int blue) {
    return 0xFF000000u | (static_cast<Rgb32>(red) << 16) | (static_cast<Rgb32>(green) << 8) |
           static_cast<Rgb32>(blue);
}

// The graph's drawing surface: a fixed-size pixel buffer, top row first, one
// 32-bit word per pixel, rows packed (BytesPerLine = Width * 4), which the
// window shows without copying. Text uses the built-in 6 x 11 bold bitmap font,
// so every machine draws the same pixels.
//
// Drawing primitives follow the classic Windows GDI semantics: rectangles
// exclude their right and bottom edges, lines exclude their end point, and text
// paints its whole cell in the fill colour before drawing the glyphs in the
// trace colour. Everything is clipped at the image's edges.
//
// Repaint(rect) asks the window to show the changed rectangle at once; the
// window installs the callback (none by default). A request for the very
// rectangle shown last, with nothing drawn since, changes nothing on the
// screen and is not passed on: a test's steady state plots the same pixel
// pass after pass, and each repaint is a round trip to the display.
//
// A band of full rows can be marked as holding a text (KeepBand), so that
// writing the same text there again can be skipped (BandHolds): any drawing
// that reaches one of its rows, and any change of colour, forgets the mark.
class RasterImage {
  public:
    RasterImage(int width, int height);

    int Width() const { return width_; }
    int Height() const { return height_; }
    int BytesPerLine() const { return width_ * 4; }
    Rgb32* Bits() { return pixels_.data(); }
    const Rgb32* Bits() const { return pixels_.data(); }
    Rgb32 Pixel(int x, int y) const;

    void SetFillColor(Rgb32 color) {
        if (color != fill_) {
            ForgetBand();
        }
        fill_ = color;
    }
    void SetTraceColor(Rgb32 color) {
        if (color != trace_) {
            ForgetBand();
        }
        trace_ = color;
    }
    Rgb32 FillColor() const { return fill_; }
    Rgb32 TraceColor() const { return trace_; }

    void FillRect(int left, int top, int right, int bottom);
    void SetPixel(int x, int y);
    void MoveTo(int x, int y);
    void LineTo(int x, int y);
    void TextOut(int x, int y, const std::string& text);
    int TextWidth(const std::string& text) const;
    int TextHeight(const std::string& text) const;

    void SetRepaintCallback(std::function<void(const PixelRect&)> callback);
    void Repaint(const PixelRect& changed);

    // Rows top to bottom - 1 now show text as drawn by the caller, who asks
    // BandHolds before drawing the same band again.
    void KeepBand(int top, int bottom, const std::string& text);
    bool BandHolds(int top, int bottom, const std::string& text) const {
        return bandTop_ < bandBottom_ && bandTop_ == top && bandBottom_ == bottom &&
               bandText_ == text;
    }

  private:
    void Touch(int top, int bottom) {
        drawn_ = true;
        if (top < bandBottom_ && bottom > bandTop_) {
            ForgetBand();
        }
    }
    void ForgetBand() { bandTop_ = bandBottom_ = 0; }

    int width_;
    int height_;
    std::vector<Rgb32> pixels_;
    Rgb32 fill_ = MakeRgb(0, 0, 0);
    Rgb32 trace_ = MakeRgb(0, 204, 102);
    int penX_ = 0;
    int penY_ = 0;
    std::function<void(const PixelRect&)> repaint_;
    // Whether any pixel may have changed since the last repaint, and what it
    // showed.
    bool drawn_ = true;
    PixelRect shown_;
    int bandTop_ = 0;
    int bandBottom_ = 0;
    std::string bandText_;
};

}  // namespace voltrex
