#include "server/headerdate.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "archive/textsearch.h"

namespace varnook::server {
namespace {

struct ZoneName {
  const char* name;
  int minutes;  // offset east of Greenwich
};

constexpr std::array<ZoneName, 42> kZones = {{
    {"GMT", 0},    {"UT", 0},     {"UTC", 0},    {"Z", 0},      {"WET", 0},     {"EST", -300},
    {"EDT", -240}, {"CST", -360}, {"CDT", -300}, {"MST", -420}, {"MDT", -360},  {"PST", -480},
    {"PDT", -420}, {"AST", -240}, {"ADT", -180}, {"HST", -600}, {"AKST", -540}, {"AKDT", -480},
    {"YST", -540}, {"YDT", -480}, {"NST", -210}, {"NDT", -150}, {"BST", 60},    {"IST", 60},
    {"WEST", 60},  {"MET", 60},   {"CET", 60},   {"MEZ", 60},   {"MEST", 120},  {"MESZ", 120},
    {"CEST", 120}, {"EET", 120},  {"EEST", 180}, {"IDT", 180},  {"MSK", 180},   {"HKT", 480},
    {"SGT", 480},  {"AWST", 480}, {"JST", 540},  {"KST", 540},  {"NZST", 720},  {"NZDT", 780},
}};

constexpr std::array<const char*, 12> kMonthNames = {"jan", "feb", "mar", "apr", "may", "jun",
                                                     "jul", "aug", "sep", "oct", "nov", "dec"};
constexpr std::array<const char*, 7> kWeekdayNames = {"sun", "mon", "tue", "wed",
                                                      "thu", "fri", "sat"};

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}
bool isAlpha(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool allDigits(std::string_view text) {
  if (text.empty()) return false;
  for (char c : text)
    if (!isDigit(c)) return false;
  return true;
}

int toNumber(std::string_view digits) {
  int value = 0;
  for (char c : digits) {
    value = value * 10 + (c - '0');
    if (value > 100000) return value;
  }
  return value;
}

int monthOf(std::string_view word) {
  if (word.size() < 3) return 0;
  for (std::size_t m = 0; m < kMonthNames.size(); ++m)
    if (equalsNoCase(word.substr(0, 3), kMonthNames[m])) return static_cast<int>(m) + 1;
  return 0;
}

bool isWeekday(std::string_view word) {
  if (word.size() < 3) return false;
  for (const char* name : kWeekdayNames)
    if (equalsNoCase(word.substr(0, 3), name)) return true;
  return false;
}

std::optional<int> zoneOf(std::string_view word) {
  for (const ZoneName& zone : kZones)
    if (equalsNoCase(word, zone.name)) return zone.minutes;
  return std::nullopt;
}

// "+hhmm", "-hhmm", "+hh", "+h:mm"; minutes east of Greenwich.
std::optional<int> numericZone(std::string_view text) {
  if (text.size() < 2 || (text[0] != '+' && text[0] != '-')) return std::nullopt;
  std::string digits;
  for (char c : text.substr(1)) {
    if (isDigit(c)) {
      digits += c;
    } else if (c != ':') {
      return std::nullopt;
    }
  }
  int hours = 0, minutes = 0;
  if (digits.size() == 4) {
    hours = toNumber(digits.substr(0, 2)), minutes = toNumber(digits.substr(2));
  } else if (digits.size() == 3) {
    hours = toNumber(digits.substr(0, 1)), minutes = toNumber(digits.substr(1));
  } else if (digits.size() == 1 || digits.size() == 2) {
    hours = toNumber(digits);
  } else {
    return std::nullopt;
  }
  if (hours > 14 || minutes > 59) return std::nullopt;
  const int offset = hours * 60 + minutes;
  return text[0] == '-' ? -offset : offset;
}

struct TimeOfDay {
  int hour = 0, minute = 0, second = 0;
};

// "hh:mm" or "hh:mm:ss" (a fraction of a second is ignored).
std::optional<TimeOfDay> timeOf(std::string_view text) {
  std::array<int, 3> parts{};
  int count = 0;
  std::size_t start = 0;
  while (count < 3) {
    std::size_t end = start;
    while (end < text.size() && isDigit(text[end])) ++end;
    if (end == start || end - start > 2) return std::nullopt;
    parts[count++] = toNumber(text.substr(start, end - start));
    if (end == text.size()) break;
    if (text[end] == '.' && count == 3) break;
    if (text[end] != ':') return std::nullopt;
    start = end + 1;
  }
  if (count < 2) return std::nullopt;
  TimeOfDay time{parts[0], parts[1], parts[2]};
  if (time.hour > 23 || time.minute > 59 || time.second > 60) return std::nullopt;
  if (time.second == 60) time.second = 59;
  return time;
}

int daysIn(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

// Splits on blanks, tabs, commas and line breaks, dropping "(comments)".
std::vector<std::string_view> tokens(std::string_view text) {
  std::vector<std::string_view> out;
  int depth = 0;
  std::size_t start = std::string_view::npos;
  for (std::size_t i = 0; i <= text.size(); ++i) {
    const char c = i < text.size() ? text[i] : ' ';
    const bool separator =
        c == ' ' || c == '\t' || c == ',' || c == '\r' || c == '\n' || c == '(' || c == ')';
    if (separator && start != std::string_view::npos) {
      if (depth == 0) out.push_back(text.substr(start, i - start));
      start = std::string_view::npos;
    }
    if (c == '(') ++depth;
    if (c == ')' && depth > 0) --depth;
    if (!separator && start == std::string_view::npos) start = i;
  }
  return out;
}

}  // namespace

std::optional<UnixTime> parseHeaderDate(std::string_view value) {
  if (value.size() > 200) value = value.substr(0, 200);
  int day = 0, month = 0, year = -1;
  int yearDigits = 0;
  std::optional<TimeOfDay> time;
  std::optional<int> zone;

  auto takeNumber = [&](std::string_view digits) {
    const int number = toNumber(digits);
    if (digits.size() >= 3 || number > 31 || (day != 0 && year < 0)) {
      if (year >= 0) return false;
      year = number;
      yearDigits = static_cast<int>(digits.size());
    } else if (day == 0) {
      day = number;
    } else {
      return false;
    }
    return true;
  };

  for (std::string_view token : tokens(value)) {
    if (allDigits(token)) {
      if (!takeNumber(token)) return std::nullopt;
      continue;
    }
    // ISO form "1993-04-05", possibly with "T12:34:56" and a zone.
    if (token.size() >= 10 && allDigits(token.substr(0, 4)) && token[4] == '-' &&
        allDigits(token.substr(5, 2)) && token[7] == '-' && allDigits(token.substr(8, 2))) {
      year = toNumber(token.substr(0, 4)), yearDigits = 4;
      month = toNumber(token.substr(5, 2));
      day = toNumber(token.substr(8, 2));
      token.remove_prefix(10);
      if (token.empty()) continue;
      if (token[0] != 'T' && token[0] != 't') return std::nullopt;
      token.remove_prefix(1);
      if (token.empty()) continue;
    }
    if (isDigit(token[0]) && token.find(':') != std::string_view::npos) {
      // A time, possibly with its zone attached ("23:23:53GMT", "12:00:00+0200").
      std::size_t end = 0;
      while (end < token.size() && (isDigit(token[end]) || token[end] == ':' || token[end] == '.'))
        ++end;
      time = timeOf(token.substr(0, end));
      if (!time) return std::nullopt;
      token.remove_prefix(end);
      if (token.empty()) continue;
    }
    if (isDigit(token[0]) && token.find('-') != std::string_view::npos) {
      // "5-Apr-93": day, month name and year joined by dashes.
      const std::size_t first = token.find('-');
      const std::size_t last = token.rfind('-');
      if (first == last) continue;
      const int namedMonth = monthOf(token.substr(first + 1, last - first - 1));
      if (namedMonth == 0 || !allDigits(token.substr(0, first)) ||
          !allDigits(token.substr(last + 1)))
        continue;
      month = namedMonth;
      if (!takeNumber(token.substr(0, first)) || !takeNumber(token.substr(last + 1)))
        return std::nullopt;
      continue;
    }
    if (token[0] == '+' || token[0] == '-') {
      if (auto offset = numericZone(token)) zone = offset;
      continue;
    }
    if (!isAlpha(token[0])) continue;
    std::size_t letters = 0;
    while (letters < token.size() && isAlpha(token[letters])) ++letters;
    const std::string_view word = token.substr(0, letters);
    if (auto named = zoneOf(word)) {
      int offset = *named;
      // "GMT+12", "UTC-5": an offset written after the zone name.
      if (letters < token.size())
        if (auto extra = numericZone(token.substr(letters))) offset += *extra;
      if (!zone) zone = offset;
      continue;
    }
    if (month == 0 && letters >= 3 && monthOf(word) != 0 && !isWeekday(word)) {
      month = monthOf(word);
      // "5-Apr-1993" and similar run together.
      std::string_view rest = token.substr(letters);
      while (!rest.empty() && (rest[0] == '-' || rest[0] == '.')) rest.remove_prefix(1);
      if (allDigits(rest) && !takeNumber(rest)) return std::nullopt;
      continue;
    }
    // Weekdays and unknown words ("DST", a zone we do not know) are ignored.
  }
  if (day == 0 || month == 0 || year < 0) return std::nullopt;
  if (yearDigits <= 2) {
    year += year < 50 ? 2000 : 1900;
  } else if (yearDigits == 3) {
    year += 1900;
  }
  if (year < 1000 || year > 9999 || month < 1 || month > 12 || day < 1 || day > daysIn(year, month))
    return std::nullopt;
  const TimeOfDay t = time.value_or(TimeOfDay{});
  return unixTimeFromCivil(year, month, day, t.hour, t.minute, t.second) -
         static_cast<UnixTime>(zone.value_or(0)) * 60;
}

std::optional<UnixTime> parseReceivedDate(std::string_view value) {
  const std::size_t semicolon = value.rfind(';');
  if (semicolon == std::string_view::npos) return std::nullopt;
  return parseHeaderDate(value.substr(semicolon + 1));
}

std::optional<UnixTime> parseEnvelopeDate(std::string_view line) {
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  if (line.substr(0, 5) == "From ") line.remove_prefix(5);
  while (!line.empty() && line.front() == ' ') line.remove_prefix(1);
  // The sender is the first word; the date follows it.
  const std::size_t blank = line.find(' ');
  if (blank == std::string_view::npos) return std::nullopt;
  const auto date = parseHeaderDate(line.substr(blank + 1));
  if (!date || *date == 0) return std::nullopt;
  return date;
}

}  // namespace varnook::server
