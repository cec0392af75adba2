// The results window's model of a folder, without a display: which curve is
// whose, what survives a reload, and what renaming a pack does.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "CurveTestData.h"
#include "results/ResultsFolder.h"
#include "testsupport/FileTestFolder.h"

namespace voltrex::results {
namespace {

using testing::CurvePlan;
using testing::CurveText;
using testing::RecordLine;
using testing::RecordPlan;

class ResultsFolderTest : public voltrex::testing::FileTestFolder {
  protected:
    // A discharge with its record and curve, a LiPo charge's curve whose
    // record is missing, a Monitor, a file in curves/ that is no curve and
    // a line of the results file that is no record.
    void SetUp() override {
        std::filesystem::create_directory(File("curves"));
        Write(File("curves/20261208-141503-DIS.csv"), CurveText(CurvePlan{}));
        CurvePlan lipo;
        lipo.Mode = "CHG";
        lipo.Start = "2026-12-09 10:00:00";
        lipo.Type = "LiPo";
        lipo.Rated = 2200;
        lipo.Cells = 3;
        Write(File("curves/20261209-100000-CHG.csv"), CurveText(lipo));
        CurvePlan monitor;
        monitor.Mode = "MON";
        monitor.Start = "2026-12-10 08:00:00";
        Write(File("curves/20261210-080000-MON.csv"), CurveText(monitor));
        Write(File("curves/notes.csv"), "shopping list\n");
        Write(File("Voltrex2.csv"), testing::ResultsHeaderLine() + RecordLine(RecordPlan{}) +
                                        "\n\"2026-12-08 17:02:11\",\"CHG\",2\n");
        folder.Open(folder_);
    }

    // The curve of that file name.
    std::size_t Curve(const std::string& name) const {
        for (std::size_t i = 0; i < folder.Curves().size(); ++i) {
            if (folder.Curves()[i].Name == name) {
                return i;
            }
        }
        ADD_FAILURE() << name;
        return 0;
    }

    ResultsFolder folder;
};

TEST_F(ResultsFolderTest, EveryCurveBelongsToItsRecordsPackOrTheGroupItsHeaderMakes) {
    const std::string nimh = GroupPackId(PackKey{"NiMH", 2000, 7});
    EXPECT_EQ(folder.PackOfLine(0), nimh);
    EXPECT_EQ(folder.PackOfLine(1), "");  // no record
    EXPECT_EQ(folder.CurveOfLine()[0], Curve("20261208-141503-DIS.csv"));
    EXPECT_EQ(folder.PackOfCurve(Curve("20261208-141503-DIS.csv")), nimh);
    EXPECT_EQ(folder.PackOfCurve(Curve("20261209-100000-CHG.csv")),
              GroupPackId(PackKey{"LiPo", 2200, 3}));
    EXPECT_EQ(folder.PackOfCurve(Curve("20261210-080000-MON.csv")), "");
    EXPECT_EQ(folder.PackOfCurve(Curve("notes.csv")), "");
    EXPECT_EQ(folder.PackOfCurve(99), "");

    // A group's name names the curves without a record too.
    Write(File("Voltrex2Results.ini"), "[Groups]\nLiPo,2200,3 = Heli\n");
    folder.Load();
    EXPECT_EQ(folder.PackOfCurve(Curve("20261209-100000-CHG.csv")), NamedPackId("Heli"));
}

TEST_F(ResultsFolderTest, TheStatusCountsRecordsUnreadableLinesCurvesAndOtherFiles) {
    FolderStatus status = folder.Status();
    EXPECT_TRUE(status.ResultsExist);
    EXPECT_EQ(status.ResultsError, "");
    EXPECT_EQ(status.Records, 1);
    EXPECT_EQ(status.UnreadableLines, 1);
    EXPECT_EQ(status.CurveFiles, 3);
    EXPECT_EQ(status.OtherFiles, 1);
    EXPECT_EQ(status.UnreadableCurveRows, 0);
    EXPECT_EQ(status.NamesProblem, "");

    // Rows a curve file holds that are no rows, counted with their files.
    std::ofstream(File("curves/20261209-100000-CHG.csv"), std::ios::app) << "61,8.3\nx\n";
    std::ofstream(File("curves/20261210-080000-MON.csv"), std::ios::app) << "61;8,3\n";
    folder.Load();
    status = folder.Status();
    EXPECT_EQ(status.UnreadableCurveRows, 3);
    EXPECT_EQ(status.CurvesWithUnreadableRows, 2);

    Write(File("Voltrex2Results.ini"), "[Groups]\nno equals sign\n");
    std::filesystem::remove(File("Voltrex2.csv"));
    folder.Load();
    status = folder.Status();
    EXPECT_FALSE(status.ResultsExist);
    EXPECT_NE(status.NamesProblem, "");
}

TEST_F(ResultsFolderTest, ALineKeepsItsIdentityAcrossAReloadThatMovesIt) {
    const std::vector<std::string> ids = {folder.LineId(0), folder.LineId(1)};
    EXPECT_EQ(ids[0], "2026-12-08 14:16:04 DIS");
    EXPECT_EQ(ids[1], "\n\"2026-12-08 17:02:11\",\"CHG\",2");
    // A line before both moves them down by one.
    RecordPlan earlier;
    earlier.Time = "2026-12-01 09:00:00";
    Write(File("Voltrex2.csv"), testing::ResultsHeaderLine() + RecordLine(earlier) + "\n" +
                                    RecordLine(RecordPlan{}) +
                                    "\n\"2026-12-08 17:02:11\",\"CHG\",2\n");
    folder.Load();
    EXPECT_EQ(folder.LinesWithIds(ids), (std::vector<std::size_t>{1, 2}));
    EXPECT_EQ(folder.LinesWithIds({ids[1]}), (std::vector<std::size_t>{2}));
    EXPECT_TRUE(folder.LinesWithIds({"2026-12-08 14:16:04 CHG"}).empty());
}

TEST_F(ResultsFolderTest, RenamingAPackNamesItsGroupAndGivesItANewId) {
    const std::string nimh = GroupPackId(PackKey{"NiMH", 2000, 7});
    std::string error;
    EXPECT_FALSE(folder.RenamedPack("group:nothing", "X", error));
    EXPECT_EQ(error, "There is no such pack.");

    const std::optional<PackNames> names = folder.RenamedPack(nimh, " Transmitter ", error);
    ASSERT_TRUE(names);
    EXPECT_EQ(names->GroupName(PackKey{"NiMH", 2000, 7}), "Transmitter");
    EXPECT_EQ(folder.RenamedPackId(nimh, " Transmitter "), NamedPackId("Transmitter"));
    ASSERT_TRUE(folder.SaveNames(*names, error)) << error;
    folder.Load();
    EXPECT_EQ(folder.PackOfLine(0), NamedPackId("Transmitter"));
    // An empty name gives the group its label back.
    EXPECT_EQ(folder.RenamedPackId(NamedPackId("Transmitter"), ""), nimh);

    const PackNames moved = folder.WithLinesInPack({0, 1}, "Receiver");
    EXPECT_EQ(moved.RecordPack("2026-12-08 14:16:04 DIS"), "Receiver");
}

TEST_F(ResultsFolderTest, ACurveReadWholeIsKeptUntilItsFileChanges) {
    const CurveFile& summary = folder.Curves()[Curve("20261208-141503-DIS.csv")];
    const std::shared_ptr<const CurveFile> first = folder.WholeCurve(summary);
    EXPECT_EQ(first->Rows.size(), 61u);
    EXPECT_EQ(folder.WholeCurve(summary), first);
    folder.Load();
    EXPECT_EQ(folder.WholeCurve(folder.Curves()[Curve("20261208-141503-DIS.csv")]), first);

    CurvePlan longer;
    longer.Seconds = 120;
    Write(File("curves/20261208-141503-DIS.csv"), CurveText(longer));
    folder.Load();
    const std::shared_ptr<const CurveFile> again =
        folder.WholeCurve(folder.Curves()[Curve("20261208-141503-DIS.csv")]);
    EXPECT_EQ(again->Rows.size(), 121u);
}

}  // namespace
}  // namespace voltrex::results
