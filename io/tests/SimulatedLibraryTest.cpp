#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "TempFolder.h"
#include "instrument/Instrument.h"
#include "instrument/PortLibrary.h"
#include "simulator/SampleConfiguration.h"
#include "simulator/SimulatorSettings.h"
#include "testsupport/VirtualClock.h"

namespace voltrex {
namespace {

using simulator::BatteryPack;
using simulator::Chemistry;
using simulator::SimulatorSettings;
using testing::TempFolder;
using testing::VirtualClock;

// The built simulated libio.so, loaded as the program loads it, in a working
// folder of its own whose Voltrex2Sim.ini sets up the pack. Each fixture
// loads the library afresh, so each gets a new board.
class SimulatedLibraryTest : public ::testing::Test {
  protected:
    void TearDown() override { Unload(); }

    void Load(SimulatorSettings settings, const std::string& extraLines = "") {
        Unload();
        settings_ = settings;
        folder_ = std::make_unique<TempFolder>();
        folder_->Write(simulator::SimulatorSettingsFileName,
                       simulator::FormatSimulatorSettings(settings) + extraLines);
        char cwd[4096];
        ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
        previousFolder_ = cwd;
        ASSERT_EQ(chdir(folder_->Path().c_str()), 0);
        ASSERT_EQ(library_.BindPortLibrary(VOLTREX_SIMULATED_IO), 0) << library_.LastError();
        instrument_ = std::make_unique<Instrument>(clock_, config_.Calibration);
        instrument_->BindPort(library_.EntryPoints().PortOut, library_.EntryPoints().PortIn);
        // The first access builds the board, reading the settings file.
        instrument_->SetPortAddress(settings.DataAddress);
    }

    void Unload() {
        if (instrument_) {
            instrument_->ClearPortAddress();
            instrument_.reset();
        }
        library_.ReleasePortLibrary();
        if (!previousFolder_.empty()) {
            EXPECT_EQ(chdir(previousFolder_.c_str()), 0);
            previousFolder_.clear();
        }
        folder_.reset();
    }

    // The terminal voltage of a pack built like the library's, with the
    // current of the latch flowing (the few milliseconds of real time the
    // library's pack has run change it by far less than a count).
    double ExpectedVoltage(double current) const {
        BatteryPack pack(settings_.Pack);
        pack.SetCurrent(current);
        return pack.TerminalVoltage();
    }

    double Count() const {
        return config_.Calibration.BitWeights[0] * config_.Calibration.HighSideMultiplier;
    }

    static SimulatorSettings Fast(Chemistry chemistry, int cells, double soc) {
        SimulatorSettings s;
        s.Pack = {chemistry, cells, 2000.0, soc};
        s.AccessMicroseconds = 0.0;
        return s;
    }

    VirtualClock clock_;
    Configuration config_ = simulator::SampleConfiguration();
    PortLibrary library_;
    std::unique_ptr<Instrument> instrument_;
    std::unique_ptr<TempFolder> folder_;
    std::string previousFolder_;
    SimulatorSettings settings_;
};

TEST_F(SimulatedLibraryTest, ReadingsMatchThePackForEveryChemistry) {
    struct Case {
        Chemistry chemistry;
        int cells;
    };
    const std::vector<Case> cases = {{Chemistry::NiCd, 1},
                                     {Chemistry::NiMH, 7},
                                     {Chemistry::LiPo, 12},
                                     {Chemistry::LiNP, 4},
                                     {Chemistry::PbAcid, 6}};
    for (const Case& c : cases) {
        for (double soc : {0.2, 0.9}) {
            SCOPED_TRACE(::testing::Message() << simulator::ChemistryName(c.chemistry) << " x"
                                              << c.cells << " soc " << soc);
            Load(Fast(c.chemistry, c.cells, soc));
            const double rest = instrument_->ReadVoltage(true);
            EXPECT_NEAR(rest, ExpectedVoltage(0.0), Count());
            // A single conversion is within a couple of counts as well.
            EXPECT_NEAR(instrument_->MeasureVoltage(config_.Calibration), rest, 3 * Count());

            instrument_->StartDischarge(11);
            EXPECT_NEAR(instrument_->ReadVoltage(true),
                        ExpectedVoltage(config_.DischargeCurrent[11]), Count());
            instrument_->StartCharge(11);
            EXPECT_NEAR(instrument_->ReadVoltage(true), ExpectedVoltage(-config_.ChargeCurrent[11]),
                        Count());
        }
    }
}

TEST_F(SimulatedLibraryTest, ByteHelpersWorkOnTheLatchAndStatus) {
    Load(Fast(Chemistry::NiMH, 7, 0.5));
    const PortEntryPoints& e = library_.EntryPoints();
    EXPECT_EQ(e.IsDriverInstalled(), 1);
    instrument_->StartDischarge(3);
    EXPECT_EQ(e.PortIn(0x378), 0x23);
    e.SetPortBit(0x378, 4);
    EXPECT_EQ(e.PortIn(0x378), 0x33);
    e.ClrPortBit(0x378, 0);
    e.NotPortBit(0x378, 2);
    EXPECT_EQ(e.PortIn(0x378), 0x36);
    EXPECT_EQ(e.GetPortBit(0x378, 5), 1);
    EXPECT_EQ(e.GetPortBit(0x378, 7), 0);
    EXPECT_EQ(e.RightPortShift(0x378, 1), 0);  // 0x36 -> 0x9B
    EXPECT_EQ(e.LeftPortShift(0x378, 0), 1);   // 0x9B -> 0x36
    EXPECT_EQ(e.PortIn(0x378), 0x36);
    // Word and double word: consecutive ports, least significant byte first.
    const unsigned word = e.PortWordIn(0x378);
    EXPECT_EQ(word & 0xFF, 0x36u);
    EXPECT_EQ((word >> 8) & 0x67, 0x67u);  // the status register's idle lines
    e.PortWordOut(0x379, 0x0400);          // status ignores it, control keeps 0x04
    EXPECT_EQ(e.PortIn(0x37A), 0x04);
    e.PortDWordOut(0x377, 0x00002000);  // 0x378 gets 0x20
    EXPECT_EQ(e.PortIn(0x378), 0x20);
    EXPECT_EQ(e.PortDWordIn(0x378) >> 24, 0xFFu);  // 0x37B is not the board's
    e.PortDWordOut(0x278, 0xFFFFFFFF);             // another port: nothing happens
    EXPECT_EQ(e.PortIn(0x378), 0x20);
}

TEST_F(SimulatedLibraryTest, SettingsFileSetsTheAddressAndReportsBadLines) {
    SimulatorSettings s = Fast(Chemistry::LiPo, 3, 0.5);
    s.DataAddress = 0x278;
    ::testing::internal::CaptureStderr();
    Load(s, "Cells = 99\n");
    const std::string messages = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(messages.find("libio (simulated): Voltrex2Sim.ini line 10: Cells = \"99\""),
              std::string::npos)
        << messages;
    EXPECT_NEAR(instrument_->ReadVoltage(true), ExpectedVoltage(0.0), Count());
    EXPECT_EQ(library_.EntryPoints().PortIn(0x379), 0xFF);
}

TEST_F(SimulatedLibraryTest, AccessesTakeTheirSetTime) {
    SimulatorSettings s = Fast(Chemistry::NiCd, 1, 0.5);
    s.AccessMicroseconds = 10.0;
    Load(s);
    // About 90 counts: some 300 accesses of 10 us each.
    const auto start = std::chrono::steady_clock::now();
    const double v = instrument_->MeasureVoltage(config_.Calibration);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_NEAR(v, ExpectedVoltage(0.0), 3 * Count());
    EXPECT_GE(elapsed, std::chrono::microseconds(2000));
}

}  // namespace
}  // namespace voltrex
