#include "procedures/Procedures.h"

#include <optional>

#include "graph/GraphFileError.h"
#include "instrument/PortBits.h"
#include "platform/CFormat.h"
#include "procedures/CapacityRule.h"
#include "procedures/ChargeTermination.h"
#include "procedures/ProcedureTexts.h"
#include "records/CurveFile.h"
#include "records/ResultsFile.h"

namespace voltrex {

namespace {

constexpr const char* UnrecognizedCellType = "Unrecognized cell type: ";

// The rate table has rows 0 to HighestRate (15); a test runs at one of rows 1
// to 15.
constexpr std::int32_t LowestRate = 1;

// The pause after a current step before the pack's voltage is read again.
constexpr int SettleMs = 100;

bool RateInTable(std::int32_t rate) {
    return rate >= LowestRate && rate <= HighestRate;
}

std::size_t Row(std::int32_t rate) {
    return static_cast<std::size_t>(rate);
}

// Charge and energy counted from the nominal table current against the wall
// clock: one second's worth per pass in which the clock has moved on, however
// long that pass took. Nothing is counted in the second the current starts.
struct ChargeCount {
    explicit ChargeCount(std::int64_t startSecond) : LastCounted(startSecond) {}

    void Count(std::int64_t now, double amperes, double volts) {
        if (now > LastCounted) {
            ChargeCounter += amperes;
            EnergyCounter += amperes * volts;
            LastCounted = now;
        }
    }

    double ChargeCounter = 0.0;  // ampere-seconds
    double EnergyCounter = 0.0;  // watt-seconds
    std::int64_t LastCounted;
};

}  // namespace

struct Procedures::ChargeRun {
    std::int32_t Cycle = 0;
    std::int32_t DischargeSeconds = 0;
    ChemistryRules Rules;
    std::int32_t RateIndex = 0;
    double InitialCurrent = 0.0;
    double Current = 0.0;  // follows the rate index as the ceiling steps it down
    std::int64_t TimeLimit = 0;
    // The pack voltage that ends the charge at once; nothing for nickel.
    std::optional<double> CutOff;
    double Ohms = 0.0;
    std::string CapacityText;
};

Procedures::Procedures(const Configuration& config, const TestSettings& settings,
                       Instrument& instrument, Graph& graph, Clock& clock, UserInterface& ui,
                       std::string folder)
    : config_(config),
      settings_(settings),
      instrument_(instrument),
      graph_(graph),
      clock_(clock),
      ui_(ui),
      folder_(std::move(folder)) {}

std::string Procedures::PathOf(const std::string& fileName) const {
    if (folder_.empty()) {
        return fileName;
    }
    if (folder_.back() == '/') {
        return folder_ + fileName;
    }
    return folder_ + "/" + fileName;
}

// A test cannot run at a rate whose configured current is zero or less: the
// time limit of a charge and the internal resistance divide by it, and the
// counted charge would be meaningless. The settings dialog offers only rows 1
// to 15, but the table is never indexed outside its 16 rows whatever the
// settings hold.
bool Procedures::CheckRate(const char* kind, std::int32_t rate,
                           const std::array<double, 16>& currents) {
    if (!RateInTable(rate)) {
        Refuse(
            Format("The %s rate %d is not one of the rates 1 to 15; choose a rate in "
                   "the test settings.",
                   kind, rate));
        return false;
    }
    const double current = currents[Row(rate)];
    if (!(current > 0.0)) {
        Refuse(
            Format("The %s current of rate %d is %1.3f A; set a current above zero in "
                   "the configuration.",
                   kind, rate, current));
        return false;
    }
    return true;
}

bool Procedures::CheckDischargeRate() {
    return CheckRate("discharge", settings_.DischargeRate, config_.DischargeCurrent);
}

bool Procedures::CheckChargeRate() {
    return CheckRate("charge", settings_.ChargeRate, config_.ChargeCurrent);
}

GraphPlot& Procedures::GraphToWriteOn() {
    if (graph_.CurrentGraph() == nullptr) {
        graph_.CreateGraph(0.0, 0.0);
    }
    return *graph_.CurrentGraph();
}

std::optional<ChemistryRules> Procedures::RulesOrError() {
    std::optional<ChemistryRules> rules =
        RulesFor(settings_.CellType, config_, settings_.NumberOfCells);
    if (!rules) {
        Refuse(UnrecognizedCellType + settings_.CellType);
    }
    return rules;
}

std::int32_t Procedures::RunDischarge(std::int32_t cycle) {
    const OuterCall call(callDepth_);
    if (call.Outermost()) {
        BeginTest(TestKind::Discharge);
    }
    BeginPhase(TestKind::Discharge, cycle);
    const std::int32_t seconds = Discharge(cycle);
    if (call.Outermost()) {
        ReportCurveProblem();
    }
    return seconds;
}

std::int32_t Procedures::Discharge(std::int32_t cycle) {
    const std::optional<ChemistryRules> rules = RulesOrError();
    if (!rules || !CheckDischargeRate() || !ConfiguredLimitsUsable()) {
        return -1;
    }
    const std::int32_t rate = settings_.DischargeRate;
    const double current = config_.DischargeCurrent[Row(rate)];

    // The resistance is measured at the discharge current, so that the end
    // voltage under load can allow for the drop across the pack itself. The
    // first discharge of an auto cycle is where the user answers for the
    // whole cycle.
    emptiedType_.clear();
    const std::optional<double> ohms = ResistanceOf(ResistanceHalves::Discharge, GraphToWriteOn(),
                                                    PackTest::Discharge, cycle <= 1);
    if (!ohms) {
        return -1;
    }
    const double packMinimum = rules->CellMinimum * settings_.NumberOfCells;
    const double endVoltage = packMinimum - *ohms * current;

    const double startVoltage = instrument_.ReadVoltage(true);
    if (StoppedOnFailedReading()) {
        return -1;
    }
    const double low = startVoltage > endVoltage ? endVoltage : startVoltage - 0.05;
    graph_.CreateGraph(low, startVoltage + 0.05);
    GraphPlot& plot = *graph_.CurrentGraph();
    Title(plot, texts::DischargeTitle(cycle, settings_.MaximumCycles, settings_.NumberOfCells,
                                      settings_.CellType, current, endVoltage, *ohms));

    return DischargeLoop(cycle, rate, current, endVoltage, *ohms, plot);
}

std::int32_t Procedures::DischargeLoop(std::int32_t cycle, std::int32_t rate, double current,
                                       double endVoltage, double ohms, GraphPlot& plot) {
    const std::int64_t startSecond = clock_.Now();
    CurveRecorder curve;
    StartCurve(curve, TestMode::Discharge, startSecond, cycle, rate, current, ohms,
               Format("EndVoltage: %.4f\n", endVoltage));
    ChargeCount counted(startSecond);
    instrument_.StartDischarge(static_cast<std::uint8_t>(rate));

    std::int64_t elapsed = 0;
    bool done = false;
    do {
        const std::int64_t now = clock_.Now();
        elapsed = now - startSecond;
        const double voltage = instrument_.ReadVoltage(false);
        if (StoppedOnFailedReading(&curve)) {
            return -1;
        }
        counted.Count(now, current, voltage);
        done = voltage < endVoltage;
        curve.Add(elapsed, voltage, -current, rate, counted.ChargeCounter, counted.EnergyCounter);
        if (EndOfPass(plot,
                      texts::DischargeStatus(elapsed, voltage, counted.ChargeCounter,
                                             counted.EnergyCounter),
                      elapsed, voltage,
                      {elapsed, voltage, counted.ChargeCounter, counted.EnergyCounter,
                       settings_.NumberOfCells})) {
            instrument_.AllOff();
            Tell(Ending::StoppedByUser);
            return EndCurve(curve, TestEnd::StoppedByUser);
        }
    } while (!done);

    instrument_.AllOff();
    emptiedType_ = settings_.CellType;
    emptiedCells_ = settings_.NumberOfCells;
    dischargedMilliampHours_ = counted.ChargeCounter * texts::PerHour;
    AppendResultRecord(TestMode::Discharge, cycle, current, dischargedMilliampHours_,
                       counted.EnergyCounter * texts::PerHour, ohms);
    EndCurve(curve, TestEnd::EndVoltage);
    // Within an auto cycle the cycle's summary tells of it.
    if (cycle == 0) {
        Tell(Ending::EndVoltage);
    }
    return static_cast<std::int32_t>(elapsed);
}

std::int32_t Procedures::RunCharge(std::int32_t cycle, std::int32_t dischargeSeconds) {
    const OuterCall call(callDepth_);
    if (call.Outermost()) {
        BeginTest(TestKind::Charge);
    }
    BeginPhase(TestKind::Charge, cycle);
    const std::int32_t seconds = Charge(cycle, dischargeSeconds);
    if (call.Outermost()) {
        ReportCurveProblem();
    }
    return seconds;
}

std::int32_t Procedures::Charge(std::int32_t cycle, std::int32_t dischargeSeconds) {
    const std::optional<ChemistryRules> rules = RulesOrError();
    if (!rules || !CheckChargeRate() || !ConfiguredLimitsUsable()) {
        return -1;
    }
    ChargeRun run;
    run.Cycle = cycle;
    run.DischargeSeconds = dischargeSeconds;
    run.Rules = *rules;
    run.RateIndex = settings_.ChargeRate;
    run.InitialCurrent = config_.ChargeCurrent[Row(run.RateIndex)];
    run.Current = run.InitialCurrent;
    run.CutOff = ChargeCutOff(settings_.CellType, settings_.NumberOfCells);
    run.TimeLimit = ChargeTermination::TimeLimitFor(settings_.Capacity, run.InitialCurrent,
                                                    rules->TimeLimitFactor());

    const bool emptiedHere =
        emptiedType_ == settings_.CellType && emptiedCells_ == settings_.NumberOfCells;
    emptiedType_.clear();
    const std::optional<double> ohms =
        ResistanceOf(ResistanceHalves::Charge, GraphToWriteOn(),
                     emptiedHere ? PackTest::ChargeAfterDischarge : PackTest::Charge, cycle == 0);
    if (!ohms) {
        return -1;
    }
    run.Ohms = *ohms;
    const double startVoltage = instrument_.ReadVoltage(true);
    if (StoppedOnFailedReading()) {
        return -1;
    }
    // Within an auto cycle the charge continues on the discharge's graph.
    if (cycle == 0) {
        graph_.CreateGraph(startVoltage - 0.05, startVoltage + 0.05);
    }
    GraphPlot& plot = *graph_.CurrentGraph();
    Title(plot, texts::ChargeTitle(cycle, settings_.MaximumCycles, settings_.NumberOfCells,
                                   settings_.CellType, run.InitialCurrent, rules->DeltaThreshold,
                                   rules->VoltageCeiling, run.TimeLimit, run.Ohms));
    if (cycle != 0) {
        const double dischargeCurrent = RateInTable(settings_.DischargeRate)
                                            ? config_.DischargeCurrent[Row(settings_.DischargeRate)]
                                            : 0.0;
        run.CapacityText = texts::CapacityText(dischargeSeconds, dischargeCurrent);
    }
    return ChargeLoop(run, plot);
}

std::int32_t Procedures::ChargeLoop(ChargeRun& run, GraphPlot& plot) {
    const std::int64_t startSecond = clock_.Now();
    CurveRecorder curve;
    StartCurve(curve, TestMode::Charge, startSecond, run.Cycle, run.RateIndex, run.InitialCurrent,
               run.Ohms, ChargeCurveLines(run));
    ChargeCount counted(startSecond);
    ChargeTermination termination(run.Rules, run.TimeLimit, config_.DeltaVDuration, startSecond);
    instrument_.StartCharge(static_cast<std::uint8_t>(run.RateIndex));

    std::int64_t elapsed = 0;
    std::optional<TestEnd> end;
    do {
        const std::int64_t now = clock_.Now();
        elapsed = now - startSecond;
        const double voltage = instrument_.ReadVoltage(false);
        if (StoppedOnFailedReading(&curve)) {
            return -1;
        }
        // Above what its cells may ever read, the pack is not the one that
        // was set (or its ceiling rule has failed): off at once, whatever the
        // other rules would make of this pass.
        if (run.CutOff && voltage > *run.CutOff) {
            instrument_.AllOff();
            EndCurve(curve, TestEnd::OverVoltage);
            const std::string message = ChargeCutOffMessage(
                settings_.CellType, settings_.NumberOfCells, voltage, *run.CutOff);
            // The reading that ended it, not the pass before.
            figures_.Elapsed = elapsed;
            figures_.Volts = voltage;
            Tell(Ending::OverVoltage, message);
            ui_.ShowError(message);
            return -1;
        }
        // The present current: a stepped-down charge counts at its new rate.
        counted.Count(now, run.Current, voltage);
        switch (termination.Evaluate(now, elapsed, voltage)) {
            case ChargeVerdict::TimeLimit:
                end = TestEnd::TimeLimit;
                break;
            case ChargeVerdict::DeltaV:
                end = TestEnd::DeltaV;
                break;
            case ChargeVerdict::StepDown:
                if (!StepDown(run, curve)) {
                    return -1;
                }
                if (run.RateIndex == 0) {
                    end = TestEnd::RateSteppedDownToZero;
                }
                break;
            case ChargeVerdict::Continue:
                break;
        }
        curve.Add(elapsed, voltage, run.Current, run.RateIndex, counted.ChargeCounter,
                  counted.EnergyCounter);
        if (EndOfPass(plot,
                      texts::ChargeStatus(elapsed, voltage, counted.ChargeCounter, run.CapacityText,
                                          counted.EnergyCounter, run.Rules.DeltaThreshold,
                                          termination.Drop(), termination.DeltaSeconds(now)),
                      run.DischargeSeconds + elapsed, voltage,
                      {elapsed, voltage, counted.ChargeCounter, counted.EnergyCounter,
                       settings_.NumberOfCells})) {
            instrument_.AllOff();
            Tell(Ending::StoppedByUser);
            return EndCurve(curve, TestEnd::StoppedByUser);
        }
    } while (!end);

    instrument_.AllOff();
    chargedMilliampHours_ = counted.ChargeCounter * texts::PerHour;
    AppendResultRecord(TestMode::Charge, run.Cycle, run.InitialCurrent, chargedMilliampHours_,
                       counted.EnergyCounter * texts::PerHour, run.Ohms);
    EndCurve(curve, *end);
    if (run.Cycle == 0) {
        switch (*end) {
            case TestEnd::DeltaV:
                Tell(Ending::DeltaV);
                break;
            case TestEnd::RateSteppedDownToZero:
                Tell(Ending::RateSteppedDownToZero);
                break;
            default:
                Tell(Ending::TimeLimit);
                break;
        }
    }
    return static_cast<std::int32_t>(elapsed);
}

std::string Procedures::ChargeCurveLines(const ChargeRun& run) const {
    std::string lines;
    if (run.Rules.DeltaThreshold < NoDeltaThreshold) {
        lines += Format("DeltaV: %.4f\nDeltaVDuration: %d\n", run.Rules.DeltaThreshold,
                        static_cast<int>(config_.DeltaVDuration));
    }
    if (run.Rules.VoltageCeiling < NoVoltageCeiling) {
        lines += Format("Ceiling: %.4f\n", run.Rules.VoltageCeiling);
    }
    return lines + Format("TimeLimit: %lld\n", static_cast<long long>(run.TimeLimit));
}

// Holds the ceiling by stepping the current down one rate at a time; the
// charge is over when there is no lower rate left. Above rate 0 the pack is
// given 100 ms and the smoothing starts afresh from it.
bool Procedures::StepDown(ChargeRun& run, CurveRecorder& curve) {
    --run.RateIndex;
    instrument_.SetRate(static_cast<std::uint8_t>(run.RateIndex));
    run.Current = config_.ChargeCurrent[Row(run.RateIndex)];
    if (run.RateIndex == 0) {
        return true;
    }
    clock_.SleepMs(SettleMs);
    instrument_.ReadVoltage(true);
    return !StoppedOnFailedReading(&curve);
}

void Procedures::RunAutoCycle() {
    const OuterCall call(callDepth_);
    if (call.Outermost()) {
        BeginTest(TestKind::AutoCycle);
    }
    try {
        AutoCycle();
    } catch (const GraphFileError& error) {
        Tell(Ending::GraphNotSaved, error.what());
        throw;
    }
    if (call.Outermost()) {
        ReportCurveProblem();
    }
}

void Procedures::AutoCycle() {
    std::int32_t previous = 0;
    for (std::int32_t cycle = 1; cycle <= settings_.MaximumCycles; ++cycle) {
        // A request left pending between two phases ends the sequence here.
        if (ui_.PollStop()) {
            Tell(Ending::StoppedByUser);
            return;
        }
        if (cycle != 1 && !RestBetweenCycles(config_.CycleRestTime)) {
            return;
        }
        const std::int32_t discharged = RunDischarge(cycle);
        if (discharged == -1) {
            return;
        }
        if (!RestBetweenCycles(config_.CycleRestTime)) {
            return;
        }
        if (RunCharge(cycle, discharged) == -1) {
            return;
        }
        if (settings_.SaveGraphEachCycle && graph_.CurrentGraph() != nullptr) {
            const std::string name = texts::CycleBitmapName(clock_.ToLocalTime(clock_.Now()));
            SaveGraphBitmap(*graph_.CurrentGraph(), PathOf(name));
        }
        Tell(Ending::CycleDone);
        // The first discharge of a pack is never compared: it starts from
        // whatever charge the pack was stored with.
        if (cycle > 2 && settings_.StopOnSmallIncrease &&
            CapacityStoppedGrowing(previous, discharged, config_.CycleTerminationRatio)) {
            Tell(Ending::CapacityStoppedGrowing);
            return;
        }
        previous = discharged;
    }
    Tell(Ending::CycleLimit);
}

bool Procedures::RestBetweenCycles(std::int32_t seconds) {
    GraphToWriteOn();
    const std::int64_t start = clock_.Now();
    while (true) {
        const std::int64_t remaining = start + seconds - clock_.Now();
        if (remaining < 0) {
            return true;
        }
        const std::string status = texts::WaitingStatus(remaining);
        SetStatusLine(*graph_.CurrentGraph(), status);
        if (observer_ != nullptr) {
            observer_->Passed({test_, phase_, true, cycle_, settings_.MaximumCycles, clock_.Now(),
                               figures_, title_, status});
        }
        ui_.Yield();
        if (ui_.PollStop()) {
            Tell(Ending::StoppedByUser);
            return false;
        }
    }
}

double Procedures::MeasureInternalResistance(ResistanceHalves halves, GraphPlot& graph) {
    const OuterCall call(callDepth_);
    if (call.Outermost()) {
        BeginTest(TestKind::Resistance);
        phase_ = TestKind::Resistance;
    }
    return ResistanceOf(halves, graph, PackTest::Resistance, false).value_or(0.0);
}

std::optional<double> Procedures::ResistanceOf(ResistanceHalves halves, GraphPlot& graph,
                                               PackTest test, bool mayAsk) {
    const bool dischargeHalf = halves != ResistanceHalves::Charge;
    const bool chargeHalf = halves != ResistanceHalves::Discharge;
    const bool both = halves == ResistanceHalves::Both;
    if ((dischargeHalf && !CheckDischargeRate()) || (chargeHalf && !CheckChargeRate())) {
        return 0.0;
    }
    SetStatusLine(graph, "One moment please...");
    const double resting = instrument_.ReadVoltage(true);
    if (ResistanceReadingFailed(graph)) {
        return std::nullopt;
    }
    if (!PackAccepted(test, resting, mayAsk)) {
        SetStatusLine(graph, " ");
        return std::nullopt;
    }
    if (both) {
        ClearPlotArea(graph);
    }

    double dischargeOhms = 0.0;
    double chargeOhms = 0.0;
    const std::int32_t dischargeRate = settings_.DischargeRate;
    const std::int32_t chargeRate = settings_.ChargeRate;
    if (dischargeHalf) {
        const std::optional<LoadStep> step = MeasureLoadStep(false, dischargeRate, graph);
        if (!step) {
            return std::nullopt;
        }
        // A discharge pulls the pack down: it reads higher without the load.
        dischargeOhms =
            (step->Unloaded - step->Loaded) / config_.DischargeCurrent[Row(dischargeRate)];
    }
    if (chargeHalf) {
        const std::optional<LoadStep> step = MeasureLoadStep(true, chargeRate, graph);
        if (!step) {
            return std::nullopt;
        }
        chargeOhms = (step->Loaded - step->Unloaded) / config_.ChargeCurrent[Row(chargeRate)];
    }
    if (both) {
        instrument_.AllOff();
        const std::string result =
            texts::ResistanceResult(chargeOhms, config_.ChargeCurrent[Row(chargeRate)],
                                    dischargeOhms, config_.DischargeCurrent[Row(dischargeRate)]);
        SetTitleLine(graph, result);
        SetStatusLine(graph, " ");
        if (test_ == TestKind::Resistance) {
            Tell(Ending::Measured, result);
        }
    }
    return halves == ResistanceHalves::Discharge ? dischargeOhms : chargeOhms;
}

std::optional<Procedures::LoadStep> Procedures::MeasureLoadStep(bool charging, std::int32_t rate,
                                                                GraphPlot& graph) {
    SetTitleLine(graph, charging ? "Measuring Charge Impedance" : "Measuring Discharge Impedance");
    auto setRate = [this, charging](std::int32_t r) {
        if (charging) {
            instrument_.StartCharge(static_cast<std::uint8_t>(r));
        } else {
            instrument_.StartDischarge(static_cast<std::uint8_t>(r));
        }
    };
    LoadStep step;
    setRate(rate);
    step.Loaded = instrument_.ReadVoltage(true);
    if (ResistanceReadingFailed(graph)) {
        return std::nullopt;
    }
    // The relays stay as they are, only the current goes off.
    setRate(0);
    clock_.SleepMs(SettleMs);
    step.Unloaded = instrument_.ReadVoltage(true);
    if (ResistanceReadingFailed(graph)) {
        return std::nullopt;
    }
    return step;
}

// Nothing has been switched yet: the relays are open and no current flows,
// so the reading is the pack at rest, and a pack that is absent, or not the
// one that was set, is turned away before anything closes.
bool Procedures::PackAccepted(PackTest test, double volts, bool mayAsk) {
    const PackJudgement judgement =
        JudgePack(test, settings_.CellType, settings_.NumberOfCells, volts, config_);
    switch (judgement.Verdict) {
        case PackVerdict::Plausible:
            return true;
        case PackVerdict::Doubtful:
            return !mayAsk || ui_.AskYesNo(judgement.Message);
        case PackVerdict::NoPack:
        case PackVerdict::Refused:
            break;
    }
    Refuse(judgement.Message);
    return false;
}

bool Procedures::ConfiguredLimitsUsable() {
    const std::optional<std::string> problem = ConfiguredLimitProblem(settings_.CellType, config_);
    if (problem) {
        Refuse(*problem);
    }
    return !problem;
}

// Every reading of the resistance test is the mean of 20 conversions, and one
// failed conversion makes a resistance out of nothing: the test ends there.
bool Procedures::ResistanceReadingFailed(GraphPlot& graph) {
    if (!StoppedOnFailedReading()) {
        return false;
    }
    SetStatusLine(graph, " ");
    return true;
}

// A failed conversion (the comparators never flipped over the whole ramp)
// means a loose sense lead, a board without power, a wrong port or a pack
// above the converter's full scale. Its -1.0 V would hide in the smoothed
// reading, and a charge could no longer see its voltage ceiling: the current
// goes off, and the test ends without a results line.
bool Procedures::StoppedOnFailedReading(CurveRecorder* curve) {
    if (!instrument_.ReadingFailed()) {
        return false;
    }
    instrument_.AllOff();
    if (curve != nullptr) {
        EndCurve(*curve, TestEnd::MeasurementFailure);
    }
    Tell(Ending::MeasurementFailure, texts::MeasurementFailure);
    ui_.ShowError(texts::MeasurementFailure);
    return true;
}

bool Procedures::EndOfPass(GraphPlot& plot, const std::string& status, std::int64_t x,
                           double voltage, const TestFigures& figures) {
    SetStatusLine(plot, status);
    AddPoint(plot, static_cast<std::int32_t>(x), voltage);
    figures_ = figures;
    if (observer_ != nullptr) {
        observer_->Passed({test_, phase_, false, cycle_, cycle_ != 0 ? settings_.MaximumCycles : 0,
                           clock_.Now(), figures, title_, status});
    }
    ui_.Yield();
    return ui_.PollStop();
}

void Procedures::Title(GraphPlot& plot, const std::string& text) {
    title_ = text;
    SetTitleLine(plot, text);
}

void Procedures::BeginTest(TestKind test) {
    test_ = test;
    phase_ = test;
    cycle_ = 0;
    title_.clear();
    figures_ = {};
    figures_.Cells = settings_.NumberOfCells;
    dischargedMilliampHours_ = 0.0;
    chargedMilliampHours_ = 0.0;
}

void Procedures::BeginPhase(TestKind phase, std::int32_t cycle) {
    phase_ = phase;
    cycle_ = cycle;
    figures_ = {};
    figures_.Cells = settings_.NumberOfCells;
}

void Procedures::Tell(Ending how, const std::string& detail) {
    if (observer_ == nullptr) {
        return;
    }
    TestEnding ending;
    ending.Test = test_;
    ending.Phase = phase_;
    ending.How = how;
    ending.Cycle = cycle_;
    ending.Of = test_ == TestKind::AutoCycle ? settings_.MaximumCycles : 0;
    ending.Now = clock_.Now();
    ending.Figures = figures_;
    ending.Detail = detail;
    ending.DischargedMilliampHours = dischargedMilliampHours_;
    ending.ChargedMilliampHours = chargedMilliampHours_;
    observer_->Ended(ending);
}

void Procedures::Refuse(const std::string& message) {
    Tell(Ending::Refused, message);
    ui_.ShowError(message);
}

void Procedures::StartCurve(CurveRecorder& curve, TestMode mode, std::int64_t startSecond,
                            std::int32_t cycle, std::int32_t rate, double amperes, double ohms,
                            const std::string& specific) {
    const std::int32_t of = cycle != 0 ? settings_.MaximumCycles : 0;
    const LocalTime start = clock_.ToLocalTime(startSecond);
    curve.Start(PathOf(CurvesFolderName), start, mode,
                CurveHeader(mode, start, startSecond, cycle, of, settings_.CellType,
                            settings_.Capacity, settings_.NumberOfCells, rate, amperes, ohms) +
                    specific);
}

std::int32_t Procedures::EndCurve(CurveRecorder& curve, TestEnd end) {
    curve.Finish(end);
    if (!curve.Problem().empty() && curveProblem_.empty()) {
        curveProblem_ = curve.Problem();
    }
    return -1;
}

void Procedures::ReportCurveProblem() {
    if (curveProblem_.empty()) {
        return;
    }
    const std::string problem = std::move(curveProblem_);
    curveProblem_.clear();
    ui_.ShowError("The curve of the test could not be kept: " + problem +
                  ". The test ran on as usual; its results line is written as always.");
}

void Procedures::RunMonitor() {
    const double startVoltage = instrument_.ReadVoltage(true);
    graph_.CreateGraph(startVoltage - 0.05, startVoltage + 0.05);
    GraphPlot& plot = *graph_.CurrentGraph();
    BeginTest(TestKind::Monitor);
    Title(plot, "Monitor");
    const std::int64_t start = clock_.Now();
    CurveRecorder curve;
    StartCurve(curve, TestMode::Monitor, start, 0, 0, 0.0, 0.0, "");
    while (true) {
        const std::int64_t t = clock_.Now() - start;
        const double v = instrument_.ReadVoltage(false);
        // Nothing flows and nothing is counted: the monitor only measures.
        curve.Add(t, v, 0.0, 0, 0.0, 0.0);
        if (EndOfPass(plot, texts::MonitorStatus(t, v, instrument_.ReadingFailed()), t, v,
                      {t, v, 0.0, 0.0, settings_.NumberOfCells})) {
            break;
        }
    }
    EndCurve(curve, TestEnd::StoppedByUser);
    Tell(Ending::StoppedByUser);
    ReportCurveProblem();
}

void Procedures::AppendResultRecord(TestMode mode, std::int32_t cycle, double current,
                                    double milliampHours, double milliwattHours, double ohms) {
    const std::int32_t of = cycle != 0 ? settings_.MaximumCycles : 0;
    AppendResult(PathOf(ResultsFileName),
                 ResultRecordLine(clock_.ToLocalTime(clock_.Now()), mode, cycle, of,
                                  settings_.CellType, settings_.Capacity, settings_.NumberOfCells,
                                  current, milliampHours, milliwattHours, ohms));
}

}  // namespace voltrex
