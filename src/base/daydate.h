#pragma once

// Day-count dates: the whole part counts days since 1899-12-30, the fraction is the
// local time of day. 0 means "not set"; a negative value in a query means that many
// days before the moment of sending.

#include <cstdint>
#include <optional>
#include <string>

namespace varnook {

using DayDate = double;

struct CivilDate {
  int year = 0;
  int month = 0;  // 1..12
  int day = 0;    // 1..31
};

struct TimeOfDay {
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
};

bool isLeapYear(int year);
int daysInMonth(int year, int month);

// The day count of a calendar date, or nothing for an impossible date (31 Feb,
// month 13, year outside 1..9999).
std::optional<DayDate> encodeDate(int year, int month, int day);
// The fraction of a day for a time of day, or nothing when a part is out of range.
std::optional<DayDate> encodeTime(int hour, int minute, int second, int millisecond = 0);

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar (negative before).
std::int64_t daysFromCivil(std::int64_t year, unsigned month, unsigned day);

// The calendar date of a (non-negative) day count.
CivilDate decodeDate(DayDate date);
// The time of day of a day count, rounded to the nearest millisecond.
TimeOfDay decodeTime(DayDate date);

// The local date and time now.
DayDate nowLocal();
// A Unix time as local date and time.
DayDate fromUnixTimeLocal(std::int64_t seconds, int millisecond = 0);

// "yyyy/mm/dd", the program's short date form; empty for 0.
std::string formatShortDate(DayDate date);
// Reads "yyyy/mm/dd" (also "yyyy/m/d"); nothing when the text is no such date.
std::optional<DayDate> parseShortDate(std::string_view text);
// Reads "hh:mm" or "hh:mm:ss" (seconds may carry ".zzz"); nothing when the text is no time.
std::optional<DayDate> parseTimeOfDay(std::string_view text);

// Three-letter English month abbreviation, "Jan".."Dec", for month 1..12.
const char* monthAbbreviation(int month);

}  // namespace varnook
