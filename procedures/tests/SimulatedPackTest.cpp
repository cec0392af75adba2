#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>

#include "config/ConfigurationReader.h"
#include "platform/CFormat.h"
#include "procedures/PackCheck.h"
#include "procedures/ProcedureTexts.h"
#include "procedures/tests/ProcedureFixture.h"
#include "simulator/SimulatorSettings.h"
#include "testsupport/SimulatedPort.h"

namespace voltrex::testing {
namespace {

using simulator::BatteryPack;
using simulator::Chemistry;

// The procedures on the simulated charger board with the sample
// configuration that ships with the program, read as the program reads it.
class SimulatedPackTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const std::optional<std::string> error =
            ReadConfiguration(config, VOLTREX_SAMPLE_CONFIGURATION);
        ASSERT_FALSE(error.has_value()) << error.value_or("");
        ui.PassSeconds = 0.5;
    }

    void Connect(const BatteryPack::Settings& pack) {
        port = std::make_unique<SimulatedPort>(clock, pack, config.PortAddress);
        instrument.BindPort(*port);
        instrument.SetPortAddress(config.PortAddress);
    }

    void Use(const char* cellType, int cells, int capacity, int chargeRate, int dischargeRate) {
        settings.CellType = cellType;
        settings.NumberOfCells = cells;
        settings.Capacity = capacity;
        settings.ChargeRate = chargeRate;
        settings.DischargeRate = dischargeRate;
        settings.MaximumCycles = 1;
    }

    // A column of the last record of the results log, as a number.
    double LastRecordColumn(std::size_t column) {
        const std::vector<std::string> lines = ReadLines(folder.File("Voltrex2.csv"));
        if (lines.size() < 2) {
            ADD_FAILURE() << "no record";
            return 0.0;
        }
        std::size_t start = 0;
        for (std::size_t i = 0; i < column; ++i) {
            start = lines.back().find(',', start) + 1;
        }
        double value = 0.0;
        EXPECT_EQ(ScanC(lines.back().c_str() + start, "%lf", &value), 1) << lines.back();
        return value;
    }

    VirtualClock clock;
    Configuration config;
    TestSettings settings;
    std::unique_ptr<SimulatedPort> port;
    Instrument instrument{clock, config.Calibration};
    Graph graph;
    FakeUserInterface ui{clock};
    TempFolder folder;
    Procedures procedures{config, settings, instrument, graph, clock, ui, folder.Path()};
};

constexpr std::size_t MilliampHoursColumn = 8;

// The simulated board behind a port that keeps every byte written to its
// data register, as the simulated library's write log does.
class LoggingPort final : public Port {
  public:
    explicit LoggingPort(SimulatedPort& board) : board_(board) {}
    void Out(std::uint16_t port, std::uint8_t value) override {
        if (port == board_.Board().DataAddress()) {
            Data.push_back(value);
        }
        board_.Out(port, value);
    }
    std::uint8_t In(std::uint16_t port) override { return board_.In(port); }
    bool AnyRelayBit() const {
        return std::any_of(Data.begin(), Data.end(),
                           [](std::uint8_t v) { return (v & 0x30) != 0; });
    }
    // Conversions (counter resets) before the first write that sets a relay.
    int ConversionsBeforeTheFirstRelay() const {
        int conversions = 0;
        std::uint8_t previous = 0;
        for (const std::uint8_t value : Data) {
            if ((value & 0x30) != 0) {
                break;
            }
            conversions += (value & 0x40) != 0 && (previous & 0x40) == 0 ? 1 : 0;
            previous = value;
        }
        return conversions;
    }
    std::vector<std::uint8_t> Data;

  private:
    SimulatedPort& board_;
};

// A 2-cell LiPo resting at 7.4 V started as 3 cells would be charged toward
// 12.6 V; set as its 2 cells it charges as it always has: the look at the
// pack is the resistance test's own first reading, so its first relay write
// still follows exactly one fresh reading of 20 conversions.
TEST_F(SimulatedPackTest, ALithiumPackSetWithTooManyCellsIsRefusedBeforeAnyRelayMoves) {
    Connect({Chemistry::LiPo, 2, 300.0, 0.12});
    LoggingPort logged(*port);
    instrument.BindPort(logged);
    Use("LiPo", 3, 300, 9, 8);
    EXPECT_EQ(procedures.RunCharge(0, 0), -1);
    ASSERT_EQ(ui.Errors.size(), 1u);
    EXPECT_NE(ui.Errors[0].find("for the 3 cells set"), std::string::npos) << ui.Errors[0];
    EXPECT_FALSE(logged.AnyRelayBit());
    EXPECT_FALSE(FileExists(folder.File("curves")));

    ui.Errors.clear();
    logged.Data.clear();
    settings.NumberOfCells = 2;
    EXPECT_GT(procedures.RunCharge(0, 0), 0);
    EXPECT_TRUE(ui.Errors.empty());
    EXPECT_EQ(logged.ConversionsBeforeTheFirstRelay(), 20);
    EXPECT_EQ(ReadLines(folder.File("Voltrex2.csv")).size(), 2u);
}

// Emptied at a high rate, the pack reads below the resting range for minutes
// after the discharge; the charge that follows is still allowed.
TEST_F(SimulatedPackTest, ALithiumPackThisProgramHasJustEmptiedIsCharged) {
    Connect({Chemistry::LiPo, 3, 300.0, 0.3});
    Use("LiPo", 3, 300, 9, 13);
    ASSERT_GT(procedures.RunDischarge(0), 0);
    EXPECT_LT(instrument.ReadVoltage(true), 3 * 2.95);
    EXPECT_GT(procedures.RunCharge(0, 0), 0);
    EXPECT_TRUE(ui.Errors.empty());
}

TEST_F(SimulatedPackTest, WithNoPackConnectedNoTestStartsAndNothingIsLogged) {
    Connect({Chemistry::NiMH, 7, 1000.0, 0.5});
    port->Board().SetPackConnected(false);
    LoggingPort logged(*port);
    instrument.BindPort(logged);
    Use("NiMH", 7, 1000, 9, 8);
    settings.MaximumCycles = 3;
    EXPECT_EQ(procedures.RunDischarge(0), -1);
    EXPECT_EQ(procedures.RunCharge(0, 0), -1);
    procedures.RunAutoCycle();
    ASSERT_EQ(ui.Errors.size(), 3u);
    for (const std::string& error : ui.Errors) {
        EXPECT_EQ(error.rfind("No battery pack found: the pack reads ", 0), 0u) << error;
    }
    EXPECT_FALSE(logged.AnyRelayBit());
    EXPECT_EQ(ui.Yields(), 0);
    EXPECT_FALSE(FileExists(folder.File("Voltrex2.csv")));
    EXPECT_FALSE(FileExists(folder.File("curves")));
}

// A typo in Voltrex2.ini (4.5 for 4.15) would charge every LiPo pack into
// overcharge: the box names the value, its line as an editor shows it, and
// the hard ceiling.
TEST_F(SimulatedPackTest, AConfiguredLithiumCeilingAboveTheHardOneRefusesTheCharge) {
    std::vector<std::string> lines = ReadLines(VOLTREX_SAMPLE_CONFIGURATION);
    const auto lipo = std::find(lines.begin(), lines.end(), "4.20 3.00");
    ASSERT_NE(lipo, lines.end());
    *lipo = "4.5 3.00";
    const int lineNumber = static_cast<int>(lipo - lines.begin()) + 1;
    {
        std::ofstream out(folder.File("Voltrex2.ini"));
        for (const std::string& line : lines) {
            out << line << '\n';
        }
    }
    ASSERT_FALSE(ReadConfiguration(config, folder.File("Voltrex2.ini")).has_value());
    Connect({Chemistry::LiPo, 3, 1000.0, 0.5});
    LoggingPort logged(*port);
    instrument.BindPort(logged);
    Use("LiPo", 3, 1000, 9, 8);
    EXPECT_EQ(procedures.RunCharge(0, 0), -1);
    EXPECT_EQ(ui.Errors, std::vector<std::string>{Format(
                             "The LiPo end-of-charge voltage of 4.500 V per cell on line %d of "
                             "Voltrex2.ini is above 4.35 V, the highest a LiPo cell is ever "
                             "charged to. Correct it in Setup. Nothing has been switched on.",
                             lineNumber)});
    EXPECT_TRUE(logged.Data.empty());
}

// A pack that suddenly reads far above what its cells may (here five cells
// put in place of the one set) is switched off in the very pass whose
// smoothed reading passes the cut-off, before the ceiling rule's step-down.
TEST_F(SimulatedPackTest, AChargingPackJumpingAboveTheCutOffIsSwitchedOffInThatPass) {
    Connect({Chemistry::LiPo, 1, 1000.0, 0.5});
    Use("LiPo", 1, 1000, 9, 8);
    ui.OnYield = [this] {
        if (ui.Yields() == 50) {
            port->Board().ReplacePack({Chemistry::LiPo, 5, 1000.0, 0.5});
        }
    };
    EXPECT_EQ(procedures.RunCharge(0, 0), -1);
    EXPECT_EQ(ui.Yields(), 50) << "a pass went on above the cut-off";
    EXPECT_EQ(ui.Errors, std::vector<std::string>{
                             ChargeCutOffMessage("LiPo", 1, instrument.SmoothedVoltage(), 4.45)});
    EXPECT_GT(instrument.SmoothedVoltage(), 4.45);
    EXPECT_EQ(port->Board().Latch(), 0x00);
    EXPECT_FALSE(FileExists(folder.File("Voltrex2.csv")));
    for (const auto& entry : std::filesystem::directory_iterator(folder.File("curves"))) {
        EXPECT_EQ(ReadLines(entry.path().string()).back(),
                  "# End: above the pack's highest voltage");
    }
}

TEST_F(SimulatedPackTest, NickelDischargeFromFullLogsTheChargeThePackDelivered) {
    Connect({Chemistry::NiMH, 7, 1000.0, 1.0});
    Use("NiMH", 7, 1000, 9, 10);  // 1.503 A
    const std::int32_t seconds = procedures.RunDischarge(0);
    ASSERT_GT(seconds, 0);
    EXPECT_EQ(instrument.ControlLatch(), 0);
    EXPECT_EQ(port->Current(), 0.0);
    // Below the pack minimum of 7.0 V (the corrected end lies lower still).
    EXPECT_LT(instrument.SmoothedVoltage(), 7.0);
    const double logged = LastRecordColumn(MilliampHoursColumn);
    EXPECT_NEAR(logged, port->DeliveredMah(), 0.02 * port->DeliveredMah());
    EXPECT_NEAR(logged, 1000.0, 0.1 * 1000.0);
    EXPECT_NEAR(logged, seconds * config.DischargeCurrent[10] / 3.6, 1.0);
}

// From full at 1 C every chemistry gives what its makers' data sheets give at
// that rate before it falls below its end voltage (nickel and lithium nearly
// their rating, sealed lead, rated at 20 hours, about two thirds of it), and
// the count of table current per second agrees with the charge that flowed.
TEST_F(SimulatedPackTest, EveryChemistryFromFullAtOneCGivesWhatItsDataSheetGives) {
    struct Case {
        Chemistry chemistry;
        const char* cellType;
        int cells;
        double low;
        double high;
    };
    const Case cases[] = {{Chemistry::NiCd, "NiCd", 6, 0.93, 1.0},
                          {Chemistry::NiMH, "NiMH", 7, 0.92, 1.0},
                          {Chemistry::LiPo, "LiPo", 3, 0.93, 1.0},
                          {Chemistry::LiNP, "LiNP", 4, 0.95, 1.01},
                          {Chemistry::PbAcid, "PbAcid", 6, 0.55, 0.70}};
    ui.PassSeconds = 1.0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.cellType);
        Connect({c.chemistry, c.cells, 2000.0, 1.0});
        Use(c.cellType, c.cells, 2000, 12, 11);  // 1.996 A
        ASSERT_GT(procedures.RunDischarge(0), 0);
        EXPECT_GT(port->DeliveredMah(), c.low * 2000.0);
        EXPECT_LT(port->DeliveredMah(), c.high * 2000.0);
        EXPECT_NEAR(LastRecordColumn(MilliampHoursColumn), port->DeliveredMah(),
                    0.02 * port->DeliveredMah());
    }
}

// The simulated library's own pack, as it starts without a Voltrex2Sim.ini:
// seven AA cells 90 % charged. A charge at 1 C shows a new user a real pack's
// end of charge within a quarter of an hour: it peaks, falls back and ends on
// delta-V, full and warm.
TEST_F(SimulatedPackTest, TheDefaultPackEndsAOneCChargeOnDeltaVWithinAQuarterOfAnHour) {
    const simulator::SimulatorSettings defaults;
    Connect(defaults.Pack);
    Use("NiMH", defaults.Pack.Cells, static_cast<int>(defaults.Pack.CapacityMah), 12, 11);
    ASSERT_NEAR(config.ChargeCurrent[12] * 1000.0 / defaults.Pack.CapacityMah, 1.0, 0.01);
    ui.PassSeconds = 1.0;
    const std::int32_t seconds = procedures.RunCharge(0, 0);
    EXPECT_GT(seconds, 10 * 60);
    EXPECT_LT(seconds, 15 * 60);
    EXPECT_GT(port->StateOfCharge(), 0.97);
    EXPECT_GT(port->Pack().TemperatureCelsius(), 28.0);
}

TEST_F(SimulatedPackTest, StoppedDischargeSwitchesOffAndLogsNothing) {
    Connect({Chemistry::NiCd, 6, 1000.0, 0.8});
    Use("NiCd", 6, 1000, 9, 8);
    ui.OnYield = [this] {
        if (ui.Yields() == 200) {
            EXPECT_GT(port->Current(), 0.9);
            ui.ClickStop();
        }
    };
    EXPECT_EQ(procedures.RunDischarge(0), -1);
    EXPECT_EQ(port->Current(), 0.0);
    EXPECT_FALSE(port->Board().Connected());
    EXPECT_FALSE(FileExists(folder.File("Voltrex2.csv")));
}

TEST_F(SimulatedPackTest, APowerCutDuringALithiumChargeEndsItInThatPass) {
    Connect({Chemistry::LiPo, 3, 1000.0, 0.3});
    Use("LiPo", 3, 1000, 9, 8);
    ui.OnYield = [this] {
        if (ui.Yields() == 100) {
            EXPECT_LT(port->Current(), -0.9);
            port->Board().SetPowered(false);
        }
    };
    EXPECT_EQ(procedures.RunCharge(0, 0), -1);
    EXPECT_EQ(ui.Yields(), 100) << "a pass after the cut went on";
    EXPECT_EQ(ui.Errors, std::vector<std::string>{texts::MeasurementFailure});
    EXPECT_EQ(port->Board().Latch(), 0x00);
    EXPECT_FALSE(FileExists(folder.File("Voltrex2.csv")));
}

TEST_F(SimulatedPackTest, ADischargeOnABoardWithoutPowerNeverStarts) {
    Connect({Chemistry::NiMH, 7, 1000.0, 0.8});
    Use("NiMH", 7, 1000, 9, 8);
    port->Board().SetPowered(false);
    EXPECT_EQ(procedures.RunDischarge(0), -1);
    EXPECT_EQ(ui.Yields(), 0);
    EXPECT_EQ(ui.Errors, std::vector<std::string>{texts::MeasurementFailure});
    EXPECT_EQ(port->Board().Latch(), 0x00);
    EXPECT_FALSE(FileExists(folder.File("Voltrex2.csv")));
}

TEST_F(SimulatedPackTest, AnAutoCycleEndsWithAPhaseWhoseReadingFailed) {
    Connect({Chemistry::NiMH, 4, 200.0, 1.0});
    Use("NiMH", 4, 200, 7, 7);
    settings.MaximumCycles = 3;
    config.CycleRestTime = 0;
    ui.OnYield = [this] {
        if (port->Board().ChargeMode() && port->Board().Powered()) {
            port->Board().SetPowered(false);
        }
    };
    procedures.RunAutoCycle();
    const std::vector<std::string> lines = ReadLines(folder.File("Voltrex2.csv"));
    ASSERT_EQ(lines.size(), 2u);  // the header and the first discharge
    EXPECT_NE(lines[1].find(",\"DIS\",1,3,"), std::string::npos) << lines[1];
    EXPECT_EQ(ui.Errors, std::vector<std::string>{texts::MeasurementFailure});
    EXPECT_EQ(port->Board().Latch(), 0x00);
}

TEST_F(SimulatedPackTest, NickelChargeEndsByDeltaVWithTheCapacityPutIn) {
    Connect({Chemistry::NiMH, 7, 1000.0, 0.0});
    Use("NiMH", 7, 1000, 9, 8);  // 0.998 A, 1 C
    const auto limit = static_cast<std::int32_t>(
        static_cast<std::int32_t>(1000 * 3.6 / config.ChargeCurrent[9]) * 1.25);
    const std::int32_t seconds = procedures.RunCharge(0, 0);
    ASSERT_GT(seconds, 0);
    EXPECT_LE(seconds, limit) << "ended by the time limit, not by delta-V";
    const double logged = LastRecordColumn(MilliampHoursColumn);
    EXPECT_GE(logged, 1000.0);
    EXPECT_LE(logged, 1300.0);
    EXPECT_NEAR(logged, port->ReceivedMah(), 0.02 * port->ReceivedMah());
    EXPECT_GT(port->StateOfCharge(), 0.95);
}

// A nickel pack charged at 1 C from part full peaks and falls back far enough,
// for long enough, that the delta-V rule of the sample configuration ends the
// charge with the pack full and warm, well before the time limit.
TEST_F(SimulatedPackTest, NickelChargeAtOneCEndsFullAndWarmOnDeltaV) {
    ui.PassSeconds = 1.0;
    for (const auto& [chemistry, cellType] :
         {std::pair{Chemistry::NiMH, "NiMH"}, std::pair{Chemistry::NiCd, "NiCd"}}) {
        SCOPED_TRACE(cellType);
        Connect({chemistry, 7, 2000.0, 0.6});
        Use(cellType, 7, 2000, 12, 8);  // 2.004 A
        const auto limit = static_cast<std::int32_t>(
            static_cast<std::int32_t>(2000 * 3.6 / config.ChargeCurrent[12]) * 1.25);
        const std::int32_t seconds = procedures.RunCharge(0, 0);
        ASSERT_GT(seconds, 0);
        EXPECT_LT(seconds, limit) << "ended by the time limit, not by delta-V";
        EXPECT_GT(port->StateOfCharge(), 0.97);
        EXPECT_GT(port->Pack().TemperatureCelsius(), 28.0);
        EXPECT_NEAR(LastRecordColumn(MilliampHoursColumn), port->ReceivedMah(),
                    0.02 * port->ReceivedMah());
    }
}

// Charges a ceiling pack and checks that the readings never stay above the
// ceiling for more than the given passes and that the charge ends on the step
// to rate 0.
void ExpectCeilingHeld(FakeUserInterface& ui, Instrument& instrument, double ceiling,
                       std::int32_t limit, int chargeRate, const std::function<std::int32_t()>& run,
                       double count, int passesAboveAllowed = 1) {
    int passesAbove = 0;
    int longestAbove = 0;
    int stepDowns = 0;
    std::uint8_t lastRate = 0xFF;
    std::uint8_t lastLatch = 0;
    ui.OnYield = [&] {
        const std::uint8_t latch = instrument.ControlLatch();
        const std::uint8_t rate = latch & 0x0F;
        if (lastRate != 0xFF && rate < lastRate) {
            ++stepDowns;
        }
        lastRate = rate;
        lastLatch = latch;
        if (instrument.SmoothedVoltage() > ceiling + 3 * count) {
            ++passesAbove;
            longestAbove = std::max(longestAbove, passesAbove);
        } else {
            passesAbove = 0;
        }
    };
    const std::int32_t seconds = run();
    EXPECT_GT(seconds, 0);
    EXPECT_LE(seconds, limit) << "ended by the time limit, not at rate 0";
    EXPECT_EQ(lastLatch, 0x30) << "the last pass stepped down to rate 0";
    EXPECT_EQ(stepDowns, chargeRate);
    EXPECT_LE(longestAbove, passesAboveAllowed);
    EXPECT_EQ(instrument.ControlLatch(), 0);
}

TEST_F(SimulatedPackTest, LithiumPackIsHeldAtTheCeilingUntilTheRateReachesZero) {
    Connect({Chemistry::LiPo, 3, 1000.0, 0.5});
    Use("LiPo", 3, 1000, 9, 8);
    const auto limit = static_cast<std::int32_t>(
        static_cast<std::int32_t>(1000 * 3.6 / config.ChargeCurrent[9]) * 1.75);
    const double count = config.Calibration.BitWeights[0] * config.Calibration.HighSideMultiplier;
    ExpectCeilingHeld(
        ui, instrument, 3 * config.LiPoVmax, limit, 9,
        [this] { return procedures.RunCharge(0, 0); }, count);
    EXPECT_GT(port->StateOfCharge(), 0.95);
}

TEST_F(SimulatedPackTest, LithiumIronPhosphatePackIsHeldAtTheCeilingUntilTheRateReachesZero) {
    Connect({Chemistry::LiNP, 4, 2000.0, 0.5});
    Use("LiNP", 4, 2000, 12, 8);  // 2.004 A
    ui.PassSeconds = 1.0;
    const auto limit = static_cast<std::int32_t>(
        static_cast<std::int32_t>(2000 * 3.6 / config.ChargeCurrent[12]) * 1.75);
    const double count = config.Calibration.BitWeights[0] * config.Calibration.HighSideMultiplier;
    // A lithium iron phosphate cell's voltage climbs steeply in the last per
    // cent before its ceiling: at 1 C the smoothed reading goes on rising for
    // one more pass after the first step down.
    ExpectCeilingHeld(
        ui, instrument, 4 * config.LiNPVmax, limit, 12,
        [this] { return procedures.RunCharge(0, 0); }, count, 2);
    EXPECT_GT(port->StateOfCharge(), 0.95);
}

TEST_F(SimulatedPackTest, LeadPackIsHeldAtTheCeilingUntilTheRateReachesZero) {
    Connect({Chemistry::PbAcid, 6, 500.0, 0.5});
    Use("PbAcid", 6, 500, 6, 8);  // 0.4008 A
    const auto limit = static_cast<std::int32_t>(
        static_cast<std::int32_t>(500 * 3.6 / config.ChargeCurrent[6]) * 1.75);
    const double count = config.Calibration.BitWeights[0] * config.Calibration.HighSideMultiplier;
    ExpectCeilingHeld(
        ui, instrument, 6 * config.PbAcidVmax, limit, 6,
        [this] { return procedures.RunCharge(0, 0); }, count);
    EXPECT_GT(port->StateOfCharge(), 0.9);
}

TEST_F(SimulatedPackTest, ResistanceOfThePackAtBothCurrents) {
    Connect({Chemistry::NiMH, 7, 2000.0, 0.5, 0.05});
    Use("NiMH", 7, 2000, 12, 12);  // 2.004 A and 2.502 A
    // The configured internal resistance, 0.05 ohm per cell. The pulse lasts
    // tens of milliseconds, so the slow polarisation (30 s) hardly adds to it.
    const double series = 7 * 0.05;
    GraphPlot own(graph.Image(), 0.0, 0.0);
    const double charge = procedures.MeasureInternalResistance(1, own);
    const double discharge = procedures.MeasureInternalResistance(-1, own);
    EXPECT_NEAR(charge, series, 0.1 * series);
    EXPECT_NEAR(discharge, series, 0.1 * series);
    EXPECT_EQ(instrument.ControlLatch(), 0x20);

    // The Resistance button: both, the result line, all off.
    const double both = procedures.MeasureInternalResistance(0, own);
    EXPECT_NEAR(both, series, 0.1 * series);
    EXPECT_EQ(instrument.ControlLatch(), 0);
    EXPECT_EQ(port->Current(), 0.0);
    EXPECT_EQ(ui.Yields(), 0);
    EXPECT_FALSE(FileExists(folder.File("Voltrex2.csv")));
}

TEST_F(SimulatedPackTest, AutoCycleEndsWhenTheCapacityStopsGrowing) {
    // A small pack at 2.5 C: every cycle gives the same capacity, so the
    // third cycle gains nothing over the second and ends the sequence.
    Connect({Chemistry::NiMH, 4, 200.0, 1.0});
    Use("NiMH", 4, 200, 7, 7);  // 0.5012 A charge, 0.6995 A discharge
    settings.MaximumCycles = 6;
    settings.StopOnSmallIncrease = true;
    config.CycleRestTime = 10;
    config.CycleTerminationRatio = 1.02;  // room for the noise of one reading
    procedures.RunAutoCycle();
    const std::vector<std::string> lines = ReadLines(folder.File("Voltrex2.csv"));
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_NE(lines[5].find(",\"DIS\",3,6,"), std::string::npos) << lines[5];
    EXPECT_NE(lines[6].find(",\"CHG\",3,6,"), std::string::npos) << lines[6];
    EXPECT_EQ(instrument.ControlLatch(), 0);
}

}  // namespace
}  // namespace voltrex::testing
