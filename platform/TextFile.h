#pragma once

#include <cstdint>
#include <string>

namespace voltrex {

// A file read whole, opened for reading only (the write helpers are
// AppendWhole and ReplaceWhole). A name that is no regular file (a folder, a
// FIFO, a device) is refused at once instead of waiting on it.
struct TextFile {
    bool Exists = false;  // false: no such file (then Error is empty)
    std::string Text;
    std::string Error;  // why an existing name could not be read
    std::int64_t Size = 0;
};

TextFile ReadTextFile(const std::string& path);

// The first headBytes and the last tailBytes of the file (the whole file when
// it is not longer than both): enough to read a long curve file's header and
// its end without reading its rows. Split reports whether bytes were left out
// between the two parts.
struct FileEnds {
    TextFile Head;
    std::string Tail;
    bool Split = false;
};
FileEnds ReadFileEnds(const std::string& path, std::size_t headBytes, std::size_t tailBytes);

}  // namespace voltrex
