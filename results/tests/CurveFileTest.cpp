// Curve files as the results window reads them: whole for plotting, by their
// two ends for the list, and a folder of them refreshed file by file.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <map>

#include "CurveTestData.h"
#include "platform/CFormat.h"
#include "platform/TextFile.h"
#include "records/CalendarTime.h"
#include "records/CurveFile.h"
#include "results/CurveFolder.h"
#include "testsupport/FileTestFolder.h"

namespace voltrex::results {
namespace {

using testing::CurvePlan;
using testing::CurveText;

TEST(CurveFile, ReadsTheHeaderEveryRowAndTheEnd) {
    CurvePlan plan;
    plan.Cycle = 2;
    plan.Of = 5;
    const CurveFile curve = ParseCurveText(CurveText(plan), true);
    ASSERT_TRUE(curve.Usable()) << curve.Problem;
    EXPECT_EQ(curve.Mode, "DIS");
    if (!curve.Start) {
        FAIL() << "no start";
    }
    EXPECT_EQ(CalendarTimeText(*curve.Start), "2026-12-08 14:15:03");
    EXPECT_EQ(curve.StartSeconds, CalendarSeconds(*curve.Start));
    EXPECT_EQ(curve.Cycle, 2);
    EXPECT_EQ(curve.Of, 5);
    EXPECT_EQ(curve.Type, "NiMH");
    EXPECT_EQ(curve.Rated, 2000);
    EXPECT_EQ(curve.Cells, 7);
    EXPECT_EQ(curve.Ohms, 0.1234);
    EXPECT_EQ(curve.Header.at("Program"),
              "Voltrex II - Computer Controlled Battery Manager - Version 1.0");
    EXPECT_EQ(curve.Header.at("EndVoltage"), "7.0000");
    ASSERT_EQ(curve.Rows.size(), 61u);
    EXPECT_EQ(curve.Rows[0].Seconds, 0);
    EXPECT_DOUBLE_EQ(curve.Rows[0].Volts, 8.4);
    EXPECT_DOUBLE_EQ(curve.Rows[0].MilliampHours, 0.0);
    EXPECT_EQ(curve.Rows[60].Seconds, 60);
    EXPECT_DOUBLE_EQ(curve.Rows[60].Volts, 8.34);
    EXPECT_DOUBLE_EQ(curve.Rows[60].Amperes, -1.5);
    EXPECT_EQ(curve.Rows[60].Rate, 9);
    EXPECT_DOUBLE_EQ(curve.Rows[60].MilliampHours, 25.0);
    EXPECT_EQ(curve.Duration(), 60);
    EXPECT_EQ(curve.EndSeconds(), curve.StartSeconds + 60);
    EXPECT_EQ(curve.EndReason, "end voltage reached");
    EXPECT_EQ(curve.UnreadableRows, 0);
}

TEST(CurveFile, AFileWithoutItsEndLineIsUnfinishedAndKeepsItsRows) {
    CurvePlan plan;
    plan.End.clear();
    std::string text = CurveText(plan);
    text += "61,8.33";  // the row being written when the program ended
    const CurveFile curve = ParseCurveText(text, true);
    ASSERT_TRUE(curve.Usable());
    EXPECT_FALSE(curve.EndReason);
    EXPECT_EQ(curve.Rows.size(), 61u);
    EXPECT_EQ(curve.Duration(), 60);
    EXPECT_EQ(curve.UnreadableRows, 1);
    EXPECT_EQ(curve.FirstUnreadableLine, 77);
}

TEST(CurveFile, ToleratesUnknownKeysMissingOptionalOnesAndOtherColumnOrders) {
    const CurveFile curve = ParseCurveText(
        "# Voltrex II curve\r\n# Version: 2\r\n# Mode: MON\r\n# Start: 2026-12-08 09:00:00\r\n"
        "# Humidity: 40\r\n"
        "volts,seconds,mAh\r\n8.1000,0,0\r\n8.1010,1,0\r\nnot a row\r\n8.1020,2,0\r\n",
        true);
    ASSERT_TRUE(curve.Usable()) << curve.Problem;
    EXPECT_EQ(curve.Mode, "MON");
    EXPECT_TRUE(curve.Type.empty());
    EXPECT_EQ(curve.Cells, 0);
    EXPECT_FALSE(curve.Ohms);
    EXPECT_EQ(curve.Header.at("Humidity"), "40");
    ASSERT_EQ(curve.Rows.size(), 3u);
    EXPECT_EQ(curve.Rows[2].Seconds, 2);
    EXPECT_DOUBLE_EQ(curve.Rows[2].Volts, 8.102);
    EXPECT_DOUBLE_EQ(curve.Rows[2].Amperes, 0.0);
    EXPECT_EQ(curve.UnreadableRows, 1);
    EXPECT_EQ(curve.FirstUnreadableLine, 9);
}

TEST(CurveFile, SaysWhyAFileIsNoCurve) {
    EXPECT_EQ(ParseCurveText("a,b,c\n1,2,3\n", true).Problem, "no \"# Start:\" line");
    EXPECT_EQ(ParseCurveText("# Mode: DIS\n# Start: 2026-12-32 00:00:00\n", true).Problem,
              "the start \"2026-12-32 00:00:00\" is not a date and time");
    EXPECT_EQ(ParseCurveText("# Mode: RES\n# Start: 2026-12-08 00:00:00\n", true).Problem,
              "no mode DIS, CHG or MON");
    EXPECT_EQ(ParseCurveText("# Mode: DIS\n# Start: 2026-12-08 00:00:00\nmAh,rate\n", true).Problem,
              "the column line names no seconds or volts");
}

using CurveFiles = voltrex::testing::FileTestFolder;

TEST_F(CurveFiles, TheSummaryOfALongFileAgreesWithTheFileReadWhole) {
    CurvePlan plan;
    plan.Mode = "CHG";
    plan.Amperes = 1.0;
    plan.VoltsPerSecond = 0.00002;
    plan.Seconds = 36000;  // a ten-hour charge, about 1.3 MB
    plan.End = "delta-V";
    Write(File("20261208-141503-CHG.csv"), CurveText(plan));

    const CurveFile whole = ReadCurveFile(File("20261208-141503-CHG.csv"));
    const CurveFile summary = ReadCurveSummary(File("20261208-141503-CHG.csv"));
    ASSERT_TRUE(whole.Usable());
    ASSERT_TRUE(summary.Usable()) << summary.Problem;
    EXPECT_EQ(whole.Rows.size(), 36001u);
    EXPECT_TRUE(summary.Rows.empty());
    EXPECT_EQ(summary.Name, "20261208-141503-CHG.csv");
    EXPECT_EQ(summary.Header, whole.Header);
    if (!summary.LastRow) {
        FAIL() << "no last row";
    }
    EXPECT_EQ(summary.LastRow->Seconds, 36000);
    EXPECT_DOUBLE_EQ(summary.LastRow->MilliampHours, whole.Rows.back().MilliampHours);
    EXPECT_EQ(summary.EndReason, "delta-V");
    EXPECT_EQ(summary.EndSeconds(), whole.EndSeconds());
    EXPECT_EQ(summary.ReadableRows, 36001);
    EXPECT_DOUBLE_EQ(summary.LowestVolts.value_or(0.0), 8.4);
    EXPECT_DOUBLE_EQ(summary.HighestVolts.value_or(0.0), whole.Rows.back().Volts);

    // The envelope: a few thousand stretches, each after the one before,
    // from the first row to the last.
    const std::vector<CurveEnvelopePoint>& envelope = summary.Envelope;
    EXPECT_LE(envelope.size(), MostEnvelopePoints);
    EXPECT_GT(envelope.size(), MostEnvelopePoints / 2);
    EXPECT_EQ(envelope.front().FromSeconds, 0);
    EXPECT_EQ(envelope.back().ToSeconds, 36000);
    EXPECT_DOUBLE_EQ(envelope.back().MilliampHours, whole.Rows.back().MilliampHours);
    for (std::size_t i = 1; i < envelope.size(); ++i) {
        ASSERT_EQ(envelope[i].FromSeconds, envelope[i - 1].ToSeconds + 1) << i;
    }
}

// Rows of seconds 0 .. count - 1 at 8.0 V, but those given, at their volts.
std::string Rows(int count, const std::map<int, double>& odd) {
    std::string text =
        "# Mode: MON\n# Start: 2026-12-08 14:15:03\nseconds,volts,amperes,rate,mAh,mWh\n";
    for (int s = 0; s < count; ++s) {
        const auto found = odd.find(s);
        text +=
            Format("%d,%.4f,0.000,0,0.0000,0.0000\n", s, found == odd.end() ? 8.0 : found->second);
    }
    return text;
}

TEST(CurveFile, TheEnvelopeHasARowPerPointUpToItsMostAndHalvesBeyond) {
    // A glitch in the last row but one is kept, alone or in a stretch of two.
    const struct {
        int Rows;
        std::size_t Points;
        float LowestAtGlitch;
    } cases[] = {{static_cast<int>(MostEnvelopePoints), MostEnvelopePoints, 47.9F},
                 {static_cast<int>(MostEnvelopePoints) + 1, MostEnvelopePoints / 2 + 1, 8.0F}};
    for (const auto& c : cases) {
        const CurveFile curve = ParseCurveText(Rows(c.Rows, {{c.Rows - 2, 47.9}}), false);
        ASSERT_EQ(curve.Envelope.size(), c.Points) << c.Rows;
        const CurveEnvelopePoint& glitch = curve.Envelope[curve.Envelope.size() - 2];
        EXPECT_EQ(glitch.FromSeconds, 2046) << c.Rows;
        EXPECT_EQ(glitch.ToSeconds, c.Rows == 2048 ? 2046 : 2047) << c.Rows;
        EXPECT_FLOAT_EQ(glitch.MaxVolts, 47.9F) << c.Rows;
        EXPECT_FLOAT_EQ(glitch.MinVolts, c.LowestAtGlitch) << c.Rows;
        EXPECT_EQ(curve.Envelope.back().ToSeconds, c.Rows - 1) << c.Rows;
    }
}

// A glitch as a finder might see it: 0 V with both neighbours above it.
std::vector<bool> ZeroBetweenReadings(const std::vector<CurveRow>& rows) {
    std::vector<bool> glitch(rows.size(), false);
    for (std::size_t i = 1; i + 1 < rows.size(); ++i) {
        glitch[i] = rows[i].Volts == 0.0 && rows[i - 1].Volts > 1.0 && rows[i + 1].Volts > 1.0;
    }
    return glitch;
}

TEST(CurveFile, GlitchRowsAreCountedAndLeftOutOfTheRangeWhereverTheReaderCutsTheRows) {
    // Rows judged a few thousand at a time: 0 V readings on both sides of
    // where each batch ends, each one judged with both its neighbours.
    std::map<int, double> odd = {{4095, 0.0}, {4096, 7.5}, {4097, 0.0}, {4103, 0.0},
                                 {4104, 0.0}, {8200, 0.0}, {9000, 9.1}};
    odd[4104] = 6.0;
    const CurveFile judged = ParseCurveText(Rows(9001, odd), false, ZeroBetweenReadings);
    EXPECT_EQ(judged.GlitchRowCount, 4);
    EXPECT_DOUBLE_EQ(judged.LowestVolts.value_or(-1.0), 6.0);
    EXPECT_DOUBLE_EQ(judged.HighestVolts.value_or(-1.0), 9.1);
    EXPECT_EQ(judged.ReadableRows, 9001);
    // Without a finder no row is a glitch: the axis would reach 0 V.
    const CurveFile plain = ParseCurveText(Rows(9001, odd), false);
    EXPECT_EQ(plain.GlitchRowCount, 0);
    EXPECT_DOUBLE_EQ(plain.LowestVolts.value_or(-1.0), 0.0);
}

TEST_F(CurveFiles, ACurveCutShortByAPowerCutIsSummedUpToItsLastReadableRow) {
    // 48 minutes of rows, then half a row and the zeros a file system
    // leaves in the block it had no time to write.
    CurvePlan plan;
    plan.Seconds = 2880;
    plan.End.clear();
    std::string text = CurveText(plan) + "2881,8.1";
    text += std::string(4096, '\0');
    Write(File("cut.csv"), text);
    const CurveFile summary = ReadCurveSummary(File("cut.csv"));
    ASSERT_TRUE(summary.Usable()) << summary.Problem;
    EXPECT_EQ(summary.Duration(), 2880);
    EXPECT_NEAR(summary.LastRow->MilliampHours, 2880 * 1.5 / 3.6, 1e-3);
    EXPECT_EQ(summary.ReadableRows, 2881);
    EXPECT_EQ(summary.UnreadableRows, 1);
    EXPECT_FALSE(summary.EndReason);

    // Its test goes on (no power cut after all): the summary follows.
    plan.Seconds = 3000;
    Write(File("cut.csv"), CurveText(plan));
    EXPECT_EQ(ReadCurveSummary(File("cut.csv")).Duration(), 3000);
}

TEST_F(CurveFiles, AFileIsReadWholeUpToBothEndsAndSplitOneByteBeyond) {
    Write(File("ten"), "0123456789");
    const FileEnds whole = ReadFileEnds(File("ten"), 6, 4);
    EXPECT_FALSE(whole.Split);
    EXPECT_EQ(whole.Head.Text, "0123456789");
    EXPECT_TRUE(whole.Tail.empty());
    const FileEnds split = ReadFileEnds(File("ten"), 6, 3);
    EXPECT_TRUE(split.Split);
    EXPECT_EQ(split.Head.Text, "012345");
    EXPECT_EQ(split.Tail, "789");
    EXPECT_EQ(split.Head.Size, 10);
    EXPECT_FALSE(ReadFileEnds(File("gone"), 6, 3).Head.Exists);
}

TEST_F(CurveFiles, AFolderIsListedInStartOrderAndOnlyChangedFilesAreReadAgain) {
    std::filesystem::create_directory(File("curves"));
    CurvePlan late;
    late.Start = "2026-12-09 10:00:00";
    CurvePlan early;
    early.Start = "2026-12-08 10:00:00";
    Write(File("curves/20261209-100000-DIS.csv"), CurveText(late));
    Write(File("curves/20261208-100000-DIS.csv"), CurveText(early));
    Write(File("curves/notes.txt"), "not a curve");
    Write(File("curves/sheet.csv"), "a,b\n1,2\n");

    CurveFolder folder;
    folder.Refresh(File("curves"));
    ASSERT_EQ(folder.Curves().size(), 3u);
    EXPECT_EQ(folder.FilesRead(), 3);
    // A file that is no curve is listed (with why), not hidden.
    EXPECT_EQ(folder.Curves()[0].Name, "sheet.csv");
    EXPECT_FALSE(folder.Curves()[0].Usable());
    EXPECT_EQ(folder.Curves()[1].Name, "20261208-100000-DIS.csv");
    EXPECT_EQ(folder.Curves()[2].Name, "20261209-100000-DIS.csv");

    folder.Refresh(File("curves"));
    EXPECT_EQ(folder.FilesRead(), 0);

    // A test going on: its file grows.
    late.Seconds = 120;
    Write(File("curves/20261209-100000-DIS.csv"), CurveText(late));
    std::filesystem::remove(File("curves/sheet.csv"));
    folder.Refresh(File("curves"));
    EXPECT_EQ(folder.FilesRead(), 1);
    ASSERT_EQ(folder.Curves().size(), 2u);
    EXPECT_EQ(folder.Curves()[1].Duration(), 120);

    folder.Refresh(File("missing"));
    EXPECT_TRUE(folder.Curves().empty());
}

}  // namespace
}  // namespace voltrex::results
