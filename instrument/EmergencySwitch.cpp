#include "instrument/EmergencySwitch.h"

#include <atomic>

namespace voltrex {

namespace {

// The one process-wide record that must stay reachable from a signal handler;
// lock-free atomics are async-signal-safe where a mutex or an object would not be.
std::atomic<PortOutProc> armedPortOut{nullptr};
std::atomic<std::uint16_t> armedPort{0};

static_assert(std::atomic<PortOutProc>::is_always_lock_free);
static_assert(std::atomic<std::uint16_t>::is_always_lock_free);

}  // namespace

void ArmEmergencySwitch(PortOutProc portOut, std::uint16_t portAddress) noexcept {
    armedPort.store(portAddress);
    armedPortOut.store(portOut);
}

void DisarmEmergencySwitch() noexcept {
    armedPortOut.store(nullptr);
    armedPort.store(0);
}

void EmergencySwitchOff() noexcept {
    const PortOutProc out = armedPortOut.load();
    const std::uint16_t port = armedPort.load();
    if (out != nullptr && port != 0) {
        out(port, 0x00);
    }
}

}  // namespace voltrex
