#include "platform/RegularFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <utility>

namespace voltrex {

RegularFile RegularFile::Open(const std::string& path, int flags, mode_t mode) {
    RegularFile file;
    // O_NONBLOCK makes the open of a FIFO return at once (a reader's open
    // succeeds, a writer's fails with ENXIO while nobody reads) instead of
    // waiting for the other end; on a regular file it changes nothing.
    const int fd = ::open(path.c_str(), flags | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, mode);
    struct stat info = {};
    if (fd < 0) {
        file.error_ = errno;
        // A writer's open of a FIFO that nobody reads, or of a device without
        // its hardware: the name is not a file, whatever the reason.
        if (file.error_ == ENXIO && ::stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
            file.error_ = NotRegular;
        }
        return file;
    }
    if (::fstat(fd, &info) != 0) {
        file.error_ = errno;
        ::close(fd);
        return file;
    }
    if (!S_ISREG(info.st_mode)) {
        file.error_ = S_ISDIR(info.st_mode) ? EISDIR : NotRegular;
        ::close(fd);
        return file;
    }
    // Reads and writes on the file then behave as the caller asked.
    if ((flags & O_NONBLOCK) == 0) {
        const int status = ::fcntl(fd, F_GETFL);
        if (status < 0 || ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK) != 0) {
            file.error_ = errno;
            ::close(fd);
            return file;
        }
    }
    file.fd_ = fd;
    return file;
}

RegularFile::RegularFile(RegularFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), error_(other.error_) {}

RegularFile& RegularFile::operator=(RegularFile&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = std::exchange(other.fd_, -1);
        error_ = other.error_;
    }
    return *this;
}

RegularFile::~RegularFile() {
    Close();
}

std::string RegularFile::FailureReason() const {
    if (error_ == NotRegular) {
        return "not a regular file";
    }
    return std::generic_category().message(error_);
}

std::FILE* RegularFile::ReleaseToStream(const char* mode) {
    if (fd_ < 0) {
        return nullptr;
    }
    std::FILE* stream = ::fdopen(fd_, mode);
    if (stream != nullptr) {
        fd_ = -1;
    }
    return stream;
}

int RegularFile::Close() {
    if (fd_ < 0) {
        return 0;
    }
    return ::close(std::exchange(fd_, -1));
}

}  // namespace voltrex
