#include "graph/RasterImage.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

#include "graph/GraphFont.h"

namespace voltrex {

RasterImage::RasterImage(int width, int height)
    : width_(std::max(width, 0)),
      height_(std::max(height, 0)),
      pixels_(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_),
              MakeRgb(0, 0, 0)) {}

Rgb32 RasterImage::Pixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) {
        return MakeRgb(0, 0, 0);
    }
    return pixels_[static_cast<std::size_t>(y) * width_ + x];
}

void RasterImage::FillRect(int left, int top, int right, int bottom) {
    left = std::max(left, 0);
    top = std::max(top, 0);
    right = std::min(right, width_);
    bottom = std::min(bottom, height_);
    if (top < bottom && left < right) {
        Touch(top, bottom);
    }
    for (int y = top; y < bottom; ++y) {
        Rgb32* row = pixels_.data() + static_cast<std::size_t>(y) * width_;
        std::fill(row + left, row + std::max(left, right), fill_);
    }
}

void RasterImage::SetPixel(int x, int y) {
    if (x >= 0 && y >= 0 && x < width_ && y < height_) {
        Rgb32& pixel = pixels_[static_cast<std::size_t>(y) * width_ + x];
        if (pixel != trace_) {
            pixel = trace_;
            drawn_ = true;
        }
        if (y >= bandTop_ && y < bandBottom_) {
            ForgetBand();
        }
    }
}

void RasterImage::MoveTo(int x, int y) {
    penX_ = x;
    penY_ = y;
}

// Bresenham's line from the pen to (x, y), every pixel but the end point, as the
// Windows drawing interface does: a polyline then never sets a joint twice, and
// a line of length zero draws nothing. The pen moves to the end point. Pixels
// are clipped one by one, so a line costs its full length even where it runs
// outside the image; the graph's lines are short and inside.
void RasterImage::LineTo(int x, int y) {
    // A line that lies wholly on one side of the image has nothing to show.
    if ((penX_ < 0 && x < 0) || (penY_ < 0 && y < 0) || (penX_ >= width_ && x >= width_) ||
        (penY_ >= height_ && y >= height_)) {
        MoveTo(x, y);
        return;
    }
    long long cx = penX_;
    long long cy = penY_;
    const long long dx = std::llabs(static_cast<long long>(x) - cx);
    const long long dy = -std::llabs(static_cast<long long>(y) - cy);
    const int sx = cx < x ? 1 : -1;
    const int sy = cy < y ? 1 : -1;
    long long error = dx + dy;
    while (cx != x || cy != y) {
        SetPixel(static_cast<int>(cx), static_cast<int>(cy));
        const long long doubled = 2 * error;
        if (doubled >= dy) {
            error += dy;
            cx += sx;
        }
        if (doubled <= dx) {
            error += dx;
            cy += sy;
        }
    }
    MoveTo(x, y);
}

// Text is opaque: its whole cell (TextWidth x TextHeight) first takes the fill
// colour, then the glyphs are set in the trace colour, so new text drawn over
// old text at the same place leaves nothing of the old.
void RasterImage::TextOut(int x, int y, const std::string& text) {
    const long long right = static_cast<long long>(x) + TextWidth(text);
    FillRect(x, y, static_cast<int>(std::min<long long>(right, width_)), y + GlyphHeight);
    for (std::size_t index = 0; index < text.size(); ++index) {
        const long long left =
            static_cast<long long>(x) + static_cast<long long>(index) * GlyphWidth;
        if (left >= width_) {
            break;
        }
        if (left + GlyphWidth <= 0) {
            continue;
        }
        const GlyphRows& glyph = GraphGlyph(text[index]);
        for (int row = 0; row < GlyphHeight; ++row) {
            for (int column = 0; column < GlyphWidth - 1; ++column) {
                if ((glyph[row] >> (GlyphWidth - 2 - column)) & 1) {
                    SetPixel(static_cast<int>(left) + column, y + row);
                }
            }
        }
    }
}

int RasterImage::TextWidth(const std::string& text) const {
    return static_cast<int>(text.size()) * GlyphWidth;
}

// Every text is one cell high, the empty text included, so that the title and
// status bands keep their height whatever they show.
int RasterImage::TextHeight(const std::string& /*text*/) const {
    return GlyphHeight;
}

void RasterImage::SetRepaintCallback(std::function<void(const PixelRect&)> callback) {
    repaint_ = std::move(callback);
    // A new window has shown nothing yet.
    drawn_ = true;
}

void RasterImage::Repaint(const PixelRect& changed) {
    const PixelRect clipped{std::max(changed.Left, 0), std::max(changed.Top, 0),
                            std::min(changed.Right, width_), std::min(changed.Bottom, height_)};
    if (!repaint_ || clipped.Left >= clipped.Right || clipped.Top >= clipped.Bottom) {
        return;
    }
    if (!drawn_ && clipped.Left == shown_.Left && clipped.Top == shown_.Top &&
        clipped.Right == shown_.Right && clipped.Bottom == shown_.Bottom) {
        return;
    }
    drawn_ = false;
    shown_ = clipped;
    repaint_(clipped);
}

void RasterImage::KeepBand(int top, int bottom, const std::string& text) {
    bandTop_ = top;
    bandBottom_ = bottom;
    // Assigned into the kept string's own storage: once it has held a text
    // as long, keeping another allocates nothing.
    bandText_.assign(text);
}

}  // namespace voltrex
