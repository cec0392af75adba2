#pragma once

#include <sys/types.h>

#include <cstdio>
#include <string>

namespace voltrex {

// A descriptor of a regular file (or of the regular file a symbolic link
// points to), closed when it goes out of scope.
//
// The program's files are named by the user's working directory, and a name
// there may be anything: a FIFO (opening one blocks until somebody opens the
// other end, which may be never), a device or a folder. Open never waits on
// such a name and refuses it at once, like a file that cannot be opened.
class RegularFile {
  public:
    // The error of a name that is something other than a regular file and
    // that the system has no errno value for (a FIFO, a device, a socket).
    static constexpr int NotRegular = -1;

    // Opens path with the open(2) flags and, for O_CREAT, the mode; O_CLOEXEC
    // and O_NOCTTY are always added. On failure the file is not open and
    // Error() tells why: errno of the failed open, EISDIR for a folder, or
    // NotRegular.
    static RegularFile Open(const std::string& path, int flags, mode_t mode = 0);

    RegularFile() = default;
    RegularFile(RegularFile&& other) noexcept;
    RegularFile& operator=(RegularFile&& other) noexcept;
    RegularFile(const RegularFile&) = delete;
    RegularFile& operator=(const RegularFile&) = delete;
    ~RegularFile();

    explicit operator bool() const { return fd_ >= 0; }
    int Descriptor() const { return fd_; }
    int Error() const { return error_; }
    // Why the file could not be opened, for a message: the system's text for
    // the error ("Permission denied"), or "not a regular file".
    std::string FailureReason() const;

    // Hands the descriptor to a C stream opened with the fdopen mode; the
    // stream then closes it. nullptr (and the descriptor still owned here)
    // when there is no descriptor or no memory for the stream.
    std::FILE* ReleaseToStream(const char* mode);
    // Closes now; returns what close(2) returns (-1 with errno for a write
    // error that only shows when the file is closed).
    int Close();

  private:
    int fd_ = -1;
    int error_ = 0;
};

}  // namespace voltrex
