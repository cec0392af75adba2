#include "config/ConfigurationReader.h"

#include <fcntl.h>

#include <cstring>

#include "platform/CFormat.h"
#include "platform/RegularFile.h"

namespace voltrex {

namespace {

// Closes the file on every way out of the reader.
struct FileCloser {
    std::FILE* file;
    ~FileCloser() { std::fclose(file); }
};

bool IsSkippedStart(char c) {
    return c == ';' || c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

// One row of the file: how many values its conversion must yield and the two
// messages. The parse itself is written out per row below, since each row
// scans into different fields with its own conversion.
struct Row {
    const char* missing;
    const char* invalid;
};

constexpr Row PortRow{"Could not read port address.", "Invalid port address format."};
constexpr Row WeightRow{"Could not read next bit weight.", "Invalid bit weight format."};
constexpr Row LowRow{"Could not read low-side multiplier.", "Invalid low-side multiplier format."};
constexpr Row HighRow{"Could not read high-side multiplier.",
                      "Invalid high-side multiplier format."};
constexpr Row RateRow{"Could not read next charge/discharge rate pair.",
                      "Invalid charge/discharge rate pair format."};
constexpr Row RateCountRow{"Could not read Number of charge rates.",
                           "Invalid Number of charge rates format."};
constexpr Row NiCdRow{"Could not read NiCd delta-V and Vmin.",
                      "Invalid NiCd delta-V and Vmin format."};
constexpr Row NiMHRow{"Could not read NiMH delta-V and Vmin.",
                      "Invalid NiMH delta-V and Vmin format."};
constexpr Row DurationRow{"Could not read NiCd/NiM delta-V duration.",
                          "Invalid NiCd/NiM delta-V duration format."};
constexpr Row RatioRow{"Could not read auto cycle termination ratio.",
                       "Invalid auto cycle termination ratio format."};
constexpr Row RestRow{"Could not read cycle rest time.", "Invalid cycle rest time format."};
constexpr Row LiPoRow{"Could not read LiPo Vmax and Vmin.", "Invalid LiPo Vmax and Vmin format."};
constexpr Row LiNPRow{"Could not read LiNP Vmax and Vmin.", "Invalid LiNP Vmax and Vmin format."};
constexpr Row PbAcidRow{"Could not read PbAcid Vmax and Vmin.",
                        "Invalid PbAcid Vmax and Vmin format."};

// Reads one row: fetches the next significant line and scans it with the
// row's conversion. Returns the message on failure, nullptr on success.
class RowReader {
  public:
    explicit RowReader(std::FILE* file) : file_(file) {}

    template <typename... Targets>
    const char* Read(const Row& row, int expected, const char* conversion, Targets*... targets) {
        const char* line = ReadConfigLine(file_, buffer_, linesEnded_, lastLine_);
        if (line == nullptr) {
            return row.missing;
        }
        // The scan stores each value as it converts it, so a pair line with one
        // number leaves that number stored, as the user's file said.
        if (ScanC(line, conversion, targets...) < expected) {
            return row.invalid;
        }
        return nullptr;
    }

    // The line number of the last line read.
    std::int32_t LastLine() const { return lastLine_; }

  private:
    std::FILE* file_;
    char buffer_[ConfigLineBufferSize];
    std::int32_t linesEnded_ = 0;
    std::int32_t lastLine_ = 0;
};

}  // namespace

const char* ReadConfigLine(std::FILE* file, char (&buffer)[ConfigLineBufferSize]) {
    std::int32_t linesEnded = 0;
    std::int32_t lineNumber = 0;
    return ReadConfigLine(file, buffer, linesEnded, lineNumber);
}

const char* ReadConfigLine(std::FILE* file, char (&buffer)[ConfigLineBufferSize],
                           std::int32_t& linesEnded, std::int32_t& lineNumber) {
    while (std::fgets(buffer, ConfigLineBufferSize, file) != nullptr) {
        lineNumber = linesEnded + 1;
        if (std::strchr(buffer, '\n') != nullptr) {
            ++linesEnded;
        }
        if (!IsSkippedStart(buffer[0])) {
            return buffer;
        }
    }
    return nullptr;
}

std::optional<std::string> ReadConfiguration(Configuration& config, const std::string& path) {
    // Only a regular file is read: a FIFO in its place would otherwise block
    // the program at start-up for good, before its window ever appears.
    std::FILE* file = RegularFile::Open(path, O_RDONLY).ReleaseToStream("r");
    if (file == nullptr) {
        return std::string("Could not open Voltrex2.ini for reading.");
    }
    FileCloser closer{file};
    RowReader rows(file);
    const char* message = nullptr;
    auto read = [&](auto&&... args) {
        if (message == nullptr) {
            message = rows.Read(args...);
        }
        return message == nullptr;
    };

    read(PortRow, 1, "%hx", &config.PortAddress);
    for (double& weight : config.Calibration.BitWeights) {
        if (!read(WeightRow, 1, "%lf", &weight)) {
            break;
        }
    }
    read(LowRow, 1, "%lf", &config.Calibration.LowSideMultiplier);
    read(HighRow, 1, "%lf", &config.Calibration.HighSideMultiplier);
    for (std::size_t r = 0; r < config.ChargeCurrent.size(); ++r) {
        if (!read(RateRow, 2, "%lf %lf", &config.ChargeCurrent[r], &config.DischargeCurrent[r])) {
            break;
        }
    }
    read(RateCountRow, 1, "%d", &config.ChargeRateCount);
    read(NiCdRow, 2, "%lf %lf", &config.NiCdDeltaV, &config.NiCdVmin);
    config.NiCdLine = rows.LastLine();
    read(NiMHRow, 2, "%lf %lf", &config.NiMHDeltaV, &config.NiMHVmin);
    config.NiMHLine = rows.LastLine();
    read(DurationRow, 1, "%d", &config.DeltaVDuration);
    read(RatioRow, 1, "%lf", &config.CycleTerminationRatio);
    read(RestRow, 1, "%d", &config.CycleRestTime);
    read(LiPoRow, 2, "%lf %lf", &config.LiPoVmax, &config.LiPoVmin);
    config.LiPoLine = rows.LastLine();
    read(LiNPRow, 2, "%lf %lf", &config.LiNPVmax, &config.LiNPVmin);
    config.LiNPLine = rows.LastLine();
    read(PbAcidRow, 2, "%lf %lf", &config.PbAcidVmax, &config.PbAcidVmin);
    config.PbAcidLine = rows.LastLine();

    if (message != nullptr) {
        return std::string(message);
    }
    return std::nullopt;
}

}  // namespace voltrex
