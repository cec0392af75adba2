#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "config/Configuration.h"
#include "graph/Graph.h"
#include "instrument/Instrument.h"
#include "platform/Clock.h"
#include "procedures/ChemistryRules.h"
#include "procedures/PackCheck.h"
#include "procedures/TestObserver.h"
#include "procedures/TestSettings.h"
#include "procedures/UserInterface.h"
#include "records/CurveRecorder.h"
#include "records/TestMode.h"

namespace voltrex {

// The halves of the internal resistance measurement: a discharge measures
// under its own load, a charge under its current, and the Internal
// Resistance test takes both and shows the result line.
enum class ResistanceHalves { Discharge, Both, Charge };

// The five tests. Everything they touch is handed in; of a run the object
// keeps only which pack the last discharge emptied. Each discharge, charge and
// monitor keeps its curve in the folder "curves"; a curve that could not be
// written is reported once, when the outermost test call returns.
class Procedures {
  public:
    // The working directory's files are used by bare name unless a folder is
    // given (tests pass a temporary folder): "Voltrex2.csv", the per-cycle
    // bitmaps and the folder "curves" are written there.
    Procedures(const Configuration& config, const TestSettings& settings, Instrument& instrument,
               Graph& graph, Clock& clock, UserInterface& ui, std::string folder = "");

    // Who hears of each pass and each ending besides the window (nothing
    // when null). Told of an ending before any error box about it opens: a
    // box waits for a click, and nobody may be there to click.
    void SetObserver(TestObserver* observer) { observer_ = observer; }

    // Each returns its duration in seconds, or -1 when stopped or not run.
    std::int32_t RunDischarge(std::int32_t cycle);
    std::int32_t RunCharge(std::int32_t cycle, std::int32_t dischargeSeconds);
    // Lets GraphFileError through when a per-cycle bitmap cannot be created.
    void RunAutoCycle();
    // True when the rest ran out, false when it was stopped.
    bool RestBetweenCycles(std::int32_t seconds);
    // A reading that fails switches all off, shows why and gives 0.0.
    double MeasureInternalResistance(ResistanceHalves halves, GraphPlot& graph);
    void RunMonitor();
    void AppendResultRecord(TestMode mode, std::int32_t cycle, double current, double milliampHours,
                            double milliwattHours, double ohms);

  private:
    // The values of one charge that its steps share.
    struct ChargeRun;

    std::int32_t Discharge(std::int32_t cycle);
    std::int32_t Charge(std::int32_t cycle, std::int32_t dischargeSeconds);
    // A resistance test half's two readings: under load, and 100 ms after
    // the current went off.
    struct LoadStep {
        double Loaded = 0.0;
        double Unloaded = 0.0;
    };

    std::int32_t DischargeLoop(std::int32_t cycle, std::int32_t rate, double current,
                               double endVoltage, double ohms, GraphPlot& plot);
    std::int32_t ChargeLoop(ChargeRun& run, GraphPlot& plot);
    // The curve file's header lines of a charge's own rules.
    std::string ChargeCurveLines(const ChargeRun& run) const;
    // One step down of a charge over its ceiling; false when the reading
    // after it failed (all is off then).
    bool StepDown(ChargeRun& run, CurveRecorder& curve);
    std::optional<LoadStep> MeasureLoadStep(bool charging, std::int32_t rate, GraphPlot& graph);
    bool ResistanceReadingFailed(GraphPlot& graph);
    void AutoCycle();
    std::string PathOf(const std::string& fileName) const;
    // The rules of the settings' cell type; shows why not and gives nothing
    // for a text that names none.
    std::optional<ChemistryRules> RulesOrError();
    // Shows why a test cannot run at the settings' rate and returns false
    // when the rate lies outside the table's rows 1 to 15 or its configured
    // current is not above zero.
    bool CheckRate(const char* kind, std::int32_t rate, const std::array<double, 16>& currents);
    bool CheckDischargeRate();
    bool CheckChargeRate();
    // The current graph, made with the default range when there is none yet.
    GraphPlot& GraphToWriteOn();
    // The resistance test; nothing when a reading failed (and the test has
    // been switched off and the failure shown).
    // Its first reading, taken with everything off, is also the look at the
    // pack before any relay closes: a pack the test must not run on ends it
    // there (mayAsk: a doubtful pack is put to the user; false inside an auto
    // cycle after its start, which the user has already let run).
    std::optional<double> ResistanceOf(ResistanceHalves halves, GraphPlot& graph, PackTest test,
                                       bool mayAsk);
    // Shows why a test must not run on the pack that reads volts, or asks;
    // true when it may.
    bool PackAccepted(PackTest test, double volts, bool mayAsk);
    // Shows why the configured limits of the settings' cell type cannot be
    // used; true when they can.
    bool ConfiguredLimitsUsable();
    // True when the instrument's last reading failed: then switches all off,
    // ends the curve (if any) and shows why.
    bool StoppedOnFailedReading(CurveRecorder* curve = nullptr);
    // The end of every pass of a test: the status line, the point, then the
    // window's turn. True when the user asked to stop.
    bool EndOfPass(GraphPlot& plot, const std::string& status, std::int64_t x, double voltage,
                   const TestFigures& figures);
    // Sets the title line and keeps it for the observer.
    void Title(GraphPlot& plot, const std::string& text);
    // The first call of a test from the window: what the observer is told
    // of it from now on.
    void BeginTest(TestKind test);
    // A discharge or a charge starts, on its own or as part of a cycle.
    void BeginPhase(TestKind phase, std::int32_t cycle);
    // Tells the observer how the test (or a cycle) ended, with the last
    // pass's figures.
    void Tell(Ending how, const std::string& detail = {});
    // Shows an error that keeps a test from running (the settings or the
    // configuration do not allow it), once the observer is told.
    void Refuse(const std::string& message);
    // Starts the curve file of a test whose current goes on now; specific
    // holds the header lines of that kind of test.
    void StartCurve(CurveRecorder& curve, TestMode mode, std::int64_t startSecond,
                    std::int32_t cycle, std::int32_t rate, double amperes, double ohms,
                    const std::string& specific);
    // Ends a test's curve file; returns -1, what a stopped or failed test
    // returns.
    std::int32_t EndCurve(CurveRecorder& curve, TestEnd end);
    // Shows why a curve could not be written, once the outermost test call
    // ends: a message box inside an auto cycle would hold the pack waiting.
    void ReportCurveProblem();

    // Counts the nesting of test calls: an auto cycle calls the discharge
    // and the charge.
    class OuterCall {
      public:
        explicit OuterCall(std::int32_t& depth) : depth_(depth) { ++depth_; }
        ~OuterCall() { --depth_; }
        OuterCall(const OuterCall&) = delete;
        OuterCall& operator=(const OuterCall&) = delete;
        bool Outermost() const { return depth_ == 1; }

      private:
        std::int32_t& depth_;
    };

    const Configuration& config_;
    const TestSettings& settings_;
    Instrument& instrument_;
    Graph& graph_;
    Clock& clock_;
    UserInterface& ui_;
    std::string folder_;
    std::int32_t callDepth_ = 0;
    std::string curveProblem_;

    // What the observer is told of the test under way.
    TestObserver* observer_ = nullptr;
    TestKind test_ = TestKind::Discharge;
    TestKind phase_ = TestKind::Discharge;
    std::int32_t cycle_ = 0;
    std::string title_;
    TestFigures figures_;
    double dischargedMilliampHours_ = 0.0;
    double chargedMilliampHours_ = 0.0;
    // The cell type and count of the pack the last discharge ran down to its
    // end voltage, until the next discharge or charge starts: a charge of
    // that pack is not refused for reading below the resting range.
    std::string emptiedType_;
    std::int32_t emptiedCells_ = 0;
};

}  // namespace voltrex
