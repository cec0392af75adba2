#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "config/Configuration.h"
#include "graph/Graph.h"
#include "instrument/Instrument.h"
#include "platform/Clock.h"
#include "procedures/TestSettings.h"
#include "procedures/UserInterface.h"

namespace voltrex {

// The five tests and the results log. Everything they touch is handed in; the
// object holds no state of a run beyond the call that runs it.
class Procedures {
  public:
    // The working directory's files are used by bare name unless a folder is
    // given (tests pass a temporary folder): "Voltrex2.csv" and the per-cycle
    // bitmaps are written there.
    Procedures(const Configuration& config, const TestSettings& settings, Instrument& instrument,
               Graph& graph, Clock& clock, UserInterface& ui, std::string folder = "");

    // Each returns its duration in seconds, or -1 when stopped or not run.
    std::int32_t RunDischarge(std::int32_t cycle);
    std::int32_t RunCharge(std::int32_t cycle, std::int32_t dischargeSeconds);
    // Lets GraphFileError through when a per-cycle bitmap cannot be created.
    void RunAutoCycle();
    // True when the rest ran out, false when it was stopped.
    bool RestBetweenCycles(std::int32_t seconds);
    // mode < 0: discharge half; 0: both and the result line; > 0: charge half.
    // A reading that fails switches all off, shows why and gives 0.0.
    double MeasureInternalResistance(std::int32_t mode, GraphPlot& graph);
    void RunMonitor();
    void AppendResultRecord(const std::string& modeCode, std::int32_t cycle, double current,
                            double milliampHours, double milliwattHours, double ohms);

  private:
    std::string PathOf(const std::string& fileName) const;
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
    std::optional<double> ResistanceOf(std::int32_t mode, GraphPlot& graph);
    // True when the instrument's last reading failed: then switches all off
    // and shows why.
    bool StoppedOnFailedReading();

    const Configuration& config_;
    const TestSettings& settings_;
    Instrument& instrument_;
    Graph& graph_;
    Clock& clock_;
    UserInterface& ui_;
    std::string folder_;
};

}  // namespace voltrex
