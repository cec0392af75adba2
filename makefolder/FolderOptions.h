#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace voltrex::makefolder {

// What can be wrong with a working folder after years of use: files joined,
// edited or saved by other programs, power cuts, a clock that jumped. Each
// kind is made in a folder that is otherwise sound.
enum class Damage {
    HugeLine,         // Voltrex2.csv holds one line of 200 MB
    LongLine,         // ... of 20 MB
    PowerCut,         // a curve cut off mid-row, its tail zeros, no record
    Running,          // a charge still running: no end line, no record yet
    SummerTime,       // a discharge across the change to summer time
    GlitchRows,       // 0 V and 47.9 V rows inside curves
    MistypedRecords,  // records edited by hand: 1,700,000 mAh, year 0001, negative mAh, 95 ohms
    GermanLocale,     // Voltrex2.csv saved by a spreadsheet in a German locale
    CutLine,          // the last record cut short, no line end
    JoinedFiles,      // two results files joined: a second header in the middle
    WindowsSave,      // CR LF line ends and a byte order mark
    Orphans,          // curves without records and records without curves
    ForeignFiles,     // other files in curves/: a bitmap, notes, an empty .csv, a folder
    GarbledRows,      // rows with bytes changed or lost in curves
    ClockReset,       // a test dated 2000-01-01 by a clock that lost its battery
    DamagedNames,     // Voltrex2Results.ini with lines no reader can use
    EmptyCurves,      // curve files with a header and no rows, or nothing at all
    NoResultsFile,    // curves but no Voltrex2.csv
};

struct DamageKind {
    Damage Kind;
    const char* Name;  // as given on the command line
    const char* What;
};

// Every kind, in the order above.
const std::vector<DamageKind>& DamageKinds();
std::optional<Damage> ParseDamage(std::string_view name);
const char* NameOf(Damage damage);

// What to make.
struct FolderOptions {
    int Years = 2;
    int Packs = 6;
    std::uint64_t Seed = 1;
    int Records = 0;          // discharges and charges; 0: 24 per pack and year
    int Monitors = 2;         // Monitors of a few hours
    int MissingCurves = 0;    // records whose curve the user deleted
    double MonitorHours = 0;  // > 0: one more Monitor of this length
    double MinHours = 2.0;    // a full discharge or charge lasts from
    double MaxHours = 10.0;   // ... to this (a pack's rates are drawn once)
    bool Names = false;       // write Voltrex2Results.ini with names for some packs
    std::vector<Damage> Damages;
    double HugeLineMegabytes = 200.0;
    double LongLineMegabytes = 20.0;
    int GrowSeconds = 0;  // with Running: go on adding a row each second for this long

    bool Has(Damage damage) const;
};

// The folders of the benchmark: "example", "two-years" (6 packs, 288 records,
// 292 curves), "ten-years" (40 packs, 5,000 records, 5,000 curves of 2 to 10
// hours), "monitor-100h" (one 100-hour Monitor beside a few tests).
std::optional<FolderOptions> Preset(std::string_view name);
std::vector<std::string> PresetNames();

struct Arguments {
    std::string Folder;
    FolderOptions Options;
    std::string Error;  // none: the arguments are sound
    bool Help = false;
};

// voltrex2-makefolder OUT [--preset NAME] [--years N] [--packs P] [--seed S]
//   [--records R] [--monitors M] [--missing-curves K] [--hours MIN MAX]
//   [--monitor-hours H] [--names] [--damage KIND ...] [--grow SECONDS]
Arguments ParseArguments(const std::vector<std::string>& arguments);

std::string Usage();

}  // namespace voltrex::makefolder
