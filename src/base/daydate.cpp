#include "base/daydate.h"

#include <cmath>
#include <cstdio>
#include <ctime>

namespace varnook {
namespace {

CivilDate civilFromDays(std::int64_t z) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const auto doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t y = static_cast<std::int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  return {static_cast<int>(y + (m <= 2)), static_cast<int>(m), static_cast<int>(d)};
}

// 1899-12-30 counted from 1970-01-01.
constexpr std::int64_t kEpochOffset = -25569;

bool parseUnsigned(std::string_view& text, int maxDigits, int& value) {
  int digits = 0;
  value = 0;
  while (!text.empty() && text.front() >= '0' && text.front() <= '9' && digits < maxDigits) {
    value = value * 10 + (text.front() - '0');
    text.remove_prefix(1);
    ++digits;
  }
  return digits > 0;
}

}  // namespace

// H. Hinnant's algorithm.
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

bool isLeapYear(int year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int daysInMonth(int year, int month) {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  return month == 2 && isLeapYear(year) ? 29 : kDays[month - 1];
}

std::optional<DayDate> encodeDate(int year, int month, int day) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 ||
      day > daysInMonth(year, month))
    return std::nullopt;
  return static_cast<DayDate>(
      daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) - kEpochOffset);
}

std::optional<DayDate> encodeTime(int hour, int minute, int second, int millisecond) {
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 ||
      millisecond < 0 || millisecond > 999)
    return std::nullopt;
  return (((hour * 60.0 + minute) * 60.0 + second) * 1000.0 + millisecond) / 86400000.0;
}

CivilDate decodeDate(DayDate date) {
  return civilFromDays(static_cast<std::int64_t>(std::floor(date)) + kEpochOffset);
}

TimeOfDay decodeTime(DayDate date) {
  const double fraction = std::fabs(date - std::trunc(date));
  auto ms = static_cast<std::int64_t>(std::llround(fraction * 86400000.0));
  if (ms >= 86400000) ms = 86399999;
  TimeOfDay t;
  t.millisecond = static_cast<int>(ms % 1000);
  ms /= 1000;
  t.second = static_cast<int>(ms % 60);
  ms /= 60;
  t.minute = static_cast<int>(ms % 60);
  t.hour = static_cast<int>(ms / 60);
  return t;
}

DayDate fromUnixTimeLocal(std::int64_t seconds, int millisecond) {
  const std::time_t t = static_cast<std::time_t>(seconds);
  std::tm local{};
  localtime_r(&t, &local);
  const auto date = encodeDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
  const auto time =
      encodeTime(local.tm_hour, local.tm_min, local.tm_sec > 59 ? 59 : local.tm_sec, millisecond);
  return date.value_or(0) + time.value_or(0);
}

DayDate nowLocal() {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  return fromUnixTimeLocal(ts.tv_sec, static_cast<int>(ts.tv_nsec / 1000000));
}

std::string formatShortDate(DayDate date) {
  if (date == 0) return {};
  const CivilDate c = decodeDate(date);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d/%02d/%02d", c.year, c.month, c.day);
  return buf;
}

std::optional<DayDate> parseShortDate(std::string_view text) {
  int y = 0, m = 0, d = 0;
  if (!parseUnsigned(text, 4, y) || text.empty() || text.front() != '/') return std::nullopt;
  text.remove_prefix(1);
  if (!parseUnsigned(text, 2, m) || text.empty() || text.front() != '/') return std::nullopt;
  text.remove_prefix(1);
  if (!parseUnsigned(text, 2, d) || !text.empty()) return std::nullopt;
  return encodeDate(y, m, d);
}

std::optional<DayDate> parseTimeOfDay(std::string_view text) {
  int h = 0, m = 0, s = 0, ms = 0;
  if (!parseUnsigned(text, 2, h) || text.empty() || text.front() != ':') return std::nullopt;
  text.remove_prefix(1);
  if (!parseUnsigned(text, 2, m)) return std::nullopt;
  if (!text.empty() && text.front() == ':') {
    text.remove_prefix(1);
    if (!parseUnsigned(text, 2, s)) return std::nullopt;
    if (!text.empty() && text.front() == '.') {
      text.remove_prefix(1);
      const std::size_t before = text.size();
      if (!parseUnsigned(text, 3, ms)) return std::nullopt;
      for (std::size_t n = before - text.size(); n < 3; ++n) ms *= 10;
    }
  }
  if (!text.empty()) return std::nullopt;
  return encodeTime(h, m, s, ms);
}

const char* monthAbbreviation(int month) {
  static const char* const kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  return month >= 1 && month <= 12 ? kMonths[month - 1] : "";
}

}  // namespace varnook
