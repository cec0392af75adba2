#pragma once

#include <fcntl.h>
#include <sys/types.h>

namespace voltrex::io {

// The system calls through which the real-port library reaches the driver's
// files and the port device: the real ones in the library, stand-ins in the
// tests (an emulated ppdev device that answers the port requests as the
// kernel's driver does, a refused open). A table of plain function pointers,
// so that a constant-initialised port table can hold it and a signal handler
// can call through it.
struct SystemCalls {
    int (*Open)(const char* path, int flags);
    int (*Close)(int fd);
    ssize_t (*Read)(int fd, void* buffer, size_t size);
    int (*Ioctl)(int fd, unsigned long request, void* argument);
    int (*Fcntl)(int fd, int command, struct flock* lock);
};

// open, close, read, ioctl and fcntl themselves.
extern const SystemCalls RealSystemCalls;

}  // namespace voltrex::io
