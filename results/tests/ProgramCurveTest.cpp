// The main program's own files, read by the results window's readers: a
// discharge and a charge run by the real procedures on the simulated charger
// in virtual time, then read back and matched as the window reads them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "config/ConfigurationReader.h"
#include "graph/Graph.h"
#include "instrument/Instrument.h"
#include "procedures/Procedures.h"
#include "results/CurveFile.h"
#include "results/CurveFolder.h"
#include "results/CurveMatch.h"
#include "results/ResultsLog.h"
#include "testsupport/SimulatedPort.h"
#include "testsupport/VirtualClock.h"

namespace voltrex::results {
namespace {

class WindowOnly final : public UserInterface {
  public:
    explicit WindowOnly(testing::VirtualClock& clock) : clock_(clock) {}
    void Yield() override { clock_.Advance(0.5); }
    bool PollStop() override { return false; }
    void ShowError(const std::string& message) override { ADD_FAILURE() << message; }
    bool AskYesNo(const std::string& question) override {
        ADD_FAILURE() << question;
        return false;
    }

  private:
    testing::VirtualClock& clock_;
};

TEST(ProgramCurveTest, TheProgramsCurvesAreReadAndMatchedToTheirRecords) {
    char pattern[] = "/tmp/voltrex-program-curves-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const std::string folder = pattern;

    Configuration config;
    ASSERT_FALSE(ReadConfiguration(config, VOLTREX_SAMPLE_CONFIGURATION).has_value());
    TestSettings settings;
    settings.CellType = "NiMH";
    settings.NumberOfCells = 4;
    settings.Capacity = 300;
    settings.ChargeRate = 6;
    settings.DischargeRate = 6;
    settings.MaximumCycles = 1;
    testing::VirtualClock clock;
    simulator::BatteryPack::Settings pack;
    pack.Type = simulator::Chemistry::NiMH;
    pack.Cells = 4;
    pack.CapacityMah = 300.0;
    pack.StateOfCharge = 0.3;
    testing::SimulatedPort port(clock, pack, config.PortAddress);
    Instrument instrument(clock, config.Calibration);
    instrument.BindPort(port);
    instrument.SetPortAddress(config.PortAddress);
    Graph graph;
    WindowOnly ui(clock);
    Procedures procedures(config, settings, instrument, graph, clock, ui, folder);
    ASSERT_GT(procedures.RunDischarge(0), 0);
    ASSERT_GT(procedures.RunCharge(0, 0), 0);

    CurveFolder curves;
    curves.Refresh(folder + "/curves");
    ASSERT_EQ(curves.Curves().size(), 2u);
    const ResultsLog log = ReadResultsLog(folder + "/Voltrex2.csv");
    ASSERT_EQ(log.Lines.size(), 2u);
    const std::vector<std::optional<std::size_t>> matched = MatchCurves(log, curves.Curves());
    for (std::size_t i = 0; i < 2; ++i) {
        ASSERT_TRUE(log.Lines[i].Readable) << log.Lines[i].Problem;
        const ResultRecord& record = log.Lines[i].Record;
        const std::optional<std::size_t>& match = matched[i];
        if (!match) {
            FAIL() << "record " << i << " has no curve";
        }
        const CurveFile curve = ReadCurveFile(curves.Curves()[*match].Path);
        EXPECT_TRUE(curve.Usable()) << curve.Problem;
        EXPECT_EQ(curve.Mode, record.Mode);
        EXPECT_EQ(curve.Type, "NiMH");
        EXPECT_EQ(curve.Rated, 300);
        EXPECT_EQ(curve.Cells, 4);
        EXPECT_EQ(curve.UnreadableRows, 0);
        EXPECT_EQ(curve.EndReason,
                  std::string(record.Mode == "DIS" ? "end voltage reached" : "delta-V"));
        if (!curve.LastRow) {
            FAIL() << "record " << i << ": its curve has no rows";
        }
        EXPECT_NEAR(curve.LastRow->MilliampHours, record.MilliampHours, 0.05);
        // A row for each second that had a reading: a pass of the simulated
        // window takes half a second and its conversions, so now and then
        // one steps over a second.
        EXPECT_LE(curve.Rows.size(), static_cast<std::size_t>(curve.Duration()) + 1);
        EXPECT_GE(curve.Rows.size(), static_cast<std::size_t>(curve.Duration()) * 9 / 10);
        for (std::size_t r = 1; r < curve.Rows.size(); ++r) {
            ASSERT_GT(curve.Rows[r].Seconds, curve.Rows[r - 1].Seconds) << r;
        }
    }
    std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace voltrex::results
