#include "mail/datenames.h"

#include <langinfo.h>
#include <locale.h>

#include <cmath>
#include <cstdio>

namespace varnook {

DateNames DateNames::classic() {
  return DateNames{
      {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"},
      {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"},
      "%H:%M:%S",
      "%I:%M:%S %p",
      "AM",
      "PM"};
}

DateNames DateNames::userLocale() {
  DateNames names = classic();
  locale_t locale = ::newlocale(LC_TIME_MASK, "", static_cast<locale_t>(nullptr));
  if (locale == static_cast<locale_t>(nullptr)) return names;
  auto item = [&](nl_item what) { return std::string(::nl_langinfo_l(what, locale)); };
  for (int i = 0; i < 7; ++i) names.shortDays[static_cast<std::size_t>(i)] = item(ABDAY_1 + i);
  for (int i = 0; i < 12; ++i) names.shortMonths[static_cast<std::size_t>(i)] = item(ABMON_1 + i);
  names.timeFormat = item(T_FMT);
  names.amPmFormat = item(T_FMT_AMPM);
  names.am = item(AM_STR);
  names.pm = item(PM_STR);
  ::freelocale(locale);
  if (names.timeFormat.empty()) names.timeFormat = "%H:%M:%S";
  if (names.amPmFormat.empty()) names.amPmFormat = "%I:%M:%S %p";
  return names;
}

std::string formatTimeOfDay(const TimeOfDay& time, const std::string& pattern,
                            const DateNames& names) {
  std::string out;
  char buffer[8];
  auto number = [&](const char* format, int value) {
    std::snprintf(buffer, sizeof buffer, format, value);
    out += buffer;
  };
  const int hour12 = time.hour % 12 == 0 ? 12 : time.hour % 12;
  const std::string& amPm = time.hour < 12 ? names.am : names.pm;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] != '%' || i + 1 == pattern.size()) {
      out += pattern[i];
      continue;
    }
    char code = pattern[++i];
    // glibc's flag and modifier characters ("%-I", "%EH", "%OM") change nothing here.
    while ((code == '-' || code == '_' || code == '0' || code == 'E' || code == 'O') &&
           i + 1 < pattern.size()) {
      code = pattern[++i];
    }
    switch (code) {
      case 'H':
        number("%02d", time.hour);
        break;
      case 'k':
        number("%2d", time.hour);
        break;
      case 'I':
        number("%02d", hour12);
        break;
      case 'l':
        number("%2d", hour12);
        break;
      case 'M':
        number("%02d", time.minute);
        break;
      case 'S':
        number("%02d", time.second);
        break;
      case 'p':
        out += amPm;
        break;
      case 'P':
        for (char c : amPm) out += (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
        break;
      case 'T':
        out += formatTimeOfDay(time, "%H:%M:%S", names);
        break;
      case 'R':
        out += formatTimeOfDay(time, "%H:%M", names);
        break;
      case 'r':
        // A locale's "%r" never names "%r" again; guard anyway.
        if (names.amPmFormat.find("%r") == std::string::npos) {
          out += formatTimeOfDay(time, names.amPmFormat, names);
        }
        break;
      case '%':
        out += '%';
        break;
      default:
        break;
    }
  }
  return out;
}

std::string formatMessageDate(DayDate date, const DateNames& names) {
  if (date == 0 || !std::isfinite(date) || date < 0 || date > 2958465.0) return {};
  const CivilDate day = decodeDate(date);
  const TimeOfDay time = decodeTime(date);
  const auto dayNumber = static_cast<long long>(std::floor(date));
  const auto weekday = static_cast<std::size_t>((dayNumber + 6) % 7);  // day 0 was a Saturday
  char yearText[4];
  std::snprintf(yearText, sizeof yearText, "%02d", day.year % 100);
  return names.shortDays[weekday] + ", " + std::to_string(day.day) + " " +
         names.shortMonths[static_cast<std::size_t>(day.month - 1)] + " " + yearText + " " +
         formatTimeOfDay(time, names.timeFormat, names);
}

}  // namespace varnook
