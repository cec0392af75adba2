#include <gtest/gtest.h>
#include <signal.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "InstrumentFixture.h"
#include "instrument/EmergencySwitch.h"

namespace voltrex::testing {
namespace {

using Seq = std::vector<std::pair<int, int>>;

// The emergency switch-off calls the port's plain C PortOut, never the port
// object (from a signal handler it may be half destroyed). This one hands the
// write to the fixture's recording port; a C function carries no context, so
// it finds the port through this test-only variable.
RecordingPort* switchedPort = nullptr;

void SwitchedPortOut(unsigned short port, unsigned char value) {
    switchedPort->Out(port, value);
}

// In a child process that exits, the switch-off's writes reach the test
// through a pipe.
int exitPipe = -1;

void PipePortOut(unsigned short, unsigned char value) {
    if (::write(exitPipe, &value, 1) != 1) {
        std::_Exit(3);
    }
}

class DriveOperationsTest : public InstrumentFixture {
  protected:
    DriveOperationsTest() {
        switchedPort = &port_;
        port_.SetProcs({&SwitchedPortOut, nullptr});
        instrument_.BindPort(port_);
    }
    ~DriveOperationsTest() override { switchedPort = nullptr; }
};

TEST_F(DriveOperationsTest, RateOffWritesOnlyWhenTheLatchIsSet) {
    SetLatch(0x00);
    const double before = clock_.Elapsed();
    instrument_.RateOff();
    EXPECT_TRUE(port_.Writes().empty());
    EXPECT_EQ(clock_.Elapsed(), before);

    SetLatch(0x30);
    instrument_.RateOff();
    EXPECT_EQ(port_.WrittenValues(), std::vector<std::uint8_t>{0x30});
    EXPECT_NEAR(clock_.Elapsed() - port_.Writes().back().Time, 0.001, 1e-9);
}

TEST_F(DriveOperationsTest, StartChargeSwitchesCurrentOffBeforeTheRelays) {
    SetLatch(0x25);
    instrument_.StartCharge(5);
    EXPECT_EQ(Timeline(), (Seq{{0x20, 0}, {0x30, 1}, {0x35, 101}}));
    EXPECT_EQ(instrument_.ControlLatch(), 0x35);
}

TEST_F(DriveOperationsTest, StartDischargeFromIdle) {
    SetLatch(0x00);
    instrument_.StartDischarge(3);
    EXPECT_EQ(Timeline(), (Seq{{0x20, 0}, {0x23, 100}}));
    // From a charge: its current off first, then the relays.
    SetLatch(0x35);
    instrument_.StartDischarge(3);
    EXPECT_EQ(Timeline(), (Seq{{0x30, 0}, {0x20, 1}, {0x23, 101}}));
}

TEST_F(DriveOperationsTest, SetRateKeepsRelaysAndUsesOnlyTheLowBits) {
    SetLatch(0x35);
    const double before = clock_.Elapsed();
    instrument_.SetRate(0x17);
    EXPECT_EQ(port_.WrittenValues(), std::vector<std::uint8_t>{0x37});
    EXPECT_EQ(clock_.Elapsed(), before);
}

TEST_F(DriveOperationsTest, AllOffWaitsForTheRelays) {
    SetLatch(0x35);
    const double start = clock_.Elapsed();
    instrument_.AllOff();
    EXPECT_EQ(Timeline(), (Seq{{0x30, 0}, {0x00, 1}}));
    EXPECT_NEAR(clock_.Elapsed() - start, 0.101, 1e-9);
}

TEST_F(DriveOperationsTest, ClockCounterToPulsesResetThenClock) {
    SetLatch(0x23);
    instrument_.ClockCounterTo(4);
    EXPECT_EQ(Timeline(), (Seq{{0x63, 0},
                               {0x23, 0},
                               {0xA3, 1},
                               {0x23, 1},
                               {0xA3, 1},
                               {0x23, 1},
                               {0xA3, 1},
                               {0x23, 1},
                               {0xA3, 1},
                               {0x23, 1}}));
    EXPECT_EQ(port_.Counter(), 4);
    port_.ClearLog();
    instrument_.ClockCounterTo(-3);
    EXPECT_EQ(port_.WrittenValues(), (std::vector<std::uint8_t>{0x63, 0x23}));
    EXPECT_EQ(port_.Counter(), 0);
}

TEST_F(DriveOperationsTest, SetLatchManualKeepsCounterBitsAndOrsTheRate) {
    SetLatch(0x35);
    instrument_.SetLatchManual(10, true, true);
    EXPECT_EQ(Timeline(), (Seq{{0x30, 0}, {0x30, 1}, {0x3A, 101}}));
    port_.ClearLog();
    instrument_.SetLatchManual(2, false, false);
    EXPECT_EQ(port_.WrittenValues(), (std::vector<std::uint8_t>{0x30, 0x00, 0x02}));
}

TEST_F(DriveOperationsTest, PortAddressChanges) {
    instrument_.ClearPortAddress();
    instrument_.StartDischarge(2);  // kept in the latch, written nowhere
    port_.ClearLog();
    const double before = clock_.Elapsed();
    instrument_.ClearPortAddress();
    EXPECT_TRUE(port_.Writes().empty());
    EXPECT_EQ(clock_.Elapsed(), before);
    EXPECT_EQ(instrument_.ControlLatch(), 0x22);

    instrument_.SetPortAddress(0x278);
    instrument_.StartDischarge(1);
    port_.ClearLog();
    instrument_.SetPortAddress(0x3BC);
    // Switched off on the old port first, then all off on the new one.
    ASSERT_EQ(port_.Writes().size(), 3u);
    EXPECT_EQ(port_.Writes()[0].Port, 0x278);
    EXPECT_EQ(port_.Writes()[0].Value, 0x20);
    EXPECT_EQ(port_.Writes()[1].Port, 0x278);
    EXPECT_EQ(port_.Writes()[1].Value, 0x00);
    EXPECT_EQ(port_.Writes()[2].Port, 0x3BC);
    EXPECT_EQ(port_.Writes()[2].Value, 0x00);
    EXPECT_EQ(instrument_.PortAddress(), 0x3BC);
}

TEST_F(DriveOperationsTest, NoPortMeansNoWritesButTheSameLatchAndWaits) {
    instrument_.ClearPortAddress();
    port_.ClearLog();
    const double start = clock_.Elapsed();
    instrument_.StartCharge(7);
    EXPECT_EQ(instrument_.ControlLatch(), 0x37);
    EXPECT_NEAR(clock_.Elapsed() - start, 0.100, 1e-9);
    EXPECT_TRUE(port_.Writes().empty());
    EXPECT_EQ(instrument_.MeasureVoltage(calibration_), -1.0);
    EXPECT_EQ(port_.StatusReads(), 0);

    Instrument unbound(clock_, calibration_);
    EXPECT_EQ(unbound.PortAddress(), 0);
    EXPECT_EQ(unbound.ControlLatch(), 0);
    EXPECT_FALSE(unbound.ReadingFailed());
    // A port that cannot tell whether its driver is there says it is.
    EXPECT_TRUE(port_.DriverInstalled());
    unbound.SetPortAddress(0x378);
    unbound.StartDischarge(2);
    EXPECT_EQ(unbound.ControlLatch(), 0x22);
    EXPECT_EQ(unbound.MeasureVoltage(calibration_), -1.0);
    EXPECT_TRUE(port_.Writes().empty());
}

TEST_F(DriveOperationsTest, EmergencySwitchTurnsTheCurrentOffBeforeTheRelays) {
    SetLatch(0x35);
    // (Its 1 ms pause is a real one: a signal handler cannot use the clock.)
    EmergencySwitchOff();
    EXPECT_EQ(port_.WrittenValues(), (std::vector<std::uint8_t>{0x30, 0x00}));
    EXPECT_EQ(port_.Writes()[0].Port, 0x378);
    EXPECT_EQ(port_.Writes()[1].Port, 0x378);
    // The record now says all off and no port: nothing the program does on
    // its way out writes a relay bit again, and a second call writes nothing.
    EXPECT_EQ(instrument_.ControlLatch(), 0x00);
    EXPECT_EQ(instrument_.PortAddress(), 0);
    port_.ClearLog();
    EmergencySwitchOff();
    instrument_.ClearPortAddress();
    EXPECT_TRUE(port_.Writes().empty());
    // Not even a latch changed later, with no port to write it to.
    instrument_.StartDischarge(1);
    EmergencySwitchOff();
    EXPECT_TRUE(port_.Writes().empty());

    // A port set again starts from the all-off latch, not from the stale 0x35.
    instrument_.SetPortAddress(0x378);
    instrument_.StartDischarge(3);
    EXPECT_EQ(port_.WrittenValues(), (std::vector<std::uint8_t>{0x00, 0x20, 0x23}));
}

TEST_F(DriveOperationsTest, EmergencySwitchRelaysOnlyOrIdle) {
    // Relays closed at rate 0: the same byte again, then all off.
    SetLatch(0x20);
    EmergencySwitchOff();
    EXPECT_EQ(port_.WrittenValues(), (std::vector<std::uint8_t>{0x20, 0x00}));

    // Already all off: nothing to write.
    instrument_.SetPortAddress(0x378);
    port_.ClearLog();
    EmergencySwitchOff();
    EXPECT_TRUE(port_.Writes().empty());
}

TEST_F(DriveOperationsTest, EmergencySwitchIsArmedOnlyWithAPortInUse) {
    SetLatch(0x35);
    instrument_.ClearPortAddress();
    port_.ClearLog();
    EmergencySwitchOff();
    EXPECT_TRUE(port_.Writes().empty());

    // A second instrument that goes away disarms only its own record.
    instrument_.SetPortAddress(0x378);
    SetLatch(0x23);
    {
        Instrument other(clock_, calibration_);
        other.BindPort(port_);
    }
    port_.ClearLog();
    EmergencySwitchOff();
    EXPECT_EQ(port_.WrittenValues(), (std::vector<std::uint8_t>{0x20, 0x00}));

    // An instrument that goes away while armed takes its record with it.
    {
        Instrument gone(clock_, calibration_);
        gone.BindPort(port_);
        gone.SetPortAddress(0x278);
        gone.StartDischarge(1);
    }
    port_.ClearLog();
    EmergencySwitchOff();
    EXPECT_TRUE(port_.Writes().empty());

    // Any port but 0 arms it, the lowest too.
    instrument_.SetPortAddress(0x001);
    SetLatch(0x21);
    EmergencySwitchOff();
    EXPECT_EQ(port_.WrittenValues(), (std::vector<std::uint8_t>{0x20, 0x00}));
}

TEST_F(DriveOperationsTest, EmergencySwitchWaitsItsMillisecondThroughASignal) {
    // A signal arrives during the pause between current off and relays open;
    // the code the switch-off interrupted had EINTR in errno and gets it back.
    struct sigaction ignore = {};
    struct sigaction previous = {};
    ignore.sa_handler = +[](int) {};
    sigemptyset(&ignore.sa_mask);
    ASSERT_EQ(::sigaction(SIGALRM, &ignore, &previous), 0);
    SetLatch(0x35);
    itimerval timer{};
    timer.it_value.tv_usec = 200;
    ::setitimer(ITIMER_REAL, &timer, nullptr);
    errno = EINTR;
    const auto start = std::chrono::steady_clock::now();
    EmergencySwitchOff();
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(errno, EINTR);
    ::sigaction(SIGALRM, &previous, nullptr);
    EXPECT_EQ(port_.WrittenValues(), (std::vector<std::uint8_t>{0x30, 0x00}));
    EXPECT_GE(took.count(), 0.001);
    EXPECT_LT(took.count(), 0.5);
}

TEST_F(DriveOperationsTest, ExitSwitchesOffCurrentFirst) {
    int pipe[2];
    ASSERT_EQ(::pipe(pipe), 0);
    std::fflush(nullptr);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // A program that leaves by exit() with a pack charging.
        ::close(pipe[0]);
        exitPipe = pipe[1];
        port_.SetProcs({&PipePortOut, nullptr});
        instrument_.BindPort(port_);
        instrument_.SetPortAddress(0x278);
        instrument_.StartCharge(5);
        std::exit(0);
    }
    ::close(pipe[1]);
    std::string written;
    unsigned char byte = 0;
    while (::read(pipe[0], &byte, 1) == 1) {
        written += static_cast<char>(byte);
    }
    ::close(pipe[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(written, std::string("\x30\x00", 2));
}

TEST_F(DriveOperationsTest, EmergencySwitchOnAPortWithoutACEntryPointOnlyClearsTheRecord) {
    RecordingPort objectOnly(clock_);
    instrument_.BindPort(objectOnly);
    instrument_.SetPortAddress(0x278);
    instrument_.StartCharge(4);
    objectOnly.ClearLog();
    port_.ClearLog();
    EmergencySwitchOff();
    EXPECT_TRUE(objectOnly.Writes().empty());
    EXPECT_TRUE(port_.Writes().empty());
    EXPECT_EQ(instrument_.ControlLatch(), 0x00);
    EXPECT_EQ(instrument_.PortAddress(), 0);
}

TEST_F(DriveOperationsTest, AConversionLeavesTheRecordedLatchAtItsIdleByte) {
    SetLatch(0x23);
    port_.SetFlipCounts(0, 50);
    instrument_.MeasureVoltage(calibration_);
    EXPECT_EQ(instrument_.ControlLatch(), 0x23);
    EXPECT_EQ(port_.Writes().back().Value, 0x23);
}

}  // namespace
}  // namespace voltrex::testing
