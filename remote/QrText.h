#pragma once

#include <string>

namespace voltrex::remote {

// The text as a QR code for a terminal: two rows of modules per line in
// Unicode half blocks, dark on light with the quiet zone around it, so a
// phone's camera reads it from the screen. Empty when it cannot be encoded.
std::string QrText(const std::string& text);

}  // namespace voltrex::remote
