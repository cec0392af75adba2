#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
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

// The longest gap between the beats of a thread that should beat often (a
// timer on a window's thread), by the clock and less the thread's wait for a
// core (ReadyTime). Reset and Beat on that thread only.
class StallMeter {
  public:
    void Reset() {
        longest_ = longestWall_ = 0;
        last_ = Now();
        lastWaited_ = ready_.WaitedNs();
    }
    // This beat's gap, less the wait, in nanoseconds.
    std::int64_t Beat() {
        const std::int64_t now = Now();
        const std::int64_t waited = ready_.WaitedNs();
        const std::int64_t gap = now - last_ - (waited - lastWaited_);
        longest_ = std::max(longest_, gap);
        longestWall_ = std::max(longestWall_, now - last_);
        last_ = now;
        lastWaited_ = waited;
        return gap;
    }
    std::int64_t LongestMs() const { return longest_ / 1000000; }
    std::int64_t LongestWallMs() const { return longestWall_ / 1000000; }

  private:
    static std::int64_t Now() {
        return std::chrono::duration_cast<std::chrono::nanoseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }
    ReadyTime ready_;
    std::int64_t last_ = Now();
    std::int64_t lastWaited_ = 0;
    std::int64_t longest_ = 0;
    std::int64_t longestWall_ = 0;
};

}  // namespace voltrex::testing
