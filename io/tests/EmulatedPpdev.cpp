#include "EmulatedPpdev.h"

#include <gtest/gtest.h>
#include <linux/parport.h>
#include <linux/ppdev.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>

namespace voltrex::testing {

namespace {

// The device that Calls() answers for: the seam is a table of plain function
// pointers, which carry no object.
EmulatedPpdev* active = nullptr;

int RealOpen(const char* path, int flags) {
    return open(path, flags);
}
int RealFcntl(int fd, int command, struct flock* lock) {
    return fcntl(fd, command, lock);
}

}  // namespace

EmulatedPpdev::EmulatedPpdev(Clock& clock, std::string devicePath,
                             const simulator::BatteryPack::Settings& pack, std::uint16_t base,
                             std::uint32_t seed)
    : devicePath_(std::move(devicePath)),
      board_(clock, pack, base, simulator::DefaultBoardCalibration(), seed),
      base_(base),
      previous_(active) {
    active = this;
}

EmulatedPpdev::~EmulatedPpdev() {
    active = previous_;
}

const io::SystemCalls& EmulatedPpdev::Calls() {
    static constexpr io::SystemCalls calls = {&OpenCall, &CloseCall, &read, &IoctlCall, &RealFcntl};
    return calls;
}

int EmulatedPpdev::OpenCall(const char* path, int flags) {
    return active != nullptr ? active->DoOpen(path, flags) : RealOpen(path, flags);
}

int EmulatedPpdev::CloseCall(int fd) {
    return active != nullptr ? active->DoClose(fd) : close(fd);
}

int EmulatedPpdev::IoctlCall(int fd, unsigned long request, void* argument) {
    return active != nullptr ? active->DoIoctl(fd, request, argument)
                             : ioctl(fd, request, argument);
}

int EmulatedPpdev::DoOpen(const char* path, int flags) {
    if (devicePath_ != path) {
        return RealOpen(path, flags);
    }
    if (openError_ != 0) {
        errno = openError_;
        return -1;
    }
    const int fd = RealOpen(path, flags);
    if (fd >= 0 && fd_ < 0) {
        fd_ = fd;
    }
    return fd;
}

int EmulatedPpdev::DoClose(int fd) {
    if (fd == fd_) {
        // The driver's release: a claim still held is given up.
        if (claimed_) {
            savedControl_ = control_;
            claimed_ = false;
        }
        fd_ = -1;
    }
    return close(fd);
}

int EmulatedPpdev::DoIoctl(int fd, unsigned long request, void* argument) {
    if (fd != fd_ || fd < 0) {
        return ioctl(fd, request, argument);
    }
    return Request(request, argument);
}

int EmulatedPpdev::Request(unsigned long request, void* argument) {
    ++requests_;
    if (unplugError_ != 0) {
        errno = unplugError_;
        return -1;
    }
    auto* byte = static_cast<unsigned char*>(argument);
    if (request == PPCLAIM) {
        if (claimed_) {
            errno = EINVAL;
            return -1;
        }
        if (heldByAnother_) {
            ADD_FAILURE() << "PPCLAIM while another device holds the port: the kernel would "
                             "sleep here until it lets go";
            errno = EINTR;
            return -1;
        }
        claimed_ = true;
        ++claims_;
        control_ = savedControl_;
        board_.Out(static_cast<std::uint16_t>(base_ + 2),
                   static_cast<std::uint8_t>(
                       (board_.In(static_cast<std::uint16_t>(base_ + 2)) & 0xF0) | control_));
        return 0;
    }
    if (request == PPEXCL) {
        if (claimed_) {
            errno = EINVAL;
            return -1;
        }
        return 0;
    }
    if (!claimed_) {
        ++refusedBeforeClaim_;
        errno = EINVAL;
        return -1;
    }
    switch (request) {
        case PPRELEASE:
            savedControl_ = control_;
            claimed_ = false;
            return 0;
        case PPWDATA:
            dataWrites_.push_back(*byte);
            board_.Out(base_, *byte);
            return 0;
        case PPRDATA:
            *byte = board_.In(base_);
            return 0;
        case PPRSTATUS:
            *byte = board_.In(static_cast<std::uint16_t>(base_ + 1));
            return 0;
        case PPWCONTROL:
            control_ = static_cast<std::uint8_t>(*byte & 0x0F);
            board_.Out(static_cast<std::uint16_t>(base_ + 2),
                       static_cast<std::uint8_t>(
                           (board_.In(static_cast<std::uint16_t>(base_ + 2)) & 0xF0) | control_));
            return 0;
        case PPRCONTROL:
            *byte = control_;
            return 0;
        default:
            errno = ENOTTY;
            return -1;
    }
}

}  // namespace voltrex::testing
