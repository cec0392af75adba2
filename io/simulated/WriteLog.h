// A record of every byte written to a port through the simulated library, so
// that a user can check the program's write sequences against what their
// hardware expects, and a test can watch the port from outside the process.
//
// One line per write, in the order of the writes, fields separated by one
// space and the line ended by '\n':
//
//   1765201234567 0x378 0x35
//
//   1. wall-clock time of the write (CLOCK_REALTIME), whole milliseconds since
//      1970-01-01 00:00 UTC, decimal; it steps if the system clock is set
//   2. the port: "0x" and upper-case hexadecimal without leading zeros
//   3. the byte: "0x" and exactly two upper-case hexadecimal digits
//
// sscanf(line, "%llu %hx %hhx", ...) and strtoul(..., 16) read the fields;
// awk can compare them as text ($2 == "0x378" && $3 == "0x00").
//
// The program switches the instrument off from signal handlers and exit
// handlers through PortOut, so Record is async-signal-safe: it formats the line
// on the stack and hands it to the kernel with one write(2), without
// allocation, stdio or locks. A line that went out stays in the file however
// the process ends after it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace voltrex::io {

class WriteLog {
  public:
    // The longest line: 20 digits of milliseconds, " 0xFFFF", " 0xFF", '\n'.
    static constexpr std::size_t MaxLineLength = 20 + 7 + 5 + 1;

    WriteLog() = default;
    ~WriteLog();
    WriteLog(const WriteLog&) = delete;
    WriteLog& operator=(const WriteLog&) = delete;

    // Creates the file, or empties it (one run per log). Only a regular file
    // is used: a write into a FIFO or onto a terminal can block, and with it
    // the switch-off. Returns "" when the log is open, else why not.
    std::string Open(const std::string& path);

    bool IsOpen() const { return fd_ >= 0; }

    // Appends the line of one write; call only while open. The first line
    // that cannot be written in full (a full disk) is reported on standard
    // error; the writes themselves go on.
    void Record(unsigned short port, unsigned char value);

    // One line, without a terminating NUL, into buffer (at least
    // MaxLineLength bytes); returns its length.
    static std::size_t FormatLine(char* buffer, std::uint64_t milliseconds, unsigned short port,
                                  unsigned char value);

  private:
    int fd_ = -1;
    bool failureReported_ = false;
};

}  // namespace voltrex::io
