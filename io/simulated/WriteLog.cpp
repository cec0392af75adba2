#include "io/simulated/WriteLog.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace voltrex::io {

namespace {

constexpr char HexDigits[] = "0123456789ABCDEF";

// Appends the hexadecimal digits of value, at least minDigits of them.
char* PutHex(char* out, unsigned value, int minDigits) {
    char digits[8];
    int count = 0;
    do {
        digits[count++] = HexDigits[value & 0xFU];
        value >>= 4;
    } while (value != 0 || count < minDigits);
    while (count > 0) {
        *out++ = digits[--count];
    }
    return out;
}

char* PutDecimal(char* out, std::uint64_t value) {
    char digits[20];
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (count > 0) {
        *out++ = digits[--count];
    }
    return out;
}

}  // namespace

WriteLog::~WriteLog() {
    if (fd_ >= 0) {
        const int fd = fd_;
        fd_ = -1;
        close(fd);
    }
}

std::string WriteLog::Open(const std::string& path) {
    if (fd_ >= 0) {
        close(fd_);
        fd_ = -1;
    }
    // O_NONBLOCK keeps open() itself from waiting for the reader of a FIFO.
    // O_APPEND: every line lands at the end, also when a forked child shares
    // the descriptor.
    const int fd =
        open(path.c_str(),
             O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
    struct stat status = {};
    if (fd < 0) {
        const int error = errno;
        // Opened without a reader, a FIFO fails with ENXIO ("No such device
        // or address"), which would not tell the user what is wrong.
        if (stat(path.c_str(), &status) == 0 && S_ISFIFO(status.st_mode)) {
            return "it is not a regular file";
        }
        return std::strerror(error);
    }
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        close(fd);
        return "it is not a regular file";
    }
    fd_ = fd;
    return std::string();
}

std::size_t WriteLog::FormatLine(char* buffer, std::uint64_t milliseconds, unsigned short port,
                                 unsigned char value) {
    char* out = PutDecimal(buffer, milliseconds);
    *out++ = ' ';
    *out++ = '0';
    *out++ = 'x';
    out = PutHex(out, port, 1);
    *out++ = ' ';
    *out++ = '0';
    *out++ = 'x';
    out = PutHex(out, value, 2);
    *out++ = '\n';
    return static_cast<std::size_t>(out - buffer);
}

void WriteLog::Record(unsigned short port, unsigned char value) {
    // A signal handler's write must not change errno under the code it
    // interrupted.
    const int savedErrno = errno;
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    const std::uint64_t milliseconds = now.tv_sec < 0
                                           ? 0
                                           : static_cast<std::uint64_t>(now.tv_sec) * 1000U +
                                                 static_cast<std::uint64_t>(now.tv_nsec / 1000000);
    char line[MaxLineLength];
    const std::size_t length = FormatLine(line, milliseconds, port, value);
    ssize_t written = 0;
    do {
        written = write(fd_, line, length);
    } while (written < 0 && errno == EINTR);
    if (written != static_cast<ssize_t>(length) && !failureReported_) {
        failureReported_ = true;
        static constexpr char Message[] =
            "libio (simulated): a line of the write log could not be written (is the disk "
            "full?); the log misses writes from here on.\n";
        const ssize_t ignored = write(STDERR_FILENO, Message, sizeof Message - 1);
        static_cast<void>(ignored);
    }
    errno = savedErrno;
}

}  // namespace voltrex::io
