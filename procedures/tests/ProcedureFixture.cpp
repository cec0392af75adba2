#include "procedures/tests/ProcedureFixture.h"

#include <sys/stat.h>

#include <algorithm>
#include <fstream>

#include "graph/GraphPlot.h"

namespace voltrex::testing {

std::vector<std::string> ReadLines(const std::string& path) {
    std::vector<std::string> lines;
    std::ifstream in(path, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        lines.push_back(line);
    }
    return lines;
}

bool FileExists(const std::string& path) {
    struct stat info = {};
    return ::stat(path.c_str(), &info) == 0;
}

::testing::AssertionResult SameRows(const RasterImage& actual, const RasterImage& expected, int top,
                                    int bottom) {
    for (int y = top; y < bottom; ++y) {
        for (int x = 0; x < actual.Width(); ++x) {
            if (actual.Pixel(x, y) != expected.Pixel(x, y)) {
                return ::testing::AssertionFailure() << "pixel (" << x << ", " << y << ") differs";
            }
        }
    }
    return ::testing::AssertionSuccess();
}

namespace {
// The text bands are 11 rows high; the top voltage label starts at row 11,
// the time labels end at row 461: these rows hold nothing but the title or
// the status line.
constexpr int TitleRows = 11;
constexpr int StatusRows = 16;
}  // namespace

void ExpectTitleBand(const RasterImage& actual, const std::string& title) {
    RasterImage expected(actual.Width(), actual.Height());
    GraphPlot plot(expected, 0.0, 0.0);
    SetTitleLine(plot, title);
    EXPECT_TRUE(SameRows(actual, expected, 0, TitleRows)) << "title \"" << title << "\"";
}

void ExpectStatusBand(const RasterImage& actual, const std::string& status) {
    RasterImage expected(actual.Width(), actual.Height());
    GraphPlot plot(expected, 0.0, 0.0);
    SetStatusLine(plot, status);
    EXPECT_TRUE(SameRows(actual, expected, actual.Height() - StatusRows, actual.Height()))
        << "status \"" << status << "\"";
}

CalibrationBlock LinearCalibration() {
    CalibrationBlock calibration;
    for (int i = 0; i < 12; ++i) {
        calibration.BitWeights[static_cast<std::size_t>(i)] = VoltsPerCount * (1 << i);
    }
    calibration.LowSideMultiplier = 1.0;
    calibration.HighSideMultiplier = 1.0;
    return calibration;
}

Configuration HandBuiltConfiguration() {
    Configuration config;
    config.PortAddress = 0x378;
    config.Calibration = LinearCalibration();
    for (std::size_t r = 0; r < 16; ++r) {
        config.ChargeCurrent[r] = static_cast<double>(r) / 10.0;
        config.DischargeCurrent[r] = static_cast<double>(r) / 5.0;
    }
    config.ChargeRateCount = 16;
    config.NiCdDeltaV = 0.01;
    config.NiCdVmin = 1.0;
    config.NiMHDeltaV = 0.005;
    config.NiMHVmin = 1.0;
    config.DeltaVDuration = 30;
    config.CycleTerminationRatio = 1.001;
    config.CycleRestTime = 10;
    config.LiPoVmax = 4.2;
    config.LiPoVmin = 3.0;
    config.LiNPVmax = 3.6;
    config.LiNPVmin = 2.5;
    config.PbAcidVmax = 2.45;
    config.PbAcidVmin = 1.8;
    return config;
}

void RecordedProcedureTest::SetUp() {
    instrument.BindPort(port);
    instrument.SetPortAddress(config.PortAddress);
    settings.CellType = "NiMH";
    settings.Capacity = 2000;
    settings.NumberOfCells = 6;
    settings.ChargeRate = 10;
    settings.DischargeRate = 5;
    settings.MaximumCycles = 3;
    SetVoltage(7.2);
    port.ClearLog();
}

void RecordedProcedureTest::SetVoltage(double volts) {
    port.SetFlipCounts(0, static_cast<int>(std::lround(volts / VoltsPerCount)));
}

void RecordedProcedureTest::SetVoltageFunction(std::function<double()> volts) {
    port.SetStatusFunction([volts = std::move(volts)](int count) -> std::uint8_t {
        const long flip = std::lround(volts() / VoltsPerCount);
        // Low side already through at count 0; high side below its flip count.
        return count < flip ? 0x0F : 0x07;
    });
}

std::vector<std::string> RecordedProcedureTest::ResultLines() const {
    return ReadLines(folder.File("Voltrex2.csv"));
}

std::vector<std::uint8_t> RecordedProcedureTest::DriveWrites() const {
    std::vector<std::uint8_t> values;
    bool pulseClear = false;
    for (const RecordingPort::Write& w : port.Writes()) {
        if ((w.Value & 0xC0) != 0) {
            pulseClear = true;
            continue;
        }
        if (pulseClear) {
            pulseClear = false;
            continue;
        }
        values.push_back(w.Value);
    }
    return values;
}

}  // namespace voltrex::testing
