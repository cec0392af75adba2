#pragma once

#include <optional>
#include <string>
#include <vector>

#include "config/Configuration.h"

namespace voltrex {

// The configuration file as the setup assistant edits it: its lines of text
// for an editor, written back whole in the encoding they came in, and read
// into the program's record.
//
// The file is meant to be plain ASCII, but a text editor may have put a remark
// with accents into it, in UTF-8 or in Latin-1. Either way the lines are
// handed out as UTF-8, and a save writes a Latin-1 file back as Latin-1, so
// that no byte of a line the user did not touch changes.
class ConfigurationFile {
  public:
    explicit ConfigurationFile(std::string path) : path_(std::move(path)) {}

    const std::string& Path() const { return path_; }

    // The file's lines as UTF-8 text, without their line ends (as
    // LoadConfigurationLines splits them). A file that is valid UTF-8 is taken
    // as it is, less a byte order mark at its very start (which the reader
    // would take for part of the port address); any other file as Latin-1, one
    // character per byte. Returns the reason when the file cannot be read; the
    // lines are then empty, and a later save writes UTF-8.
    std::optional<std::string> Load(std::vector<std::string>& lines);

    // Replaces the file by the lines (UTF-8 text) as SaveConfigurationLines
    // does. A file loaded as Latin-1 is written as Latin-1, unless a line holds
    // a character Latin-1 does not have: the whole file is then UTF-8. Returns
    // the reason when the file cannot be written; it is then unchanged.
    std::optional<std::string> Save(const std::vector<std::string>& lines) const;

    // Reads the file into the record (ReadConfiguration).
    std::optional<std::string> Read(Configuration& config) const;

  private:
    std::string path_;
    bool latin1_ = false;
};

// The file's lines as bytes. A CR LF or LF ends a line, and a last line
// without an end is kept. Returns the reason (the system's text, or "not a
// regular file" for a FIFO or a device, which is refused at once) when the
// file cannot be read; the lines are then empty.
std::optional<std::string> LoadConfigurationLines(const std::string& path,
                                                  std::vector<std::string>& lines);

// Replaces the file by the lines, each ended by CR LF, so that the
// configuration is at every moment either the old text or the new one, never
// a half-written file, also when the disk fills up or the machine loses power
// (ReplaceWhole: the old file's permissions are kept, and a symbolic link
// stays a link). Returns the reason when the file cannot be written; the old
// file is then unchanged.
std::optional<std::string> SaveConfigurationLines(const std::string& path,
                                                  const std::vector<std::string>& lines);

}  // namespace voltrex
