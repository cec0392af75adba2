// The real-port library's code (the port table, its claim, data writes and
// status reads) on the emulated ppdev device with the simulated charger board
// behind it, against the same board in the test's own process: the program's
// conversions and drive sequences must come out the same through both.

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "EmulatedPpdev.h"
#include "config/ConfigurationReader.h"
#include "graph/Graph.h"
#include "instrument/Instrument.h"
#include "io/parport/ParportTable.h"
#include "procedures/Procedures.h"
#include "testsupport/SimulatedPort.h"
#include "testsupport/TempFolder.h"
#include "testsupport/VirtualClock.h"

namespace voltrex {
namespace {

using simulator::BatteryPack;
using simulator::Chemistry;
using testing::EmulatedPpdev;
using testing::SimulatedPort;
using testing::TempFolder;
using testing::VirtualClock;

constexpr std::uint16_t DataPort = 0x378;
// Not the board's default seed, so that both sides are seen to take it.
constexpr std::uint32_t Seed = 4711;

// The test's port table as the instrument's port.
class TablePort final : public Port {
  public:
    explicit TablePort(io::ParportTable& table) : table_(table) {}
    void Out(std::uint16_t port, std::uint8_t value) override { table_.Out(port, value); }
    std::uint8_t In(std::uint16_t port) override { return table_.In(port); }

  private:
    io::ParportTable& table_;
};

// The simulated board in process, recording the data bytes it receives.
class RecordedSimulatedPort final : public SimulatedPort {
  public:
    using SimulatedPort::SimulatedPort;
    void Out(std::uint16_t port, std::uint8_t value) override {
        if (port == DataPort) {
            writes.push_back(value);
        }
        SimulatedPort::Out(port, value);
    }
    std::vector<std::uint8_t> writes;
};

void Ignore(const char*) {}

// A window that never clicks Stop; each pass costs half a second.
class PassingUserInterface final : public UserInterface {
  public:
    explicit PassingUserInterface(VirtualClock& clock) : clock_(clock) {}
    void Yield() override { clock_.Advance(0.5); }
    bool PollStop() override { return false; }
    void ShowError(const std::string& message) override { errors.push_back(message); }
    bool AskYesNo(const std::string& question) override {
        errors.push_back(question);
        return false;
    }
    std::vector<std::string> errors;

  private:
    VirtualClock& clock_;
};

std::string ReadFile(const std::string& path) {
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

// One side of the comparison: the simulated pack in process, or the same
// pack behind the emulated device and the port table.
struct SimulatedSide {
    SimulatedSide(const BatteryPack::Settings& pack, const CalibrationBlock& calibration)
        : port(clock, pack, DataPort, simulator::DefaultBoardCalibration(), Seed),
          instrument(clock, calibration) {
        instrument.BindPort(port);
    }
    VirtualClock clock;
    RecordedSimulatedPort port;
    Instrument instrument;
};

struct ParportSide {
    ParportSide(const BatteryPack::Settings& pack, const CalibrationBlock& calibration)
        : device(clock, dev.Path() + "/parport0", pack, DataPort, Seed),
          table(proc.Path().c_str(), dev.Path().c_str(), false, &Ignore, EmulatedPpdev::Calls()),
          instrument(clock, calibration) {
        proc.Write("sys/dev/parport/parport0/base-addr", "888\t1912\n");
        proc.Write("sys/dev/parport/parport0/devices/active", "none\n");
        dev.Write("parport0", "");
        instrument.BindPort(port);
    }
    TempFolder proc;
    TempFolder dev;
    VirtualClock clock;
    EmulatedPpdev device;
    io::ParportTable table;
    TablePort port{table};
    Instrument instrument;
};

class ParportWorkingPathTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const std::optional<std::string> error = ReadConfiguration(config, VOLTREX_SAMPLE_INI);
        ASSERT_FALSE(error.has_value()) << error.value_or("");
        ASSERT_EQ(config.PortAddress, DataPort);
    }
    Configuration config;
};

TEST_F(ParportWorkingPathTest, ConversionsReadThePackAsTheSimulatedPortDoes) {
    const BatteryPack::Settings packs[] = {
        {Chemistry::NiMH, 7, 2000.0, 0.5},
        {Chemistry::LiPo, 3, 1000.0, 0.9},
        {Chemistry::PbAcid, 6, 7000.0, 0.2},
    };
    for (const BatteryPack::Settings& pack : packs) {
        SCOPED_TRACE(pack.Cells);
        SimulatedSide simulated(pack, config.Calibration);
        ParportSide parport(pack, config.Calibration);
        // As the program does at start-up: ask first, then switch all off.
        ASSERT_EQ(parport.table.AccessProblem(DataPort), nullptr);
        EXPECT_EQ(parport.device.Claims(), 1);
        simulated.instrument.SetPortAddress(DataPort);
        parport.instrument.SetPortAddress(DataPort);

        const double one = parport.instrument.MeasureVoltage(config.Calibration);
        EXPECT_EQ(one, simulated.instrument.MeasureVoltage(config.Calibration));
        const double mean = parport.instrument.ReadVoltage(true);
        EXPECT_EQ(mean, simulated.instrument.ReadVoltage(true));
        EXPECT_NEAR(mean, simulated.port.TerminalVoltage(), 0.05);
        EXPECT_GT(parport.device.DataWrites().size(), 1000u);
        EXPECT_EQ(parport.device.DataWrites(), simulated.port.writes);
        EXPECT_EQ(parport.device.RefusedBeforeClaim(), 0);
    }
}

TEST_F(ParportWorkingPathTest, WholeDischargeWritesTheSameBytesThroughBoth) {
    // Four AA cells near empty at 1 C: a discharge of about a minute and a half.
    const BatteryPack::Settings pack{Chemistry::NiMH, 4, 2000.0, 0.02};
    TestSettings settings;
    settings.CellType = "NiMH";
    settings.NumberOfCells = 4;
    settings.Capacity = 2000;
    settings.DischargeRate = 11;  // 1.996 A
    settings.ChargeRate = 5;
    settings.MaximumCycles = 1;

    struct Run {
        std::int32_t seconds = 0;
        std::string results;
        std::vector<std::string> errors;
    };
    const auto discharge = [&](Instrument& instrument, VirtualClock& clock) {
        Graph graph;
        PassingUserInterface ui(clock);
        TempFolder folder;
        Procedures procedures(config, settings, instrument, graph, clock, ui, folder.Path());
        instrument.SetPortAddress(config.PortAddress);
        Run run;
        run.seconds = procedures.RunDischarge(0);
        instrument.ClearPortAddress();
        run.results = ReadFile(folder.Path() + "/Voltrex2.csv");
        run.errors = ui.errors;
        return run;
    };

    SimulatedSide simulated(pack, config.Calibration);
    const Run expected = discharge(simulated.instrument, simulated.clock);
    ParportSide parport(pack, config.Calibration);
    ASSERT_EQ(parport.table.AccessProblem(DataPort), nullptr);
    const Run actual = discharge(parport.instrument, parport.clock);

    EXPECT_TRUE(expected.errors.empty());
    EXPECT_GT(expected.seconds, 30);
    EXPECT_EQ(actual.seconds, expected.seconds);
    EXPECT_NE(expected.results.find(",\"DIS\",0,0,\"NiMH\",2000,4,1996.0,"), std::string::npos)
        << expected.results;
    EXPECT_EQ(actual.results, expected.results);
    EXPECT_EQ(actual.errors, expected.errors);
    // Byte for byte; on a difference, where it starts.
    const std::vector<std::uint8_t>& writes = parport.device.DataWrites();
    ASSERT_GT(simulated.port.writes.size(), 100000u);
    EXPECT_EQ(writes.size(), simulated.port.writes.size());
    std::size_t same = 0;
    while (same < writes.size() && same < simulated.port.writes.size() &&
           writes[same] == simulated.port.writes[same]) {
        ++same;
    }
    EXPECT_EQ(same, simulated.port.writes.size()) << "first difference at write " << same;
    EXPECT_EQ(writes.back(), 0x00);
    EXPECT_EQ(parport.device.Board().Latch(), 0x00);
    EXPECT_EQ(parport.device.Board().Current(), 0.0);
    EXPECT_EQ(parport.device.RefusedBeforeClaim(), 0);
}

}  // namespace
}  // namespace voltrex
