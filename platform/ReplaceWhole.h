#pragma once

#include <string>
#include <string_view>

namespace voltrex {

// Replaces the file at path by the contents so that the name holds, at every
// moment, either the whole old file or the whole new one: never a half-written
// file, also when the disk fills up, the program is killed or the machine
// loses power in the middle.
//
// The contents go to a new file in the same folder, which is flushed to the
// disk and only then renamed over the name; the folder is flushed after the
// rename, so that the rename itself survives a power cut. An existing file
// keeps its permission bits; a new one gets 0666 less the umask, as a file
// any program creates. A symbolic link is followed to the file it names (along
// a chain of links, and also when that file does not exist yet), which is
// replaced, so the link stays a link.
//
// Returns whether the file was replaced; errno tells why not. The old file (or
// its absence) is then as it was, and no temporary file is left behind.
bool ReplaceWhole(const std::string& path, std::string_view contents);

}  // namespace voltrex
