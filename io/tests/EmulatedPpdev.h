#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "io/parport/SystemCalls.h"
#include "platform/Clock.h"
#include "simulator/SimulatedBoard.h"

namespace voltrex::testing {

// A /dev/parportN as the kernel's ppdev driver presents it, with the simulated
// charger board on the port's pins, for the real-port library's code to run
// against through its system call seam (Calls()).
//
// The node is a real (empty) file at devicePath, so that opening it, its
// record locks and closing it are the real system calls; the port requests
// on a descriptor of it are answered here, as drivers/char/ppdev.c does:
// - every hardware request (and PPRELEASE) fails with EINVAL until PPCLAIM;
//   PPCLAIM on a claimed port fails with EINVAL too;
// - PPCLAIM restores the control register to the driver's saved state (0x0C
//   for a new device) and leaves the data register as it was;
// - PPWDATA writes the data register, PPRDATA reads it back;
// - PPRSTATUS returns the raw status register;
// - PPWCONTROL writes control bits 0-3 (the others stay), PPRCONTROL returns
//   the driver's copy of bits 0-3;
// - PPRELEASE saves the control state for the next claim; closing the
//   descriptor releases a claim.
// Other requests fail with ENOTTY once claimed.
//
// Calls() dispatches to the most recently constructed EmulatedPpdev still
// alive (a table of plain function pointers has no room for an object).
class EmulatedPpdev {
  public:
    EmulatedPpdev(Clock& clock, std::string devicePath,
                  const simulator::BatteryPack::Settings& pack = {}, std::uint16_t base = 0x378,
                  std::uint32_t seed = simulator::SimulatedBoard::DefaultSeed);
    ~EmulatedPpdev();
    EmulatedPpdev(const EmulatedPpdev&) = delete;
    EmulatedPpdev& operator=(const EmulatedPpdev&) = delete;

    static const io::SystemCalls& Calls();

    // Opening the node fails with this errno from now on (0: opens).
    void RefuseOpen(int error) { openError_ = error; }
    // The card is gone: every request on an open descriptor fails with this
    // errno from now on.
    void Unplug(int error) { unplugError_ = error; }
    // Another device has the port claimed: a PPCLAIM now would sleep in the
    // kernel until it lets go, so here it fails the test instead.
    void HoldByAnotherDevice(bool held) { heldByAnother_ = held; }

    simulator::SimulatedBoard& Board() { return board_; }
    bool Claimed() const { return claimed_; }
    bool Open() const { return fd_ >= 0; }
    int Claims() const { return claims_; }
    // Requests answered, and hardware requests refused for want of a claim.
    int Requests() const { return requests_; }
    int RefusedBeforeClaim() const { return refusedBeforeClaim_; }
    // Every byte PPWDATA put on the data pins, in order.
    const std::vector<std::uint8_t>& DataWrites() const { return dataWrites_; }

    // One request on the emulated descriptor, as ioctl(2) would answer it.
    int Request(unsigned long request, void* argument);

  private:
    int DoOpen(const char* path, int flags);
    int DoClose(int fd);
    int DoIoctl(int fd, unsigned long request, void* argument);

    static int OpenCall(const char* path, int flags);
    static int CloseCall(int fd);
    static int IoctlCall(int fd, unsigned long request, void* argument);

    std::string devicePath_;
    simulator::SimulatedBoard board_;
    std::uint16_t base_;
    EmulatedPpdev* previous_;
    int fd_ = -1;
    bool claimed_ = false;
    bool heldByAnother_ = false;
    int openError_ = 0;
    int unplugError_ = 0;
    // The driver's saved control bits 0-3, restored at each claim.
    std::uint8_t savedControl_ = 0x0C;
    std::uint8_t control_ = 0x0C;
    int claims_ = 0;
    int requests_ = 0;
    int refusedBeforeClaim_ = 0;
    std::vector<std::uint8_t> dataWrites_;
};

}  // namespace voltrex::testing
