#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "config/Configuration.h"
#include "graph/Graph.h"
#include "instrument/Instrument.h"
#include "procedures/Procedures.h"
#include "procedures/TestSettings.h"
#include "procedures/UserInterface.h"
#include "testsupport/RecordingPort.h"
#include "testsupport/TempFolder.h"
#include "testsupport/VirtualClock.h"

namespace voltrex::testing {

// The window the procedures run under, reduced to what a test needs: every
// yield is one pass of a test loop and moves the virtual clock on by the time
// such a pass takes; a hook can click Stop at a chosen moment; error boxes are
// collected instead of shown.
class FakeUserInterface final : public UserInterface {
  public:
    explicit FakeUserInterface(VirtualClock& clock) : clock_(clock) {}

    // Virtual seconds that one pass costs besides its conversions.
    double PassSeconds = 0.25;
    // Runs after the clock has moved, inside the yield, as a click on Stop would.
    std::function<void()> OnYield;
    std::vector<std::string> Errors;

    // Stop sets one flag, like the window's button: two clicks before the next
    // poll are one request.
    void ClickStop() { stopRequested_ = true; }

    void Yield() override {
        clock_.Advance(PassSeconds);
        ++yields_;
        if (OnYield) {
            OnYield();
        }
    }
    bool PollStop() override {
        ++polls_;
        const bool requested = stopRequested_;
        stopRequested_ = false;
        return requested;
    }
    void ShowError(const std::string& message) override { Errors.push_back(message); }
    // Questions are collected and answered with Answer.
    bool AskYesNo(const std::string& question) override {
        Questions.push_back(question);
        return Answer;
    }
    std::vector<std::string> Questions;
    bool Answer = false;

    int Yields() const { return yields_; }
    int Polls() const { return polls_; }
    bool StopPending() const { return stopRequested_; }

  private:
    VirtualClock& clock_;
    bool stopRequested_ = false;
    int yields_ = 0;
    int polls_ = 0;
};

// The lines of a text file without their line ends; empty when there is none.
std::vector<std::string> ReadLines(const std::string& path);
bool FileExists(const std::string& path);

// Pixels of rows top..bottom-1 of two images are the same.
::testing::AssertionResult SameRows(const RasterImage& actual, const RasterImage& expected, int top,
                                    int bottom);
// What SetTitleLine / SetStatusLine draw for a text, on a fresh black image.
void ExpectTitleBand(const RasterImage& actual, const std::string& title);
void ExpectStatusBand(const RasterImage& actual, const std::string& status);

// A calibration in which a count is worth voltsPerCount volts and the
// low-side comparator flips at count 0, so a scripted flip count is a voltage.
inline constexpr double VoltsPerCount = 0.02;
CalibrationBlock LinearCalibration();

// A complete configuration with round numbers: charge rate r gives 0.1 x r A,
// discharge rate r gives 0.2 x r A, nickel packs end at 1.0 V per cell and
// a 0.5 % (NiMH) or 1 % (NiCd) drop held for 30 s.
Configuration HandBuiltConfiguration();

// The procedures on a recording port whose comparators follow a scripted pack
// voltage, with every write logged.
class RecordedProcedureTest : public ::testing::Test {
  protected:
    void SetUp() override;

    // The pack reads this voltage from now on, whatever the instrument does.
    void SetVoltage(double volts);
    // Or a voltage worked out at every status read (the latch and the clock
    // can be consulted).
    void SetVoltageFunction(std::function<double()> volts);
    // Lines of the results log.
    std::vector<std::string> ResultLines() const;
    // Values written to the data register, counter pulses left out.
    std::vector<std::uint8_t> DriveWrites() const;

    VirtualClock clock;
    Configuration config = HandBuiltConfiguration();
    TestSettings settings;
    RecordingPort port{clock};
    Instrument instrument{clock, config.Calibration};
    Graph graph;
    FakeUserInterface ui{clock};
    TempFolder folder;
    Procedures procedures{config, settings, instrument, graph, clock, ui, folder.Path()};
};

}  // namespace voltrex::testing
