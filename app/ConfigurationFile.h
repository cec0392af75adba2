#pragma once

#include <optional>
#include <string>
#include <vector>

namespace voltrex {

// The configuration file as the setup assistant edits it: whole lines of
// bytes, without their line ends.

// Reads the file's lines; a CR LF or LF ends a line, and a last line without
// an end is kept. Returns the reason (the system's text, or "not a regular
// file" for a FIFO or a device, which is refused at once) when the file
// cannot be read.
std::optional<std::string> LoadConfigurationLines(const std::string& path,
                                                  std::vector<std::string>& lines);

// Replaces the file by the lines, each ended by CR LF. The text goes to a new
// file in the same folder, is flushed to the disk and then renamed over the
// old file, so the configuration is at every moment either the old text or
// the new one, never a half-written file, also when the disk fills up or the
// machine loses power. The old file's permissions are kept, and a symbolic
// link is followed so the link stays. Returns the reason when the file cannot
// be written; the old file is then unchanged.
std::optional<std::string> SaveConfigurationLines(const std::string& path,
                                                  const std::vector<std::string>& lines);

}  // namespace voltrex
