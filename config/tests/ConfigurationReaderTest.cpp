#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "config/ConfigurationReader.h"
#include "testsupport/ChildProcess.h"

namespace voltrex {
namespace {

namespace fs = std::filesystem;

// The 40 value lines of a complete file, in order.
std::vector<std::string> CompleteLines() {
    std::vector<std::string> lines{"378"};
    for (int i = 0; i < 12; ++i) {
        lines.push_back(std::to_string(1 << i) + ".5");  // 1.5, 2.5, 4.5 ...
    }
    lines.push_back("0.25");    // low side
    lines.push_back("0.0125");  // high side
    for (int r = 0; r < 16; ++r) {
        lines.push_back(std::to_string(r) + ".125 " + std::to_string(r) + ".25");
    }
    lines.insert(lines.end(), {"16", "0.005 1.0", "0.003 1.05", "30", "1.001", "60", "4.20 3.00",
                               "3.60 2.50", "2.40 1.80"});
    return lines;
}

class ConfigurationReaderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ =
            fs::temp_directory_path() /
            ("voltrex-config-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
             "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
        path_ = (dir_ / "Voltrex2.ini").string();
    }
    void TearDown() override { fs::remove_all(dir_); }

    void WriteFile(const std::string& text) {
        std::ofstream out(path_, std::ios::binary);
        out << text;
    }
    void WriteLines(const std::vector<std::string>& lines, const char* end = "\n") {
        std::string text;
        for (const std::string& line : lines) {
            text += line + end;
        }
        WriteFile(text);
    }
    std::optional<std::string> Read() { return ReadConfiguration(config_, path_); }

    fs::path dir_;
    std::string path_;
    Configuration config_;
};

TEST_F(ConfigurationReaderTest, ReadsEveryFieldOfACompleteFile) {
    WriteLines(CompleteLines(), "\r\n");
    ASSERT_EQ(Read(), std::nullopt);
    EXPECT_EQ(config_.PortAddress, 0x378);
    EXPECT_DOUBLE_EQ(config_.Calibration.BitWeights[0], 1.5);
    EXPECT_DOUBLE_EQ(config_.Calibration.BitWeights[11], 2048.5);
    EXPECT_DOUBLE_EQ(config_.Calibration.LowSideMultiplier, 0.25);
    EXPECT_DOUBLE_EQ(config_.Calibration.HighSideMultiplier, 0.0125);
    EXPECT_DOUBLE_EQ(config_.ChargeCurrent[0], 0.125);
    EXPECT_DOUBLE_EQ(config_.DischargeCurrent[15], 15.25);
    EXPECT_EQ(config_.ChargeRateCount, 16);
    EXPECT_DOUBLE_EQ(config_.NiCdDeltaV, 0.005);
    EXPECT_DOUBLE_EQ(config_.NiMHVmin, 1.05);
    EXPECT_EQ(config_.DeltaVDuration, 30);
    EXPECT_DOUBLE_EQ(config_.CycleTerminationRatio, 1.001);
    EXPECT_EQ(config_.CycleRestTime, 60);
    EXPECT_DOUBLE_EQ(config_.LiPoVmax, 4.20);
    EXPECT_DOUBLE_EQ(config_.LiNPVmin, 2.50);
    EXPECT_DOUBLE_EQ(config_.PbAcidVmax, 2.40);
    EXPECT_DOUBLE_EQ(config_.PbAcidVmin, 1.80);
    // Where each chemistry's limits stand, for the messages that name them.
    EXPECT_EQ(config_.NiCdLine, 33);
    EXPECT_EQ(config_.NiMHLine, 34);
    EXPECT_EQ(config_.LiPoLine, 38);
    EXPECT_EQ(config_.LiNPLine, 39);
    EXPECT_EQ(config_.PbAcidLine, 40);
}

TEST_F(ConfigurationReaderTest, MissingAndEmptyFiles) {
    EXPECT_EQ(Read(), "Could not open Voltrex2.ini for reading.");
    WriteFile("");
    EXPECT_EQ(Read(), "Could not read port address.");
    WriteFile("; only a comment\n\n   \n\t378\n");
    EXPECT_EQ(Read(), "Could not read port address.");
}

TEST_F(ConfigurationReaderTest, OnlyARegularFileIsReadAndAFifoIsRefusedAtOnce) {
    ASSERT_EQ(::mkfifo(path_.c_str(), 0600), 0);
    // Nobody at the other end, where a blocking open would wait; then a writer
    // that never writes, where a blocking read would.
    const int refused = testing::RunInChild([this] {
        const char* const unopened = "Could not open Voltrex2.ini for reading.";
        int count = Read() == unopened;
        const int writer = ::open(path_.c_str(), O_RDWR);
        count += Read() == unopened;
        ::close(writer);
        return count;
    });
    EXPECT_EQ(refused, 2);

    fs::remove(path_);
    const std::string real = (dir_ / "real.ini").string();
    ASSERT_EQ(::symlink(real.c_str(), path_.c_str()), 0);
    EXPECT_EQ(Read(), "Could not open Voltrex2.ini for reading.");  // dangling
    path_ = real;
    WriteLines(CompleteLines());
    path_ = (dir_ / "Voltrex2.ini").string();
    EXPECT_EQ(Read(), std::nullopt);
    EXPECT_EQ(config_.PortAddress, 0x378);

    // A folder of that name opens for reading, but holds no lines.
    fs::remove(path_);
    fs::create_directory(path_);
    EXPECT_EQ(Read(), "Could not open Voltrex2.ini for reading.");
}

TEST_F(ConfigurationReaderTest, PortAddressForms) {
    for (const char* first : {"378", "0x378", "378 ; the LPT1 data register", "0X378"}) {
        std::vector<std::string> lines = CompleteLines();
        lines[0] = first;
        WriteLines(lines);
        config_.PortAddress = 0;
        EXPECT_EQ(Read(), std::nullopt) << first;
        EXPECT_EQ(config_.PortAddress, 888) << first;
    }
}

TEST_F(ConfigurationReaderTest, LineWithLeadingBlankIsNotSignificant) {
    // " 278" is skipped, so "378" below it becomes the port and every later
    // line shifts up by one: the rate pair rows then meet a single number.
    std::vector<std::string> lines = CompleteLines();
    lines.insert(lines.begin(), " 278");
    WriteLines(lines);
    EXPECT_EQ(Read(), std::nullopt);
    EXPECT_EQ(config_.PortAddress, 0x378);
}

TEST_F(ConfigurationReaderTest, CommentsAndValueTails) {
    std::vector<std::string> lines = CompleteLines();
    std::vector<std::string> withComments;
    for (const std::string& line : lines) {
        withComments.push_back("; a remark about the next value");
        withComments.push_back("");
        withComments.push_back(line + "   ; volts, or whatever");
    }
    WriteLines(withComments);
    ASSERT_EQ(Read(), std::nullopt);
    EXPECT_DOUBLE_EQ(config_.PbAcidVmin, 1.80);
    EXPECT_DOUBLE_EQ(config_.ChargeCurrent[3], 3.125);
    // Line numbers as an editor shows them: comments and blank lines count.
    EXPECT_EQ(config_.NiCdLine, 3 * 33);
    EXPECT_EQ(config_.LiPoLine, 3 * 38);
    EXPECT_EQ(config_.PbAcidLine, 3 * 40);
}

TEST_F(ConfigurationReaderTest, AShortWeightListShiftsLaterRows) {
    std::vector<std::string> lines = CompleteLines();
    lines.erase(lines.begin() + 5);  // one weight line too few
    WriteLines(lines);
    // The line with the number of charge rates lands in the last pair row.
    EXPECT_EQ(Read(), "Invalid charge/discharge rate pair format.");
    // That row's charge current already took the number.
    EXPECT_DOUBLE_EQ(config_.ChargeCurrent[15], 16.0);
}

TEST_F(ConfigurationReaderTest, PartialUpdateOnFailure) {
    config_.NiCdDeltaV = 9.0;
    config_.ChargeCurrent[4] = 9.0;
    config_.DischargeCurrent[4] = 9.0;
    std::vector<std::string> lines = CompleteLines();
    lines[15 + 4] = "0.5 oops";  // rate pair row 4 with one number
    WriteLines(lines);
    EXPECT_EQ(Read(), "Invalid charge/discharge rate pair format.");
    EXPECT_EQ(config_.PortAddress, 0x378);  // before: new
    EXPECT_DOUBLE_EQ(config_.ChargeCurrent[3], 3.125);
    EXPECT_DOUBLE_EQ(config_.ChargeCurrent[4], 0.5);     // the failing line's first value
    EXPECT_DOUBLE_EQ(config_.DischargeCurrent[4], 9.0);  // its second keeps the old value
    EXPECT_DOUBLE_EQ(config_.NiCdDeltaV, 9.0);           // after: old
}

TEST_F(ConfigurationReaderTest, ExtraLinesAfterTheLastRowAreIgnored) {
    std::vector<std::string> lines = CompleteLines();
    lines.push_back("garbage that is never read");
    WriteLines(lines);
    EXPECT_EQ(Read(), std::nullopt);
}

TEST_F(ConfigurationReaderTest, NoRangeChecks) {
    std::vector<std::string> lines = CompleteLines();
    lines[0] = "0";
    lines[1] = "-3";
    lines[31] = "40";
    lines[36] = "-5";
    WriteLines(lines);
    EXPECT_EQ(Read(), std::nullopt);
    EXPECT_EQ(config_.PortAddress, 0);
    EXPECT_DOUBLE_EQ(config_.Calibration.BitWeights[0], -3.0);
    EXPECT_EQ(config_.ChargeRateCount, 40);
    EXPECT_EQ(config_.CycleRestTime, -5);
}

// Every row's two messages: a file that stops just before the row, and a
// file whose line for that row does not parse.
struct RowCase {
    int line;  // 0-based index into CompleteLines()
    const char* missing;
    const char* invalid;
};

TEST_F(ConfigurationReaderTest, EveryMessage) {
    const RowCase rows[] = {
        {0, "Could not read port address.", "Invalid port address format."},
        {1, "Could not read next bit weight.", "Invalid bit weight format."},
        {12, "Could not read next bit weight.", "Invalid bit weight format."},
        {13, "Could not read low-side multiplier.", "Invalid low-side multiplier format."},
        {14, "Could not read high-side multiplier.", "Invalid high-side multiplier format."},
        {15, "Could not read next charge/discharge rate pair.",
         "Invalid charge/discharge rate pair format."},
        {30, "Could not read next charge/discharge rate pair.",
         "Invalid charge/discharge rate pair format."},
        {31, "Could not read Number of charge rates.", "Invalid Number of charge rates format."},
        {32, "Could not read NiCd delta-V and Vmin.", "Invalid NiCd delta-V and Vmin format."},
        {33, "Could not read NiMH delta-V and Vmin.", "Invalid NiMH delta-V and Vmin format."},
        {34, "Could not read NiCd/NiM delta-V duration.",
         "Invalid NiCd/NiM delta-V duration format."},
        {35, "Could not read auto cycle termination ratio.",
         "Invalid auto cycle termination ratio format."},
        {36, "Could not read cycle rest time.", "Invalid cycle rest time format."},
        {37, "Could not read LiPo Vmax and Vmin.", "Invalid LiPo Vmax and Vmin format."},
        {38, "Could not read LiNP Vmax and Vmin.", "Invalid LiNP Vmax and Vmin format."},
        {39, "Could not read PbAcid Vmax and Vmin.", "Invalid PbAcid Vmax and Vmin format."},
    };
    for (const RowCase& row : rows) {
        std::vector<std::string> lines = CompleteLines();
        lines.resize(static_cast<std::size_t>(row.line));
        WriteLines(lines);
        EXPECT_EQ(Read(), row.missing) << "line " << row.line + 1;

        lines = CompleteLines();
        lines[static_cast<std::size_t>(row.line)] = "x";
        WriteLines(lines);
        EXPECT_EQ(Read(), row.invalid) << "line " << row.line + 1;
    }
}

TEST_F(ConfigurationReaderTest, LongLinesSplitAt254Characters) {
    // A 300-character line is read as two: the second begins at character 255.
    std::string longLine = "378" + std::string(251, 'z') + "5.5" + std::string(43, 'b');
    ASSERT_EQ(longLine.size(), 300u);
    std::vector<std::string> lines = CompleteLines();
    lines[0] = longLine;
    lines.erase(lines.begin() + 1);  // the tail of the long line is weight 0
    WriteLines(lines);
    EXPECT_EQ(Read(), std::nullopt);
    EXPECT_EQ(config_.PortAddress, 0x378);
    EXPECT_DOUBLE_EQ(config_.Calibration.BitWeights[0], 5.5);
    // The two halves of the long line are one line in an editor.
    EXPECT_EQ(config_.LiPoLine, 37);
}

TEST_F(ConfigurationReaderTest, ReadConfigLineBufferSemantics) {
    WriteFile(";c\n\nabc\n" + std::string(254, 'x') + "\n");
    std::FILE* file = std::fopen(path_.c_str(), "r");
    ASSERT_NE(file, nullptr);
    char buffer[ConfigLineBufferSize];
    EXPECT_STREQ(ReadConfigLine(file, buffer), "abc\n");
    // Exactly 254 characters fill the buffer; the newline is the next "line",
    // and a line that starts with white space is skipped.
    EXPECT_EQ(std::string(ReadConfigLine(file, buffer)), std::string(254, 'x'));
    EXPECT_EQ(ReadConfigLine(file, buffer), nullptr);
    std::fclose(file);
}

TEST_F(ConfigurationReaderTest, NumbersUseADecimalPointWhateverTheLocale) {
    // A German desktop makes the C library's default numeric separator a comma.
    const char* german = std::setlocale(LC_ALL, "de_DE.UTF-8");
    if (german == nullptr) {
        german = std::setlocale(LC_ALL, "de_DE");
    }
    WriteLines(CompleteLines());
    const auto result = Read();
    std::setlocale(LC_ALL, "C");
    if (german == nullptr) {
        GTEST_SKIP() << "no German locale installed";
    }
    EXPECT_EQ(result, std::nullopt);
    EXPECT_DOUBLE_EQ(config_.CycleTerminationRatio, 1.001);
}

}  // namespace
}  // namespace voltrex
