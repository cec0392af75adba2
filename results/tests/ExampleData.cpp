#include "ExampleData.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <fstream>
#include <vector>

#include "platform/CFormat.h"
#include "results/CalendarTime.h"
#include "simulator/BatteryPack.h"

namespace voltrex::results::testing {

namespace {

using simulator::BatteryPack;
using simulator::Chemistry;

constexpr const char* Program = "Voltrex II - Computer Controlled Battery Manager - Version 1.0";

// The charge currents of the sample board's rate settings 0 to 10, amperes.
constexpr double ChargeCurrents[] = {0,      0.0502, 0.1004, 0.1497, 0.2011, 0.2995,
                                     0.4008, 0.5012, 0.699,  0.998,  1.251};

struct Test {
    const char* Mode;
    std::int64_t Start;
    int Cycle = 0;
    int Of = 0;
    const char* Type = "";
    int Rated = 0;
    int Cells = 0;
};

class ExampleWriter {
  public:
    explicit ExampleWriter(std::string folder) : folder_(std::move(folder)) {}

    // Discharges the pack at the current until the end voltage; returns when
    // the record was written.
    std::int64_t Discharge(BatteryPack& pack, const Test& test, int rate, double amperes,
                           double minimumCell) {
        const double ohms = Measured(pack.Resistance());
        const double end = minimumCell * test.Cells - ohms * amperes;
        Begin(test, rate, amperes, ohms);
        text_ += Format("# EndVoltage: %.4f\n", end);
        Columns();
        pack.SetCurrent(amperes);
        double charge = 0.0;
        double energy = 0.0;
        int s = 0;
        for (;; ++s) {
            const double volts = Reading(pack.TerminalVoltage());
            Row(s, volts, -amperes, rate, charge, energy);
            if (volts < end && s > 10) {
                break;
            }
            pack.Advance(1.0);
            charge += amperes;
            energy += amperes * volts;
        }
        pack.SetCurrent(0.0);
        return Finish(test, s, "end voltage reached", amperes, charge, energy, ohms);
    }

    // Charges a nickel pack until its voltage has fallen by the fraction
    // below its peak (after the first five minutes), or a lithium pack with
    // the rate stepped down whenever the ceiling is passed.
    std::int64_t Charge(BatteryPack& pack, const Test& test, int rate, double deltaV,
                        double ceiling) {
        const double ohms = Measured(pack.Resistance());
        const double initial = ChargeCurrents[rate];
        const int limit = static_cast<int>(1.5 * test.Rated * 3.6 / initial);
        Begin(test, rate, initial, ohms);
        text_ += ceiling > 0.0 ? Format("# Ceiling: %.4f\n", ceiling)
                               : Format("# DeltaV: %.4f\n", deltaV);
        text_ += Format("# TimeLimit: %d\n", limit);
        Columns();
        double charge = 0.0;
        double energy = 0.0;
        double peak = 0.0;
        const char* reason = "time limit";
        int s = 0;
        for (;; ++s) {
            const double amperes = ChargeCurrents[rate];
            pack.SetCurrent(-amperes);
            const double volts = Reading(pack.TerminalVoltage());
            Row(s, volts, amperes, rate, charge, energy);
            peak = std::max(peak, volts);
            if (ceiling > 0.0 && volts > ceiling) {
                if (--rate == 0) {
                    reason = "rate stepped down to 0";
                    break;
                }
            } else if (ceiling <= 0.0 && s > 300 && volts < peak * (1.0 - deltaV)) {
                reason = "delta-V";
                break;
            }
            if (s >= limit) {
                break;
            }
            pack.Advance(1.0);
            charge += amperes;
            energy += amperes * volts;
        }
        pack.SetCurrent(0.0);
        return Finish(test, s, reason, initial, charge, energy, ohms);
    }

    void Monitor(BatteryPack& pack, const Test& test, int seconds) {
        Begin(test, 0, 0.0, 0.0);
        Columns();
        for (int s = 0; s <= seconds; ++s) {
            Row(s, Reading(pack.TerminalVoltage()), 0.0, 0, 0.0, 0.0);
            pack.Advance(1.0);
        }
        text_ += "# End: stopped by the user\n";
        WriteCurve(test);
    }

    // A line of the results file as a crash of an older version left it.
    void BrokenLine(std::int64_t time, const std::string& line) {
        results_.emplace_back(time, line + "\n");
    }

    std::string Save() {
        // In the order the tests ended, as the program appends them.
        std::stable_sort(results_.begin(), results_.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        std::ofstream out(folder_ + "/Voltrex2.csv", std::ios::binary);
        out << "\"Date/Time\",\"Mode\",\"Cycle\",\"Of\",\"Type\",\"Rated\",\"Cells\",\"mA\","
               "\"mAh\",\"mWh\",\"Ohms\",\"V/Cell\"\n";
        for (const auto& [time, line] : results_) {
            out << line;
        }
        return out.good() && !failed_ ? std::string() : "cannot write into " + folder_;
    }

  private:
    // The internal resistance as the resistance test measures it: a little off.
    double Measured(double ohms) { return ohms * (1.0 + 0.04 * (Noise() - 0.5)); }
    // A second's mean of smoothed readings: within a millivolt or two.
    double Reading(double volts) { return volts + 0.003 * (Noise() - 0.5); }
    double Noise() {
        seed_ = seed_ * 1664525u + 1013904223u;
        return static_cast<double>(seed_ >> 8) / 16777216.0;
    }

    void Begin(const Test& test, int rate, double amperes, double ohms) {
        text_ = "# Voltrex II curve\n# Version: 1\n";
        text_ += Format("# Program: %s\n# Mode: %s\n# Start: %s\n# Cycle: %d\n# Of: %d\n", Program,
                        test.Mode, CalendarTimeText(CalendarTimeAt(test.Start)).c_str(), test.Cycle,
                        test.Of);
        if (std::string(test.Mode) != "MON") {
            text_ += Format("# Type: %s\n# Rated: %d\n# Cells: %d\n# Rate: %d\n# Current: %.3f\n",
                            test.Type, test.Rated, test.Cells, rate, amperes);
            ohms_ = ohms;
        }
    }
    void Columns() {
        if (ohms_ > 0.0) {
            text_ += Format("# Ohms: %.4f\n", ohms_);
            ohms_ = 0.0;
        }
        text_ += "seconds,volts,amperes,rate,mAh,mWh\n";
    }
    void Row(int s, double volts, double amperes, int rate, double charge, double energy) {
        text_ += Format("%d,%.4f,%.3f,%d,%.4f,%.4f\n", s, volts, amperes, rate, charge / 3.6,
                        energy / 3.6);
    }
    std::int64_t Finish(const Test& test, int seconds, const char* reason, double amperes,
                        double charge, double energy, double ohms) {
        text_ += Format("# End: %s\n", reason);
        WriteCurve(test);
        // The record is written once the current is off, a second later.
        const std::int64_t end = test.Start + seconds + 1;
        const double mah = charge / 3.6;
        const double mwh = energy / 3.6;
        const double perCell = mah != 0.0 ? mwh / (mah * test.Cells) : 0.0;
        results_.emplace_back(
            end,
            Format("\"%s\",\"%s\",%d,%d,\"%s\",%d,%d,%1.1f,%1.1f,%1.1f,%1.4f,%1.4f\n",
                   CalendarTimeText(CalendarTimeAt(end)).c_str(), test.Mode, test.Cycle, test.Of,
                   test.Type, test.Rated, test.Cells, amperes * 1000.0, mah, mwh, ohms, perCell));
        return end;
    }
    void WriteCurve(const Test& test) {
        const LocalTime t = CalendarTimeAt(test.Start);
        const std::string name =
            Format("%s/curves/%04d%02d%02d-%02d%02d%02d-%s.csv", folder_.c_str(), t.Year, t.Month,
                   t.Day, t.Hour, t.Minute, t.Second, test.Mode);
        std::ofstream out(name, std::ios::binary);
        out << text_;
        failed_ = failed_ || !out.good();
    }

    std::string folder_;
    std::string text_;
    std::vector<std::pair<std::int64_t, std::string>> results_;
    double ohms_ = 0.0;
    std::uint32_t seed_ = 20261208u;
    bool failed_ = false;
};

std::int64_t At(const char* time) {
    return CalendarSeconds(*ParseCalendarTime(time));
}

}  // namespace

std::string WriteExampleFolder(const std::string& folder) {
    ::mkdir(folder.c_str(), 0755);
    if (::mkdir((folder + "/curves").c_str(), 0755) != 0 && errno != EEXIST) {
        return "cannot make " + folder + "/curves";
    }
    ExampleWriter writer(folder);
    constexpr double NiMHMinimum = 1.0;
    constexpr double DischargeCurrent = 1.503;  // rate 10
    constexpr double DeltaV = 0.003;
    constexpr int Rest = 600;

    // A new transmitter pack, stored half charged: an Auto Cycle of three
    // cycles forms it, its capacity growing from cycle to cycle.
    BatteryPack::Settings settings;
    settings.Type = Chemistry::NiMH;
    settings.Cells = 7;
    settings.StateOfCharge = 0.45;
    settings.ResistancePerCell = 0.028;
    {
        const double formed[] = {1890.0, 1950.0, 1990.0};
        std::int64_t t = At("2026-01-17 10:04:12");
        for (int cycle = 1; cycle <= 3; ++cycle) {
            settings.CapacityMah = formed[cycle - 1];
            BatteryPack pack(settings);
            t = writer.Discharge(pack, {"DIS", t, cycle, 3, "NiMH", 2000, 7}, 10, DischargeCurrent,
                                 NiMHMinimum);
            pack.Advance(Rest);
            t = writer.Charge(pack, {"CHG", t + Rest, cycle, 3, "NiMH", 2000, 7}, 9, DeltaV, 0.0);
            pack.Advance(Rest);
            t += Rest;
            settings.StateOfCharge = pack.StateOfCharge();
        }
    }
    // Then a discharge and a charge each month as the pack wears: a little
    // less capacity and a little more resistance every time.
    const char* const months[] = {
        "2026-02-21 15:31:40", "2026-03-28 09:12:05", "2026-05-02 18:45:51", "2026-06-13 11:03:27",
        "2026-08-01 16:20:09", "2026-09-12 08:57:44", "2026-10-24 14:11:30", "2026-12-05 10:30:00"};
    for (int month = 0; month < 8; ++month) {
        settings.CapacityMah = 2010.0 - 21.0 * month - (month > 5 ? 25.0 * (month - 5) : 0.0);
        settings.ResistancePerCell = 0.028 * (1.0 + 0.045 * month);
        settings.StateOfCharge = 0.93;  // charged last month, a little self-discharge since
        BatteryPack pack(settings);
        std::int64_t t = writer.Discharge(pack, {"DIS", At(months[month]), 0, 0, "NiMH", 2000, 7},
                                          10, DischargeCurrent, NiMHMinimum);
        pack.Advance(Rest);
        writer.Charge(pack, {"CHG", t + Rest, 0, 0, "NiMH", 2000, 7}, 9, DeltaV, 0.0);
        if (month == 3) {
            writer.BrokenLine(At("2026-06-20 21:14:02"),
                              "\"2026-06-20 21:14:02\",\"DIS\",0,0,\"NiMH\",2000,7,1503.0,18");
        }
    }

    // A quadcopter's LiPo pack.
    BatteryPack::Settings lipo;
    lipo.Type = Chemistry::LiPo;
    lipo.Cells = 3;
    lipo.CapacityMah = 2150.0;
    lipo.StateOfCharge = 0.98;
    lipo.ResistancePerCell = 0.012;
    {
        BatteryPack pack(lipo);
        std::int64_t t =
            writer.Discharge(pack, {"DIS", At("2026-07-04 12:00:00"), 0, 0, "LiPo", 2200, 3}, 10,
                             DischargeCurrent, 3.0);
        pack.Advance(Rest);
        t = writer.Charge(pack, {"CHG", t + Rest, 0, 0, "LiPo", 2200, 3}, 10, 0.0, 12.6);
        pack.Advance(3600);
        writer.Discharge(pack, {"DIS", t + 3600, 0, 0, "LiPo", 2200, 3}, 10, DischargeCurrent, 3.0);
    }

    // The transmitter pack watched for a quarter of an hour after a charge.
    settings.StateOfCharge = 1.0;
    BatteryPack rested(settings);
    writer.Monitor(rested, {"MON", At("2026-12-06 09:00:00")}, 900);

    return writer.Save();
}

}  // namespace voltrex::results::testing
