#include "records/CalendarTime.h"

#include <algorithm>
#include <charconv>
#include <ctime>

#include "platform/CFormat.h"

namespace voltrex {

namespace {

bool IsLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
    static constexpr int Days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : Days[month - 1];
}

// Reads exactly the digits at text[at, at + count).
bool Digits(std::string_view text, std::size_t at, std::size_t count, int& value) {
    for (std::size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return false;
        }
    }
    return std::from_chars(text.data() + at, text.data() + at + count, value).ec == std::errc{};
}

// Days from 1970-01-01 to the date of the proleptic Gregorian calendar
// (Howard Hinnant's days_from_civil).
std::int64_t DaysFromCivil(std::int64_t year, int month, int day) {
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const std::int64_t yearOfEra = year - era * 400;
    const std::int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

}  // namespace

std::optional<LocalTime> ParseCalendarTime(std::string_view text) {
    // 0123456789012345678
    // YYYY-MM-DD HH:MM:SS
    if (text.size() != 19 || text[4] != '-' || text[7] != '-' || text[10] != ' ' ||
        text[13] != ':' || text[16] != ':') {
        return std::nullopt;
    }
    LocalTime time;
    if (!Digits(text, 0, 4, time.Year) || !Digits(text, 5, 2, time.Month) ||
        !Digits(text, 8, 2, time.Day) || !Digits(text, 11, 2, time.Hour) ||
        !Digits(text, 14, 2, time.Minute) || !Digits(text, 17, 2, time.Second)) {
        return std::nullopt;
    }
    if (time.Month < 1 || time.Month > 12 || time.Day < 1 ||
        time.Day > DaysInMonth(time.Year, time.Month) || time.Hour > 23 || time.Minute > 59 ||
        time.Second > 60) {
        return std::nullopt;
    }
    return time;
}

std::string CalendarTimeText(const LocalTime& time) {
    return Format("%04d-%02d-%02d %02d:%02d:%02d", time.Year, time.Month, time.Day, time.Hour,
                  time.Minute, time.Second);
}

std::string FileStamp(const LocalTime& time) {
    return Format("%04d%02d%02d-%02d%02d%02d", time.Year, time.Month, time.Day, time.Hour,
                  time.Minute, time.Second);
}

std::string ElapsedTime(std::int64_t seconds) {
    return Format("%d:%02d:%02d", static_cast<int>(seconds / 3600),
                  static_cast<int>((seconds % 3600) / 60), static_cast<int>(seconds % 60));
}

std::int64_t CalendarSeconds(const LocalTime& time) {
    return DaysFromCivil(time.Year, time.Month, time.Day) * 86400 + time.Hour * 3600 +
           time.Minute * 60 + time.Second;
}

LocalTime CalendarTimeAt(std::int64_t seconds) {
    // Hinnant's civil_from_days.
    std::int64_t days = seconds / 86400;
    std::int64_t rest = seconds % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const std::int64_t dayOfEra = days - era * 146097;
    const std::int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t monthIndex = (5 * dayOfYear + 2) / 153;
    LocalTime time;
    time.Day = static_cast<int>(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
    time.Month = static_cast<int>(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
    time.Year = static_cast<int>(yearOfEra + era * 400 + (time.Month <= 2 ? 1 : 0));
    time.Hour = static_cast<int>(rest / 3600);
    time.Minute = static_cast<int>(rest % 3600 / 60);
    time.Second = static_cast<int>(rest % 60);
    return time;
}

std::string UtcTimeText(std::int64_t moment) {
    const LocalTime time = CalendarTimeAt(moment);
    return Format("%04d-%02d-%02dT%02d:%02d:%02dZ", time.Year, time.Month, time.Day, time.Hour,
                  time.Minute, time.Second);
}

std::optional<std::int64_t> ParseUtcTime(std::string_view text) {
    if (text.size() != 20 || text[10] != 'T' || text[19] != 'Z') {
        return std::nullopt;
    }
    std::string calendar(text.substr(0, 19));
    calendar[10] = ' ';
    const std::optional<LocalTime> time = ParseCalendarTime(calendar);
    if (!time) {
        return std::nullopt;
    }
    return CalendarSeconds(*time);
}

namespace {

// The time as the C library's broken-down fields; summer as tm_isdst (-1:
// let mktime decide).
std::tm BrokenDown(const LocalTime& time, int summer) {
    std::tm fields = {};
    fields.tm_year = time.Year - 1900;
    fields.tm_mon = time.Month - 1;
    fields.tm_mday = time.Day;
    fields.tm_hour = time.Hour;
    fields.tm_min = time.Minute;
    fields.tm_sec = time.Second;
    fields.tm_isdst = summer;
    return fields;
}

}  // namespace

std::vector<std::int64_t> LocalMoments(const LocalTime& time) {
    std::vector<std::int64_t> moments;
    // The C library knows the zone's rules: the time read as standard time
    // and as summer time, each kept when it reads back as the same time.
    for (const int summer : {0, 1}) {
        std::tm fields = BrokenDown(time, summer);
        const std::time_t moment = std::mktime(&fields);
        std::tm back = {};
        if (moment == static_cast<std::time_t>(-1) || localtime_r(&moment, &back) == nullptr) {
            continue;
        }
        if (back.tm_isdst == summer && back.tm_hour == time.Hour && back.tm_min == time.Minute &&
            back.tm_mday == time.Day) {
            moments.push_back(static_cast<std::int64_t>(moment));
        }
    }
    if (moments.empty()) {
        // A time the clocks skipped: as the C library reads it.
        std::tm fields = BrokenDown(time, -1);
        moments.push_back(static_cast<std::int64_t>(std::mktime(&fields)));
    }
    std::sort(moments.begin(), moments.end());
    moments.erase(std::unique(moments.begin(), moments.end()), moments.end());
    return moments;
}

namespace {

// The zone's offset from UTC at the moment, in seconds.
long OffsetAt(std::int64_t moment) {
    const auto time = static_cast<std::time_t>(moment);
    std::tm fields = {};
    return localtime_r(&time, &fields) != nullptr ? fields.tm_gmtoff : 0;
}

}  // namespace

std::int64_t LocalCalendarSeconds(std::int64_t moment) {
    return moment + OffsetAt(moment);
}

void LocalZone::Learn(int year) {
    if (std::find(years_.begin(), years_.end(), year) != years_.end()) {
        return;
    }
    years_.push_back(year);
    // Winter and summer of that year, both hemispheres.
    for (const int month : {1, 7}) {
        const long offset = OffsetAt(CalendarSeconds(LocalTime{year, month, 1, 12, 0, 0}));
        if (std::find(offsets_.begin(), offsets_.end(), offset) == offsets_.end()) {
            offsets_.push_back(offset);
        }
    }
}

std::vector<std::int64_t> LocalZone::Moments(const LocalTime& time) {
    Learn(time.Year);
    const std::int64_t calendar = CalendarSeconds(time);
    std::vector<std::int64_t> moments;
    for (const long offset : offsets_) {
        const std::int64_t moment = calendar - offset;
        if (OffsetAt(moment) == offset) {
            moments.push_back(moment);
        }
    }
    if (moments.empty()) {
        return LocalMoments(time);  // a time the clocks skipped
    }
    std::sort(moments.begin(), moments.end());
    return moments;
}

}  // namespace voltrex
