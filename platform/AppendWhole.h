#pragma once

#include <sys/types.h>

#include <string>

namespace voltrex {

// Appends text to the regular file at path so that it arrives whole or not at
// all: a record file read by spreadsheets and scripts must never end in half a
// line, which would also glue the next record onto it.
//
// The file is opened for appending only (never truncated); when it does not
// exist, this call creates it with the mode (less the umask) and puts the
// header in front of the text: whether the name exists alone decides, the
// contents are never examined. The text goes out in one write where the
// system allows (so that a reader never sees part of it) and is flushed to
// the disk before the call returns. When the write or the flush fails (a full
// disk, a file size limit, an I/O error), the file is cut back to the length
// it had before, and a file that this call created is removed again, so the
// next append starts it afresh with its header.
//
// A name that cannot be opened for appending, or that is not a regular file
// (a FIFO, a device, a folder), is left alone at once: nothing is written and
// nothing waits. Returns whether the text was appended; errno tells why not
// (EINVAL for a name that is not a regular file).
bool AppendWhole(const std::string& path, const std::string& text, const std::string& header,
                 mode_t mode);

}  // namespace voltrex
