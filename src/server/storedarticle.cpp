#include "server/storedarticle.h"

#include <array>
#include <cstdio>

#include "base/daydate.h"
#include "server/textutil.h"

namespace varnook::server {
namespace {

constexpr char kRecordVersion = '\x01';
constexpr std::array<const char*, 12> kMonths = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                 "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr std::array<const char*, 7> kWeekdays = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};

void putVarint(std::string& out, std::uint64_t value) {
  while (value >= 0x80) {
    out += static_cast<char>((value & 0x7F) | 0x80);
    value >>= 7;
  }
  out += static_cast<char>(value);
}

void putString(std::string& out, std::string_view text) {
  putVarint(out, text.size());
  out.append(text);
}

class RecordReader {
 public:
  explicit RecordReader(std::string_view data) : data_(data) {}

  bool varint(std::uint64_t& value) {
    value = 0;
    for (int shift = 0; shift < 64; shift += 7) {
      if (data_.empty()) return false;
      const auto byte = static_cast<unsigned char>(data_.front());
      data_.remove_prefix(1);
      value |= static_cast<std::uint64_t>(byte & 0x7F) << shift;
      if ((byte & 0x80) == 0) return true;
    }
    return false;
  }
  bool string(std::string& text) {
    std::uint64_t size = 0;
    if (!varint(size) || size > data_.size()) return false;
    text.assign(data_.substr(0, size));
    data_.remove_prefix(size);
    return true;
  }
  bool atEnd() const { return data_.empty(); }

 private:
  std::string_view data_;
};

}  // namespace

UnixTime unixTimeFromCivil(int year, int month, int day, int hour, int minute, int second) {
  return daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) * 86400 +
         hour * 3600 + minute * 60 + second;
}

CivilTime civilFromUnixTime(UnixTime time) {
  std::int64_t days = time / 86400;
  std::int64_t rest = time % 86400;
  if (rest < 0) rest += 86400, --days;
  CivilTime civil{};
  civil.weekday = static_cast<int>(((days % 7) + 11) % 7);  // 1970-01-01 was a Thursday
  const std::int64_t z = days + 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const auto doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  civil.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  civil.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  civil.year = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (civil.month <= 2));
  civil.hour = static_cast<int>(rest / 3600);
  civil.minute = static_cast<int>(rest / 60 % 60);
  civil.second = static_cast<int>(rest % 60);
  return civil;
}

std::string formatHeaderDate(UnixTime time) {
  if (time == kUnknownDate) return {};
  const CivilTime c = civilFromUnixTime(time);
  char text[48];
  std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d GMT", kWeekdays[c.weekday],
                c.day, kMonths[c.month - 1], c.year, c.hour, c.minute, c.second);
  return text;
}

std::string formatListDate(UnixTime time) {
  if (time == kUnknownDate) return {};
  const CivilTime c = civilFromUnixTime(time);
  char text[24];
  std::snprintf(text, sizeof text, "%04d/%02d/%02d", c.year, c.month, c.day);
  return text;
}

std::string StoredArticle::groupList() const {
  std::string list;
  for (const std::string& group : groups) {
    if (!list.empty()) list += ',';
    list += group;
  }
  return list;
}

std::string StoredArticle::plainText() const {
  std::string text;
  text.reserve(body.size() + 512);
  auto header = [&](std::string_view name, std::string_view value) {
    // Stored fields are single lines already; this keeps a damaged record from
    // breaking the header block all the same.
    const std::string line = singleLine(value);
    if (line.empty()) return;
    text.append(name);
    text += ": ";
    text += line;
    text += '\n';
  };
  header("From", from);
  header("Subject", subject);
  header("Date", formatHeaderDate(date));
  header("Message-ID", messageId);
  header("References", references);
  const std::string groupsText = groupList();
  header("Newsgroups", groupsText);
  header("Newsgroup", groupsText);
  text += '\n';
  text += body;
  return text;
}

std::string StoredArticle::serialize() const {
  std::string data;
  data.reserve(body.size() + subject.size() + from.size() + 128);
  data += kRecordVersion;
  putVarint(data, number);
  putVarint(data, static_cast<std::uint64_t>(date));
  putString(data, messageId);
  putString(data, from);
  putString(data, subject);
  putString(data, references);
  putVarint(data, groups.size());
  for (const std::string& group : groups) putString(data, group);
  putString(data, body);
  return data;
}

std::string StoredArticle::serializeSummary() const {
  StoredArticle summary;
  summary.number = number;
  summary.date = date;
  summary.from = from;
  summary.subject = subject;
  summary.groups = groups;
  return summary.serialize();
}

std::optional<StoredArticle> StoredArticle::deserialize(std::string_view data, bool withBody) {
  if (data.empty() || data.front() != kRecordVersion) return std::nullopt;
  RecordReader reader(data.substr(1));
  StoredArticle article;
  std::uint64_t number = 0, date = 0, groupCount = 0;
  if (!reader.varint(number) || number > 0xFFFFFFFFu || !reader.varint(date) ||
      !reader.string(article.messageId) || !reader.string(article.from) ||
      !reader.string(article.subject) || !reader.string(article.references) ||
      !reader.varint(groupCount) || groupCount > data.size())
    return std::nullopt;
  article.number = static_cast<std::uint32_t>(number);
  article.date = static_cast<UnixTime>(date);
  article.groups.resize(groupCount);
  for (std::string& group : article.groups)
    if (!reader.string(group)) return std::nullopt;
  if (!withBody) return article;
  if (!reader.string(article.body) || !reader.atEnd()) return std::nullopt;
  return article;
}

}  // namespace varnook::server
