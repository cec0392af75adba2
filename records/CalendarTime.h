#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Clock.h"

namespace voltrex {

// The times of the program's files and screens. The results file and the
// curve files give times as local calendar time to the second,
// "YYYY-MM-DD HH:MM:SS". Reads that text, checking that the date
// exists (no 31 April, 29 February only in leap years) and the time of day is
// 00:00:00 to 23:59:60; none for anything else.
std::optional<LocalTime> ParseCalendarTime(std::string_view text);

// The same text again.
std::string CalendarTimeText(const LocalTime& time);

// The time as a file's name starts with it, "YYYYMMDD-HHMMSS": a curve file's
// and a cycle's bitmap's.
std::string FileStamp(const LocalTime& time);

// Elapsed whole seconds as "h:mm:ss" with unpadded, unlimited hours: the
// status line's time and the curve chart's axis.
std::string ElapsedTime(std::int64_t seconds);

// Seconds from 1970-01-01 00:00:00 to the time, counted on the calendar alone
// (every day 86400 seconds, no time zone): differences of two local times
// written by the same program, such as a test's start and its record, come
// out right except across a change to or from summer time.
std::int64_t CalendarSeconds(const LocalTime& time);

// The calendar time that many seconds after 1970-01-01 00:00:00 (the inverse
// of CalendarSeconds).
LocalTime CalendarTimeAt(std::int64_t seconds);

// A moment (seconds since 1970-01-01 00:00:00 UTC) as "2026-12-08T13:15:03Z",
// and back; none for any other text.
std::string UtcTimeText(std::int64_t moment);
std::optional<std::int64_t> ParseUtcTime(std::string_view text);

// The moments a local time names in the machine's time zone (the TZ
// variable, else the system's): one as a rule, two in the hour repeated when
// summer time ends, the nearest one in the hour skipped when it starts.
// Earliest first.
std::vector<std::int64_t> LocalMoments(const LocalTime& time);

// The same for many times in a row: the zone's offsets from UTC in each
// year asked about are learnt once, and each time is tried with them (the
// C library's conversion from a moment is cheaper than its way back, which
// reads the zone's file again every time).
class LocalZone {
  public:
    std::vector<std::int64_t> Moments(const LocalTime& time);

  private:
    void Learn(int year);

    std::vector<long> offsets_;
    std::vector<int> years_;
};

// The moment's local time in the machine's time zone, as calendar seconds.
std::int64_t LocalCalendarSeconds(std::int64_t moment);

}  // namespace voltrex
