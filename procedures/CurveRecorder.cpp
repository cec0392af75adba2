#include "procedures/CurveRecorder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>

#include "platform/CFormat.h"
#include "platform/WriteAll.h"

namespace voltrex {

namespace {

constexpr const char* ColumnLine = "seconds,volts,amperes,rate,mAh,mWh\n";
// Other names tried when a test of the same mode started in the same second.
constexpr int MostNamesTried = 9;

}  // namespace

const char* TestEndText(TestEnd end) {
    switch (end) {
        case TestEnd::EndVoltage:
            return "end voltage reached";
        case TestEnd::DeltaV:
            return "delta-V";
        case TestEnd::RateSteppedDownToZero:
            return "rate stepped down to 0";
        case TestEnd::TimeLimit:
            return "time limit";
        case TestEnd::StoppedByUser:
            return "stopped by the user";
        case TestEnd::MeasurementFailure:
            return "measurement failure";
        case TestEnd::OverVoltage:
            return "above the pack's highest voltage";
    }
    return "unknown";
}

void CurveRecorder::Start(const std::string& folder, const LocalTime& start, const char* mode,
                          const std::string& headerLines) {
    if (::mkdir(folder.c_str(), 0777) != 0 && errno != EEXIST) {
        Fail("the folder " + folder + " cannot be made", errno);
        return;
    }
    const std::string stem = Format("%04d%02d%02d-%02d%02d%02d-%s", start.Year, start.Month,
                                    start.Day, start.Hour, start.Minute, start.Second, mode);
    for (int attempt = 1; attempt <= MostNamesTried; ++attempt) {
        const std::string name = attempt == 1 ? stem : Format("%s-%d", stem.c_str(), attempt);
        path_ = folder + "/" + name + ".csv";
        // 0666 less the umask, as the results file and any text file the user
        // makes; never through a name that is already there.
        file_ = RegularFile::Open(path_, O_WRONLY | O_CREAT | O_EXCL | O_APPEND, 0666);
        if (file_ || file_.Error() != EEXIST) {
            break;
        }
    }
    if (!file_) {
        Fail(path_ + " cannot be created", file_.Error());
        return;
    }
    open_ = true;
    std::string header;
    std::size_t from = 0;
    while (from < headerLines.size()) {
        std::size_t to = headerLines.find('\n', from);
        if (to == std::string::npos) {
            to = headerLines.size();
        }
        header += "# " + headerLines.substr(from, to - from) + '\n';
        from = to + 1;
    }
    Write(header + ColumnLine);
}

void CurveRecorder::Add(std::int64_t elapsed, double volts, double amperes, std::int32_t rate,
                        double ampSeconds, double wattSeconds) {
    if (!open_ || elapsed < 0) {
        return;
    }
    if (pending_ && elapsed != second_) {
        WriteRow();
    }
    if (!pending_) {
        pending_ = true;
        second_ = elapsed;
        weight_ = 0.0;
    }
    if (std::isfinite(volts)) {
        mean_ = weight_ > 0.1 ? (mean_ * weight_ + volts) / (weight_ + 1.0) : volts;
        weight_ += 1.0;
    }
    amperes_ = amperes;
    rate_ = rate;
    ampSeconds_ = ampSeconds;
    wattSeconds_ = wattSeconds;
}

void CurveRecorder::WriteRow() {
    pending_ = false;
    if (weight_ < 0.5) {
        return;  // a second of nothing but readings that were no number
    }
    // The mean to a tenth of a millivolt (the converter's step is about two
    // millivolts), the current to the milliampere, as the configuration
    // gives it.
    Write(Format("%lld,%.4f,%.3f,%d,%.4f,%.4f\n", static_cast<long long>(second_), mean_, amperes_,
                 static_cast<int>(rate_), ampSeconds_ / 3.6, wattSeconds_ / 3.6));
}

void CurveRecorder::Finish(TestEnd end) {
    if (!open_) {
        return;
    }
    if (pending_) {
        WriteRow();
    }
    Write(Format("# End: %s\n", TestEndText(end)));
    if (open_ && ::fsync(file_.Descriptor()) != 0) {
        Fail(path_ + " cannot be written", errno);
    }
    if (open_ && file_.Close() != 0) {
        Fail(path_ + " cannot be written", errno);
    }
    open_ = false;
}

void CurveRecorder::Write(const std::string& text) {
    if (open_ && !WriteAll(file_.Descriptor(), text)) {
        Fail(path_ + " cannot be written", errno);
    }
}

void CurveRecorder::Fail(const std::string& what, int error) {
    open_ = false;
    if (problem_.empty()) {
        problem_ = what + ": " +
                   (error == RegularFile::NotRegular ? std::string("not a regular file")
                                                     : std::string(std::strerror(error)));
    }
}

}  // namespace voltrex
