#include "archive/queryurl.h"

#include <cmath>
#include <cstdio>
#include <limits>
#include <optional>

#include "archive/encoding.h"
#include "archive/textsearch.h"
#include "collection/article.h"

namespace varnook {
namespace {

void appendParameter(std::string& out, std::string_view key, std::string_view value) {
  const std::string compact = compactBlanks(value);
  if (compact.empty()) return;
  out += '&';
  out += key;
  out += '=';
  out += urlEncode(compact, true);
}

std::string formatUrlDate(DayDate date) {
  const CivilDate c = decodeDate(date);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%s %d %04d", monthAbbreviation(c.month), c.day, c.year);
  return buf;
}

std::string formatStoredDate(DayDate date) {
  if (date < 0) {
    // Whole days as an integer; a fraction (a relative date of today, or one with a time
    // of day) is kept to the second, so it stays relative and never reads back as "-0".
    std::string relative = "-";
    if (date == std::trunc(date)) {
      relative += std::to_string(static_cast<long long>(-date));
    } else {
      char buf[48];
      std::snprintf(buf, sizeof buf, "%.6f", -date);
      relative += buf;
      while (relative.back() == '0') relative.pop_back();
      if (relative.back() == '.') relative.pop_back();
      // Less than the smallest step written: "-0" would read back as no date at all.
      if (relative == "-0") relative = "-0.000001";
    }
    return relative;
  }
  std::string text = formatShortDate(date);
  const TimeOfDay t = decodeTime(date);
  if (t.hour != 0 || t.minute != 0 || t.second != 0) {
    char buf[16];
    std::snprintf(buf, sizeof buf, " %02d:%02d:%02d", t.hour, t.minute, t.second);
    text += buf;
  }
  return text;
}

void appendDate(std::string& out, std::string_view key, DayDate date, bool storedForm,
                DayDate now) {
  if (date == 0) return;
  if (storedForm) {
    appendParameter(out, key, formatStoredDate(date));
    return;
  }
  if (date < 0) date += now;
  if (date > 0) appendParameter(out, key, formatUrlDate(date));
}

// "Mmm d yyyy", the form the URL carries.
std::optional<DayDate> parseUrlDate(std::string_view text) {
  if (text.size() < 10 || text[3] != ' ') return std::nullopt;
  int month = 0;
  for (int m = 1; m <= 12; ++m)
    if (equalsNoCase(text.substr(0, 3), monthAbbreviation(m))) month = m;
  if (month == 0) return std::nullopt;
  text.remove_prefix(4);
  const auto blank = text.find(' ');
  if (blank == std::string_view::npos) return std::nullopt;
  const auto day = parseInt32(text.substr(0, blank));
  const auto year = parseInt32(text.substr(blank + 1));
  if (!day || !year || text[0] == '-' || text[0] == '+') return std::nullopt;
  return encodeDate(*year, month, *day);
}

std::optional<DayDate> parseAbsoluteDate(std::string_view text) {
  const auto blank = text.find(' ');
  if (auto date = parseShortDate(text.substr(0, blank))) {
    if (blank == std::string_view::npos) return date;
    if (auto time = parseTimeOfDay(text.substr(blank + 1))) return *date + *time;
    return std::nullopt;
  }
  return parseUrlDate(text);
}

// Finds "&key" (ASCII case ignored, first occurrence only) and reports its value.
// Returns false when the key is absent.
bool lookupKey(std::string_view params, std::string_view key, std::string& value) {
  std::string needle = "&";
  needle += key;
  const std::size_t at = findNoCase(params, needle);
  if (at == std::string_view::npos) return false;
  const std::size_t after = at + needle.size();
  if (after == params.size() || params[after] == '&') {
    value.clear();
    return true;
  }
  if (params[after] != '=') return false;
  const std::size_t valueStart = after + 1;
  std::size_t valueEnd = params.find('&', valueStart);
  if (valueEnd == std::string_view::npos) valueEnd = params.size();
  value = urlDecode(params.substr(valueStart, valueEnd - valueStart));
  return true;
}

// A relative date: "-7", or with a fraction "-0.000012"; anything else is 0.
DayDate parseRelativeDays(std::string_view value) {
  if (const auto whole = parseInt32(value)) return *whole;
  const std::size_t point = value.find('.');
  if (point == std::string_view::npos || point < 2) return 0;
  const auto days = parseInt32(value.substr(0, point));
  const std::string_view digits = value.substr(point + 1);
  if (!days || digits.empty() || digits.size() > 9) return 0;
  double fraction = 0, scale = 1;
  for (char c : digits) {
    if (c < '0' || c > '9') return 0;
    fraction = fraction * 10 + (c - '0');
    scale *= 10;
  }
  return *days - fraction / scale;
}

// Reads a date parameter; returns the error text for an unreadable absolute date.
std::string readDate(std::string_view params, std::string_view key, DayDate& field) {
  std::string value;
  if (!lookupKey(params, key, value) || value.empty()) return {};
  if (value.front() == '-') {
    field = parseRelativeDays(value);
    return {};
  }
  if (auto date = parseAbsoluteDate(value)) {
    field = *date;
    return {};
  }
  return "'" + value + "' is not a valid date";
}

// An article number: 1 to 2^32-1 in decimal digits alone; anything else is 0.
std::uint32_t parseArticleNumber(std::string_view text) {
  if (text.empty() || text.size() > 10) return 0;
  std::uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return 0;
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
  }
  return value > std::numeric_limits<std::uint32_t>::max() ? 0 : static_cast<std::uint32_t>(value);
}

bool isWordChar(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}

}  // namespace

std::string compactBlanks(std::string_view value) {
  const std::string_view trimmed = trimControls(value);
  std::string out;
  out.reserve(trimmed.size());
  for (char c : trimmed) {
    if (c == ' ' && !out.empty() && out.back() == ' ') continue;
    out += c;
  }
  return std::string(trimControls(out));
}

std::string buildQueryUrl(const QueryFields& query, bool storedForm,
                          const ServiceSettings& service) {
  return buildQueryUrl(query, storedForm, service, nowLocal());
}

std::string buildQueryUrl(const QueryFields& query, bool storedForm, const ServiceSettings& service,
                          DayDate now) {
  std::string params;
  const bool extended = query.keywords.find('~') != std::string::npos;
  if (extended) {
    appendParameter(params, "query", query.keywords);
  } else {
    appendParameter(params, "QRY", query.keywords);
    appendParameter(params, "subjects", query.subject);
    appendParameter(params, "authors", query.author);
    appendParameter(params, "groups", query.forum);
  }
  appendParameter(params, "defaultOp", query.matchAll ? "AND" : "OR");
  std::string language = query.language;
  for (char& c : language) c = asciiLower(c);
  appendParameter(params, "LNG", language);
  if (query.archive > 0) appendParameter(params, "DBS", std::to_string(query.archive));
  appendDate(params, "fromdate", query.fromDate, storedForm, now);
  appendDate(params, "todate", query.toDate, storedForm, now);
  if (query.thread != 0) appendParameter(params, "thread", std::to_string(query.thread));
  if (storedForm) return params;

  appendParameter(params, "maxhits", std::to_string(service.hitsPerPage));
  std::string url = serviceScheme(service) + std::string(hostWithoutScheme(service.serviceHost));
  url += extended ? "/[ST_rn=ap]/dnquery.xp?ST=PS&format=delta&search=word"
                  : "/[ST_rn=ps]/dnquery.xp?ST=PS&format=delta";
  return url + params;
}

std::string serviceScheme(const ServiceSettings& service) {
  return startsWithNoCase(service.serviceHost, "https://") ? "https://" : "http://";
}

std::string_view hostWithoutScheme(std::string_view host) {
  for (std::string_view scheme : {"http://", "https://"})
    if (startsWithNoCase(host, scheme)) host.remove_prefix(scheme.size());
  while (!host.empty() && host.back() == '/') host.remove_suffix(1);
  return host;
}

std::string parseQueryParameters(QueryFields& query, std::string_view text) {
  std::string params = "&";
  const std::size_t question = text.find('?');
  if (question != std::string_view::npos)
    params += text.substr(question + 1, 999);
  else
    params += text;

  std::string value;
  if (lookupKey(params, "QRY", value)) query.keywords = value;
  if (lookupKey(params, "subjects", value)) query.subject = value;
  if (lookupKey(params, "authors", value)) query.author = value;
  if (lookupKey(params, "groups", value)) query.forum = value;
  if (lookupKey(params, "defaultOp", value)) query.matchAll = equalsNoCase(value, "AND");
  if (std::string error = readDate(params, "fromdate", query.fromDate); !error.empty())
    return error;
  if (std::string error = readDate(params, "todate", query.toDate); !error.empty()) return error;
  if (lookupKey(params, "LNG", value)) query.language = value;
  if (lookupKey(params, "DBS", value)) query.archive = parseInt32(value).value_or(0);
  if (lookupKey(params, "thread", value)) query.thread = parseArticleNumber(value);
  if (lookupKey(params, "query", value)) query.keywords = value;
  return {};
}

bool isQueryUrl(std::string_view text) {
  const std::size_t at = findNoCase(text, "/dnquery.xp?");
  if (at == std::string_view::npos) return false;
  std::size_t key = findNoCase(text, "query=");
  if (key == std::string_view::npos) key = findNoCase(text, "qry=");
  return key != std::string_view::npos && at < key;
}

bool isArticleUrl(std::string_view text) {
  const std::size_t at = findNoCase(text, "/getdoc.xp?");
  if (at == std::string_view::npos) return false;
  const std::size_t key = findNoCase(text, "AN=");
  return key != std::string_view::npos && at < key;
}

std::uint32_t articleNumberFromUrl(std::string_view text) {
  const std::size_t at = findNoCase(text, "AN=");
  if (at == std::string_view::npos) return 0;
  if (at > 0 && text[at - 1] != '&' && text[at - 1] != '?') return 0;
  std::uint64_t value = 0;
  for (std::size_t i = at + 3; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + static_cast<std::uint64_t>(text[i] - '0');
    if (value > std::numeric_limits<std::uint32_t>::max()) return 0;
  }
  return static_cast<std::uint32_t>(value);
}

std::string ArticleServerRotation::next(std::string_view hostList) {
  if (cursor_ >= hostList.size()) cursor_ = 0;
  auto takeFrom = [&](std::size_t from) -> std::optional<std::string> {
    std::size_t start = from;
    while (start < hostList.size() && !isWordChar(hostList[start])) ++start;
    if (start == hostList.size()) return std::nullopt;
    std::size_t end = start;
    while (end < hostList.size() && isWordChar(hostList[end])) ++end;
    cursor_ = end == hostList.size() ? 0 : end;
    return std::string(hostList.substr(start, end - start));
  };
  if (auto name = takeFrom(cursor_)) return *name;
  // Only separators were left: start over at the beginning.
  if (auto name = takeFrom(0)) return *name;
  cursor_ = 0;
  return {};
}

ArticleServerRotation& articleServerRotation() {
  static ArticleServerRotation rotation;
  return rotation;
}

std::string buildArticleUrl(const Article& article, const ServiceSettings& service) {
  return buildArticleUrl(article, service, articleServerRotation());
}

std::string buildArticleUrl(const Article& article, const ServiceSettings& service,
                            ArticleServerRotation& rotation) {
  if (article.number == 0) return article.url;
  std::string server;
  if (service.multiHost) {
    server = rotation.next(service.hostList);
  } else {
    server = service.hostList.substr(0, service.hostList.find(','));
  }
  return serviceScheme(service) + server + "." +
         std::string(hostWithoutScheme(service.serviceDomain)) +
         "/[ST_rn=ps]/getdoc.xp?AN=" + std::to_string(article.number) + "&fmt=text";
}

std::string buildProfileUrl(std::string_view author, const ServiceSettings& service) {
  return serviceScheme(service) + std::string(hostWithoutScheme(service.serviceHost)) +
         "/[ST_rn=ps]/profile.xp?ST=PS&author=" + urlEncode(author, true);
}

}  // namespace varnook
