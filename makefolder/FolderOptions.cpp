#include "makefolder/FolderOptions.h"

#include <algorithm>
#include <cstdlib>

#include "platform/CFormat.h"
#include "records/NumberText.h"

namespace voltrex::makefolder {

const std::vector<DamageKind>& DamageKinds() {
    static const std::vector<DamageKind> kinds = {
        {Damage::HugeLine, "huge-line", "Voltrex2.csv holds one line of 200 MB"},
        {Damage::LongLine, "long-line", "Voltrex2.csv holds one line of 20 MB"},
        {Damage::PowerCut, "power-cut",
         "a curve cut off by a power cut: a torn row, zeros, no end"},
        {Damage::Running, "running", "a charge still running: no end line, no record"},
        {Damage::SummerTime, "summer-time", "a discharge across the change to summer time"},
        {Damage::GlitchRows, "glitch-rows", "0 V and 47.9 V rows inside three curves"},
        {Damage::MistypedRecords, "mistyped-records",
         "records edited by hand: 1,700,000 mAh, year 0001, negative mAh, 95 ohms"},
        {Damage::GermanLocale, "german-locale", "Voltrex2.csv saved by a spreadsheet in German"},
        {Damage::CutLine, "cut-line", "the last record cut short without its line end"},
        {Damage::JoinedFiles, "joined-files", "two results files joined: a second header"},
        {Damage::WindowsSave, "windows-save", "CR LF line ends and a byte order mark"},
        {Damage::Orphans, "orphans",
         "curves of stopped tests without records, records without curves"},
        {Damage::ForeignFiles, "foreign-files",
         "a bitmap, notes, an empty .csv and a folder in curves/"},
        {Damage::GarbledRows, "garbled-rows", "rows with bytes changed or lost in three curves"},
        {Damage::ClockReset, "clock-reset", "a test dated 2000-01-01 by a clock without battery"},
        {Damage::DamagedNames, "damaged-names", "Voltrex2Results.ini with unreadable lines"},
        {Damage::EmptyCurves, "empty-curves", "curve files with a header and no rows, or empty"},
        {Damage::NoResultsFile, "no-results-file", "curves but no Voltrex2.csv"},
    };
    return kinds;
}

std::optional<Damage> ParseDamage(std::string_view name) {
    for (const DamageKind& kind : DamageKinds()) {
        if (name == kind.Name) {
            return kind.Kind;
        }
    }
    return std::nullopt;
}

const char* NameOf(Damage damage) {
    for (const DamageKind& kind : DamageKinds()) {
        if (kind.Kind == damage) {
            return kind.Name;
        }
    }
    return "?";
}

bool FolderOptions::Has(Damage damage) const {
    return std::find(Damages.begin(), Damages.end(), damage) != Damages.end();
}

std::optional<FolderOptions> Preset(std::string_view name) {
    FolderOptions o;
    if (name == "example") {
        o.Years = 1;
        o.Packs = 2;
        o.Records = 24;
        o.Monitors = 1;
        o.MinHours = 1.0;
        o.MaxHours = 3.0;
        o.Names = true;
    } else if (name == "two-years") {
        o.Years = 2;
        o.Packs = 6;
        o.Records = 288;
        o.Monitors = 4;
        o.MinHours = 2.0;
        o.MaxHours = 10.0;
        o.Names = true;
    } else if (name == "ten-years") {
        o.Years = 10;
        o.Packs = 40;
        o.Records = 5000;
        o.Monitors = 20;
        o.MissingCurves = 20;
        o.MinHours = 2.0;
        o.MaxHours = 7.0;
        o.Names = true;
    } else if (name == "monitor-100h") {
        o.Years = 1;
        o.Packs = 1;
        o.Records = 4;
        o.Monitors = 0;
        o.MonitorHours = 100.0;
        o.MinHours = 1.0;
        o.MaxHours = 2.0;
    } else {
        return std::nullopt;
    }
    return o;
}

std::vector<std::string> PresetNames() {
    return {"example", "two-years", "ten-years", "monitor-100h"};
}

std::string Usage() {
    std::string text =
        "usage: voltrex2-makefolder OUT [--preset NAME] [--years N] [--packs P] [--seed S]\n"
        "           [--records R] [--monitors M] [--missing-curves K] [--hours MIN MAX]\n"
        "           [--monitor-hours H] [--names] [--damage KIND ...] [--grow SECONDS]\n"
        "Writes a working folder as the charger program leaves it (Voltrex2.csv, curves/)\n"
        "after years of use, the same for the same arguments. OUT must be new or empty.\n"
        "Presets: example, two-years, ten-years, monitor-100h (later options change them).\n"
        "Damaged kinds (--damage all for every one):\n";
    for (const DamageKind& kind : DamageKinds()) {
        text += Format("  %-17s %s\n", kind.Name, kind.What);
    }
    return text;
}

namespace {

bool ReadNumber(const std::string& text, double& into) {
    const std::optional<double> value = ParseDecimal(text);
    if (!value) {
        return false;
    }
    into = *value;
    return true;
}

bool ReadWhole(const std::string& text, int& into, int minimum) {
    const std::optional<int> value = ParseInteger(text);
    if (!value || *value < minimum) {
        return false;
    }
    into = *value;
    return true;
}

}  // namespace

Arguments ParseArguments(const std::vector<std::string>& arguments) {
    Arguments result;
    // A preset first, wherever it stands, so that the other options change it.
    for (std::size_t i = 0; i + 1 < arguments.size(); ++i) {
        if (arguments[i] == "--preset") {
            const std::optional<FolderOptions> preset = Preset(arguments[i + 1]);
            if (!preset) {
                result.Error = "unknown preset " + arguments[i + 1];
                return result;
            }
            result.Options = *preset;
        }
    }
    FolderOptions& o = result.Options;
    bool recordsGiven = false;
    for (std::size_t i = 0; i < arguments.size() && result.Error.empty(); ++i) {
        const std::string& a = arguments[i];
        const bool hasValue = i + 1 < arguments.size();
        const std::string value = hasValue ? arguments[i + 1] : std::string();
        auto whole = [&](int& into, int minimum) {
            if (!hasValue || !ReadWhole(value, into, minimum)) {
                result.Error = a + " needs a whole number of at least " + std::to_string(minimum);
            }
            ++i;
        };
        if (a == "-h" || a == "--help") {
            result.Help = true;
        } else if (a == "--preset") {
            ++i;
        } else if (a == "--years") {
            whole(o.Years, 1);
        } else if (a == "--packs") {
            whole(o.Packs, 1);
        } else if (a == "--records") {
            whole(o.Records, 0);
            recordsGiven = true;
        } else if (a == "--monitors") {
            whole(o.Monitors, 0);
        } else if (a == "--missing-curves") {
            whole(o.MissingCurves, 0);
        } else if (a == "--grow") {
            whole(o.GrowSeconds, 0);
        } else if (a == "--seed") {
            char* end = nullptr;
            const unsigned long long seed = hasValue ? std::strtoull(value.c_str(), &end, 10) : 0;
            if (!hasValue || end == value.c_str() || *end != '\0') {
                result.Error = "--seed needs a whole number";
            }
            o.Seed = seed;
            ++i;
        } else if (a == "--hours") {
            if (i + 2 >= arguments.size() || !ReadNumber(arguments[i + 1], o.MinHours) ||
                !ReadNumber(arguments[i + 2], o.MaxHours) || o.MinHours <= 0.0 ||
                o.MaxHours < o.MinHours) {
                result.Error = "--hours needs two lengths in hours, the shorter first";
            }
            i += 2;
        } else if (a == "--monitor-hours") {
            if (!hasValue || !ReadNumber(value, o.MonitorHours) || o.MonitorHours < 0.0) {
                result.Error = "--monitor-hours needs a length in hours";
            }
            ++i;
        } else if (a == "--names") {
            o.Names = true;
        } else if (a == "--damage") {
            int kinds = 0;
            while (i + 1 < arguments.size() && arguments[i + 1].rfind("--", 0) != 0) {
                const std::string& name = arguments[++i];
                if (name == "all") {
                    for (const DamageKind& kind : DamageKinds()) {
                        o.Damages.push_back(kind.Kind);
                    }
                } else if (const std::optional<Damage> damage = ParseDamage(name)) {
                    o.Damages.push_back(*damage);
                } else {
                    result.Error = "unknown damage " + name;
                }
                ++kinds;
            }
            if (kinds == 0 && result.Error.empty()) {
                result.Error = "--damage needs a kind";
            }
        } else if (a.rfind("-", 0) == 0) {
            result.Error = "unknown option " + a;
        } else if (result.Folder.empty()) {
            result.Folder = a;
        } else {
            result.Error = "one folder only: " + a;
        }
    }
    if (!recordsGiven && o.Records == 0) {
        o.Records = 24 * o.Packs * o.Years;
    }
    if (result.Error.empty() && !result.Help && result.Folder.empty()) {
        result.Error = "no folder given";
    }
    return result;
}

}  // namespace voltrex::makefolder
