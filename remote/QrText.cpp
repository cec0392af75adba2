#include "remote/QrText.h"

#include <qrencode.h>

#include <memory>

namespace voltrex::remote {

std::string QrText(const std::string& text) {
    const std::unique_ptr<QRcode, decltype(&QRcode_free)> code(
        QRcode_encodeString(text.c_str(), 0, QR_ECLEVEL_M, QR_MODE_8, 1), &QRcode_free);
    if (!code) {
        return {};
    }
    constexpr int Quiet = 2;
    const int size = code->width;
    // The terminal's text is light on dark as often as not: the code is
    // drawn with the light modules as blocks, so it reads either way round
    // as long as the blocks are the light colour.
    const auto dark = [&](int x, int y) {
        if (x < 0 || y < 0 || x >= size || y >= size) {
            return false;
        }
        return (code->data[y * size + x] & 1) != 0;
    };
    std::string out;
    for (int y = -Quiet; y < size + Quiet; y += 2) {
        for (int x = -Quiet; x < size + Quiet; ++x) {
            const bool top = !dark(x, y);
            const bool bottom = !dark(x, y + 1);
            out += top && bottom ? "\u2588" : top ? "\u2580" : bottom ? "\u2584" : " ";
        }
        out += '\n';
    }
    return out;
}

}  // namespace voltrex::remote
