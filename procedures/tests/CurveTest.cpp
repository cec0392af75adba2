#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "graph/GraphPlot.h"
#include "platform/CFormat.h"
#include "procedures/ProcedureTexts.h"
#include "procedures/tests/ProcedureFixture.h"

namespace voltrex::testing {
namespace {

struct Row {
    long long Seconds = -1;
    double Volts = 0.0;
    double Amperes = 0.0;
    int Rate = -1;
    double MilliampHours = 0.0;
    double MilliwattHours = 0.0;
};

// A 6-cell NiMH pack of 100 mAh on the hand-built configuration: discharge
// rate 5 and charge rate 10 are both 1.0 A, the discharge ends at 6.0 V.
class CurveTest : public RecordedProcedureTest {
  protected:
    void SetUp() override {
        RecordedProcedureTest::SetUp();
        settings.Capacity = 100;
        ui.OnYield = [this] { port.ClearLog(); };
    }

    // The names in curves/, sorted.
    std::vector<std::string> CurveNames() const {
        std::vector<std::string> names;
        std::error_code error;
        for (const auto& entry :
             std::filesystem::directory_iterator(folder.File("curves"), error)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }
    // The lines of the curve file whose name ends so.
    std::vector<std::string> Curve(const std::string& ending) const {
        for (const std::string& name : CurveNames()) {
            if (name.size() >= ending.size() &&
                name.compare(name.size() - ending.size(), ending.size(), ending) == 0) {
                return ReadLines(folder.File("curves/" + name));
            }
        }
        ADD_FAILURE() << "no curve file ending in " << ending;
        return {};
    }
    static std::vector<Row> Rows(const std::vector<std::string>& lines) {
        std::vector<Row> rows;
        for (const std::string& line : lines) {
            Row row;
            if (ScanC(line.c_str(), "%lld,%lf,%lf,%d,%lf,%lf", &row.Seconds, &row.Volts,
                      &row.Amperes, &row.Rate, &row.MilliampHours, &row.MilliwattHours) == 6) {
                rows.push_back(row);
            }
        }
        return rows;
    }
    static std::string Header(const std::vector<std::string>& lines, const std::string& key) {
        for (const std::string& line : lines) {
            if (line.rfind("# " + key + ": ", 0) == 0) {
                return line.substr(key.size() + 4);
            }
        }
        return "(none)";
    }
    // A field of the last record of the results log.
    std::string RecordField(std::size_t index) const {
        const std::vector<std::string> lines = ResultLines();
        if (lines.size() < 2) {
            return "(no record)";
        }
        const std::string& record = lines.back();
        std::size_t start = 0;
        for (std::size_t i = 0; i < index; ++i) {
            start = record.find(',', start) + 1;
        }
        return record.substr(start, record.find(',', start) - start);
    }
    // Seconds since the test case began.
    double Since() const { return clock.Elapsed() - begun_; }
    void Begin() { begun_ = clock.Elapsed(); }
    // 7.2 V for ten seconds, then falling by 10 mV a second.
    void FallingPack() {
        SetVoltageFunction([this] {
            const double t = Since();
            return t < 10.0 ? 7.2 : 7.2 - 0.01 * (t - 10.0);
        });
    }

  private:
    double begun_ = 0.0;
};

TEST_F(CurveTest, ADischargeHasOneRowPerSecondWithTheGraphsMeansAndTheRecordsCount) {
    FallingPack();
    const std::int32_t seconds = procedures.RunDischarge(0);
    ASSERT_GT(seconds, 100);
    const std::vector<std::string> lines = Curve("-DIS.csv");
    // Named by the start: the virtual clock starts at 2026-03-14 09:26:53 and
    // the resistance test before the current goes on takes a fraction of it.
    ASSERT_EQ(CurveNames().size(), 1u);
    EXPECT_EQ(CurveNames()[0].substr(0, 13), "20260314-0926");
    EXPECT_EQ(Header(lines, "Start"), "2026-03-14 09:26:" + CurveNames()[0].substr(13, 2));
    EXPECT_EQ(lines.front(), "# Voltrex II curve");
    EXPECT_EQ(Header(lines, "Mode"), "DIS");
    EXPECT_EQ(Header(lines, "Type"), "NiMH");
    EXPECT_EQ(Header(lines, "Rated"), "100");
    EXPECT_EQ(Header(lines, "Cells"), "6");
    EXPECT_EQ(Header(lines, "Rate"), "5");
    EXPECT_EQ(Header(lines, "Current"), "1.000");
    EXPECT_EQ(Header(lines, "EndVoltage"), "6.0000");
    EXPECT_EQ(Header(lines, "Ohms"), RecordField(10));
    EXPECT_EQ(lines.back(), "# End: end voltage reached");
    EXPECT_NE(std::find(lines.begin(), lines.end(), "seconds,volts,amperes,rate,mAh,mWh"),
              lines.end());

    const std::vector<Row> rows = Rows(lines);
    ASSERT_EQ(rows.size(), static_cast<std::size_t>(seconds) + 1);
    const GraphPlot& plot = *graph.CurrentGraph();
    ASSERT_EQ(plot.SecondsPerColumn, 1.0);
    for (std::size_t s = 0; s < rows.size(); ++s) {
        EXPECT_EQ(rows[s].Seconds, static_cast<long long>(s));
        EXPECT_NEAR(rows[s].Volts, plot.ColumnValue[s], 0.00005) << s;
        EXPECT_EQ(rows[s].Amperes, -1.0);
        EXPECT_EQ(rows[s].Rate, 5);
        // Nothing is counted in the second the current starts.
        EXPECT_NEAR(rows[s].MilliampHours, s / 3.6, 0.00005) << s;
    }
    EXPECT_EQ(Format("%1.1f", rows.back().MilliampHours), RecordField(8));
    EXPECT_EQ(Format("%1.1f", rows.back().MilliwattHours), RecordField(9));
}

TEST_F(CurveTest, EachWayATestEndsIsItsLastLine) {
    struct Case {
        const char* Name;
        std::function<void()> Arrange;
        std::function<std::int32_t()> Run;
        const char* Ending;
        const char* End;
    };
    const std::vector<Case> cases = {
        {"time limit", [this] { SetVoltageFunction([this] { return 7.8 + 0.002 * Since(); }); },
         [this] { return procedures.RunCharge(0, 0); }, "-CHG.csv", "# End: time limit"},
        {"delta-V",
         [this] {
             SetVoltageFunction([this] {
                 const double t = Since();
                 return t < 200.0 ? 7.8 + 0.003 * t : 8.3;
             });
         },
         [this] { return procedures.RunCharge(0, 0); }, "-CHG.csv", "# End: delta-V"},
        {"ceiling",
         [this] {
             settings.CellType = "LiPo";
             settings.NumberOfCells = 2;
             settings.ChargeRate = 3;
             SetVoltage(8.6);
         },
         [this] { return procedures.RunCharge(0, 0); }, "-CHG.csv",
         "# End: rate stepped down to 0"},
        {"stop",
         [this] {
             FallingPack();
             ui.OnYield = [this] {
                 if (Since() > 20.0) {
                     ui.ClickStop();
                 }
             };
         },
         [this] { return procedures.RunDischarge(0); }, "-DIS.csv", "# End: stopped by the user"},
        {"failure",
         [this] { SetVoltageFunction([this] { return Since() < 30.0 ? 7.0 : 1000.0; }); },
         [this] { return procedures.RunDischarge(0); }, "-DIS.csv", "# End: measurement failure"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        std::filesystem::remove_all(folder.File("curves"));
        std::filesystem::remove(folder.File("Voltrex2.csv"));
        settings = TestSettings{};
        settings.CellType = "NiMH";
        settings.Capacity = 100;
        settings.NumberOfCells = 6;
        settings.ChargeRate = 10;
        settings.DischargeRate = 5;
        settings.MaximumCycles = 1;
        ui.OnYield = [this] { port.ClearLog(); };
        Begin();
        c.Arrange();
        const std::int32_t result = c.Run();
        const std::vector<std::string> lines = Curve(c.Ending);
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.back(), c.End);
        const std::vector<Row> rows = Rows(lines);
        ASSERT_FALSE(rows.empty());
        if (result == -1) {
            // Kept though no record was written: the last row is where it
            // stopped.
            EXPECT_TRUE(ResultLines().empty());
            EXPECT_GE(rows.back().Seconds, 19);
            EXPECT_LE(rows.back().Seconds, 31);
        } else {
            EXPECT_EQ(rows.back().Seconds, result);
            EXPECT_EQ(Format("%1.1f", rows.back().MilliampHours), RecordField(8));
        }
    }
}

TEST_F(CurveTest, ASteppedDownChargeRecordsEachRatesCurrent) {
    settings.CellType = "LiPo";
    settings.NumberOfCells = 2;
    settings.ChargeRate = 3;
    settings.Capacity = 2000;
    // Over the 8.4 V ceiling from 100 s on, once per pass.
    SetVoltageFunction([this] { return clock.Elapsed() < 100.0 ? 8.0 : 8.6; });
    ASSERT_GT(procedures.RunCharge(0, 0), 99);
    const std::vector<std::string> lines = Curve("-CHG.csv");
    EXPECT_EQ(Header(lines, "Ceiling"), "8.4000");
    EXPECT_EQ(Header(lines, "DeltaV"), "(none)");
    const std::vector<Row> rows = Rows(lines);
    ASSERT_GE(rows.size(), 2u);
    EXPECT_EQ(rows.front().Amperes, 0.3);
    EXPECT_EQ(rows.front().Rate, 3);
    EXPECT_EQ(rows.back().Rate, 0);
    EXPECT_EQ(rows.back().Amperes, 0.0);
}

TEST_F(CurveTest, ACyclesChargeCountsItsOwnSecondsAndNamesTheCycle) {
    SetVoltageFunction([this] { return 7.8 + 0.002 * clock.Elapsed(); });
    graph.CreateGraph(6.0, 7.3);
    settings.MaximumCycles = 4;
    ASSERT_EQ(procedures.RunCharge(2, 3600), 451);
    const std::vector<std::string> lines = Curve("-CHG.csv");
    EXPECT_EQ(Header(lines, "Cycle"), "2");
    EXPECT_EQ(Header(lines, "Of"), "4");
    EXPECT_EQ(Header(lines, "DeltaV"), "0.0050");
    EXPECT_EQ(Header(lines, "DeltaVDuration"), "30");
    EXPECT_EQ(Header(lines, "Ceiling"), "(none)");
    EXPECT_EQ(Header(lines, "TimeLimit"), "450");
    const std::vector<Row> rows = Rows(lines);
    ASSERT_EQ(rows.size(), 452u);
    EXPECT_EQ(rows.front().Seconds, 0);
    EXPECT_EQ(rows.front().Amperes, 1.0);
}

TEST_F(CurveTest, AMonitorRecordsVoltageOnlyUntilItIsStopped) {
    SetVoltage(7.5);
    ui.OnYield = [this] {
        if (clock.Elapsed() > 5.0) {
            ui.ClickStop();
        }
    };
    procedures.RunMonitor();
    const std::vector<std::string> lines = Curve("-MON.csv");
    EXPECT_EQ(Header(lines, "Mode"), "MON");
    EXPECT_EQ(Header(lines, "Type"), "(none)");
    EXPECT_EQ(lines.back(), "# End: stopped by the user");
    const std::vector<Row> rows = Rows(lines);
    ASSERT_GE(rows.size(), 5u);
    for (const Row& row : rows) {
        EXPECT_NEAR(row.Volts, 7.5, 0.02);
        EXPECT_EQ(row.Amperes, 0.0);
        EXPECT_EQ(row.MilliampHours, 0.0);
    }
}

TEST_F(CurveTest, TwoTestsStartedInOneSecondKeepTwoFiles) {
    const LocalTime start{2026, 12, 8, 14, 15, 3};
    CurveRecorder first;
    CurveRecorder second;
    first.Start(folder.File("curves"), start, "DIS", "Mode: DIS");
    second.Start(folder.File("curves"), start, "DIS", "Mode: DIS");
    first.Finish(TestEnd::EndVoltage);
    second.Finish(TestEnd::StoppedByUser);
    EXPECT_EQ(CurveNames(),
              (std::vector<std::string>{"20261208-141503-DIS-2.csv", "20261208-141503-DIS.csv"}));
    // Made as any text file the user makes: 0666 less the umask.
    struct stat info = {};
    ASSERT_EQ(::stat(folder.File("curves/20261208-141503-DIS.csv").c_str(), &info), 0);
    const mode_t mask = ::umask(0);
    ::umask(mask);
    EXPECT_EQ(info.st_mode & 0777, 0666 & ~mask);
    EXPECT_EQ(ReadLines(folder.File("curves/20261208-141503-DIS.csv")),
              (std::vector<std::string>{"# Mode: DIS", "seconds,volts,amperes,rate,mAh,mWh",
                                        "# End: end voltage reached"}));
}

TEST_F(CurveTest, ACurveThatCannotBeWrittenCostsOnlyTheCurveAndIsToldOnceAfterTheTest) {
    // A file where the folder should be stops even root; a read-only folder
    // stops everybody else.
    struct Case {
        const char* Name;
        std::function<void()> Arrange;
        const char* Reason;
    };
    const std::vector<Case> cases = {
        {"a file in the way", [this] { std::ofstream(folder.File("curves")) << "x"; },
         "Not a directory"},
        {"a read-only folder", [this] { ::mkdir(folder.File("curves").c_str(), 0555); },
         "Permission denied"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        std::filesystem::remove_all(folder.File("curves"));
        std::filesystem::remove(folder.File("Voltrex2.csv"));
        c.Arrange();
        if (::access(folder.File("curves").c_str(), W_OK) == 0) {
            continue;  // root writes into a read-only folder
        }
        FallingPack();
        settings.MaximumCycles = 2;
        config.CycleRestTime = 5;
        ui.Errors.clear();
        std::size_t errorsDuringTheCycle = 0;
        ui.OnYield = [this, &errorsDuringTheCycle] {
            port.ClearLog();
            errorsDuringTheCycle = std::max(errorsDuringTheCycle, ui.Errors.size());
        };
        procedures.RunAutoCycle();
        EXPECT_EQ(errorsDuringTheCycle, 0u);
        // Both cycles ran and were logged as ever; one message for four curves.
        EXPECT_EQ(ResultLines().size(), 5u);
        ASSERT_EQ(ui.Errors.size(), 1u);
        EXPECT_EQ(ui.Errors[0].rfind("The curve of the test could not be kept: ", 0), 0u)
            << ui.Errors[0];
        EXPECT_NE(ui.Errors[0].find(c.Reason), std::string::npos) << ui.Errors[0];
        EXPECT_TRUE(CurveNames().empty());
    }
}

}  // namespace
}  // namespace voltrex::testing
