#pragma once

#include <cstdint>
#include <string>

namespace voltrex {

// The tests a user starts from the window.
enum class TestKind { Discharge, Charge, AutoCycle, Resistance, Monitor };

// How a test, or one cycle of an auto cycle, ended: the curve file's reasons
// and those of a whole auto cycle, a resistance measured, a stop by the user,
// and the two ways the program itself stops a test.
enum class Ending {
    EndVoltage,
    DeltaV,
    RateSteppedDownToZero,
    TimeLimit,
    CycleDone,               // one cycle of an auto cycle, charge included
    CycleLimit,              // an auto cycle that ran all its cycles
    CapacityStoppedGrowing,  // an auto cycle ended by its option
    Measured,                // a resistance test that got both readings
    StoppedByUser,
    MeasurementFailure,  // a reading failed: everything was switched off
    OverVoltage,         // a charge cut off above the most its cells may read
    Refused,             // the test would not start, or was ended, for a reason it shows
    GraphNotSaved,       // an auto cycle's per-cycle bitmap could not be written
};

// A failure or a refusal: something the owner must look at.
bool IsFailure(Ending ending);

// The figures of a pass, as the status line shows them.
struct TestFigures {
    std::int64_t Elapsed = 0;  // whole seconds since the current went on
    double Volts = 0.0;        // smoothed pack voltage
    double AmpSeconds = 0.0;
    double WattSeconds = 0.0;
    std::int32_t Cells = 0;
};

// One pass of a running test (or of the rest between an auto cycle's phases),
// after its status line is drawn.
struct TestPass {
    TestKind Test = TestKind::Discharge;
    // What runs now: differs from Test inside an auto cycle.
    TestKind Phase = TestKind::Discharge;
    bool Resting = false;
    std::int32_t Cycle = 0;  // 0 outside an auto cycle
    std::int32_t Of = 0;
    std::int64_t Now = 0;  // the wall clock's second
    TestFigures Figures;
    const std::string& Title;
    const std::string& Status;
};

// The end of a test, or of one cycle of an auto cycle.
struct TestEnding {
    TestKind Test = TestKind::Discharge;
    TestKind Phase = TestKind::Discharge;
    Ending How = Ending::StoppedByUser;
    std::int32_t Cycle = 0;
    std::int32_t Of = 0;
    std::int64_t Now = 0;  // the wall clock's second
    TestFigures Figures;
    // What the error box said, or the resistance test's result line.
    std::string Detail;
    // A cycle's discharge and charge, in mAh (CycleDone and the auto cycle's
    // end).
    double DischargedMilliampHours = 0.0;
    double ChargedMilliampHours = 0.0;
};

// Whoever watches the tests besides the window: the desktop notifications
// and the published live state. Both calls come on the one thread, inside
// the test; they must return at once and never wait on anything.
class TestObserver {
  public:
    virtual ~TestObserver() = default;
    virtual void Passed(const TestPass& pass) = 0;
    virtual void Ended(const TestEnding& ending) = 0;
};

// The notification's first line: what ended and how ("Discharge finished:
// end voltage reached", "Charge stopped: the pack voltage could not be
// measured").
std::string EndingSummary(const TestEnding& ending);
// The figures the status line showed last, one line each.
std::string EndingBody(const TestEnding& ending);
// "Discharge", "Charge", "Auto Cycle", "Resistance", "Monitor".
const char* TestName(TestKind test);

}  // namespace voltrex
