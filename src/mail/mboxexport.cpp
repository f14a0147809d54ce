#include "mail/mboxexport.h"

#include <cmath>
#include <cstdio>
#include <ctime>

#include "base/wholefile.h"
#include "collection/collection.h"
#include "mail/messagefile.h"

namespace varnook {

namespace {

const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};

// The broken-down local time of a day-count date, with the zone that applies then.
bool localTime(DayDate date, std::tm& local, std::time_t& utc) {
  if (date == 0 || !std::isfinite(date) || date < 1 || date > 2958465.0) return false;
  const CivilDate day = decodeDate(date);
  const TimeOfDay time = decodeTime(date);
  std::tm tm{};
  tm.tm_year = day.year - 1900;
  tm.tm_mon = day.month - 1;
  tm.tm_mday = day.day;
  tm.tm_hour = time.hour;
  tm.tm_min = time.minute;
  tm.tm_sec = time.second;
  tm.tm_isdst = -1;
  utc = ::mktime(&tm);
  if (utc == static_cast<std::time_t>(-1)) return false;
  local = tm;
  return true;
}

void headerLine(std::string& out, const char* name, const std::string& value) {
  if (value.empty()) return;
  out += name;
  out += ": ";
  for (char c : value) out += (c == '\r' || c == '\n') ? ' ' : c;
  out += '\n';
}

bool isFromLine(std::string_view line) {
  std::size_t quotes = 0;
  while (quotes < line.size() && line[quotes] == '>') ++quotes;
  return line.substr(quotes, 5) == "From ";
}

}  // namespace

std::string rfc5322Date(DayDate date) {
  std::tm local{};
  std::time_t utc = 0;
  if (!localTime(date, local, utc)) return {};
  const long offset = local.tm_gmtoff / 60;
  const long absolute = offset < 0 ? -offset : offset;
  char text[64];
  std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d %c%02ld%02ld",
                kDays[local.tm_wday], local.tm_mday, monthAbbreviation(local.tm_mon + 1),
                local.tm_year + 1900, local.tm_hour, local.tm_min, local.tm_sec,
                offset < 0 ? '-' : '+', absolute / 60, absolute % 60);
  return text;
}

std::string envelopeDate(DayDate date) {
  std::tm local{};
  std::time_t utc = 0;
  if (!localTime(date, local, utc)) utc = 0;
  std::tm tm{};
  ::gmtime_r(&utc, &tm);
  char text[64];
  std::snprintf(text, sizeof text, "%s %s %2d %02d:%02d:%02d %04d", kDays[tm.tm_wday],
                monthAbbreviation(tm.tm_mon + 1), tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec,
                tm.tm_year + 1900);
  return text;
}

std::string envelopeSender(const std::string& author) {
  auto clean = [](std::string_view address) {
    std::string out;
    for (char c : address) {
      if (static_cast<unsigned char>(c) > ' ' && c != '<' && c != '>') out += c;
    }
    return out;
  };
  const std::size_t open = author.find('<');
  if (open != std::string::npos) {
    const std::size_t close = author.find('>', open);
    const std::string inside = clean(std::string_view(author).substr(
        open + 1, close == std::string::npos ? std::string::npos : close - open - 1));
    if (inside.find('@') != std::string::npos) return inside;
  }
  std::size_t start = 0;
  while (start < author.size()) {
    std::size_t end = author.find_first_of(" \t", start);
    if (end == std::string::npos) end = author.size();
    const std::string word = clean(std::string_view(author).substr(start, end - start));
    if (word.find('@') != std::string::npos) return word;
    start = end + 1;
  }
  return "MAILER-DAEMON";
}

void appendMboxMessage(std::string& mbox, const Article& article) {
  mbox += "From " + envelopeSender(article.author) + " " + envelopeDate(article.date) + "\n";
  headerLine(mbox, "From", article.author);
  headerLine(mbox, "Subject", article.subject);
  headerLine(mbox, "Date", rfc5322Date(article.date));
  headerLine(mbox, "Message-ID", article.messageId);
  headerLine(mbox, "References", article.references);
  headerLine(mbox, "Newsgroups", article.forum);
  mbox += '\n';
  for (std::string_view line : splitTextLines(article.text)) {
    if (isFromLine(line)) mbox += '>';
    mbox += line;
    mbox += '\n';
  }
  mbox += '\n';
}

ExportResult exportMbox(const Collection& collection, const std::string& fileName) {
  ExportResult result;
  std::string mbox;
  for (const auto& article : collection.articles()) {
    if (!article->isLoaded()) continue;
    appendMboxMessage(mbox, *article);
    ++result.articles;
  }
  result.message = writeWholeFile(fileName, mbox, FileAccess::Usual);
  result.ok = result.message.empty();
  if (!result.ok) result.articles = 0;
  return result;
}

}  // namespace varnook
