// The bounded store of curves read whole, and the rows that draw a curve at a
// screen's width.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "CurveTestData.h"
#include "results/CurveStore.h"
#include "testsupport/FileTestFolder.h"

namespace voltrex::results {
namespace {

class CurveStoreTest : public voltrex::testing::FileTestFolder {
  protected:
    // A curve file of 61 rows; its size stands in for the folder's listing.
    CurveFile Summary(const std::string& name, std::int64_t size = 1) {
        const std::string path = File(name);
        if (!std::filesystem::exists(path)) {
            Write(path, testing::CurveText(testing::CurvePlan{}));
        }
        CurveFile summary;
        summary.Path = path;
        summary.Name = name;
        summary.FileSize = size;
        return summary;
    }
};

TEST_F(CurveStoreTest, KeepsTheCurvesUsedLastWithinItsBudgetOfRows) {
    // Two curves of 61 rows fit in 122 rows, not in 121.
    for (const std::size_t budget : {121u, 122u}) {
        CurveStore store(budget);
        const auto a = store.Get(Summary("a.csv"));
        store.Get(Summary("b.csv"));
        ASSERT_EQ(a->Rows.size(), 61u);
        EXPECT_EQ(store.HeldCurves(), budget / 61) << budget;
        EXPECT_EQ(store.HeldRows(), budget / 61 * 61) << budget;
        // What a caller holds stays whole when the store lets it go.
        EXPECT_EQ(a->Rows.size(), 61u);
    }
    CurveStore store(122);
    store.Get(Summary("a.csv"));
    store.Get(Summary("b.csv"));
    store.Get(Summary("a.csv"));  // used again: b is now the oldest
    store.Get(Summary("c.csv"));
    EXPECT_EQ(store.FilesRead(), 3u);
    store.Get(Summary("a.csv"));
    EXPECT_EQ(store.FilesRead(), 3u);
    store.Get(Summary("b.csv"));
    EXPECT_EQ(store.FilesRead(), 4u);
}

TEST_F(CurveStoreTest, ManyCurvesShownOneAfterAnotherGiveTheirMemoryBack) {
    CurveStore store(10 * 61);
    for (int i = 0; i < 150; ++i) {
        store.Get(Summary("curve" + std::to_string(i) + ".csv"));
        ASSERT_LE(store.HeldRows(), 10u * 61u);
    }
    EXPECT_EQ(store.HeldCurves(), 10u);
    store.Clear();
    EXPECT_EQ(store.HeldRows(), 0u);
    // A curve larger than the whole budget is still given, and held alone.
    store.SetBudgetRows(60);
    EXPECT_EQ(store.Get(Summary("big.csv"))->Rows.size(), 61u);
    EXPECT_EQ(store.HeldCurves(), 1u);
}

TEST_F(CurveStoreTest, AChangedFileIsReadAgain) {
    CurveStore store;
    const auto first = store.Get(Summary("a.csv", 100));
    EXPECT_EQ(store.Get(Summary("a.csv", 100)), first);
    EXPECT_NE(store.Get(Summary("a.csv", 101)), first);
    EXPECT_EQ(store.FilesRead(), 2u);
    store.KeepOnly({Summary("a.csv", 102)});
    EXPECT_EQ(store.HeldCurves(), 0u);
    store.Get(Summary("a.csv", 102));
    store.KeepOnly({Summary("a.csv", 102)});
    EXPECT_EQ(store.HeldCurves(), 1u);
}

// Rows at one a second, 8 V, with the given rows at other voltages.
std::vector<CurveRow> StoredRows(int count, std::vector<std::pair<int, double>> peaks = {}) {
    std::vector<CurveRow> rows;
    for (int i = 0; i < count; ++i) {
        rows.push_back(CurveRow{i, 8.0, -1.0, 9, i / 3.6, 0.0});
    }
    for (const auto& [at, volts] : peaks) {
        rows[static_cast<std::size_t>(at)].Volts = volts;
    }
    return rows;
}

double Seconds(const CurveRow& row) {
    return row.Seconds;
}

TEST(DecimatedRows, EveryRowUpToTheLimitElseTheLowestAndHighestOfEachColumn) {
    struct Case {
        const char* What;
        double From, To;
        int Columns;
        std::size_t AllUpTo;
        std::size_t Count;        // rows drawn
        std::size_t First, Last;  // the first and last drawn
    };
    const std::vector<Case> cases = {
        // 101 rows in [100, 200], and 99 and 201 to run on to the edges.
        {"a span of 101 rows, 101 allowed", 100, 200, 10, 101, 103, 99, 201},
        {"one row fewer allowed: a row a column and the last", 100, 200, 10, 100, 10 + 1 + 2, 99,
         201},
        {"from the start: no row before", 0, 100, 10, 1000, 101 + 1, 0, 101},
        {"to the end: no row after", 900, 999, 10, 1000, 1 + 100, 899, 999},
        {"the whole curve in 4 columns", 0, 999, 4, 10, 4 + 1, 0, 999},
        {"a span beyond the curve", 2000, 3000, 10, 1000, 1, 999, 999},
    };
    const std::vector<CurveRow> rows = StoredRows(1000);
    for (const Case& c : cases) {
        const std::vector<std::size_t> drawn =
            DecimatedRows(rows, Seconds, c.From, c.To, c.Columns, c.AllUpTo);
        ASSERT_FALSE(drawn.empty()) << c.What;
        EXPECT_EQ(drawn.size(), c.Count) << c.What;
        EXPECT_EQ(drawn.front(), c.First) << c.What;
        EXPECT_EQ(drawn.back(), c.Last) << c.What;
        EXPECT_TRUE(std::is_sorted(drawn.begin(), drawn.end())) << c.What;
    }
    EXPECT_TRUE(DecimatedRows(rows, Seconds, 5, 5, 10, 1000).empty());
    EXPECT_TRUE(DecimatedRows({}, Seconds, 0, 5, 10, 1000).empty());
}

TEST(DecimatedRows, APeakOrADipOfOneSecondIsNeverLost) {
    // 360,000 rows (a 100-hour Monitor) in 700 columns: about 514 a column.
    const std::vector<CurveRow> rows = StoredRows(360000, {{123457, 47.9}, {250001, 0.0}});
    const std::vector<std::size_t> drawn = DecimatedRows(rows, Seconds, 0, 359999, 700, 4000);
    EXPECT_LE(drawn.size(), 2u * 700u + 1u);
    EXPECT_NE(std::find(drawn.begin(), drawn.end(), 123457u), drawn.end());
    EXPECT_NE(std::find(drawn.begin(), drawn.end(), 250001u), drawn.end());
    // Zoomed to an hour and a half: every second.
    const std::vector<std::size_t> zoomed =
        DecimatedRows(rows, Seconds, 100000, 100000 + 5400, 700, 6000);
    EXPECT_EQ(zoomed.size(), 5401u + 2u);
}

}  // namespace
}  // namespace voltrex::results
