#include "makefolder/FolderMaker.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>

#include "makefolder/CellModel.h"
#include "makefolder/Random.h"
#include "platform/CFormat.h"
#include "platform/SystemClock.h"
#include "platform/TextFile.h"
#include "records/CalendarTime.h"
#include "records/CsvLine.h"
#include "records/CurveFile.h"
#include "records/CurveRecorder.h"
#include "records/FileNames.h"
#include "records/ResultsFile.h"
#include "results/PackGrouping.h"
#include "results/PackNames.h"

namespace voltrex::makefolder {

namespace {

constexpr std::int64_t Hour = 3600;
constexpr std::int64_t Day = 24 * Hour;
constexpr double Year = 365.25 * Day;

// The central European clock: UTC+1, UTC+2 in summer, which starts and ends
// at 01:00 UTC on the last Sunday of March and of October.
std::int64_t LastSundayOf(int year, int month) {
    const std::int64_t last = CalendarSeconds(LocalTime{year, month, 31, 1, 0, 0});
    const std::int64_t weekday = ((last / Day) + 4) % 7;  // 1970-01-01 was a Thursday
    return last - weekday * Day;
}

std::int64_t OffsetAt(std::int64_t utc) {
    const int year = CalendarTimeAt(utc).Year;
    return utc >= LastSundayOf(year, 3) && utc < LastSundayOf(year, 10) ? 2 * Hour : Hour;
}

std::string ReadAll(const std::string& path) {
    return ReadTextFile(path).Text;
}

void WriteAll(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

struct Pack {
    CellModel Cell;
    int Rated = 0;
    int Cells = 0;
    double DischargeHours = 5.0;  // of a full discharge at the pack's rate when new
    double ChargeHours = 5.0;
    std::int64_t Bought = 0;
    double Charge = 0.5;  // state of charge when last left
    std::int64_t LeftAt = 0;
    bool New = true;
    // A second pack of the same kind is named apart by the user.
    int Twin = 0;
    // The owner stops using a pack once it holds less than this share of its
    // rating, and buys another of the same kind.
    double RetireAt = 0.6;
    bool Retired = false;
    std::int64_t RetiredAt = 0;
};

// What a finished test suffers: glitch rows written by the charger, rows
// garbled on the disk afterwards.
struct Flaws {
    bool Glitches = false;
    bool Garble = false;
};

// A contact that lifted for one reading, and the converter's top: a spike on
// the line.
double Glitched(const Flaws& flaws, std::int64_t second, std::int64_t last, double volts) {
    if (flaws.Glitches && second == last * 4 / 10) {
        return 0.0;
    }
    if (flaws.Glitches && second == last * 7 / 10) {
        return 47.9;
    }
    return volts;
}

// What a test writes besides its rows.
struct TestMarks {
    bool CrossSummerTime = false;
    int StopAfterSeconds = -1;  // stopped by the user: a curve, no record
    bool PowerCut = false;      // cut off: a torn curve, no record
};

class Maker {
  public:
    Maker(std::string folder, const FolderOptions& options)
        : folder_(std::move(folder)),
          curves_(folder_ + "/" + CurvesFolderName),
          results_(folder_ + "/" + ResultsFileName),
          o_(options),
          random_(options.Seed * 0x2545F4914F6CDD1DULL + 17) {}

    FolderReport Make();

  private:
    void MakePacks();
    void RunSession(int packIndex);
    void RunMonitor(double hours);
    void StoppedTest(Pack& pack);  // a curve and no record
    void CutTest(Pack& pack);      // a curve cut off by a power cut
    std::int64_t Discharge(Pack& pack, int cycle, int of, const TestMarks& marks);
    std::int64_t Charge(Pack& pack, int cycle, int of, bool keepOpen);
    void AddRecord(const LocalTime& end, TestMode mode, int cycle, int of, const Pack& pack,
                   double amperes, double milliampHours, double milliwattHours, double ohms,
                   const std::string& curvePath);
    void AddRow(CurveRecorder& curve, std::int64_t second, std::int64_t last, double volts,
                double amperes, int rate, double ampSeconds, double wattSeconds);
    LocalTime LocalAt(std::int64_t utc) const {
        return CalendarTimeAt(utc + OffsetAt(utc) + clockShift_);
    }
    double Capacity(const Pack& pack, std::int64_t at);
    static double TrueHealth(const Pack& pack, std::int64_t at);
    void RetireIfWornOut(int packIndex);
    double CellOhms(const Pack& pack, std::int64_t at) const;
    double ChargeAt(const Pack& pack, std::int64_t at) const;
    int PickPack();
    Flaws NextFlaws(bool finishes);

    void DamageCurve(const std::string& path);
    void CutByPowerFailure(const std::string& path);
    void WriteNames();
    void DamageResultsFile();
    void AddEmptyAndForeignFiles();
    void Grow();

    std::string folder_;
    std::string curves_;
    std::string results_;
    FolderOptions o_;
    Random random_;
    FolderReport report_;

    std::vector<Pack> packs_;
    std::int64_t begin_ = 0;
    std::int64_t end_ = 0;
    std::int64_t now_ = 0;  // the next test starts no earlier
    std::int64_t clockShift_ = 0;
    int recordsLeft_ = 0;
    int recordIndex_ = 0;
    std::set<int> missingCurves_;
    std::map<int, int> mistyped_;                                   // record index -> which mistake
    std::vector<std::pair<std::string, std::string>> recordNames_;  // record id -> pack name
    // The name the owner gives each pack, never two alike (a pack of the
    // same kind as another, or a second "Drill" of another kind, is numbered:
    // "Drill #2"); only those of the named groups and of the twins are
    // written.
    std::vector<std::string> packNames_;
    std::set<std::string> namesGiven_;
    std::string NewName(const std::string& base, bool numbered);
    std::map<std::tuple<std::string, int, int>, int> kinds_;  // packs bought of a kind
    std::int64_t summerTimeChange_ = 0;
    bool summerTime_ = false;
    int glitchesLeft_ = 0;
    int garblesLeft_ = 0;
    // The charge still running, kept open to grow.
    std::unique_ptr<CurveRecorder> running_;
    struct RunningState {
        std::int64_t Second = 0;
        double Volts = 0.0;
        double Amperes = 0.0;
        int Rate = 0;
        double WattSeconds = 0.0;
    } runningState_;
};

double Maker::TrueHealth(const Pack& pack, std::int64_t at) {
    const double age = static_cast<double>(at - pack.Bought) / Year;
    return 1.02 - pack.Cell.FadePerYear * age;
}

double Maker::Capacity(const Pack& pack, std::int64_t at) {
    return pack.Rated * std::max(0.3, TrueHealth(pack, at) + 0.012 * random_.Normal());
}

// A pack worn below its owner's limit is put away; its successor, of the same
// kind and name, is bought within a month and named apart.
void Maker::RetireIfWornOut(int packIndex) {
    Pack& pack = packs_[static_cast<std::size_t>(packIndex)];
    if (pack.Retired || TrueHealth(pack, now_) >= pack.RetireAt) {
        return;
    }
    pack.Retired = true;
    pack.RetiredAt = now_;
    Pack successor = pack;
    successor.Retired = false;
    successor.New = true;
    successor.Bought = now_ + random_.Integer(1, 30) * static_cast<std::int64_t>(Day);
    successor.LeftAt = successor.Bought;
    successor.Charge = random_.Uniform(0.2, 0.7);
    successor.RetireAt = random_.Uniform(0.55, 0.72);
    successor.Twin = kinds_[{pack.Cell.Type, pack.Rated, pack.Cells}]++;
    const std::string base = packNames_[static_cast<std::size_t>(packIndex)];
    packs_.push_back(successor);
    packNames_.push_back(NewName(base.substr(0, base.find(" #")), true));
}

double Maker::CellOhms(const Pack& pack, std::int64_t at) const {
    const double age = static_cast<double>(at - pack.Bought) / Year;
    return pack.Cell.OhmsPerCellAt1Ah * 1000.0 / pack.Rated * (1.0 + 0.25 * age);
}

double Maker::ChargeAt(const Pack& pack, std::int64_t at) const {
    const double days = static_cast<double>(at - pack.LeftAt) / Day;
    return pack.Charge * std::exp(-pack.Cell.ShelfLossPerDay * std::max(0.0, days));
}

void Maker::MakePacks() {
    static const int NickelRatings[] = {600, 1100, 2000, 2500, 3300, 4500};
    static const int LithiumRatings[] = {850, 1300, 2200, 3300, 5000};
    static const int PhosphateRatings[] = {1100, 2300, 2500};
    static const int LeadRatings[] = {1200, 4000, 7000};
    static const char* const Names[] = {"Transmitter", "Receiver",    "Heli 450", "Glider",
                                        "Boat",        "Crawler",     "Camera",   "Torch",
                                        "Drill",       "Solar buffer"};
    for (int i = 0; i < o_.Packs; ++i) {
        Pack pack;
        const std::string type = CellTypes[(i + static_cast<int>(o_.Seed % 5)) % 5];
        pack.Cell = CellModel::Of(type);
        if (type == "NiMH" || type == "NiCd") {
            pack.Rated = NickelRatings[random_.Integer(0, 5)];
            pack.Cells = random_.Integer(4, 10);
        } else if (type == "LiPo") {
            pack.Rated = LithiumRatings[random_.Integer(0, 4)];
            pack.Cells = random_.Integer(2, 6);
        } else if (type == "LiNP") {
            pack.Rated = PhosphateRatings[random_.Integer(0, 2)];
            pack.Cells = random_.Integer(2, 4);
        } else {
            pack.Rated = LeadRatings[random_.Integer(0, 2)];
            pack.Cells = random_.Chance(0.5) ? 3 : 6;
        }
        pack.DischargeHours = random_.Uniform(o_.MinHours, o_.MaxHours);
        pack.ChargeHours = random_.Uniform(o_.MinHours, o_.MaxHours);
        // A third of the packs from the start, the others bought over the years.
        const double bought = i < std::max(1, o_.Packs / 3) ? 0.0 : random_.Uniform(0.0, 0.7);
        pack.Bought =
            begin_ + static_cast<std::int64_t>(bought * static_cast<double>(end_ - begin_));
        pack.Charge = random_.Uniform(0.2, 0.7);  // as it came from the shop
        pack.LeftAt = pack.Bought;
        pack.RetireAt = random_.Uniform(0.55, 0.72);
        pack.Twin = kinds_[{type, pack.Rated, pack.Cells}]++;
        packs_.push_back(pack);
        packNames_.push_back(NewName(Names[i % 10], pack.Twin > 0));
    }
}

std::string Maker::NewName(const std::string& base, bool numbered) {
    std::string name = base;
    for (int number = 2; (numbered && name == base) || namesGiven_.count(name) != 0; ++number) {
        name = base + Format(" #%d", number);
    }
    namesGiven_.insert(name);
    return name;
}

int Maker::PickPack() {
    std::vector<int> usable;
    for (std::size_t i = 0; i < packs_.size(); ++i) {
        if (packs_[i].Bought <= now_ && !packs_[i].Retired) {
            // A new pack is formed first.
            if (packs_[i].New) {
                return static_cast<int>(i);
            }
            usable.push_back(static_cast<int>(i));
        }
    }
    if (usable.empty()) {
        return 0;
    }
    return usable[static_cast<std::size_t>(
        random_.Integer(0, static_cast<int>(usable.size()) - 1))];
}

Flaws Maker::NextFlaws(bool finishes) {
    Flaws flaws;
    if (!finishes) {
        return flaws;
    }
    if (glitchesLeft_ > 0 && recordIndex_ >= o_.Records / 5) {
        flaws.Glitches = true;
        --glitchesLeft_;
    } else if (garblesLeft_ > 0 && recordIndex_ >= o_.Records / 2) {
        flaws.Garble = true;
        --garblesLeft_;
    }
    return flaws;
}

void Maker::AddRow(CurveRecorder& curve, std::int64_t second, std::int64_t last, double volts,
                   double amperes, int rate, double ampSeconds, double wattSeconds) {
    // Now and then a pass held up for more than a second leaves no row
    // (never the first or the last: the test's start and end are known).
    if (second > 0 && second < last && second % 997 == 0 && random_.Chance(0.2)) {
        return;
    }
    curve.Add(second, volts, amperes, rate, ampSeconds, wattSeconds);
    ++report_.Rows;
}

void Maker::AddRecord(const LocalTime& end, TestMode mode, int cycle, int of, const Pack& pack,
                      double amperes, double milliampHours, double milliwattHours, double ohms,
                      const std::string& curvePath) {
    const int index = recordIndex_++;
    --recordsLeft_;
    LocalTime time = end;
    if (const auto mistake = mistyped_.find(index); mistake != mistyped_.end()) {
        switch (mistake->second) {
            case 0:
                milliampHours = 1700000.0;
                break;
            case 1:
                time.Year = 1;
                break;
            case 2:
                milliampHours = -milliampHours;
                break;
            default:
                ohms = 95.0;
                break;
        }
    }
    AppendResult(results_,
                 ResultRecordLine(time, mode, cycle, of, pack.Cell.Type, pack.Rated, pack.Cells,
                                  amperes, milliampHours, milliwattHours, ohms));
    ++report_.Records;
    if (pack.Twin > 0) {
        const std::size_t i = static_cast<std::size_t>(&pack - packs_.data());
        recordNames_.emplace_back(CalendarTimeText(time) + " " + ModeCode(mode), packNames_[i]);
    }
    if (missingCurves_.count(index) != 0) {
        std::remove(curvePath.c_str());
        --report_.Curves;
    }
}

std::int64_t Maker::Discharge(Pack& pack, int cycle, int of, const TestMarks& marks) {
    const double capacity = Capacity(pack, now_);
    const double charge = pack.New ? pack.Charge : ChargeAt(pack, now_);
    const double amperes = pack.Rated / pack.DischargeHours / 1000.0;
    const double available = std::max(0.02, charge) * capacity;  // mAh
    std::int64_t seconds =
        std::max<std::int64_t>(60, std::llround(available / (amperes * 1000.0) * Hour));
    if (marks.CrossSummerTime) {
        // Started before the clock jumps from 02:00 to 03:00, ended after.
        now_ = summerTimeChange_ - seconds / 2;
    }
    const std::int64_t start = now_;
    const Flaws flaws = NextFlaws(marks.StopAfterSeconds < 0 && !marks.PowerCut);
    const double cellOhms = CellOhms(pack, start);
    const double ohms = pack.Cells * cellOhms * (1.0 + 0.03 * random_.Normal());
    const int rate = std::clamp(static_cast<int>(std::lround(amperes * 10.0)), 1, 15);
    const LocalTime local = LocalAt(start);
    auto curve = std::make_unique<CurveRecorder>();
    curve->Start(curves_, local, TestMode::Discharge,
                 CurveHeader(TestMode::Discharge, local, cycle, of, pack.Cell.Type, pack.Rated,
                             pack.Cells, rate, amperes, ohms) +
                     Format("EndVoltage: %.4f\n", pack.Cells * pack.Cell.EndVolts));
    ++report_.Curves;
    const std::int64_t last = marks.StopAfterSeconds >= 0
                                  ? std::min<std::int64_t>(seconds, marks.StopAfterSeconds)
                              : marks.PowerCut ? seconds * 6 / 10
                                               : seconds;
    const double noise = 0.0015 * std::sqrt(static_cast<double>(pack.Cells));
    const double startDepth = 1.0 - std::max(0.02, charge);
    double wattSeconds = 0.0;
    for (std::int64_t s = 0; s <= last; ++s) {
        const double depth =
            startDepth + (1.0 - startDepth) * static_cast<double>(s) / static_cast<double>(seconds);
        double volts = pack.Cells * (pack.Cell.DischargeVolts(depth) - amperes * cellOhms) +
                       noise * random_.Normal();
        wattSeconds += s > 0 ? volts * amperes : 0.0;
        volts = Glitched(flaws, s, last, volts);
        AddRow(*curve, s, last, volts, -amperes, rate, amperes * static_cast<double>(s),
               wattSeconds);
    }
    const std::int64_t endTime = start + last;
    if (marks.PowerCut) {
        const std::string path = curve->Path();
        curve.reset();  // closed without its end, as the program never got to it
        CutByPowerFailure(path);
        pack.Charge = 1.0 - (startDepth + (1.0 - startDepth) * 0.6);
    } else if (marks.StopAfterSeconds >= 0) {
        curve->Finish(TestEnd::StoppedByUser);
        pack.Charge =
            std::max(0.0, charge - static_cast<double>(last) / static_cast<double>(seconds));
    } else {
        curve->Finish(TestEnd::EndVoltage);
        if (flaws.Garble) {
            DamageCurve(curve->Path());
        }
        AddRecord(LocalAt(endTime), TestMode::Discharge, cycle, of, pack, amperes,
                  amperes * static_cast<double>(last) / 3.6, wattSeconds / 3.6, ohms,
                  curve->Path());
        pack.Charge = 0.0;
    }
    pack.New = false;
    pack.LeftAt = endTime;
    return endTime;
}

std::int64_t Maker::Charge(Pack& pack, int cycle, int of, bool keepOpen) {
    const double capacity = Capacity(pack, now_);
    const double charge = pack.New ? pack.Charge : ChargeAt(pack, now_);
    const CellModel& cell = pack.Cell;
    const double amperes = pack.Rated / pack.ChargeHours / 1000.0;
    const double toPut = std::max(0.05, 1.0 - charge) * capacity * cell.ChargeFactor;  // mAh
    const std::int64_t start = now_;
    const Flaws flaws = NextFlaws(!keepOpen);
    const double cellOhms = CellOhms(pack, start);
    const double ohms = pack.Cells * cellOhms * (1.0 + 0.03 * random_.Normal());
    const int firstRate = std::clamp(static_cast<int>(std::lround(amperes * 10.0)), 1, 15);
    const bool ceiling = cell.CeilingVolts > 0.0;
    // Nickel cells take the charge at one rate until delta-V; the others
    // until 85 %, then the charger steps the rate down at the ceiling.
    const double constantShare = ceiling ? 0.85 : 1.0;
    const std::int64_t constantSeconds =
        std::max<std::int64_t>(60, std::llround(toPut * constantShare / (amperes * 1000.0) * Hour));
    const double stepAmpSeconds = toPut * (1.0 - constantShare) * 3.6;
    const std::int64_t stepSeconds =
        ceiling ? std::max<std::int64_t>(
                      30, std::llround(stepAmpSeconds / (amperes * (firstRate + 1) / 2.0)))
                : 0;
    const std::int64_t seconds = constantSeconds + stepSeconds * firstRate;
    std::string lines;
    if (!ceiling) {
        lines += Format("DeltaV: %.4f\nDeltaVDuration: %d\n", pack.Cells * cell.DeltaVolts, 30);
    } else {
        lines += Format("Ceiling: %.4f\n", pack.Cells * cell.CeilingVolts);
    }
    lines += Format("TimeLimit: %lld\n", static_cast<long long>(seconds) * 3 / 2 + 600);
    const LocalTime local = LocalAt(start);
    auto curve = std::make_unique<CurveRecorder>();
    curve->Start(curves_, local, TestMode::Charge,
                 CurveHeader(TestMode::Charge, local, cycle, of, cell.Type, pack.Rated, pack.Cells,
                             firstRate, amperes, ohms) +
                     lines);
    ++report_.Curves;
    const double noise = 0.0015 * std::sqrt(static_cast<double>(pack.Cells));
    const std::int64_t last = keepOpen ? seconds * 4 / 10 : seconds;
    double ampSeconds = 0.0;
    double wattSeconds = 0.0;
    int rate = firstRate;
    double flowing = amperes;
    double volts = 0.0;
    for (std::int64_t s = 0; s <= last; ++s) {
        const double level = charge + ampSeconds / 3.6 / cell.ChargeFactor / capacity;
        if (ceiling && s >= constantSeconds) {
            const std::int64_t step = (s - constantSeconds) / stepSeconds;
            rate = std::max(1, firstRate - static_cast<int>(step));
            flowing = amperes * rate / firstRate;
            const double sinceStep = static_cast<double>((s - constantSeconds) % stepSeconds);
            volts = pack.Cells * (cell.CeilingVolts - 0.02 * std::exp(-sinceStep / 20.0));
        } else {
            volts = pack.Cells * (cell.ChargeVolts(level) + flowing * cellOhms);
            if (ceiling) {
                volts = std::min(volts, pack.Cells * cell.CeilingVolts);
            } else if (s > seconds - 120) {
                // Past the peak: the drop that ends a nickel charge.
                volts -= pack.Cells * cell.DeltaVolts * 1.2 *
                         static_cast<double>(s - (seconds - 120)) / 120.0;
            }
        }
        volts += noise * random_.Normal();
        ampSeconds += s > 0 ? flowing : 0.0;
        wattSeconds += s > 0 ? volts * flowing : 0.0;
        AddRow(*curve, s, last, Glitched(flaws, s, last, volts), flowing, rate, ampSeconds,
               wattSeconds);
    }
    const std::int64_t endTime = start + last;
    pack.New = false;
    pack.LeftAt = endTime;
    if (keepOpen) {
        runningState_ = {last, volts, flowing, rate, wattSeconds};
        running_ = std::move(curve);
        return endTime;
    }
    curve->Finish(ceiling ? TestEnd::RateSteppedDownToZero : TestEnd::DeltaV);
    if (flaws.Garble) {
        DamageCurve(curve->Path());
    }
    AddRecord(LocalAt(endTime), TestMode::Charge, cycle, of, pack, amperes, ampSeconds / 3.6,
              wattSeconds / 3.6, ohms, curve->Path());
    pack.Charge = 1.0;
    return endTime;
}

void Maker::RunMonitor(double hours) {
    const Pack& pack = packs_[static_cast<std::size_t>(PickPack())];
    const std::int64_t start = now_;
    const LocalTime local = LocalAt(start);
    CurveRecorder curve;
    curve.Start(curves_, local, TestMode::Monitor,
                CurveHeader(TestMode::Monitor, local, 0, 0, "", 0, 0, 0, 0.0, 0.0));
    ++report_.Curves;
    ++report_.Monitors;
    const std::int64_t seconds = std::max<std::int64_t>(60, std::llround(hours * Hour));
    const double charge = ChargeAt(pack, start);
    const double noise = 0.0015 * std::sqrt(static_cast<double>(pack.Cells));
    for (std::int64_t s = 0; s <= seconds; ++s) {
        const double level = charge * std::exp(-pack.Cell.ShelfLossPerDay * s / Day);
        // The pack at rest, a little warmer by day.
        const double volts =
            pack.Cells *
                (pack.Cell.DischargeVolts(1.0 - level) +
                 0.003 * std::sin(2.0 * 3.141592653589793 * static_cast<double>(s) / Day)) +
            noise * random_.Normal();
        AddRow(curve, s, seconds, volts, 0.0, 0, 0.0, 0.0);
    }
    curve.Finish(TestEnd::StoppedByUser);
    now_ = start + seconds + Hour;
}

void Maker::StoppedTest(Pack& pack) {
    TestMarks stop;
    stop.StopAfterSeconds = random_.Integer(600, 1800);
    now_ = Discharge(pack, 0, 0, stop) + Hour;
}

void Maker::CutTest(Pack& pack) {
    TestMarks cut;
    cut.PowerCut = true;
    now_ = Discharge(pack, 0, 0, cut) + 12 * Hour;
}

void Maker::RunSession(int packIndex) {
    Pack& pack = packs_[static_cast<std::size_t>(packIndex)];
    const double kind = random_.Uniform();
    TestMarks marks;
    if (summerTime_ && recordIndex_ >= o_.Records / 2) {
        // The next change of the clock, either way; the owner's next test
        // runs across it.
        const int year = CalendarTimeAt(now_).Year;
        for (const std::int64_t change :
             {LastSundayOf(year, 3), LastSundayOf(year, 10), LastSundayOf(year + 1, 3)}) {
            if (change > now_ + 12 * Hour) {
                summerTimeChange_ = change;
                break;
            }
        }
        marks.CrossSummerTime = true;
        now_ = Discharge(pack, 0, 0, marks);
        summerTime_ = false;
        return;
    }
    constexpr std::int64_t Rest = 900;
    if (pack.New || kind < 0.15) {
        // An Auto Cycle: forming a new pack, or conditioning one.
        const int cycles = std::min(pack.New ? 3 : random_.Integer(2, 5), recordsLeft_ / 2);
        if (cycles > 0) {
            for (int cycle = 1; cycle <= cycles; ++cycle) {
                now_ = Discharge(pack, cycle, cycles, cycle == 1 ? marks : TestMarks{}) + Rest;
                now_ = Charge(pack, cycle, cycles, false) + Rest;
            }
            return;
        }
    }
    if (recordsLeft_ == 1 || kind > 0.9) {
        now_ = Discharge(pack, 0, 0, marks);
    } else if (kind > 0.7) {
        now_ = Charge(pack, 0, 0, false);
    } else {
        now_ = Discharge(pack, 0, 0, marks) + random_.Integer(60, 4 * 3600);
        now_ = Charge(pack, 0, 0, false);
    }
}

// The disk's damage: a digit turned into a letter, a row that lost its
// last fields, a byte with its top bit flipped.
void Maker::DamageCurve(const std::string& path) {
    std::string text = ReadAll(path);
    std::vector<std::size_t> rowStarts;
    for (std::size_t at = text.find('\n'); at != std::string::npos && at + 1 < text.size();
         at = text.find('\n', at + 1)) {
        if (text[at + 1] >= '0' && text[at + 1] <= '9') {
            rowStarts.push_back(at + 1);
        }
    }
    if (rowStarts.size() < 10) {
        return;
    }
    const std::size_t n = rowStarts.size();
    text[rowStarts[n / 4] + 1] = 'x';
    text[rowStarts[n * 3 / 4] + 3] = static_cast<char>(text[rowStarts[n * 3 / 4] + 3] ^ 0x80);
    const std::size_t cut = rowStarts[n / 2] + 4;
    text.erase(cut, text.find('\n', cut) - cut);
    WriteAll(path, text);
}

// A power cut: the last rows never reached the disk, the file ends in a torn
// row and the zeros of a block the file system had reserved for it.
void Maker::CutByPowerFailure(const std::string& path) {
    std::string text = ReadAll(path);
    text.resize(text.size() - std::min<std::size_t>(text.size(), 17));
    text.append(4096 - text.size() % 4096 + 4096, '\0');
    WriteAll(path, text);
}

void Maker::WriteNames() {
    results::PackNames names;
    for (std::size_t i = 0; i < packs_.size(); i += 2) {
        const Pack& p = packs_[i];
        if (p.Twin == 0) {
            names.SetGroupName(results::PackKey{p.Cell.Type, p.Rated, p.Cells}, packNames_[i]);
        }
    }
    for (const auto& [id, name] : recordNames_) {
        names.SetRecordPack(id, name);
    }
    // The owner marks a pack retired some while after putting it away: those
    // of the last three months are not yet.
    for (std::size_t i = 0; i < packs_.size(); ++i) {
        const Pack& p = packs_[i];
        if (p.Retired && p.RetiredAt < now_ - 90 * static_cast<std::int64_t>(Day)) {
            const results::PackKey key{p.Cell.Type, p.Rated, p.Cells};
            names.SetRetired(p.Twin > 0 || i % 2 == 0 ? results::NamedPackId(packNames_[i])
                                                      : results::GroupPackId(key),
                             true);
        }
    }
    std::string error;
    std::string text = names.Text();
    if (o_.Has(Damage::DamagedNames)) {
        text +=
            "a line without an equals sign\n"
            "[Groups]\n"
            "NiMH,many,7 = Rated is no number\n"
            "LiPo,2200 = Two fields\n"
            " = No key\n"
            "[Colours]\n"
            "NiMH,2000,7 = red\n";
        text += std::string("\xff\xfe\x00\x01 binary\n", 12);
        WriteAll(folder_ + "/" + results::PackNamesFileName, text);
        return;
    }
    if (!names.Save(folder_ + "/" + results::PackNamesFileName, error)) {
        report_.Error = error;
    }
}

// "1934.50" as a German spreadsheet shows it: "1934,5".
std::string GermanNumber(std::string field) {
    const std::size_t point = field.find('.');
    if (point == std::string::npos) {
        return field;
    }
    while (field.back() == '0') {
        field.pop_back();
    }
    if (field.back() == '.') {
        field.pop_back();
    } else {
        field[point] = ',';
    }
    return field;
}

// A line as a spreadsheet in a German locale saves it: semicolons, decimal
// commas, the date as the locale shows it (without seconds), text without
// quotes, trailing zeros gone.
std::string GermanLine(const std::string& line) {
    const std::optional<std::vector<std::string>> fields = SplitCsvLine(line);
    if (!fields) {
        return line;
    }
    std::string out;
    for (std::size_t i = 0; i < fields->size(); ++i) {
        std::string field = (*fields)[i];
        if (i == 0 && field.size() == 19 && field[4] == '-') {
            field = field.substr(8, 2) + "." + field.substr(5, 2) + "." + field.substr(0, 4) + " " +
                    field.substr(11, 5);
        } else if (i > 0) {
            field = GermanNumber(field);
        }
        out += (i == 0 ? "" : ";") + field;
    }
    return out;
}

void Maker::DamageResultsFile() {
    if (o_.Has(Damage::NoResultsFile)) {
        std::remove(results_.c_str());
        return;
    }
    std::string text = ReadAll(results_);
    std::vector<std::string> lines;
    {
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);) {
            lines.push_back(line);
        }
    }
    if (o_.Has(Damage::GermanLocale)) {
        for (std::string& line : lines) {
            line = GermanLine(line);
        }
    }
    const std::size_t middle = lines.size() / 2;
    if (o_.Has(Damage::JoinedFiles) && lines.size() > 2) {
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(middle), ResultsHeader());
    }
    // One line of records joined without their line ends, as a program that
    // took LF for no line break might leave them, and a tail of binary junk.
    auto joined = [&](double megabytes) {
        std::string line;
        const std::size_t size = static_cast<std::size_t>(megabytes * 1024.0 * 1024.0);
        line.reserve(size);
        std::size_t i = 1;
        while (line.size() + 200 < size && lines.size() > 1) {
            line += lines[i] + "\r";
            i = i + 1 < lines.size() ? i + 1 : 1;
        }
        line.append(size - line.size(), 'A');
        return line;
    };
    if (o_.Has(Damage::HugeLine)) {
        lines.insert(
            lines.begin() + static_cast<std::ptrdiff_t>(std::min(middle + 1, lines.size())),
            joined(o_.HugeLineMegabytes));
    }
    if (o_.Has(Damage::LongLine)) {
        lines.insert(
            lines.begin() + static_cast<std::ptrdiff_t>(std::min(middle + 2, lines.size())),
            joined(o_.LongLineMegabytes));
    }
    const bool windows = o_.Has(Damage::WindowsSave) || o_.Has(Damage::GermanLocale);
    std::string out = o_.Has(Damage::WindowsSave) ? "\xEF\xBB\xBF" : "";
    for (std::size_t i = 0; i < lines.size(); ++i) {
        out += lines[i];
        out += windows ? "\r\n" : "\n";
    }
    if (o_.Has(Damage::CutLine) && !lines.empty()) {
        // The last record lost its end: a write cut short.
        out.resize(out.size() - (windows ? 2 : 1) - lines.back().size() / 2);
    }
    WriteAll(results_, out);
}

void Maker::AddEmptyAndForeignFiles() {
    if (o_.Has(Damage::EmptyCurves)) {
        // A test whose first reading failed: header, columns, end line.
        const LocalTime local = LocalAt(now_);
        CurveRecorder failed;
        failed.Start(curves_, local, TestMode::Discharge,
                     CurveHeader(TestMode::Discharge, local, 0, 0, "NiMH", 2000, 7, 10, 1.0, 0.1));
        failed.Finish(TestEnd::MeasurementFailure);
        // A file created on a full disk, and a header cut by a power cut.
        WriteAll(curves_ + "/" + CurveFileStem(LocalAt(now_ + Hour), TestMode::Charge, 1) + ".csv",
                 "");
        const std::string header = "# " + CurveHeader(TestMode::Discharge, LocalAt(now_ + 2 * Hour),
                                                      0, 0, "LiPo", 2200, 3, 10, 1.0, 0.05);
        WriteAll(curves_ + "/" + CurveFileStem(LocalAt(now_ + 2 * Hour), TestMode::Discharge, 1) +
                     ".csv",
                 header.substr(0, 40));
        report_.Curves += 3;
        now_ += 3 * Hour;
    }
    if (o_.Has(Damage::ForeignFiles)) {
        WriteAll(curves_ + "/notes.txt", "Pack 3 swapped cell 5 on 2025-04-02.\n");
        std::string bitmap = "BM";
        bitmap.append(60, '\0');
        WriteAll(curves_ + "/" + FileStamp(LocalAt(begin_ + Day)) + ".bmp", bitmap);
        WriteAll(curves_ + "/Book1.csv", "A;B;C\r\n1;2;3\r\n");
        ::mkdir((curves_ + "/old").c_str(), 0777);
        WriteAll(curves_ + "/old/readme.txt", "older curves\n");
    }
}

void Maker::Grow() {
    SystemClock clock;
    CurveRecorder& curve = *running_;
    RunningState& r = runningState_;
    for (int i = 0; i < o_.GrowSeconds; ++i) {
        clock.SleepMs(1000);
        ++r.Second;
        r.Volts += 0.0002;
        r.WattSeconds += r.Volts * r.Amperes;
        curve.Add(r.Second, r.Volts, r.Amperes, r.Rate, r.Amperes * static_cast<double>(r.Second),
                  r.WattSeconds);
    }
}

FolderReport Maker::Make() {
    namespace fs = std::filesystem;
    std::error_code error;
    fs::create_directories(curves_, error);
    if (error) {
        report_.Error = "cannot make " + curves_ + ": " + error.message();
        return report_;
    }
    if (fs::exists(results_) || std::distance(fs::directory_iterator(curves_), {}) != 0) {
        report_.Error = folder_ + " is not empty";
        return report_;
    }
    // The last test before December 2026.
    end_ = CalendarSeconds(LocalTime{2026, 11, 30, 12, 0, 0});
    begin_ = end_ - static_cast<std::int64_t>(o_.Years * Year);
    now_ = begin_;
    MakePacks();
    recordsLeft_ = o_.Records;

    // Chosen before any test is written, so that they do not change what
    // the others write.
    const bool mistypes = o_.Has(Damage::MistypedRecords);
    for (int k = 0; k < (mistypes ? 4 : 0); ++k) {
        mistyped_[o_.Records * (3 + k) / 10] = k;
    }
    int missing = o_.MissingCurves + (o_.Has(Damage::Orphans) ? 3 : 0);
    for (int k = 1; k <= missing; ++k) {
        missingCurves_.insert(o_.Records * k / (missing + 1));
    }
    glitchesLeft_ = o_.Has(Damage::GlitchRows) ? 3 : 0;
    garblesLeft_ = o_.Has(Damage::GarbledRows) ? 3 : 0;
    summerTime_ = o_.Has(Damage::SummerTime);
    int stopsLeft = o_.Has(Damage::Orphans) ? 3 : 0;
    bool powerCut = o_.Has(Damage::PowerCut);
    const bool running = o_.Has(Damage::Running);
    int clockResets = o_.Has(Damage::ClockReset) ? 1 : 0;

    const double sessions = std::max(1.0, o_.Records / 2.4);
    const double busy = o_.Records * (o_.MinHours + o_.MaxHours) / 2.0 * 0.8 * Hour;
    const double gap = std::max(
        3600.0, (static_cast<double>(end_ - begin_) - busy) / (sessions + o_.Monitors + 1.0));
    int monitorsLeft = o_.Monitors;
    bool longMonitor = o_.MonitorHours > 0.0;
    double sessionsLeft = sessions;
    while (recordsLeft_ > 0) {
        now_ += static_cast<std::int64_t>(gap * random_.Uniform(0.3, 1.7));
        if (monitorsLeft > 0 && random_.Chance(monitorsLeft / std::max(1.0, sessionsLeft))) {
            RunMonitor(random_.Uniform(o_.MinHours, o_.MaxHours));
            --monitorsLeft;
        }
        if (longMonitor && recordIndex_ >= o_.Records / 2) {
            RunMonitor(o_.MonitorHours);
            longMonitor = false;
        }
        const int pack = PickPack();
        if (stopsLeft > 0 && recordIndex_ >= o_.Records * (4 - stopsLeft) / 4) {
            StoppedTest(packs_[static_cast<std::size_t>(pack)]);
            --stopsLeft;
        }
        if (powerCut && recordIndex_ >= o_.Records * 6 / 10) {
            CutTest(packs_[static_cast<std::size_t>(pack)]);
            powerCut = false;
        }
        if (clockResets > 0 && recordIndex_ >= o_.Records * 45 / 100) {
            // The clock came back at 2000-01-01 00:00 after the mains went
            // off; the owner set it right a test later.
            clockShift_ = CalendarSeconds(LocalTime{2000, 1, 1, 0, 5, 0}) - now_ - OffsetAt(now_);
            now_ = Discharge(packs_[static_cast<std::size_t>(pack)], 0, 0, TestMarks{}) + Hour;
            clockShift_ = 0;
            --clockResets;
            continue;
        }
        RunSession(pack);
        RetireIfWornOut(pack);
        sessionsLeft -= 1.0;
    }
    for (; stopsLeft > 0; --stopsLeft) {
        StoppedTest(packs_[static_cast<std::size_t>(PickPack())]);
    }
    if (powerCut) {
        CutTest(packs_[static_cast<std::size_t>(PickPack())]);
    }
    while (monitorsLeft-- > 0) {
        now_ += Hour;
        RunMonitor(random_.Uniform(o_.MinHours, o_.MaxHours));
    }
    if (longMonitor) {
        now_ += Hour;
        RunMonitor(o_.MonitorHours);
    }
    AddEmptyAndForeignFiles();
    if (running) {
        now_ += Hour;
        Charge(packs_[static_cast<std::size_t>(PickPack())], 0, 0, true);
    }
    if (o_.Names || o_.Has(Damage::DamagedNames)) {
        WriteNames();
    }
    DamageResultsFile();
    if (running_ && o_.GrowSeconds > 0) {
        Grow();
    }
    running_.reset();
    for (const auto& entry : fs::recursive_directory_iterator(folder_)) {
        if (entry.is_regular_file()) {
            report_.Bytes += static_cast<long long>(entry.file_size());
        }
    }
    return report_;
}

}  // namespace

FolderReport MakeFolder(const std::string& folder, const FolderOptions& options) {
    Maker maker(folder, options);
    return maker.Make();
}

}  // namespace voltrex::makefolder
