#include "makefolder/FolderMaker.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>

#include "platform/TextFile.h"
#include "records/CurveFile.h"
#include "records/ResultsFile.h"
#include "results/PackGrouping.h"
#include "results/PackNames.h"
#include "testsupport/TempFolder.h"

namespace voltrex::makefolder {
namespace {

namespace fs = std::filesystem;

// A small folder: 40 records of curves a few minutes long.
FolderOptions Small() {
    FolderOptions o;
    o.Years = 2;
    o.Packs = 3;
    o.Records = 40;
    o.Monitors = 1;
    o.MinHours = 0.02;
    o.MaxHours = 0.05;
    o.HugeLineMegabytes = 0.3;
    o.LongLineMegabytes = 0.1;
    return o;
}

// The folder as the readers of the program's files see it.
struct ReadBack {
    std::string Folder;
    ResultsFile Log;
    std::vector<CurveFile> Curves;  // sorted by file name
    std::vector<std::string> OtherNames;

    std::vector<const CurveFile*> Tests() const {  // discharges and charges
        std::vector<const CurveFile*> tests;
        for (const CurveFile& c : Curves) {
            if (c.Usable() && c.Mode != "MON") {
                tests.push_back(&c);
            }
        }
        return tests;
    }
    int Count(const std::function<bool(const CurveFile&)>& is) const {
        return static_cast<int>(std::count_if(Curves.begin(), Curves.end(), is));
    }
    int CountRecords(const std::function<bool(const ResultRecord&)>& is) const {
        return static_cast<int>(
            std::count_if(Log.Lines.begin(), Log.Lines.end(),
                          [&](const ResultLine& l) { return l.Readable && is(l.Record); }));
    }
};

ReadBack Read(const std::string& folder) {
    ReadBack r;
    r.Folder = folder;
    r.Log = ReadResultsFile(folder + "/Voltrex2.csv");
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder + "/curves")) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        if (IsCurveFileName(name)) {
            r.Curves.push_back(ReadCurveFile(folder + "/curves/" + name));
        } else {
            r.OtherNames.push_back(name);
        }
    }
    return r;
}

TEST(FolderMakerTest, SoundFolderReadsBackWhole) {
    testing::TempFolder temp;
    const FolderReport report = MakeFolder(temp.Path(), Small());
    ASSERT_EQ(report.Error, "");
    const ReadBack r = Read(temp.Path());

    EXPECT_EQ(r.Log.RecordCount(), 40);
    EXPECT_EQ(r.Log.UnreadableCount(), 0);
    EXPECT_EQ(r.Log.HeaderLines, 1);
    ASSERT_EQ(r.Curves.size(), 41u);
    EXPECT_EQ(report.Records, 40);
    EXPECT_EQ(report.Curves, 41);
    EXPECT_EQ(report.Monitors, 1);
    long long rows = 0;
    for (const CurveFile& c : r.Curves) {
        EXPECT_TRUE(c.Usable()) << c.Name << ": " << c.Problem;
        EXPECT_EQ(c.UnreadableRows, 0) << c.Name;
        EXPECT_TRUE(c.EndReason.has_value()) << c.Name;
        rows += static_cast<long long>(c.Rows.size());
    }
    EXPECT_EQ(rows, report.Rows);
    EXPECT_EQ(r.Count([](const CurveFile& c) { return c.Mode == "MON"; }), 1);

    // Each record is written at its test's end: the curve's start plus its
    // last row, to the second. Records and curves come in the same order.
    const std::vector<const CurveFile*> tests = r.Tests();
    ASSERT_EQ(tests.size(), 40u);
    for (std::size_t i = 0; i < tests.size(); ++i) {
        const ResultRecord& record = r.Log.Lines[i].Record;
        EXPECT_EQ(record.Mode, tests[i]->Mode) << tests[i]->Name;
        EXPECT_EQ(record.Seconds - tests[i]->StartSeconds, tests[i]->Duration()) << tests[i]->Name;
        EXPECT_EQ(record.Rated, tests[i]->Rated);
    }
}

TEST(FolderMakerTest, TenYearsOfPacksAreEachOneKindAndTheWornOutAreRetired) {
    testing::TempFolder temp;
    FolderOptions o = Small();
    o.Years = 10;
    o.Packs = 20;
    o.Records = 800;
    o.Monitors = 0;
    o.Names = true;
    ASSERT_EQ(MakeFolder(temp.Path(), o).Error, "");
    const ReadBack r = Read(temp.Path());
    const results::PackNames names = results::PackNames::Load(temp.File("Voltrex2Results.ini"));
    const results::PackGrouping grouping = results::GroupRecords(r.Log, names);
    std::int64_t last = 0;
    for (const results::Pack& pack : grouping.Packs) {
        last = std::max(last, pack.Latest);
    }
    // No name given to two packs of different kinds (the window would take
    // them for one); the packs put away more than three months before the
    // last test are marked retired, and none of them was tested since.
    int retired = 0;
    for (const results::Pack& pack : grouping.Packs) {
        EXPECT_TRUE(pack.Key.has_value()) << pack.Name << " holds packs of different kinds";
        if (names.Retired(pack.Id)) {
            ++retired;
            EXPECT_LT(pack.Latest, last - 90 * 86400) << pack.Name;
        }
    }
    EXPECT_GT(retired, 2);
    EXPECT_GT(grouping.Packs.size(), static_cast<std::size_t>(o.Packs));  // their successors
}

TEST(FolderMakerTest, TheSameSeedMakesTheSameBytes) {
    testing::TempFolder one;
    testing::TempFolder two;
    testing::TempFolder other;
    FolderOptions o = Small();
    o.Records = 12;
    ASSERT_EQ(MakeFolder(one.Path(), o).Error, "");
    ASSERT_EQ(MakeFolder(two.Path(), o).Error, "");
    o.Seed = 2;
    ASSERT_EQ(MakeFolder(other.Path(), o).Error, "");
    const std::string text = ReadTextFile(one.File("Voltrex2.csv")).Text;
    EXPECT_EQ(text, ReadTextFile(two.File("Voltrex2.csv")).Text);
    EXPECT_NE(text, ReadTextFile(other.File("Voltrex2.csv")).Text);
    const ReadBack a = Read(one.Path());
    const ReadBack b = Read(two.Path());
    ASSERT_EQ(a.Curves.size(), b.Curves.size());
    EXPECT_EQ(ReadTextFile(a.Curves.back().Path).Text, ReadTextFile(b.Curves.back().Path).Text);
}

TEST(FolderMakerTest, RefusesAFolderThatHoldsFiles) {
    testing::TempFolder temp;
    temp.Write("Voltrex2.csv", "x\n");
    EXPECT_NE(MakeFolder(temp.Path(), Small()).Error, "");
    EXPECT_EQ(ReadTextFile(temp.File("Voltrex2.csv")).Text, "x\n");
}

bool EndsWithZeros(const std::string& path, std::size_t count) {
    const std::string text = ReadTextFile(path).Text;
    return text.size() % 4096 == 0 && text.size() >= count &&
           text.find_first_not_of('\0', text.size() - count) == std::string::npos;
}

struct DamageCase {
    Damage Kind;
    std::function<void(const ReadBack&)> Check;
};

// Each kind, alone in an otherwise sound folder, as the readers see it.
const std::vector<DamageCase>& DamageCases() {
    static const std::vector<DamageCase> cases = {
        {Damage::HugeLine,
         [](const ReadBack& r) {
             ASSERT_EQ(r.Log.UnreadableCount(), 1);
             EXPECT_EQ(r.Log.RecordCount(), 16);
             // The reader keeps the line's beginning and says how long it is.
             for (const ResultLine& l : r.Log.Lines) {
                 if (!l.Readable) {
                     EXPECT_EQ(l.Text.size(), LongestResultLine);
                     EXPECT_NE(l.Problem.find(
                                   std::to_string(static_cast<std::size_t>(0.3 * 1024 * 1024))),
                               std::string::npos)
                         << l.Problem;
                 }
             }
         }},
        {Damage::LongLine,
         [](const ReadBack& r) {
             ASSERT_EQ(r.Log.UnreadableCount(), 1);
             EXPECT_EQ(r.Log.Lines[9].Text.size(), LongestResultLine);
             EXPECT_NE(r.Log.Lines[9].Problem.find(
                           std::to_string(static_cast<std::size_t>(0.1 * 1024 * 1024))),
                       std::string::npos);
         }},
        {Damage::PowerCut,
         [](const ReadBack& r) {
             EXPECT_EQ(r.Log.RecordCount(), 16);  // the cut test wrote none
             EXPECT_EQ(r.Count([&](const CurveFile& c) {
                 return !c.EndReason && c.UnreadableRows == 1 && EndsWithZeros(c.Path, 4096);
             }),
                       1);
         }},
        {Damage::Running,
         [](const ReadBack& r) {
             EXPECT_EQ(r.Log.RecordCount(), 16);
             EXPECT_EQ(r.Count([](const CurveFile& c) {
                 return c.Mode == "CHG" && !c.EndReason && c.UnreadableRows == 0 &&
                        c.Rows.size() > 10;
             }),
                       1);
         }},
        {Damage::SummerTime,
         [](const ReadBack& r) {
             const std::vector<const CurveFile*> tests = r.Tests();
             ASSERT_EQ(tests.size(), 16u);
             int shifted = 0;
             for (std::size_t i = 0; i < tests.size(); ++i) {
                 const std::int64_t off =
                     r.Log.Lines[i].Record.Seconds - tests[i]->StartSeconds - tests[i]->Duration();
                 // Across the change to summer time or back.
                 EXPECT_TRUE(off == 0 || off == 3600 || off == -3600) << off;
                 shifted += off != 0 ? 1 : 0;
             }
             EXPECT_EQ(shifted, 1);
         }},
        {Damage::GlitchRows,
         [](const ReadBack& r) {
             int zero = 0;
             int spike = 0;
             for (const CurveFile& c : r.Curves) {
                 for (const CurveRow& row : c.Rows) {
                     zero += row.Volts == 0.0 ? 1 : 0;
                     spike += row.Volts == 47.9 ? 1 : 0;
                 }
             }
             EXPECT_EQ(zero, 3);
             EXPECT_EQ(spike, 3);
         }},
        {Damage::MistypedRecords,
         [](const ReadBack& r) {
             EXPECT_EQ(r.Log.RecordCount(), 16);
             EXPECT_EQ(
                 r.CountRecords([](const ResultRecord& x) { return x.MilliampHours == 1700000.0; }),
                 1);
             EXPECT_EQ(r.CountRecords([](const ResultRecord& x) { return x.Time.Year == 1; }), 1);
             EXPECT_EQ(r.CountRecords([](const ResultRecord& x) { return x.MilliampHours < 0.0; }),
                       1);
             EXPECT_EQ(r.CountRecords([](const ResultRecord& x) { return x.Ohms == 95.0; }), 1);
         }},
        {Damage::GermanLocale,
         [](const ReadBack& r) {
             // Its header is known as one; every record reads in its format.
             EXPECT_EQ(r.Log.RecordCount(), 0);
             EXPECT_EQ(r.Log.HeaderLines, 1);
             ASSERT_EQ(r.Log.UnreadableCount(), 16);
             EXPECT_TRUE(r.Log.InOtherFormat());
             EXPECT_EQ(ReadTextFile(r.Folder + "/Voltrex2.csv").Text.substr(0, 15),
                       "Date/Time;Mode;");
             const std::string& line = r.Log.Lines[0].Text;
             EXPECT_EQ(line[2], '.');
             EXPECT_EQ(line.substr(16, 1), ";");  // "dd.mm.yyyy hh:mm;DIS;..."
             EXPECT_NE(line.find(','), std::string::npos);
             EXPECT_EQ(ReadTextFile(r.Folder + "/Voltrex2.csv").Text.find('\n'),
                       ReadTextFile(r.Folder + "/Voltrex2.csv").Text.find('\r') + 1);
         }},
        {Damage::CutLine,
         [](const ReadBack& r) {
             EXPECT_EQ(r.Log.RecordCount(), 15);
             ASSERT_EQ(r.Log.UnreadableCount(), 1);
             EXPECT_FALSE(r.Log.Lines.back().Readable);
             EXPECT_NE(ReadTextFile(r.Folder + "/Voltrex2.csv").Text.back(), '\n');
         }},
        {Damage::JoinedFiles,
         [](const ReadBack& r) {
             EXPECT_EQ(r.Log.HeaderLines, 2);
             EXPECT_EQ(r.Log.RecordCount(), 16);
         }},
        {Damage::WindowsSave,
         [](const ReadBack& r) {
             const std::string text = ReadTextFile(r.Folder + "/Voltrex2.csv").Text;
             EXPECT_EQ(text.substr(0, 3), "\xEF\xBB\xBF");
             EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 17);
             EXPECT_EQ(std::count(text.begin(), text.end(), '\r'), 17);
             EXPECT_EQ(r.Log.RecordCount(), 16);
             EXPECT_EQ(r.Log.HeaderLines, 1);
         }},
        {Damage::Orphans,
         [](const ReadBack& r) {
             EXPECT_EQ(r.Log.RecordCount(), 16);
             EXPECT_EQ(r.Count([](const CurveFile& c) {
                 return c.EndReason == std::string("stopped by the user") && c.Mode == "DIS";
             }),
                       3);
             EXPECT_EQ(r.Tests().size(), 16u);  // 3 curves deleted, 3 of stopped tests
         }},
        {Damage::ForeignFiles,
         [](const ReadBack& r) {
             EXPECT_EQ(r.OtherNames.size(), 3u);  // a bitmap, notes, a folder
             EXPECT_EQ(r.Count([](const CurveFile& c) { return !c.Usable(); }), 1);
         }},
        {Damage::GarbledRows,
         [](const ReadBack& r) {
             EXPECT_EQ(r.Count([](const CurveFile& c) { return c.UnreadableRows == 3; }), 3);
             EXPECT_EQ(r.Count([](const CurveFile& c) { return c.UnreadableRows != 0; }), 3);
         }},
        {Damage::ClockReset,
         [](const ReadBack& r) {
             EXPECT_EQ(r.CountRecords([](const ResultRecord& x) { return x.Time.Year == 2000; }),
                       1);
             EXPECT_EQ(r.Count([](const CurveFile& c) { return c.Name.substr(0, 4) == "2000"; }),
                       1);
         }},
        {Damage::DamagedNames,
         [](const ReadBack& r) {
             std::vector<std::string> problems;
             const results::PackNames names =
                 results::PackNames::Load(r.Folder + "/Voltrex2Results.ini", &problems);
             EXPECT_FALSE(names.Empty());
             EXPECT_GE(problems.size(), 4u);
         }},
        {Damage::EmptyCurves,
         [](const ReadBack& r) {
             EXPECT_EQ(r.Count([](const CurveFile& c) {
                 return c.Usable() && c.Rows.empty() &&
                        c.EndReason == std::string("measurement failure");
             }),
                       1);
             EXPECT_EQ(r.Count([](const CurveFile& c) { return !c.Usable(); }), 2);
         }},
        {Damage::NoResultsFile,
         [](const ReadBack& r) {
             EXPECT_FALSE(r.Log.Exists);
             EXPECT_EQ(r.Curves.size(), 17u);
         }},
    };
    return cases;
}

class DamageTest : public ::testing::TestWithParam<DamageCase> {};

TEST_P(DamageTest, IsMadeInAnOtherwiseSoundFolder) {
    testing::TempFolder temp;
    FolderOptions o = Small();
    o.Records = 16;
    o.Damages = {GetParam().Kind};
    ASSERT_EQ(MakeFolder(temp.Path(), o).Error, "");
    GetParam().Check(Read(temp.Path()));
}

INSTANTIATE_TEST_SUITE_P(EveryKind, DamageTest, ::testing::ValuesIn(DamageCases()),
                         [](const ::testing::TestParamInfo<DamageCase>& info) {
                             std::string name = NameOf(info.param.Kind);
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

TEST(FolderMakerTest, EveryDamageKindHasItsCase) {
    ASSERT_EQ(DamageCases().size(), DamageKinds().size());
    for (std::size_t i = 0; i < DamageCases().size(); ++i) {
        EXPECT_EQ(DamageCases()[i].Kind, DamageKinds()[i].Kind);
    }
}

TEST(FolderMakerTest, Arguments) {
    const Arguments preset = ParseArguments({"out", "--records", "7", "--preset", "two-years"});
    EXPECT_EQ(preset.Error, "");
    EXPECT_EQ(preset.Folder, "out");
    EXPECT_EQ(preset.Options.Packs, 6);
    EXPECT_EQ(preset.Options.Records, 7);  // later options change the preset wherever it stands

    EXPECT_EQ(ParseArguments({"out", "--years", "3", "--packs", "2"}).Options.Records, 144);
    EXPECT_EQ(ParseArguments({"out", "--damage", "all"}).Options.Damages.size(), 18u);
    const Arguments kinds = ParseArguments({"out", "--damage", "cut-line", "running", "--names"});
    EXPECT_EQ(kinds.Options.Damages, (std::vector<Damage>{Damage::CutLine, Damage::Running}));
    EXPECT_TRUE(kinds.Options.Names);

    for (const std::vector<std::string>& wrong : std::vector<std::vector<std::string>>{
             {},
             {"out", "--damage"},
             {"out", "--damage", "flood"},
             {"out", "--years", "0"},
             {"out", "--hours", "3", "2"},
             {"out", "--preset", "twenty-years"},
             {"out", "other"},
             {"out", "--seed", "12x"},
         }) {
        EXPECT_NE(ParseArguments(wrong).Error, "") << ::testing::PrintToString(wrong);
    }
}

}  // namespace
}  // namespace voltrex::makefolder
