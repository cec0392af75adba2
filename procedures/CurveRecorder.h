#pragma once

#include <cstdint>
#include <string>

#include "platform/Clock.h"
#include "platform/RegularFile.h"

namespace voltrex {

// How a test ended, as its curve file's last line says it. The screen and the
// results file say nothing of it.
enum class TestEnd {
    EndVoltage,
    DeltaV,
    RateSteppedDownToZero,
    TimeLimit,
    StoppedByUser,
    MeasurementFailure,
    // The pack read above the most its cells may ever read while charging.
    OverVoltage,
};

// The text of the "# End:" line.
const char* TestEndText(TestEnd end);

// The curve of one test, kept as data in the working directory's folder
// "curves/", one file per test named by its start and mode
// ("20261208-141503-DIS.csv"):
//
//   # Key: value          header lines: what the test was and how it ran
//   seconds,volts,amperes,rate,mAh,mWh
//   0,8.5593,-1.503,10,0.0000,0.0000
//   ...                   one row per elapsed second
//   # End: reason
//
// A second in which no pass took a reading (a pass held up for longer than a
// second) has no row: there is nothing to average.
//
// A row holds the mean of that second's smoothed readings (the running mean a
// graph column keeps), the current flowing (positive charging, negative
// discharging), the rate setting and the charge and energy counted so far.
// Rows are appended as each second ends, so that a crash loses at most the
// last one; the file reaches the disk when the test ends. Numbers are written
// with a decimal point whatever the locale, lines end in LF.
//
// A curve that cannot be written costs the curve, never the test: the
// recorder stops writing and keeps the reason for the caller to show once the
// test is over. Adding a reading costs a few comparisons; a line is made and
// written once a second.
class CurveRecorder {
  public:
    static constexpr const char* FolderName = "curves";

    CurveRecorder() = default;
    CurveRecorder(const CurveRecorder&) = delete;
    CurveRecorder& operator=(const CurveRecorder&) = delete;

    // Creates the file for a test that starts now in folder (the working
    // directory's "curves", made when missing) and writes the header lines,
    // each "Key: value" given without its "# " and line end.
    // A file of the same name is never overwritten: a second test started in
    // the same second gets "-2" (and so on) after its mode.
    void Start(const std::string& folder, const LocalTime& start, const char* mode,
               const std::string& headerLines);

    // One smoothed reading of a pass at elapsed seconds, with what flows and
    // what has been counted after it. A non-finite reading has no place in a
    // mean and is left out, as the graph leaves it out.
    void Add(std::int64_t elapsed, double volts, double amperes, std::int32_t rate,
             double ampSeconds, double wattSeconds);

    // Writes the last second's row and the end line, and flushes the file to
    // the disk. Later calls do nothing.
    void Finish(TestEnd end);

    // Why the curve could not be written, for a message: empty while it can.
    const std::string& Problem() const { return problem_; }
    // The file's path (empty before Start or when it could not be created).
    const std::string& Path() const { return path_; }

  private:
    void WriteRow();
    void Write(const std::string& text);
    void Fail(const std::string& what, int error);

    RegularFile file_;
    std::string path_;
    std::string problem_;
    bool open_ = false;

    // The second being gathered.
    bool pending_ = false;
    std::int64_t second_ = 0;
    double mean_ = 0.0;
    double weight_ = 0.0;
    double amperes_ = 0.0;
    std::int32_t rate_ = 0;
    double ampSeconds_ = 0.0;
    double wattSeconds_ = 0.0;
};

}  // namespace voltrex
