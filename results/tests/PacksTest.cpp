// Packs: records grouped by type, capacity and cells unless the user says
// otherwise, the names kept in the results window's own file, and a pack's
// capacity history.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <filesystem>

#include "CurveTestData.h"
#include "records/CalendarTime.h"
#include "results/CapacityHistory.h"
#include "results/CurveExport.h"
#include "results/PackGrouping.h"
#include "results/PackNames.h"
#include "results/ResultsFolder.h"
#include "testsupport/FileTestFolder.h"

namespace voltrex::results {
namespace {

using testing::RecordPlan;

RecordPlan Record(const char* time, const char* mode, const char* type, int rated, int cells,
                  double mah = 1900.0) {
    RecordPlan plan;
    plan.Time = time;
    plan.Mode = mode;
    plan.Type = type;
    plan.Rated = rated;
    plan.Cells = cells;
    plan.MilliampHours = mah;
    return plan;
}

const std::vector<RecordPlan> Records = {
    Record("2026-01-10 10:00:00", "DIS", "NiMH", 2000, 7, 1950.0),  // 0
    Record("2026-01-10 12:00:00", "CHG", "NiMH", 2000, 7, 2300.0),  // 1
    Record("2026-02-10 10:00:00", "DIS", "LiPo", 2200, 3, 2150.0),  // 2
    Record("2026-03-10 10:00:00", "DIS", "NiMH", 2000, 6, 1990.0),  // 3
    Record("2026-01-05 10:00:00", "DIS", "NiMH", 2000, 7, 1980.0),  // 4 (joined in late)
    Record("2026-04-10 10:00:00", "DIS", "NiMH", 2000, 7, 1900.0),  // 5
};

TEST(PackGrouping, GroupsByTypeCapacityAndCellsLatestTestedFirst) {
    const ResultsFile log = testing::ResultsLog(Records);
    const PackGrouping grouping = GroupRecords(log, PackNames{});
    ASSERT_EQ(grouping.Packs.size(), 3u);
    EXPECT_EQ(grouping.Packs[0].Name, "NiMH 2000 mAh \xC3\x97 7");
    EXPECT_EQ(grouping.Packs[0].Id, "group:NiMH,2000,7");
    EXPECT_FALSE(grouping.Packs[0].Named);
    EXPECT_EQ(grouping.Packs[0].Lines, (std::vector<std::size_t>{0, 1, 4, 5}));
    EXPECT_EQ(grouping.Packs[1].Name, "NiMH 2000 mAh \xC3\x97 6");
    EXPECT_EQ(grouping.Packs[2].Name, "LiPo 2200 mAh \xC3\x97 3");
    EXPECT_EQ(grouping.PackOfLine[2], 2u);
    EXPECT_EQ(grouping.PackOfLine[3], 1u);
    EXPECT_EQ(grouping.Find("group:LiPo,2200,3"), 2u);
    EXPECT_FALSE(grouping.Find("group:LiPo,2200,4"));
}

TEST(PackGrouping, TheUsersNamesMakeThePacks) {
    const ResultsFile log = testing::ResultsLog(Records);
    PackNames names;
    ASSERT_TRUE(names.SetGroupName({"NiMH", 2000, 7}, "  Transmitter\n"));
    // The two January records were of a second pack alike in every field.
    names.SetRecordPack("2026-01-10 10:00:00 DIS", "Spare");
    names.SetRecordPack("2026-01-10 12:00:00 CHG", "Spare");
    // And the 6-cell pack is the transmitter pack with a cell taken out.
    names.SetRecordPack("2026-03-10 10:00:00 DIS", "Transmitter");
    const PackGrouping grouping = GroupRecords(log, names);
    ASSERT_EQ(grouping.Packs.size(), 3u);
    const Pack& transmitter = grouping.Packs[0];
    EXPECT_EQ(transmitter.Name, "Transmitter");
    EXPECT_EQ(transmitter.Id, "name:Transmitter");
    EXPECT_TRUE(transmitter.Named);
    EXPECT_EQ(transmitter.Lines, (std::vector<std::size_t>{3, 4, 5}));
    EXPECT_FALSE(transmitter.Key);  // two groups: renaming it names none of them alone
    const Pack& spare = grouping.Packs[2];
    EXPECT_EQ(spare.Name, "Spare");
    EXPECT_EQ(spare.Lines, (std::vector<std::size_t>{0, 1}));
    if (!spare.Key) {
        FAIL() << "the spare pack has no key";
    }
    EXPECT_EQ(spare.Key->Cells, 7);

    // Back to the defaults.
    names.SetRecordPack("2026-03-10 10:00:00 DIS", "");
    names.SetGroupName({"NiMH", 2000, 7}, " ");
    EXPECT_FALSE(names.GroupName({"NiMH", 2000, 7}));
    EXPECT_EQ(GroupRecords(log, names).Packs[0].Id, "group:NiMH,2000,7");
}

TEST(PackNames, RenamingAPackRenamesItsGroupAndItsRecords) {
    PackNames names;
    names.SetGroupName({"NiMH", 2000, 7}, "Sender");
    names.SetGroupName({"NiMH", 2000, 6}, "Other");
    names.SetRecordPack("2026-01-10 10:00:00 DIS", "Sender");
    names.RenamePack("Sender", " Receiver ");
    EXPECT_EQ(names.GroupName({"NiMH", 2000, 7}), "Receiver");
    EXPECT_EQ(names.RecordPack("2026-01-10 10:00:00 DIS"), "Receiver");
    EXPECT_EQ(names.GroupName({"NiMH", 2000, 6}), "Other");
    names.RenamePack("Receiver", "");
    EXPECT_FALSE(names.GroupName({"NiMH", 2000, 7}));
    EXPECT_FALSE(names.RecordPack("2026-01-10 10:00:00 DIS"));
    EXPECT_EQ(names.GroupName({"NiMH", 2000, 6}), "Other");
}

TEST(PackNames, RefusesWhatItCouldNotReadBack) {
    PackNames names;
    EXPECT_FALSE(names.SetGroupName({"Ni=MH", 2000, 7}, "x"));
    EXPECT_FALSE(names.SetGroupName({"Ni,MH", 2000, 7}, "x"));
    EXPECT_FALSE(names.SetGroupName({"", 2000, 7}, "x"));
    // Control characters: a NUL would end the type early in the file.
    for (const std::string& type : {std::string("Ni\0MH", 5), std::string("Ni\x1fMH"),
                                    std::string("Ni\x7fMH"), std::string("Ni\nMH")}) {
        EXPECT_FALSE(names.SetGroupName({type, 2000, 7}, "x")) << type.size();
    }
    names.SetRecordPack("not a record", "x");
    EXPECT_TRUE(names.Empty());
    // The bytes next to them are types like any other, and read back.
    ASSERT_TRUE(names.SetGroupName({"Li Po", 2200, 3}, "x"));
    ASSERT_TRUE(names.SetGroupName({"Li\xc3\xb6", 2200, 3}, "y"));
    EXPECT_EQ(PackNames::Parse(names.Text()), names);
}

using PackNamesFile = voltrex::testing::FileTestFolder;

TEST_F(PackNamesFile, RoundTripsThroughItsFileWrittenWhole) {
    PackNames names;
    ASSERT_TRUE(names.SetGroupName({"NiMH", 2000, 7}, "Sender = grün"));
    ASSERT_TRUE(names.SetGroupName({"LiPo", 2200, 3}, "Quad [1]"));
    names.SetRecordPack("2026-01-10 10:00:00 DIS", "Spare");
    std::string error;
    ASSERT_TRUE(names.Save(File(PackNamesFileName), error)) << error;
    EXPECT_EQ(Read(File(PackNamesFileName)),
              "# Voltrex II Results: the names of packs. Written by voltrex2-results;\n"
              "# a group is cell type, rated mAh and cells, a record its time and mode.\n"
              "[Groups]\n"
              "LiPo,2200,3 = Quad [1]\n"
              "NiMH,2000,7 = Sender = grün\n"
              "[Records]\n"
              "2026-01-10 10:00:00 DIS = Spare\n");
    std::vector<std::string> problems;
    EXPECT_EQ(PackNames::Load(File(PackNamesFileName), &problems), names);
    EXPECT_TRUE(problems.empty());
    // Nothing is left beside it, and it is readable as the other files are.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder_),
                            std::filesystem::directory_iterator()),
              1);
    struct stat info = {};
    ASSERT_EQ(::stat(File(PackNamesFileName).c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0644u);

    EXPECT_TRUE(PackNames::Load(File("missing.ini")).Empty());
}

TEST_F(PackNamesFile, AFailedSaveLeavesNothingBehindAndTheOldFileAsItWas) {
    PackNames old;
    old.SetGroupName({"NiMH", 2000, 7}, "Old");
    std::string error;
    ASSERT_TRUE(old.Save(File(PackNamesFileName), error));
    PackNames changed;
    changed.SetGroupName({"NiMH", 2000, 7}, "New");

    EXPECT_FALSE(changed.Save(File("gone/") + PackNamesFileName, error));
    EXPECT_EQ(error, "No such file or directory");
    // A folder in the file's place: the new file is written, then cannot
    // replace it, and is removed again.
    std::filesystem::create_directory(File("taken"));
    EXPECT_FALSE(changed.Save(File("taken"), error));
    EXPECT_EQ(error, "Is a directory");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder_),
                            std::filesystem::directory_iterator()),
              2);
    if (::geteuid() != 0) {  // root writes into a read-only folder
        ::chmod(folder_.c_str(), 0555);
        EXPECT_FALSE(changed.Save(File(PackNamesFileName), error));
        EXPECT_EQ(error, "Permission denied");
        ::chmod(folder_.c_str(), 0755);
    }
    EXPECT_EQ(PackNames::Load(File(PackNamesFileName)), old);
}

TEST(PackNames, ReadsAFileEditedByHandAndSaysWhatItLeftOut) {
    std::vector<std::string> problems;
    const PackNames names = PackNames::Parse(
        "; edited\r\n[Groups]\r\n NiMH , 2000 , 7 =  Sender \r\nNiMH,2000 = x\r\nno equals\r\n"
        "[Later]\nanything = goes\n[Records]\n2026-01-10 10:00:00 DIS =\n"
        "2026-01-10 10:00:00 DIS = Spare\n2026-01-99 10:00:00 DIS = Bad\n",
        &problems);
    EXPECT_EQ(names.GroupName({"NiMH", 2000, 7}), "Sender");
    EXPECT_EQ(names.RecordPack("2026-01-10 10:00:00 DIS"), "Spare");
    EXPECT_EQ(problems, (std::vector<std::string>{"line 4: not a group (type,rated,cells)",
                                                  "line 5: no \"=\"", "line 9: no name after \"=\"",
                                                  "line 11: not a record (date time mode)"}));
}

TEST(PackNames, KeepsThresholdsAndNotesThatReadBackAsTheyWere) {
    PackNames names;
    ASSERT_TRUE(names.SetGroupName({"NiMH", 2000, 7}, "Sender"));
    ASSERT_TRUE(names.SetReplaceAt("name:a = b\\c", 0.725));
    ASSERT_TRUE(names.SetReplaceAt("group:NiMH,2000,6", 1.0));
    ASSERT_TRUE(names.SetPackNote("name:a = b\\c", " cell 3 = weak \r\n\r\n swapped\\n in May \n"));
    ASSERT_TRUE(names.SetRecordNote("2026-01-10 10:00:00 DIS", "left\tin the car"));
    ASSERT_TRUE(names.SetRetired("name:a = b\\c", true));
    EXPECT_EQ(names.PackNote("name:a = b\\c"), "cell 3 = weak\n\nswapped\\n in May");
    EXPECT_EQ(names.Text().substr(names.Text().find("[Groups]")),
              "[Groups]\n"
              "NiMH,2000,7 = Sender\n"
              "[ReplaceAt]\n"
              "group:NiMH,2000,6 = 100\n"
              "name:a \\= b\\\\c = 72.5\n"
              "[PackNotes]\n"
              "name:a \\= b\\\\c = cell 3 = weak\\n\\nswapped\\\\n in May\n"
              "[RecordNotes]\n"
              "2026-01-10 10:00:00 DIS = left in the car\n"
              "[Retired]\n"
              "name:a \\= b\\\\c = yes\n");
    std::vector<std::string> problems;
    EXPECT_EQ(PackNames::Parse(names.Text(), &problems), names);
    EXPECT_TRUE(problems.empty());
    EXPECT_EQ(PackNames::Parse(names.Text()).ReplaceAt("name:a = b\\c"), 0.725);
    // An empty note or no threshold takes it away.
    ASSERT_TRUE(names.SetPackNote("name:a = b\\c", " \n "));
    ASSERT_TRUE(names.SetReplaceAt("group:NiMH,2000,6", std::nullopt));
    EXPECT_EQ(names.PackNote("name:a = b\\c"), "");
    EXPECT_FALSE(names.ReplaceAt("group:NiMH,2000,6"));
    ASSERT_TRUE(names.SetRetired("name:a = b\\c", false));
    EXPECT_FALSE(names.Retired("name:a = b\\c"));
}

TEST(PackNames, RefusesThresholdsAndNotesItCouldNotKeep) {
    struct Case {
        const char* packId;
        double share;
        bool kept;
    };
    for (const Case& c : std::vector<Case>{{"name:x", 1.0, true},
                                           {"name:x", 1.0 + 1e-9, false},
                                           {"name:x", 0.01, true},
                                           {"name:x", 0.01 - 1e-9, false},
                                           {"name:x", 0.123456789, true},
                                           {"name:x", 0.0, false},
                                           {"name:x", -0.8, false},
                                           {"name:x", std::nan(""), false},
                                           {"group:NiMH,2000,7", 0.8, true},
                                           {"name:", 0.8, false},
                                           {"group:", 0.8, false},
                                           {"pack:x", 0.8, false},
                                           {"name:a\nb", 0.8, false},
                                           {" name:x", 0.8, false}}) {
        PackNames names;
        EXPECT_EQ(names.SetReplaceAt(c.packId, c.share), c.kept) << c.packId << " " << c.share;
        EXPECT_EQ(names.ReplaceAt(c.packId).has_value(), c.kept) << c.packId << " " << c.share;
        EXPECT_EQ(PackNames::Parse(names.Text()), names) << c.packId;
    }
    PackNames names;
    EXPECT_FALSE(names.SetPackNote("pack:x", "note"));
    EXPECT_FALSE(names.SetRecordNote("2026-01-10 10:00:00", "no mode"));
    EXPECT_FALSE(names.SetRecordNote("2026-01-10 10:00:00 DIS=", "an = in the id"));
    EXPECT_FALSE(names.SetRetired("pack:x", true));
    EXPECT_TRUE(names.Empty());

    std::vector<std::string> problems;
    const PackNames read = PackNames::Parse(
        "[ReplaceAt]\nname:a = 100\nname:b = 100.001\nname:c = 0.999\nname:d = 80 %\nname:e\n"
        "[RecordNotes]\n2026-01-99 10:00:00 DIS = bad day\n"
        "[Retired]\nname:f = yes\nname:g = no\n",
        &problems);
    EXPECT_TRUE(read.Retired("name:f"));
    EXPECT_FALSE(read.Retired("name:g"));
    EXPECT_EQ(read.ReplaceAt("name:a"), 1.0);
    EXPECT_EQ(problems,
              (std::vector<std::string>{"line 3: not a pack and a share of its rating in %",
                                        "line 4: not a pack and a share of its rating in %",
                                        "line 5: not a pack and a share of its rating in %",
                                        "line 6: no \"=\"", "line 8: not a record (date time mode)",
                                        "line 11: not a pack and \"yes\""}));
}

TEST(PackNames, ANoteKeepsItsLinesAndNothingThatWouldBreakTheFile) {
    struct Case {
        std::string note;
        std::string kept;
    };
    for (const Case& c : std::vector<Case>{{"one", "one"},
                                           {"  one  ", "one"},
                                           {"a\rb", "a\nb"},
                                           {"a\r\nb", "a\nb"},
                                           {"a\n\rb", "a\n\nb"},
                                           {"\n\n a \n\n", "a"},
                                           {"a\x01"
                                            "b\x7f"
                                            "c\td",
                                            "a b c d"},
                                           {std::string("a\0b", 3), "a b"},
                                           {"= at the start", "= at the start"},
                                           {"\\n is no line break", "\\n is no line break"},
                                           {"ends with \\", "ends with \\"},
                                           {"[PackNotes]", "[PackNotes]"},
                                           {"\n \t \n", ""}}) {
        EXPECT_EQ(CleanNote(c.note), c.kept) << c.note;
        PackNames names;
        ASSERT_TRUE(names.SetPackNote("name:x", c.note));
        ASSERT_TRUE(names.SetRecordNote("2026-01-10 10:00:00 DIS", c.note));
        const PackNames back = PackNames::Parse(names.Text());
        EXPECT_EQ(back.PackNote("name:x"), c.kept) << c.note;
        EXPECT_EQ(back.RecordNote("2026-01-10 10:00:00 DIS"), c.kept) << c.note;
    }
}

TEST(PackNames, AnOldFileReadsAndALaterVersionsSectionsAreKept) {
    const std::string old =
        "[Groups]\nNiMH,2000,7 = Sender\n[Records]\n2026-01-10 10:00:00 DIS = Spare\n";
    const PackNames fromOld = PackNames::Parse(old);
    EXPECT_EQ(fromOld.GroupName({"NiMH", 2000, 7}), "Sender");
    EXPECT_EQ(fromOld.Text().substr(fromOld.Text().find('[')), old);

    PackNames later = PackNames::Parse(
        "[Colours]\r\n; the owner's\nname:Sender = #ff0000\n\n[Groups]\nNiMH,2000,7 = Sender\n"
        "[Labels] \nsize = 62x29\n");
    later.SetPackNote("name:Sender", "kept");
    const std::string text = later.Text();
    EXPECT_EQ(text.substr(text.find("[PackNotes]")),
              "[PackNotes]\nname:Sender = kept\n"
              "[Colours]\n; the owner's\nname:Sender = #ff0000\n[Labels]\nsize = 62x29\n");
    EXPECT_EQ(PackNames::Parse(text), later);
}

TEST(PackNames, APacksThresholdAndNoteGoWithItWhenItIsRenamed) {
    const ResultsFile log = testing::ResultsLog(Records);
    PackNames names;
    ASSERT_TRUE(names.SetReplaceAt("group:NiMH,2000,7", 0.7));
    ASSERT_TRUE(names.SetPackNote("group:NiMH,2000,7", "sender"));
    ASSERT_TRUE(names.SetRetired("group:NiMH,2000,7", true));
    ASSERT_TRUE(names.SetReplaceAt("name:Taken", 0.9));
    ResultsFolder folder;
    folder.SetFiles({log, names, {}});
    std::string error;
    const std::optional<PackNames> named = folder.RenamedPack("group:NiMH,2000,7", "Sender", error);
    ASSERT_TRUE(named) << error;
    EXPECT_EQ(named->ReplaceAt("name:Sender"), 0.7);
    EXPECT_EQ(named->PackNote("name:Sender"), "sender");
    EXPECT_TRUE(named->Retired("name:Sender"));
    EXPECT_FALSE(named->ReplaceAt("group:NiMH,2000,7"));
    EXPECT_FALSE(named->Retired("group:NiMH,2000,7"));
    // Named into a pack that has a threshold of its own: that one stays.
    PackNames merged = *named;
    merged.MovePackSettings("name:Sender", "name:Taken");
    EXPECT_EQ(merged.ReplaceAt("name:Taken"), 0.9);
    EXPECT_EQ(merged.PackNote("name:Taken"), "sender");

    // Named back to nothing: the group's own id gets them again.
    ResultsFolder renamed;
    renamed.SetFiles({log, *named, {}});
    const std::optional<PackNames> unnamed = renamed.RenamedPack("name:Sender", "", error);
    ASSERT_TRUE(unnamed) << error;
    EXPECT_EQ(unnamed->ReplaceAt("group:NiMH,2000,7"), 0.7);
    EXPECT_EQ(unnamed->PackNote("group:NiMH,2000,7"), "sender");
    EXPECT_FALSE(unnamed->ReplaceAt("name:Sender"));

    folder.SetFiles({log, *named, {}});
    const std::vector<PackHealth> health = folder.Health();
    ASSERT_EQ(health.size(), folder.Grouping().Packs.size());
    EXPECT_EQ(health[0].PackId, "name:Sender");
    EXPECT_EQ(folder.HealthSettingsOf("name:Sender").ReplaceAt, 0.7);
    EXPECT_EQ(folder.HealthSettingsOf("group:LiPo,2200,3").ReplaceAt, 0.8);
}

TEST(CapacityHistory, HoldsThePacksDischargesInCalendarOrder) {
    const ResultsFile log = testing::ResultsLog(Records);
    const PackGrouping grouping = GroupRecords(log, PackNames{});
    const std::vector<CapacityPoint> points = CapacityHistory(log, grouping.Packs[0]);
    ASSERT_EQ(points.size(), 3u);  // the charge and the other packs left out
    EXPECT_EQ(points[0].Line, 4u);
    EXPECT_DOUBLE_EQ(points[0].MilliampHours, 1980.0);
    EXPECT_EQ(points[1].Line, 0u);
    EXPECT_DOUBLE_EQ(points[1].MilliampHours, 1950.0);
    EXPECT_EQ(points[2].Line, 5u);
    EXPECT_DOUBLE_EQ(points[2].MilliampHours, 1900.0);
    EXPECT_EQ(points[2].Rated, 2000);
    EXPECT_DOUBLE_EQ(points[2].Ohms, 0.1234);
    EXPECT_LT(points[0].Seconds, points[1].Seconds);
}

TEST(CapacityHistory, ARecordBeyondWhatAPackCanGiveIsImplausible) {
    const ResultRecord typical = ParseResultLine(testing::RecordLine(RecordPlan{}), 2).Record;
    const std::int64_t written = typical.Seconds;
    const struct {
        const char* What;
        void (*Change)(ResultRecord&);
        bool Implausible;
    } cases[] = {
        {"typical", [](ResultRecord&) {}, false},
        {"ten times the rating", [](ResultRecord& r) { r.MilliampHours = 20000.0; }, false},
        {"above ten times", [](ResultRecord& r) { r.MilliampHours = 20000.1; }, true},
        {"100 Ah unrated", [](ResultRecord& r) { r.Rated = 0, r.MilliampHours = 100000.0; }, false},
        {"above 100 Ah", [](ResultRecord& r) { r.Rated = 0, r.MilliampHours = 100000.1; }, true},
        {"1,700,000 mAh", [](ResultRecord& r) { r.MilliampHours = 1700000.0; }, true},
        {"nothing", [](ResultRecord& r) { r.MilliampHours = 0.0; }, false},
        {"negative", [](ResultRecord& r) { r.MilliampHours = -0.1; }, true},
        {"5 ohms", [](ResultRecord& r) { r.Ohms = 5.0; }, false},
        {"above 5 ohms", [](ResultRecord& r) { r.Ohms = 5.0001; }, true},
        {"95 ohms", [](ResultRecord& r) { r.Ohms = 95.0; }, true},
        {"negative ohms", [](ResultRecord& r) { r.Ohms = -0.0001; }, true},
        {"year 2000", [](ResultRecord& r) { r.Time.Year = 2000; }, false},
        {"year 1999", [](ResultRecord& r) { r.Time.Year = 1999; }, true},
        {"year 0001", [](ResultRecord& r) { r.Time.Year = 1; }, true},
        {"a day after the file", [](ResultRecord& r) { r.Time.Day += 1; }, false},
        {"later", [](ResultRecord& r) { r.Time.Day += 1, r.Time.Second += 1; }, true},
    };
    for (const auto& c : cases) {
        ResultRecord record = typical;
        c.Change(record);
        record.Seconds = CalendarSeconds(record.Time);
        EXPECT_EQ(Implausible(record, written), c.Implausible) << c.What;
    }
    ResultRecord later = typical;
    later.Time.Year = 2099;
    EXPECT_FALSE(Implausible(later, std::nullopt));
}

TEST(CapacityHistory, OnlyADischargeFromAFullChargeMeasuresThePack) {
    // One pack: charges, and discharges of an hour each (1500 mAh at
    // 1500 mA) ending when given.
    const auto discharge = [](const char* time, int cycle, double milliampHours = 1500.0) {
        RecordPlan plan;
        plan.Time = time;
        plan.Cycle = cycle;
        plan.Of = cycle == 0 ? 0 : 5;
        plan.MilliampHours = milliampHours;
        return plan;
    };
    const auto charge = [](const char* time) {
        RecordPlan plan;
        plan.Mode = "CHG";
        plan.Time = time;
        return plan;
    };
    const ResultsFile log = testing::ResultsLog({
        discharge("2026-01-09 09:00:00", 0),  // nothing before it: taken as full
        charge("2026-01-10 08:00:00"),
        discharge("2026-01-11 09:00:00", 0),  // after the mistyped one: its
        discharge("2026-01-10 09:30:00", 1),  // predecessor is 09:40
        discharge("2026-01-10 09:40:00", 2),  // the charge before it
        discharge("2026-01-10 09:50:00", 0, 1700000.0),
        charge("2026-01-20 08:01:00"),        // ends at the start's slack
        discharge("2026-01-20 09:00:00", 0),  // so it counts
        charge("2026-01-30 08:01:01"),        // a second past it
        discharge("2026-01-30 09:00:00", 0),  // so it does not
        charge("2026-02-01 08:00:00"),        // a nickel pack stays full
        discharge("2026-02-04 09:00:00", 0),  // three days on the shelf
        charge("2026-02-10 08:00:00"),        // and not a second more
        discharge("2026-02-13 09:00:01", 0),
    });
    const PackGrouping grouping = GroupRecords(log, PackNames{});
    ASSERT_EQ(grouping.Packs.size(), 1u);
    const std::vector<CapacityPoint> points = CapacityHistory(log, grouping.Packs[0]);
    const std::vector<CapacityMark> expected = {
        CapacityMark::Full,        CapacityMark::FirstOfAutoCycle,
        CapacityMark::Full,        CapacityMark::Implausible,
        CapacityMark::NotFromFull, CapacityMark::Full,
        CapacityMark::NotFromFull, CapacityMark::Full,
        CapacityMark::NotFromFull};
    ASSERT_EQ(points.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(points[i].Mark, expected[i]) << "discharge " << i;
    }
    EXPECT_EQ(points[6].ChargeAge, 0);  // another discharge came between
    EXPECT_EQ(points[8].ChargeAge, 3 * 86400 + 1);
    // The best of the pack is no mistyped record.
    EXPECT_DOUBLE_EQ(SummaryOf(points)->BestMilliampHours, 1500.0);
}

TEST(CurveExport, PutsEveryRowOfEveryCurveUnderOneHeader) {
    testing::CurvePlan plan;
    plan.Seconds = 2;
    plan.Cycle = 3;
    CurveFile first = ParseCurveText(testing::CurveText(plan), true);
    first.Name = "20261208-141503-DIS.csv";
    plan.Mode = "CHG";
    plan.Amperes = 1.0;
    plan.Seconds = 1;
    plan.Start = "2026-12-08 15:00:00";
    CurveFile second = ParseCurveText(testing::CurveText(plan), true);
    second.Name = "odd, name.csv";
    EXPECT_EQ(CurvesCsv({&first, &second}),
              "curve,mode,start,cycle,seconds,volts,amperes,rate,mAh,mWh\n"
              "20261208-141503-DIS.csv,DIS,2026-12-08 14:15:03,3,0,8.4000,-1.500,9,0.0000,0.0000\n"
              "20261208-141503-DIS.csv,DIS,2026-12-08 14:15:03,3,1,8.3990,-1.500,9,0.4167,3.5000\n"
              "20261208-141503-DIS.csv,DIS,2026-12-08 14:15:03,3,2,8.3980,-1.500,9,0.8333,6.9996\n"
              "\"odd, name.csv\",CHG,2026-12-08 15:00:00,3,0,8.4000,1.000,9,0.0000,0.0000\n"
              "\"odd, name.csv\",CHG,2026-12-08 15:00:00,3,1,8.3990,1.000,9,0.2778,2.3333\n");
}

}  // namespace
}  // namespace voltrex::results
