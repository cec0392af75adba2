#include "calibrate/CalibrationWriter.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "config/ConfigurationReader.h"
#include "testsupport/TempFolder.h"
#include "testsupport/VirtualClock.h"

namespace voltrex::testing {
namespace {

std::string Sample() {
    std::ifstream in(VOLTREX_SAMPLE_INI, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The lines of a text, each with its own line end.
std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = std::min(text.find('\n', start), text.size() - 1) + 1;
        lines.push_back(text.substr(start, end - start));
        start = end;
    }
    return lines;
}

TEST(CalibrationWriter, OnlyTheCalibratedNumbersChange) {
    // The sample with a remark after a weight, CR LF on some lines and LF on
    // others, a rate line indented by a tab after its first number.
    std::string text = Sample();
    text.replace(text.find("0.00196764\n"), 11, "0.00196764   ; bit 1, measured 2025\r\n");
    text.replace(text.find("0.699 1.002"), 11, "0.699\t1.002");
    CalibrationResult result;
    result.HighSideMultiplier = 13.5123;
    result.DischargeCurrent[8] = 1.0311;
    result.ChargeCurrent[15] = 4.1;
    std::string updated;
    ASSERT_EQ(ApplyCalibration(text, result, updated), std::nullopt);

    const std::vector<std::string> before = Lines(text);
    const std::vector<std::string> after = Lines(updated);
    ASSERT_EQ(before.size(), after.size());
    std::vector<std::string> changed;
    for (std::size_t i = 0; i < before.size(); ++i) {
        if (before[i] != after[i]) {
            changed.push_back(after[i]);
        }
    }
    EXPECT_EQ(changed, (std::vector<std::string>{"13.5123\n", "0.699\t1.0311\n", "4.1 5.008\n"}));

    TempFolder folder;
    folder.Write("Voltrex2.ini", updated);
    Configuration config;
    ASSERT_EQ(ReadConfiguration(config, folder.File("Voltrex2.ini")), std::nullopt);
    EXPECT_EQ(config.Calibration.HighSideMultiplier, 13.5123);
    EXPECT_EQ(config.Calibration.BitWeights[1], 0.00196764);
    EXPECT_EQ(config.DischargeCurrent[8], 1.0311);
    EXPECT_EQ(config.ChargeCurrent[8], 0.699);
    EXPECT_EQ(config.ChargeCurrent[15], 4.1);
}

TEST(CalibrationWriter, ASkippedStepKeepsTheFileByteForByte) {
    const std::string text = Sample();
    std::string updated;
    ASSERT_EQ(ApplyCalibration(text, CalibrationResult{}, updated), std::nullopt);
    EXPECT_EQ(updated, text);
}

TEST(CalibrationWriter, RefusesLinesItCannotFindOrRewrite) {
    CalibrationResult result;
    result.LowSideMultiplier = 2.0;
    std::string updated;
    const std::string shortFile = "378\n0.001\n";
    EXPECT_NE(ApplyCalibration(shortFile, result, updated), std::nullopt);
    std::string text = Sample();
    text.replace(text.find("2.00318\n"), 8, "2.00318 ;" + std::string(250, 'x') + "\n");
    EXPECT_NE(ApplyCalibration(text, result, updated), std::nullopt);
    EXPECT_NE(
        ApplyCalibration(Sample().replace(Sample().find("2.00318"), 7, "two"), result, updated),
        std::nullopt);
}

TEST(CalibrationWriter, SaveKeepsADatedCopyAndAddsAHistoryLine) {
    TempFolder folder;
    folder.Write("Voltrex2.ini", Sample());
    VirtualClock clock;  // 2026-03-14 09:26:53
    CalibrationResult result;
    result.BitWeights = std::array<double, 12>{};
    for (std::size_t bit = 0; bit < 12; ++bit) {
        (*result.BitWeights)[bit] = 0.001 * (1 << bit);
    }
    result.WeightResidualRms = 0.00012;
    result.ConverterOffset = -0.00003;
    result.DischargeCurrent[1] = 0.1;
    result.DischargeCurrent[2] = 0.15;
    result.MeterName = "UT61E";
    std::string copy;
    std::string historyProblem;
    for (int save = 0; save < 2; ++save) {
        ASSERT_EQ(SaveCalibration(folder.File("Voltrex2.ini"), result, clock, copy, historyProblem),
                  std::nullopt);
        EXPECT_EQ(historyProblem, "");
    }
    EXPECT_EQ(folder.Files(), (std::vector<std::string>{
                                  "Voltrex2-20260314-092653-2.ini", "Voltrex2-20260314-092653.ini",
                                  "Voltrex2-calibration.log", "Voltrex2.ini"}));
    EXPECT_EQ(ReadFile(folder.File("Voltrex2-20260314-092653.ini")), Sample());
    EXPECT_EQ(ReadFile(folder.File("Voltrex2-calibration.log")),
              std::string("; Voltrex II calibration history: one line per saved calibration\n") +
                  "2026-03-14 09:26:53; weights: residual 0.120 mV, converter offset -0.030 mV; "
                  "discharge currents of rates 1,2; meter: 4 1/2-digit meter (UT61E)\n"
                  "2026-03-14 09:26:53; weights: residual 0.120 mV, converter offset -0.030 mV; "
                  "discharge currents of rates 1,2; meter: 4 1/2-digit meter (UT61E)\n");
}

}  // namespace
}  // namespace voltrex::testing
