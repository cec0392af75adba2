#include "platform/fuzz/FuzzInputFile.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/CFormat.h"

namespace voltrex::fuzzing {

std::string FuzzInputFile(const std::uint8_t* data, std::size_t size) {
    // One file for the whole run, so that millions of inputs cost no more
    // than a rewrite each.
    static const int fd = ::memfd_create("voltrex-fuzz-input", MFD_CLOEXEC);
    if (fd < 0 || ::ftruncate(fd, 0) != 0) {
        std::abort();
    }
    std::size_t done = 0;
    while (done < size) {
        const ssize_t written = ::pwrite(fd, data + done, size - done, static_cast<off_t>(done));
        if (written <= 0) {
            std::abort();
        }
        done += static_cast<std::size_t>(written);
    }
    return Format("/proc/self/fd/%d", fd);
}

}  // namespace voltrex::fuzzing
