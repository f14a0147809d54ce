#include "server/indexschema.h"

#include <chrono>
#include <cstdio>

#include "server/textutil.h"

namespace varnook::server::schema {
namespace {

// Xapian terms are limited to 245 bytes; longer keys are cut and given a digest so that
// two long keys with a common beginning stay apart.
std::string boundedTerm(std::string_view prefix, std::string_view key) {
  constexpr std::size_t kMaxKey = 200;
  std::string term(prefix);
  if (key.size() <= kMaxKey) return term.append(key);
  std::uint64_t hash = 1469598103934665603ull;
  for (char c : key) hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
  char digest[20];
  std::snprintf(digest, sizeof digest, "#%016llx", static_cast<unsigned long long>(hash));
  return term.append(key.substr(0, kMaxKey - 17)).append(digest);
}

}  // namespace

std::string numberTerm(std::uint32_t number) {
  return std::string(kNumberPrefix) + std::to_string(number);
}

std::string messageIdTerm(std::string_view dedupeKey) {
  return boundedTerm(kMessageIdPrefix, dedupeKey);
}

std::string groupTerm(std::string_view group) {
  return boundedTerm(kGroupPrefix, asciiLowered(group));
}

std::string addressTerm(std::string_view address) {
  return boundedTerm(kAddressPrefix, asciiLowered(address));
}

std::string archiveTerm(Archive archive) {
  return std::string(kArchivePrefix) + std::to_string(static_cast<int>(archive));
}

namespace {
// sortable_serialise drops trailing zero bytes; padding keeps the number after it from
// being compared with date bytes.
constexpr std::size_t kDateBytes = 9;
}  // namespace

std::string dateFloor(UnixTime time) {
  std::string value = Xapian::sortable_serialise(static_cast<double>(time));
  value.resize(kDateBytes, '\0');
  return value;
}

std::string dateCeiling(UnixTime time) {
  return dateFloor(time) + std::string(4, '\xFF');
}

std::string dateValue(UnixTime time, std::uint32_t number) {
  std::string value = dateFloor(time);
  for (int shift = 24; shift >= 0; shift -= 8) value += static_cast<char>((number >> shift) & 0xFF);
  return value;
}

UnixTime dateOfValue(std::string_view value) {
  return static_cast<UnixTime>(
      Xapian::sortable_unserialise(std::string(value.substr(0, kDateBytes))));
}

namespace {

using std::chrono::year_month_day;

constexpr std::int64_t dayNumber(const year_month_day& date) {
  return std::chrono::sys_days(date).time_since_epoch().count();
}

// The years the date terms cover: their names have four digits.
constexpr std::int64_t kFirstTermDay = dayNumber(std::chrono::year(1) / 1 / 1);
constexpr std::int64_t kLastTermDay = dayNumber(std::chrono::year(9999) / 12 / 31);

year_month_day civilDate(std::int64_t day) {
  return year_month_day(std::chrono::sys_days(std::chrono::days(day)));
}

std::string dateTerm(std::string_view prefix, const year_month_day& date, int parts) {
  char digits[16];
  const int year = static_cast<int>(date.year());
  const unsigned month = static_cast<unsigned>(date.month());
  const unsigned day = static_cast<unsigned>(date.day());
  if (parts == 1) std::snprintf(digits, sizeof digits, "%04d", year);
  if (parts == 2) std::snprintf(digits, sizeof digits, "%04d%02u", year, month);
  if (parts == 3) std::snprintf(digits, sizeof digits, "%04d%02u%02u", year, month, day);
  return std::string(prefix) + digits;
}

}  // namespace

std::int64_t dayOf(UnixTime time) {
  const std::int64_t seconds = time;
  return seconds >= 0 ? seconds / 86400 : -((-seconds + 86399) / 86400);
}

std::vector<std::string> dateTermsOf(std::int64_t day) {
  if (day < kFirstTermDay || day > kLastTermDay) return {};
  const year_month_day date = civilDate(day);
  return {dateTerm(kDayPrefix, date, 3), dateTerm(kMonthPrefix, date, 2),
          dateTerm(kYearPrefix, date, 1)};
}

std::optional<std::vector<std::string>> dateRangeTerms(std::int64_t first, std::int64_t last) {
  std::vector<std::string> terms;
  if (first > last) return terms;
  if (first < kFirstTermDay || last > kLastTermDay) return std::nullopt;
  for (std::int64_t day = first; day <= last;) {
    const year_month_day date = civilDate(day);
    const std::int64_t yearEnd = dayNumber(date.year() / 12 / 31);
    const std::int64_t monthEnd = dayNumber(year_month_day(
        std::chrono::year_month_day_last(date.year() / date.month() / std::chrono::last)));
    if (date.month() == std::chrono::January && date.day() == std::chrono::day(1) &&
        yearEnd <= last) {
      terms.push_back(dateTerm(kYearPrefix, date, 1));
      day = yearEnd + 1;
    } else if (date.day() == std::chrono::day(1) && monthEnd <= last) {
      terms.push_back(dateTerm(kMonthPrefix, date, 2));
      day = monthEnd + 1;
    } else {
      terms.push_back(dateTerm(kDayPrefix, date, 3));
      ++day;
    }
  }
  return terms;
}

}  // namespace varnook::server::schema
