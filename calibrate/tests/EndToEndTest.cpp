// The assistant's whole work on a simulated board whose parts differ from the
// sample configuration, read through the simulated meter: the readings before
// and after, over nickel packs of 1 to 12 cells and lithium packs of 1 to 6,
// and a discharge's capacity against the charge the pack really gave.
//
// The figures are printed; to see them:
//   build/ci/bin/calibrate_tests --gtest_filter='CalibrationEndToEnd.*'
// and for another simulated board, VOLTREX_CALIBRATION_SEED=7 in front.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "calibrate/CalibrationWriter.h"
#include "calibrate/CurrentProbe.h"
#include "calibrate/MultiplierFit.h"
#include "calibrate/ReadingCheck.h"
#include "calibrate/WeightFit.h"
#include "config/ConfigurationReader.h"
#include "graph/Graph.h"
#include "procedures/Procedures.h"
#include "procedures/TestSettings.h"
#include "procedures/UserInterface.h"
#include "records/FileNames.h"
#include "records/ResultsFile.h"
#include "simulator/SampleConfiguration.h"
#include "simulator/SimulatedMeter.h"
#include "testsupport/SimulatedPort.h"
#include "testsupport/TempFolder.h"
#include "testsupport/VirtualClock.h"

namespace voltrex::testing {
namespace {

using simulator::BatteryPack;
using simulator::Chemistry;
using simulator::MeterProbe;

// The board of the test; VOLTREX_CALIBRATION_SEED=N tries another one by hand.
std::uint32_t BoardSeedFor() {
    const char* seed = std::getenv("VOLTREX_CALIBRATION_SEED");
    return seed != nullptr ? static_cast<std::uint32_t>(std::strtoul(seed, nullptr, 10)) : 18;
}
const std::uint32_t BoardSeed = BoardSeedFor();

// What the owner does with the assistant, the meter's readings taken from the
// simulated meter: the weights, the multipliers with the pack at rest, then
// every rate's current in both modes. Returns the calibration to save.
CalibrationResult Calibrate(VirtualClock& clock, SimulatedPort& port, Instrument& instrument,
                            const Configuration& old) {
    simulator::SimulatedMeter meter(port.Board());
    CalibrationResult result;

    std::vector<CountReading> readings;
    for (const std::int32_t count : DesignCounts()) {
        instrument.ClockCounterTo(count);
        const double volts = meter.Read(MeterProbe::ConverterOutput);
        EXPECT_EQ(CheckReading(volts, WeightSum(count, old.Calibration.BitWeights), -0.1, 5.0, "V")
                      .Verdict,
                  ReadingVerdict::Accepted)
            << count;
        readings.push_back(
            {count, volts, MeterResolution(MeterType::FourAndAHalfDigits, volts, false)});
    }
    EXPECT_FALSE(
        CheckRepeat(MeterType::FourAndAHalfDigits, readings[13].Volts, readings.back().Volts));
    const WeightFit fit = FitWeights(readings);
    EXPECT_TRUE(fit.Determined);
    EXPECT_TRUE(CheckWeights(fit.Weights, old.Calibration.BitWeights).Faults.empty());
    EXPECT_FALSE(CheckFitAgainstNoise(fit, 0.0));
    result.BitWeights = fit.Weights;
    result.WeightResidualRms = fit.ResidualRms;
    result.ConverterOffset = fit.Offset;

    CalibrationBlock block = old.Calibration;
    block.BitWeights = fit.Weights;
    instrument.AllOff();
    const ComparatorLevels levels = MeasureComparatorLevels(instrument, block, 20);
    const MultiplierFit multipliers = FitMultipliers(levels, meter.Read(MeterProbe::PackVoltage),
                                                     meter.Read(MeterProbe::NegativeTerminal));
    EXPECT_TRUE(multipliers.Low && multipliers.High) << multipliers.LowReason;
    result.LowSideMultiplier = multipliers.Low;
    result.HighSideMultiplier = multipliers.High;

    CurrentProbe probe(instrument, clock);
    for (const bool charge : {false, true}) {
        const int rates = charge ? old.ChargeRateCount - 1 : 15;
        for (int rate = 1; rate <= rates; ++rate) {
            probe.SwitchOn(rate, charge);
            clock.Advance(3.0);
            const double amperes = CurrentFromReading(meter.Read(MeterProbe::SeriesCurrent), 0.0);
            probe.SwitchOff();
            (charge ? result.ChargeCurrent : result.DischargeCurrent)[rate] = amperes;
        }
    }
    return result;
}

struct Accuracy {
    double WorstVolts = 0.0;  // largest |reading - terminal voltage|
    std::string WorstWhere;
    double WorstBeyondLimit = 0.0;  // largest error less 0.1 % + 5 mV; <= 0 is within
    std::string Worst;              // where the error comes closest to that limit
};

// The reading (a mean of 20 conversions) of every pack against its true
// terminal voltage, at rest, half full.
Accuracy ReadingErrors(const Configuration& config, const simulator::BoardCalibration& board) {
    Accuracy accuracy;
    const std::pair<Chemistry, int> kinds[] = {{Chemistry::NiMH, 12}, {Chemistry::LiPo, 6}};
    for (const auto& [chemistry, most] : kinds) {
        for (int cells = 1; cells <= most; ++cells) {
            VirtualClock clock;
            SimulatedPort port(clock, {chemistry, cells, 2000.0, 0.5}, 0x378, board);
            Instrument instrument(clock, config.Calibration);
            instrument.BindPort(port);
            instrument.SetPortAddress(0x378);
            const double reading = instrument.ReadVoltage(true);
            const double truth = port.TerminalVoltage();
            const double error = std::fabs(reading - truth);
            const double beyond = error - (0.001 * truth + 0.005);
            std::ostringstream where;
            where << cells << " " << simulator::ChemistryName(chemistry) << " cells: read "
                  << reading << " V, true " << truth << " V";
            if (error > accuracy.WorstVolts) {
                accuracy.WorstVolts = error;
                accuracy.WorstWhere = where.str();
            }
            if (accuracy.Worst.empty() || beyond > accuracy.WorstBeyondLimit) {
                accuracy.WorstBeyondLimit = beyond;
                accuracy.Worst = where.str();
            }
        }
    }
    return accuracy;
}

class NoWindow final : public UserInterface {
  public:
    explicit NoWindow(VirtualClock& clock) : clock_(clock) {}
    void Yield() override { clock_.Advance(0.25); }
    bool PollStop() override { return false; }
    void ShowError(const std::string&) override {}
    // The pack is sound: nothing is asked, and a question is answered No.
    bool AskYesNo(const std::string&) override { return false; }

  private:
    VirtualClock& clock_;
};

// A whole Discharge of a small pack at the rate, by the program's procedure:
// the capacity it logs against the charge the pack gave.
std::pair<double, double> DischargeCapacity(const Configuration& config,
                                            const simulator::BoardCalibration& board, int rate) {
    VirtualClock clock;
    SimulatedPort port(clock, {Chemistry::NiMH, 6, 150.0, 0.9}, 0x378, board);
    Instrument instrument(clock, config.Calibration);
    instrument.BindPort(port);
    instrument.SetPortAddress(0x378);
    TempFolder folder;
    TestSettings settings;
    settings.CellType = "NiMH";
    settings.Capacity = 150;
    settings.NumberOfCells = 6;
    settings.DischargeRate = rate;
    settings.ChargeRate = rate;
    settings.MaximumCycles = 1;
    Graph graph;
    NoWindow window(clock);
    Procedures procedures(config, settings, instrument, graph, clock, window, folder.Path());
    const double delivered0 = port.DeliveredMah();
    EXPECT_GT(procedures.RunDischarge(0), 0);
    const double delivered = port.DeliveredMah() - delivered0;
    const ResultsFile results = ReadResultsFile(folder.File(ResultsFileName));
    EXPECT_EQ(results.RecordCount(), 1);
    EXPECT_FALSE(results.Lines.empty());
    if (results.Lines.empty()) {
        return {0.0, delivered};
    }
    return {results.Lines.back().Record.MilliampHours, delivered};
}

TEST(CalibrationEndToEnd, TheAssistantMakesEveryReadingAsGoodAsTheMeter) {
    const simulator::BoardCalibration board = simulator::SeededBoardCalibration(BoardSeed);
    const Configuration sample = simulator::SampleConfiguration();

    TempFolder folder;
    {
        std::ifstream in(VOLTREX_SAMPLE_INI, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        folder.Write("Voltrex2.ini", text.str());
    }
    VirtualClock clock;
    SimulatedPort port(clock, {Chemistry::NiMH, 7, 2000.0, 0.6}, 0x378, board);
    Instrument instrument(clock, sample.Calibration);
    instrument.BindPort(port);
    instrument.SetPortAddress(0x378);
    const CalibrationResult result = Calibrate(clock, port, instrument, sample);
    instrument.ClearPortAddress();

    std::string copy;
    std::string historyProblem;
    ASSERT_EQ(SaveCalibration(folder.File("Voltrex2.ini"), result, clock, copy, historyProblem),
              std::nullopt);
    Configuration calibrated = sample;
    ASSERT_EQ(ReadConfiguration(calibrated, folder.File("Voltrex2.ini")), std::nullopt);

    const Accuracy before = ReadingErrors(sample, board);
    const Accuracy after = ReadingErrors(calibrated, board);
    std::printf(
        "Readings of 1-12 NiMH and 1-6 LiPo cells on the board of seed %u:\n"
        "  sample configuration: worst error %.1f mV (%s), %+.1f mV beyond 0.1 %% + 5 mV (%s)\n"
        "  after calibration:    worst error %.1f mV (%s), %+.1f mV beyond 0.1 %% + 5 mV (%s)\n",
        BoardSeed, before.WorstVolts * 1000.0, before.WorstWhere.c_str(),
        before.WorstBeyondLimit * 1000.0, before.Worst.c_str(), after.WorstVolts * 1000.0,
        after.WorstWhere.c_str(), after.WorstBeyondLimit * 1000.0, after.Worst.c_str());
    EXPECT_GT(before.WorstBeyondLimit, 0.0);
    EXPECT_LE(after.WorstBeyondLimit, 0.0) << after.Worst;

    for (const int rate : {3, 8}) {
        const auto [loggedBefore, gaveBefore] = DischargeCapacity(sample, board, rate);
        const auto [logged, gave] = DischargeCapacity(calibrated, board, rate);
        std::printf(
            "Discharge at rate %d: sample configuration logs %.1f mAh of %.1f mAh given "
            "(%+.2f %%); calibrated logs %.1f mAh of %.1f mAh (%+.2f %%)\n",
            rate, loggedBefore, gaveBefore, (loggedBefore / gaveBefore - 1.0) * 100.0, logged, gave,
            (logged / gave - 1.0) * 100.0);
        EXPECT_NEAR(logged / gave, 1.0, 0.005) << rate;
    }
}

}  // namespace
}  // namespace voltrex::testing
