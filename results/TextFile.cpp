#include "results/TextFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/RegularFile.h"

namespace voltrex::results {

namespace {

// Reads up to count bytes from offset; false with errno on a read error.
bool ReadAt(int fd, off_t offset, std::size_t count, std::string& into) {
    const std::size_t start = into.size();
    into.resize(start + count);
    std::size_t done = 0;
    while (done < count) {
        const ssize_t got = ::pread(fd, into.data() + start + done, count - done,
                                    offset + static_cast<off_t>(done));
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            into.resize(start + done);
            return false;
        }
        if (got == 0) {
            break;  // the file got shorter meanwhile
        }
        done += static_cast<std::size_t>(got);
    }
    into.resize(start + done);
    return true;
}

RegularFile OpenForReading(const std::string& path, TextFile& file, std::int64_t& size) {
    RegularFile descriptor = RegularFile::Open(path, O_RDONLY);
    if (!descriptor) {
        if (descriptor.Error() != ENOENT) {
            file.Exists = true;
            file.Error = descriptor.FailureReason();
        }
        return descriptor;
    }
    file.Exists = true;
    struct stat info = {};
    if (::fstat(descriptor.Descriptor(), &info) != 0) {
        file.Error = std::strerror(errno);
        return RegularFile();
    }
    size = info.st_size;
    file.Size = size;
    return descriptor;
}

}  // namespace

TextFile ReadTextFile(const std::string& path) {
    TextFile file;
    std::int64_t size = 0;
    RegularFile descriptor = OpenForReading(path, file, size);
    if (!descriptor) {
        return file;
    }
    // The file may grow while it is read (a test ending just then): what was
    // there when it was opened is read, the rest comes with the next reload.
    if (!ReadAt(descriptor.Descriptor(), 0, static_cast<std::size_t>(size), file.Text)) {
        file.Error = std::strerror(errno);
        file.Text.clear();
    }
    return file;
}

FileEnds ReadFileEnds(const std::string& path, std::size_t headBytes, std::size_t tailBytes) {
    FileEnds ends;
    std::int64_t size = 0;
    RegularFile descriptor = OpenForReading(path, ends.Head, size);
    if (!descriptor) {
        return ends;
    }
    const auto length = static_cast<std::size_t>(size);
    const int fd = descriptor.Descriptor();
    bool read = true;
    if (length <= headBytes + tailBytes) {
        read = ReadAt(fd, 0, length, ends.Head.Text);
    } else {
        ends.Split = true;
        read = ReadAt(fd, 0, headBytes, ends.Head.Text) &&
               ReadAt(fd, static_cast<off_t>(length - tailBytes), tailBytes, ends.Tail);
    }
    if (!read) {
        ends.Head.Error = std::strerror(errno);
        ends.Head.Text.clear();
        ends.Tail.clear();
    }
    return ends;
}

}  // namespace voltrex::results
