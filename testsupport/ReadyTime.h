#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>

namespace voltrex::testing {

// How long the calling thread has waited for a core while ready to run, in
// nanoseconds: Linux's per-thread scheduler statistics (the second field of
// /proc/thread-self/schedstat), or 0 always where the kernel keeps none.
// A stall measured by the clock on a machine that other programs share (a
// build beside the tests) includes that wait; taking it off leaves the time
// the thread was at work or waiting for a lock or the disk.
class ReadyTime {
  public:
    ReadyTime() : file_(::open("/proc/thread-self/schedstat", O_RDONLY | O_CLOEXEC)) {}
    ~ReadyTime() {
        if (file_ >= 0) {
            ::close(file_);
        }
    }
    ReadyTime(const ReadyTime&) = delete;
    ReadyTime& operator=(const ReadyTime&) = delete;

    // Only on the thread that made this object: the file is that thread's.
    std::int64_t WaitedNs() const {
        char text[96] = {};
        if (file_ < 0 || ::pread(file_, text, sizeof text - 1, 0) <= 0) {
            return 0;
        }
        unsigned long long onCpu = 0;
        unsigned long long waited = 0;
        return std::sscanf(text, "%llu %llu", &onCpu, &waited) == 2
                   ? static_cast<std::int64_t>(waited)
                   : 0;
    }

  private:
    int file_;
};

}  // namespace voltrex::testing
