// The bounded store of curves read whole, and the rows that draw a curve at a
// screen's width.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "CurveTestData.h"
#include "results/CurveEnvelopeBlob.h"
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

namespace voltrex::results {
namespace {

// A span read bisects a long file and gives the span's rows with one on
// each side, whatever the span's place: at the start, inside, at the end,
// beyond it.
TEST_F(CurveStoreTest, ASpanReadsItsRowsAndOneOnEachSide) {
    testing::CurvePlan plan;
    plan.Seconds = 20000;  // about 800 KB: many steps of bisection
    const std::string path = File("long.csv");
    Write(path, testing::CurveText(plan));
    const struct {
        int From, To, First, Last;
    } cases[] = {
        {0, 0, 0, 1},
        {0, 9, 0, 10},
        {1, 9, 0, 10},
        {10000, 10000, 9999, 10001},
        {12345, 13999, 12344, 14000},
        {19990, 20000, 19989, 20000},
        {20000, 30000, 19999, 20000},
    };
    for (const auto& c : cases) {
        const CurveFile span = ReadCurveSpan(path, c.From, c.To);
        ASSERT_FALSE(span.Rows.empty()) << c.From;
        EXPECT_EQ(span.Rows.front().Seconds, c.First) << c.From << ".." << c.To;
        EXPECT_EQ(span.Rows.back().Seconds, c.Last) << c.From << ".." << c.To;
        EXPECT_EQ(span.Rows.size(), static_cast<std::size_t>(c.Last - c.First + 1));
        EXPECT_EQ(span.Mode, "DIS");
        EXPECT_EQ(span.Rated, 2000);
    }
    CurveStore store;
    CurveFile summary;
    summary.Path = path;
    summary.Name = "long.csv";
    EXPECT_EQ(store.GetSpan(summary, 500, 600)->Rows.size(), 103u);
    EXPECT_EQ(store.HeldCurves(), 0u);  // a span is not kept
}

TEST(EnvelopeRows, EachStretchItsLowestAndHighestInTheCurvesDirection) {
    // Falling, then rising; a stretch of one second and one reading is one row.
    const std::vector<CurveEnvelopePoint> envelope = {
        {0, 9, 7.0F, 8.0F, 0, 0, 10.0},
        {10, 19, 6.0F, 7.5F, 0, 0, 20.0},
        {20, 20, 6.5F, 6.5F, 0, 0, 21.0},
        {21, 29, 6.8F, 7.9F, 0, 0, 30.0},
    };
    const std::vector<CurveRow> rows = EnvelopeRows(envelope);
    const struct {
        int Seconds;
        double Volts, Charge;
    } expected[] = {{0, 8.0, 10.0},  {9, 7.0, 10.0},  {10, 7.5, 10.0}, {19, 6.0, 20.0},
                    {20, 6.5, 20.0}, {21, 6.8, 21.0}, {29, 7.9, 30.0}};
    ASSERT_EQ(rows.size(), std::size(expected));
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].Seconds, expected[i].Seconds) << i;
        EXPECT_FLOAT_EQ(rows[i].Volts, expected[i].Volts) << i;
        EXPECT_DOUBLE_EQ(rows[i].MilliampHours, expected[i].Charge) << i;
    }
}

TEST(SecondsOfCharge, TheStretchesThatMoveTheCharge) {
    const std::vector<CurveEnvelopePoint> envelope = {
        {0, 9, 7, 8, 0, 0, 10.0}, {10, 19, 7, 8, 0, 0, 20.0}, {20, 29, 7, 8, 0, 0, 30.0}};
    const struct {
        double From, To;
        int Start, End;
    } cases[] = {
        {0.0, 5.0, 0, 9},     {10.0, 10.0, 0, 19},  {10.5, 19.9, 10, 19},
        {10.5, 20.0, 10, 29}, {25.0, 99.0, 20, 29}, {31.0, 40.0, 20, 29},
    };
    for (const auto& c : cases) {
        const auto [start, end] = SecondsOfCharge(envelope, c.From, c.To);
        EXPECT_EQ(start, c.Start) << c.From << ".." << c.To;
        EXPECT_EQ(end, c.End) << c.From << ".." << c.To;
    }
}

// The bytes the cache keeps: a whole envelope comes back to the millivolt,
// and bytes that are no envelope are none, by one byte or one millivolt.
TEST(EnvelopeBlob, ComesBackWholeAndRejectsWhatIsNoEnvelope) {
    const std::vector<CurveEnvelopePoint> envelope = {
        {0, 9, 7.0004F, 8.4F, -1.5F, -1.4F, 12.5},
        {10, 19, 0.0F, 47.9F, 0, 0, 25.0},
        {21, 21, 65.535F, 65.535F, 0, 0, 26.5},
    };
    const std::string bytes = EncodeEnvelope(envelope);
    ASSERT_EQ(bytes.size(), 8u + 16u * envelope.size());
    const auto back = DecodeEnvelope(bytes);
    ASSERT_TRUE(back);
    ASSERT_EQ(back->size(), envelope.size());
    for (std::size_t i = 0; i < envelope.size(); ++i) {
        EXPECT_EQ((*back)[i].FromSeconds, envelope[i].FromSeconds);
        EXPECT_EQ((*back)[i].ToSeconds, envelope[i].ToSeconds);
        EXPECT_EQ(EnvelopeMillivolts((*back)[i].MinVolts),
                  EnvelopeMillivolts(envelope[i].MinVolts));
        EXPECT_EQ(EnvelopeMillivolts((*back)[i].MaxVolts),
                  EnvelopeMillivolts(envelope[i].MaxVolts));
        EXPECT_DOUBLE_EQ((*back)[i].MilliampHours, envelope[i].MilliampHours);
    }
    EXPECT_FLOAT_EQ((*back)[0].MinVolts, 7.0F);
    EXPECT_TRUE(DecodeEnvelope(EncodeEnvelope({})));

    // A point's fields start at 8 + 16 * i: from, to, lowest, highest, charge.
    const auto with = [&](std::size_t at, std::uint32_t value, int size) {
        std::string changed = bytes;
        for (int i = 0; i < size; ++i) {
            changed[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
        }
        return changed;
    };
    const struct {
        const char* What;
        std::string Bytes;
        bool Envelope;
    } cases[] = {
        {"one byte short", bytes.substr(0, bytes.size() - 1), false},
        {"one byte over", bytes + '\0', false},
        {"no header", bytes.substr(0, 7), false},
        {"another magic", with(3, '2', 1), false},
        {"a count one over", with(4, 4, 4), false},
        {"a count over the most", with(4, MostEnvelopePoints + 1, 4), false},
        {"a stretch that ends before it starts", with(8 + 4, static_cast<std::uint32_t>(-1), 4),
         false},
        {"a stretch ending where it starts", with(8 + 4, 0, 4), true},
        {"a stretch starting where the last ended", with(8 + 16, 9, 4), false},
        {"a stretch starting just after the last", with(8 + 32, 20, 4), true},
        {"a negative second", with(8, 0x80000000U, 4), false},
        {"a lowest over the highest", with(8 + 8, 8401, 2), false},
        {"a lowest at the highest", with(8 + 8, 8400, 2), true},
        {"a charge not a number", with(8 + 12, 0x7FC00000U, 4), false},
        {"an infinite charge", with(8 + 12, 0x7F800000U, 4), false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DecodeEnvelope(c.Bytes).has_value(), c.Envelope) << c.What;
    }
}

TEST(EnvelopeBlob, MillivoltsHeldToTheirRange) {
    const struct {
        double Volts;
        int Millivolts;
    } cases[] = {{-0.2, 0},        {0.0, 0},        {0.0004, 0},     {0.0006, 1},   {8.4, 8400},
                 {65.5344, 65534}, {65.535, 65535}, {65.536, 65535}, {1.0e9, 65535}};
    for (const auto& c : cases) {
        EXPECT_EQ(EnvelopeMillivolts(c.Volts), c.Millivolts) << c.Volts;
    }
}

}  // namespace
}  // namespace voltrex::results
