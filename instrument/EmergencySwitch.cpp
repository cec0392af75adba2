#include "instrument/EmergencySwitch.h"

#include <cerrno>
#include <cstdlib>
#include <ctime>

#include "instrument/PortBits.h"

namespace voltrex {

namespace {

// The one record the switch-off works on must be reachable from a signal
// handler, which has no other way to find it than a process-wide variable;
// a lock-free atomic pointer is async-signal-safe where a mutex would not be.
std::atomic<PortRecord*> armedRecord{nullptr};
std::atomic<bool> exitHandlerRegistered{false};

static_assert(std::atomic<PortRecord*>::is_always_lock_free);
static_assert(std::atomic<PortOutProc>::is_always_lock_free);
static_assert(std::atomic<std::uint16_t>::is_always_lock_free);
static_assert(std::atomic<std::uint8_t>::is_always_lock_free);

// The pause between current off and relays open, as the drive operations
// make it; nanosleep is on the async-signal-safe list where the program's
// clock is not.
void WaitOneMillisecond() noexcept {
    timespec left{0, 1000000};
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

void SwitchOffOnExit() {
    EmergencySwitchOff();
}

}  // namespace

void ArmEmergencySwitch(PortRecord& record) noexcept {
    armedRecord.store(&record);
    if (!exitHandlerRegistered.exchange(true)) {
        std::atexit(SwitchOffOnExit);
    }
}

void DisarmEmergencySwitch(const PortRecord& record) noexcept {
    PortRecord* expected = const_cast<PortRecord*>(&record);
    armedRecord.compare_exchange_strong(expected, nullptr);
}

void EmergencySwitchOff() noexcept {
    PortRecord* record = armedRecord.load();
    if (record == nullptr) {
        return;
    }
    const PortOutProc out = record->PortOut.load();
    const std::uint16_t port = record->PortAddress.exchange(0);
    const std::uint8_t latch = record->ControlLatch.exchange(0);
    if (out == nullptr || port == 0 || latch == 0) {
        return;
    }
    // An errno the handler changed would be seen by the code it interrupted.
    const int savedErrno = errno;
    out(port, static_cast<std::uint8_t>(latch & RelayBits));
    WaitOneMillisecond();
    out(port, 0x00);
    errno = savedErrno;
}

}  // namespace voltrex
