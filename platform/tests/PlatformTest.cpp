#include <gtest/gtest.h>

#include <clocale>

#include "platform/CFormat.h"
#include "platform/DynamicLibrary.h"
#include "platform/KeyValueLine.h"
#include "platform/SystemClock.h"
#include "testsupport/VirtualClock.h"

namespace voltrex {
namespace {

TEST(FormatTest, KeepsTheCMeaningOfPrintfFormats) {
    EXPECT_EQ(Format("%d:%02d:%02d", 100, 0, 5), "100:00:05");
    EXPECT_EQ(Format("%4.0f mA", 125.0), " 125 mA");
    EXPECT_EQ(Format("%1.1f%%", 0.1), "0.1%");
    EXPECT_EQ(Format("%5.2f", 3.5), " 3.50");
    const std::string longText(1000, 'v');
    EXPECT_EQ(Format("%s!", longText.c_str()), longText + "!");
}

TEST(FormatTest, UsesADecimalPointUnderAGermanLocale) {
    const char* german = std::setlocale(LC_ALL, "de_DE.UTF-8");
    const std::string formatted = Format("%1.2f", 12.5);
    double scanned = 0.0;
    const int count = ScanC("1.25", "%lf", &scanned);
    std::setlocale(LC_ALL, "C");
    if (german == nullptr) {
        GTEST_SKIP() << "no German locale installed";
    }
    EXPECT_EQ(formatted, "12.50");
    EXPECT_EQ(count, 1);
    EXPECT_EQ(scanned, 1.25);
}

TEST(VirtualClockTest, MovesOnlyWhenToldOrSleptOn) {
    testing::VirtualClock clock(1000);
    EXPECT_EQ(clock.Now(), 1000);
    clock.SleepMs(999);
    EXPECT_EQ(clock.Now(), 1000);
    clock.SleepMs(1);
    EXPECT_EQ(clock.Now(), 1001);
    clock.Advance(3600.5);
    EXPECT_EQ(clock.Now(), 4601);
    EXPECT_EQ(clock.SleptMs(), 1000);
    const LocalTime t = testing::VirtualClock(1773480413).ToLocalTime(1773480413);
    EXPECT_EQ(t.Year, 2026);
    EXPECT_EQ(t.Month, 3);
    EXPECT_EQ(t.Day, 14);
    EXPECT_EQ(t.Hour, 9);
    EXPECT_EQ(t.Minute, 26);
    EXPECT_EQ(t.Second, 53);
}

TEST(SystemClockTest, SleepsAtLeastTheAskedTime) {
    SystemClock clock;
    const double start = clock.Monotonic();
    clock.SleepMs(2);
    EXPECT_GE(clock.Monotonic() - start, 0.002);
}

TEST(DynamicLibraryTest, ReportsAMissingLibraryAndSymbol) {
    DynamicLibrary library;
    EXPECT_FALSE(library.Open("/nonexistent/libnothing.so"));
    EXPECT_FALSE(library.LastError().empty());
    EXPECT_EQ(library.Symbol("PortOut"), nullptr);
    ASSERT_TRUE(library.Open("libc.so.6"));
    EXPECT_NE(library.Symbol("strlen"), nullptr);
    EXPECT_EQ(library.Symbol("NoSuchSymbolAnywhere"), nullptr);
    library.Close();
    EXPECT_FALSE(library.IsOpen());
}

TEST(KeyValueLine, SplitsAtTheFirstEqualsSignAndTrimsBothParts) {
    struct Case {
        const char* Line;
        const char* Key;
        const char* Value;
    };
    for (const Case& c :
         {Case{"Cells = 7", "Cells", "7"}, Case{"\tName=\v a = b \r", "Name", "a = b"},
          Case{"=", "", ""}, Case{" Key =", "Key", ""}}) {
        const std::optional<KeyValue> pair = SplitKeyValue(c.Line);
        ASSERT_TRUE(pair) << c.Line;
        EXPECT_EQ(pair->Key, c.Key);
        EXPECT_EQ(pair->Value, c.Value);
    }
    EXPECT_FALSE(SplitKeyValue("Cells 7"));
    EXPECT_EQ(TrimBlanks(" \t\f\v\r\n"), "");
}

}  // namespace
}  // namespace voltrex
