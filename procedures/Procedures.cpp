#include "procedures/Procedures.h"

#include <limits>
#include <optional>

#include "instrument/PortBits.h"
#include "platform/AppendWhole.h"
#include "platform/CFormat.h"
#include "procedures/CapacityRule.h"
#include "procedures/ProcedureTexts.h"

namespace voltrex {

namespace {

constexpr const char* ResultsFileName = "Voltrex2.csv";
constexpr const char* UnrecognizedCellType = "Unrecognized cell type: ";

// The rate table has rows 0 to HighestRate (15); a test runs at one of rows 1
// to 15.
constexpr std::int32_t LowestRate = 1;

// The pause after a current step before the pack's voltage is read again.
constexpr int SettleMs = 100;

// Nickel packs are given 1.25 times the nominal charging time, the others,
// which taper their current at the end, 1.75 times.
constexpr double NickelTimeFactor = 1.25;
constexpr double TaperTimeFactor = 1.75;
// A threshold of 1.0 (a full 100 % drop) or a ceiling of 100 V stands for a
// chemistry without that rule.
constexpr double NoDeltaThreshold = 1.0;
constexpr double NoVoltageCeiling = 100.0;
// Stored cells show a false early dip: the peak is not tracked before this.
constexpr std::int64_t SettlingSeconds = 60;

bool RateInTable(std::int32_t rate) {
    return rate >= LowestRate && rate <= HighestRate;
}

std::size_t Row(std::int32_t rate) {
    return static_cast<std::size_t>(rate);
}

// Seconds truncated toward zero, kept within what a 32-bit count of seconds
// holds, so that a tiny configured current cannot overflow the time limit.
std::int64_t WholeSeconds(double seconds) {
    constexpr double longest = std::numeric_limits<std::int32_t>::max();
    if (!(seconds > -longest)) {
        return static_cast<std::int64_t>(-longest);
    }
    if (seconds > longest) {
        return static_cast<std::int64_t>(longest);
    }
    return static_cast<std::int64_t>(seconds);
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
        ui_.ShowError(
            Format("The %s rate %d is not one of the rates 1 to 15; choose a rate in "
                   "the test settings.",
                   kind, rate));
        return false;
    }
    const double current = currents[Row(rate)];
    if (!(current > 0.0)) {
        ui_.ShowError(
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

std::int32_t Procedures::RunDischarge(std::int32_t cycle) {
    const std::string& cellType = settings_.CellType;
    std::optional<double> cellMinimum;
    if (cellType == "NiCd") {
        cellMinimum = config_.NiCdVmin;
    } else if (cellType == "NiMH") {
        cellMinimum = config_.NiMHVmin;
    } else if (cellType == "LiPo") {
        cellMinimum = config_.LiPoVmin;
    } else if (cellType == "LiNP") {
        cellMinimum = config_.LiNPVmin;
    } else if (cellType == "PbAcid") {
        cellMinimum = config_.PbAcidVmin;
    }
    if (!cellMinimum) {
        ui_.ShowError(UnrecognizedCellType + cellType);
        return -1;
    }
    if (!CheckDischargeRate()) {
        return -1;
    }
    const double packMinimum = *cellMinimum * settings_.NumberOfCells;
    const std::int32_t rate = settings_.DischargeRate;
    const double current = config_.DischargeCurrent[Row(rate)];

    // The resistance is measured at the discharge current, so that the end
    // voltage under load can allow for the drop across the pack itself.
    const std::optional<double> measured = ResistanceOf(-1, GraphToWriteOn());
    if (!measured) {
        return -1;
    }
    const double ohms = *measured;
    const double endVoltage = packMinimum - ohms * current;

    const double startVoltage = instrument_.ReadVoltage(true);
    if (StoppedOnFailedReading()) {
        return -1;
    }
    const double low = startVoltage > endVoltage ? endVoltage : startVoltage - 0.05;
    graph_.CreateGraph(low, startVoltage + 0.05);
    GraphPlot& plot = *graph_.CurrentGraph();
    SetTitleLine(plot,
                 texts::DischargeTitle(cycle, settings_.MaximumCycles, settings_.NumberOfCells,
                                       cellType, current, endVoltage, ohms));

    const std::int64_t startSecond = clock_.Now();
    ChargeCount counted(startSecond);
    instrument_.StartDischarge(static_cast<std::uint8_t>(rate));

    std::int64_t elapsed = 0;
    bool done = false;
    do {
        const std::int64_t now = clock_.Now();
        elapsed = now - startSecond;
        const double voltage = instrument_.ReadVoltage(false);
        if (StoppedOnFailedReading()) {
            return -1;
        }
        counted.Count(now, current, voltage);
        if (voltage < endVoltage) {
            done = true;
        }
        SetStatusLine(plot, texts::DischargeStatus(elapsed, voltage, counted.ChargeCounter,
                                                   counted.EnergyCounter));
        AddPoint(plot, static_cast<std::int32_t>(elapsed), voltage);
        ui_.Yield();
        if (ui_.PollStop()) {
            instrument_.AllOff();
            return -1;
        }
    } while (!done);

    instrument_.AllOff();
    AppendResultRecord("DIS", cycle, current, counted.ChargeCounter * texts::PerHour,
                       counted.EnergyCounter * texts::PerHour, ohms);
    return static_cast<std::int32_t>(elapsed);
}

std::int32_t Procedures::RunCharge(std::int32_t cycle, std::int32_t dischargeSeconds) {
    const std::string& cellType = settings_.CellType;
    const std::int32_t cells = settings_.NumberOfCells;
    double deltaThreshold = NoDeltaThreshold;
    double voltageCeiling = NoVoltageCeiling;
    if (cellType == "NiCd") {
        deltaThreshold = config_.NiCdDeltaV;
    } else if (cellType == "NiMH") {
        deltaThreshold = config_.NiMHDeltaV;
    } else if (cellType == "LiPo") {
        voltageCeiling = cells * config_.LiPoVmax;
    } else if (cellType == "LiNP") {
        voltageCeiling = cells * config_.LiNPVmax;
    } else if (cellType == "PbAcid") {
        voltageCeiling = cells * config_.PbAcidVmax;
    } else {
        ui_.ShowError(UnrecognizedCellType + cellType);
        return -1;
    }
    if (!CheckChargeRate()) {
        return -1;
    }
    std::int32_t rateIndex = settings_.ChargeRate;
    const double initialCurrent = config_.ChargeCurrent[Row(rateIndex)];
    double current = initialCurrent;

    // The time to put the rated capacity in at the initial current, then
    // the chemistry's margin, each truncated to whole seconds.
    const double factor = deltaThreshold < NoDeltaThreshold ? NickelTimeFactor : TaperTimeFactor;
    const std::int64_t nominalSeconds = WholeSeconds(settings_.Capacity * 3.6 / initialCurrent);
    const std::int64_t timeLimit = WholeSeconds(static_cast<double>(nominalSeconds) * factor);

    const std::optional<double> measured = ResistanceOf(1, GraphToWriteOn());
    if (!measured) {
        return -1;
    }
    const double ohms = *measured;
    const double startVoltage = instrument_.ReadVoltage(true);
    if (StoppedOnFailedReading()) {
        return -1;
    }
    // Within an auto cycle the charge continues on the discharge's graph.
    if (cycle == 0) {
        graph_.CreateGraph(startVoltage - 0.05, startVoltage + 0.05);
    }
    GraphPlot& plot = *graph_.CurrentGraph();
    SetTitleLine(plot,
                 texts::ChargeTitle(cycle, settings_.MaximumCycles, cells, cellType, initialCurrent,
                                    deltaThreshold, voltageCeiling, timeLimit, ohms));
    std::string capacityText;
    if (cycle != 0) {
        const double dischargeCurrent = RateInTable(settings_.DischargeRate)
                                            ? config_.DischargeCurrent[Row(settings_.DischargeRate)]
                                            : 0.0;
        capacityText = texts::CapacityText(dischargeSeconds, dischargeCurrent);
    }

    double peak = 0.0;
    double drop = 0.0;
    const std::int64_t startSecond = clock_.Now();
    ChargeCount counted(startSecond);
    std::int64_t deltaTimerStart = startSecond;
    instrument_.StartCharge(static_cast<std::uint8_t>(rateIndex));

    std::int64_t elapsed = 0;
    bool done = false;
    do {
        const std::int64_t now = clock_.Now();
        elapsed = now - startSecond;
        const double voltage = instrument_.ReadVoltage(false);
        if (StoppedOnFailedReading()) {
            return -1;
        }
        // The present current: a stepped-down charge counts at its new rate.
        counted.Count(now, current, voltage);

        if (elapsed > timeLimit) {
            done = true;
        } else if (voltage > voltageCeiling) {
            // Hold the ceiling by stepping the current down one rate at a
            // time; the charge is over when there is no lower rate left.
            --rateIndex;
            instrument_.SetRate(static_cast<std::uint8_t>(rateIndex));
            current = config_.ChargeCurrent[Row(rateIndex)];
            if (rateIndex == 0) {
                done = true;
            } else {
                clock_.SleepMs(SettleMs);
                instrument_.ReadVoltage(true);
                if (StoppedOnFailedReading()) {
                    return -1;
                }
            }
        } else if (elapsed <= SettlingSeconds) {
            drop = 0.0;
            deltaTimerStart = now;
        } else {
            if (voltage > peak) {
                peak = voltage;
            }
            drop = peak != 0.0 ? (peak - voltage) / peak : 0.0;
            if (drop < deltaThreshold) {
                deltaTimerStart = now;
            }
            if (now - deltaTimerStart > config_.DeltaVDuration) {
                done = true;
            }
        }

        SetStatusLine(plot, texts::ChargeStatus(elapsed, voltage, counted.ChargeCounter,
                                                capacityText, counted.EnergyCounter, deltaThreshold,
                                                drop, now - deltaTimerStart));
        AddPoint(plot, static_cast<std::int32_t>(dischargeSeconds + elapsed), voltage);
        ui_.Yield();
        if (ui_.PollStop()) {
            instrument_.AllOff();
            return -1;
        }
    } while (!done);

    instrument_.AllOff();
    AppendResultRecord("CHG", cycle, initialCurrent, counted.ChargeCounter * texts::PerHour,
                       counted.EnergyCounter * texts::PerHour, ohms);
    return static_cast<std::int32_t>(elapsed);
}

void Procedures::RunAutoCycle() {
    std::int32_t previous = 0;
    for (std::int32_t cycle = 1; cycle <= settings_.MaximumCycles; ++cycle) {
        // A request left pending between two phases ends the sequence here.
        if (ui_.PollStop()) {
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
        // The first discharge of a pack is never compared: it starts from
        // whatever charge the pack was stored with.
        if (cycle > 2 && settings_.StopOnSmallIncrease &&
            CapacityStoppedGrowing(previous, discharged, config_.CycleTerminationRatio)) {
            return;
        }
        previous = discharged;
    }
}

bool Procedures::RestBetweenCycles(std::int32_t seconds) {
    GraphToWriteOn();
    const std::int64_t start = clock_.Now();
    while (true) {
        const std::int64_t remaining = start + seconds - clock_.Now();
        if (remaining < 0) {
            return true;
        }
        SetStatusLine(*graph_.CurrentGraph(), texts::WaitingStatus(remaining));
        ui_.Yield();
        if (ui_.PollStop()) {
            return false;
        }
    }
}

double Procedures::MeasureInternalResistance(std::int32_t mode, GraphPlot& graph) {
    return ResistanceOf(mode, graph).value_or(0.0);
}

std::optional<double> Procedures::ResistanceOf(std::int32_t mode, GraphPlot& graph) {
    const bool dischargeHalf = mode <= 0;
    const bool chargeHalf = mode >= 0;
    if ((dischargeHalf && !CheckDischargeRate()) || (chargeHalf && !CheckChargeRate())) {
        return 0.0;
    }
    SetStatusLine(graph, "One moment please...");
    // Every reading here is the mean of 20 conversions, and one failed
    // conversion makes a resistance out of nothing: the test ends there.
    auto failed = [this, &graph] {
        if (!StoppedOnFailedReading()) {
            return false;
        }
        SetStatusLine(graph, " ");
        return true;
    };
    instrument_.ReadVoltage(true);
    if (failed()) {
        return std::nullopt;
    }
    if (mode == 0) {
        ClearPlotArea(graph);
    }

    double dischargeOhms = 0.0;
    double chargeOhms = 0.0;
    const std::int32_t dischargeRate = settings_.DischargeRate;
    const std::int32_t chargeRate = settings_.ChargeRate;
    if (dischargeHalf) {
        SetTitleLine(graph, "Measuring Discharge Impedance");
        instrument_.StartDischarge(static_cast<std::uint8_t>(dischargeRate));
        const double loaded = instrument_.ReadVoltage(true);
        if (failed()) {
            return std::nullopt;
        }
        instrument_.StartDischarge(0);
        clock_.SleepMs(SettleMs);
        const double unloaded = instrument_.ReadVoltage(true);
        if (failed()) {
            return std::nullopt;
        }
        dischargeOhms = (unloaded - loaded) / config_.DischargeCurrent[Row(dischargeRate)];
    }
    if (chargeHalf) {
        SetTitleLine(graph, "Measuring Charge Impedance");
        instrument_.StartCharge(static_cast<std::uint8_t>(chargeRate));
        const double loaded = instrument_.ReadVoltage(true);
        if (failed()) {
            return std::nullopt;
        }
        instrument_.StartCharge(0);
        clock_.SleepMs(SettleMs);
        const double unloaded = instrument_.ReadVoltage(true);
        if (failed()) {
            return std::nullopt;
        }
        chargeOhms = (loaded - unloaded) / config_.ChargeCurrent[Row(chargeRate)];
    }
    if (mode == 0) {
        instrument_.AllOff();
        SetTitleLine(graph, texts::ResistanceResult(
                                chargeOhms, config_.ChargeCurrent[Row(chargeRate)], dischargeOhms,
                                config_.DischargeCurrent[Row(dischargeRate)]));
        SetStatusLine(graph, " ");
    }
    return mode < 0 ? dischargeOhms : chargeOhms;
}

// A failed conversion (the comparators never flipped over the whole ramp)
// means a loose sense lead, a board without power, a wrong port or a pack
// above the converter's full scale. Its -1.0 V would hide in the smoothed
// reading, and a charge could no longer see its voltage ceiling: the current
// goes off, and the test ends without a results line.
bool Procedures::StoppedOnFailedReading() {
    if (!instrument_.ReadingFailed()) {
        return false;
    }
    instrument_.AllOff();
    ui_.ShowError(texts::MeasurementFailure);
    return true;
}

void Procedures::RunMonitor() {
    const double startVoltage = instrument_.ReadVoltage(true);
    graph_.CreateGraph(startVoltage - 0.05, startVoltage + 0.05);
    GraphPlot& plot = *graph_.CurrentGraph();
    SetTitleLine(plot, "Monitor");
    const std::int64_t start = clock_.Now();
    while (true) {
        const std::int64_t t = clock_.Now() - start;
        const double v = instrument_.ReadVoltage(false);
        SetStatusLine(plot, texts::MonitorStatus(t, v, instrument_.ReadingFailed()));
        AddPoint(plot, static_cast<std::int32_t>(t), v);
        ui_.Yield();
        if (ui_.PollStop()) {
            return;
        }
    }
}

void Procedures::AppendResultRecord(const std::string& modeCode, std::int32_t cycle, double current,
                                    double milliampHours, double milliwattHours, double ohms) {
    const std::int32_t of = cycle != 0 ? settings_.MaximumCycles : 0;
    const std::string record =
        texts::ResultRecord(clock_.ToLocalTime(clock_.Now()), modeCode, cycle, of,
                            settings_.CellType, settings_.Capacity, settings_.NumberOfCells,
                            current, milliampHours, milliwattHours, ohms) +
        '\n';
    // Appending only, never truncating: the file holds the history of every
    // pack tested. A new file starts with the header; the record (with it)
    // reaches the disk whole or not at all, also on a full disk. A name that
    // cannot be opened or is not a plain file (locked by a spreadsheet, a
    // read-only folder, a FIFO) loses this record without a word.
    AppendWhole(PathOf(ResultsFileName), record, texts::ResultsHeader() + '\n', 0644);
}

}  // namespace voltrex
