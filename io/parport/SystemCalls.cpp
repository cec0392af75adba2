#include "io/parport/SystemCalls.h"

#include <sys/ioctl.h>
#include <unistd.h>

namespace voltrex::io {

namespace {

// open, ioctl and fcntl take variable arguments; these give them the fixed
// signatures of the table.
int RealOpen(const char* path, int flags) {
    return open(path, flags);
}
int RealIoctl(int fd, unsigned long request, void* argument) {
    return ioctl(fd, request, argument);
}
int RealFcntl(int fd, int command, struct flock* lock) {
    return fcntl(fd, command, lock);
}

}  // namespace

constinit const SystemCalls RealSystemCalls = {&RealOpen, &close, &read, &RealIoctl, &RealFcntl};

}  // namespace voltrex::io
