#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "config/Configuration.h"

namespace voltrex {

// The file name the program reads, in its working directory.
inline constexpr const char* ConfigurationFileName = "Voltrex2.ini";

// Room for one line as fgets reads it: 254 characters and the terminator.
inline constexpr int ConfigLineBufferSize = 255;

// Returns the next significant line of the file in the caller's buffer (which
// the next call overwrites), or nullptr at end of file. Lines are read as fgets
// reads them with a limit of 255 bytes, so a longer line is split and its rest
// read as the next line. A line that begins with ';' or white space is skipped.
const char* ReadConfigLine(std::FILE* file, char (&buffer)[ConfigLineBufferSize]);

// The same, and keeps count of the file's lines as an editor numbers them:
// linesEnded holds how many lines have been read up to their end (start at
// 0), and lineNumber receives the number of the line the returned text is
// from (the two parts of a split line share one number).
const char* ReadConfigLine(std::FILE* file, char (&buffer)[ConfigLineBufferSize],
                           std::int32_t& linesEnded, std::int32_t& lineNumber);

// Reads the 40 significant lines of the configuration file at path straight
// into config. Returns nothing on success, otherwise the message of the first
// line that is missing or does not parse; the lines before it have been stored
// (and possibly the first value of the failing line), the rest keep their values.
std::optional<std::string> ReadConfiguration(Configuration& config,
                                             const std::string& path = ConfigurationFileName);

}  // namespace voltrex
