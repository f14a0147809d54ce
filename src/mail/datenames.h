#pragma once

#include <array>
#include <string>

#include "base/daydate.h"

namespace varnook {

// What a date in the user's own notation needs: abbreviated day and month names and the
// long time pattern (a strftime pattern such as "%H:%M:%S" or "%I:%M:%S %p").
struct DateNames {
  std::array<std::string, 7> shortDays;     // Sunday first
  std::array<std::string, 12> shortMonths;  // January first
  std::string timeFormat;
  std::string amPmFormat;  // what "%r" stands for
  std::string am;
  std::string pm;

  // English names and "%H:%M:%S", as the C locale has them.
  static DateNames classic();
  // The names and the time pattern of the user's LC_TIME locale (LC_ALL, LC_TIME, LANG),
  // read without touching the process's own locale; classic() when it cannot be loaded.
  static DateNames userLocale();
};

// "ddd, d mmm yy tt": abbreviated day name, a comma, then the day without leading zero,
// the abbreviated month name, the two-digit year and the time in the long time pattern,
// each after one blank ("Mon, 5 Apr 93 14:03:22"). Empty for 0 (no date).
std::string formatMessageDate(DayDate date, const DateNames& names);

// The time of day in a strftime-style pattern: %H %I %k %l %M %S %p %P %r %R %T and %%
// are understood; any other conversion (a time zone, say) gives nothing.
std::string formatTimeOfDay(const TimeOfDay& time, const std::string& pattern,
                            const DateNames& names);

}  // namespace varnook
