#include "procedures/ProcedureTexts.h"

#include "platform/CFormat.h"

namespace voltrex::texts {

namespace {

int Hours(std::int64_t seconds) {
    return static_cast<int>(seconds / 3600);
}
int Minutes(std::int64_t seconds) {
    return static_cast<int>((seconds % 3600) / 60);
}
int Seconds(std::int64_t seconds) {
    return static_cast<int>(seconds % 60);
}

// " 2 of 10" within an auto cycle, nothing for a single test.
std::string CyclePart(std::int32_t cycle, std::int32_t maximumCycles) {
    return cycle != 0 ? Format(" %d of %d", cycle, maximumCycles) : std::string();
}

std::string BatteryAndRate(std::int32_t numberOfCells, const std::string& cellType,
                           double current) {
    return Format("  Battery: %d %s", numberOfCells, cellType.c_str()) +
           Format("  Rate: %1.0fmA", current * 1000.0);
}

}  // namespace

std::string DischargeTitle(std::int32_t cycle, std::int32_t maximumCycles,
                           std::int32_t numberOfCells, const std::string& cellType, double current,
                           double endVoltage, double ohms) {
    std::string title = "Discharge";
    title += CyclePart(cycle, maximumCycles);
    title += BatteryAndRate(numberOfCells, cellType, current);
    title += Format("  VMin: %1.2fV", endVoltage);
    title += Format("  Resistance: %1.4f Ohms", ohms);
    return title;
}

std::string DischargeStatus(std::int64_t elapsed, double volts, double ampSeconds,
                            double wattSeconds) {
    return Format("Time: %s  Voltage: %1.2fV  Discharge: %1.0fmAh (%1.0fmWh)",
                  ElapsedTime(elapsed).c_str(), volts, ampSeconds * PerHour, wattSeconds * PerHour);
}

std::string ChargeTitle(std::int32_t cycle, std::int32_t maximumCycles, std::int32_t numberOfCells,
                        const std::string& cellType, double initialCurrent, double deltaThreshold,
                        double voltageCeiling, std::int64_t timeLimit, double ohms) {
    std::string title = "Charge";
    title += CyclePart(cycle, maximumCycles);
    title += BatteryAndRate(numberOfCells, cellType, initialCurrent);
    if (deltaThreshold < 1.0) {
        title += Format("  Delta: %1.2f%%", deltaThreshold * 100.0);
    }
    if (voltageCeiling < 100.0) {
        title += Format("  VMax: %1.2fV", voltageCeiling);
    }
    title +=
        Format("  TLimit: %2d:%02d:%02d", Hours(timeLimit), Minutes(timeLimit), Seconds(timeLimit));
    title += Format("  Resistance: %1.4f Ohms", ohms);
    return title;
}

std::string CapacityText(std::int32_t dischargeSeconds, double dischargeCurrent) {
    return Format("/%1.0fmAh", dischargeSeconds * dischargeCurrent / 3.6);
}

std::string ChargeStatus(std::int64_t elapsed, double volts, double ampSeconds,
                         const std::string& capacityText, double wattSeconds, double deltaThreshold,
                         double drop, std::int64_t deltaSeconds) {
    std::string status = Format("Time: %s  Voltage: %1.2fV  Charge: %1.0fmAh%s (%1.0fmWh)",
                                ElapsedTime(elapsed).c_str(), volts, ampSeconds * PerHour,
                                capacityText.c_str(), wattSeconds * PerHour);
    if (deltaThreshold < 1.0) {
        status += Format("  Delta: %1.2f%% (%ds)", drop * 100.0, static_cast<int>(deltaSeconds));
    }
    return status;
}

std::string ResistanceResult(double chargeOhms, double chargeCurrent, double dischargeOhms,
                             double dischargeCurrent) {
    return Format(
        "Charge: %1.4f Ohms (at %1.0fmA)  Discharge: %1.4f Ohms (at %1.0fmA)  Average: %1.4f Ohms",
        chargeOhms, chargeCurrent * 1000.0, dischargeOhms, dischargeCurrent * 1000.0,
        (chargeOhms + dischargeOhms) * 0.5);
}

std::string MonitorStatus(std::int64_t elapsed, double volts, bool failed) {
    std::string text = Format("Time: %s  Voltage: %1.2fV", ElapsedTime(elapsed).c_str(), volts);
    if (failed) {
        text += "  No reading: the comparators did not answer";
    }
    return text;
}

const char* const MeasurementFailure =
    "The pack voltage could not be measured: the comparators did not answer over the whole "
    "ramp of the converter. The test has been stopped and everything switched off. Check that "
    "the board is powered, that its cable is plugged into the port named in Voltrex2.ini, that "
    "the sense leads reach the pack, and that the pack voltage is not above the converter's "
    "full scale.";

std::string WaitingStatus(std::int64_t remaining) {
    return Format("Waiting...%d", static_cast<int>(remaining));
}

std::string CycleBitmapName(const LocalTime& time) {
    return FileStamp(time) + ".bmp";
}

}  // namespace voltrex::texts
