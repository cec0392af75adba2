#pragma once

#include <string_view>

namespace voltrex {

// Writes the whole text to a file descriptor, resuming after short writes and
// interrupted calls. False on the first error (errno tells which).
bool WriteAll(int fd, std::string_view text);

}  // namespace voltrex
