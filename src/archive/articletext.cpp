#include "archive/articletext.h"

#include <cstdint>
#include <cstring>

#include "archive/textsearch.h"
#include "collection/article.h"

namespace varnook {
namespace {

constexpr std::size_t kMaxHeaderValue = 999;

std::string_view untilNul(std::string_view text) {
  if (text.empty()) return text;
  if (const void* nul = std::memchr(text.data(), '\0', text.size()))
    return text.substr(0, static_cast<std::size_t>(static_cast<const char*>(nul) - text.data()));
  return text;
}

bool isAsciiLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool isDigit(char c) {
  return c >= '0' && c <= '9';
}
// Codes 0..32.
bool isControlOrBlank(char c) {
  return static_cast<unsigned char>(c) <= 32;
}

void applyHeader(std::string_view line, Article& article) {
  const HeaderLine header = splitHeaderLine(line);
  if (!header.hasColon) return;
  const std::string_view name = header.name;
  switch (name.size()) {
    case 4:
      if (equalsNoCase(name, "From")) {
        article.author.assign(header.value);
      } else if (equalsNoCase(name, "Date")) {
        const HeaderDate date = parseHeaderDate(header.value);
        if (date.ok()) article.date = date.date;
      }
      break;
    case 7:
      if (equalsNoCase(name, "Subject")) article.subject.assign(header.value);
      break;
    case 9:
      if (equalsNoCase(name, "Newsgroup")) article.forum.assign(header.value);
      break;
    case 10:
      if (equalsNoCase(name, "References"))
        article.references.assign(header.value);
      else if (equalsNoCase(name, "Message-ID"))
        article.messageId.assign(header.value);
      break;
    default:
      break;
  }
}

// Walks through a Date header value.
class DateReader {
 public:
  explicit DateReader(std::string_view text) : text_(text) {}

  std::size_t pos = 0;

  bool atEnd() const { return pos >= text_.size(); }
  char peek() const { return atEnd() ? '\0' : text_[pos]; }

  // Separators are the codes 0..32 and ",".
  void skipSeparators() {
    while (!atEnd() && (isControlOrBlank(text_[pos]) || text_[pos] == ',')) ++pos;
  }

  // The decimal digits after the separators, 0 when there are none. Large values saturate:
  // every caller range-checks the result.
  std::int64_t readNumber() {
    skipSeparators();
    std::int64_t value = 0;
    while (!atEnd() && isDigit(text_[pos])) {
      if (value < 100000000) value = value * 10 + (text_[pos] - '0');
      ++pos;
    }
    return value;
  }

  // The month of the next word (1..12), 0 when it names none or is not followed by a blank.
  int readMonth() {
    static constexpr const char* kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    skipSeparators();
    const std::size_t start = pos;
    while (!atEnd() && !isControlOrBlank(text_[pos])) ++pos;
    if (pos - start < 3 || peek() != ' ') return 0;
    for (int m = 0; m < 12; ++m)
      if (std::memcmp(text_.data() + start, kMonths[m], 3) == 0) return m + 1;
    return 0;
  }

  // The run of non-blank characters after the separators.
  std::string_view readWord() {
    skipSeparators();
    const std::size_t start = pos;
    while (!atEnd() && !isControlOrBlank(text_[pos])) ++pos;
    return text_.substr(start, pos - start);
  }

 private:
  std::string_view text_;
};

// Where the date proper begins: behind a leading weekday ("Mon, "), otherwise at the start.
// Only a word of letters before the first ", " counts as a weekday, so that in
// "Apr 5, 1999" the month and day are not skipped.
std::size_t dateStart(std::string_view value) {
  const std::size_t comma = value.find(", ");
  if (comma == std::string_view::npos) return 0;
  std::size_t i = 0;
  while (i < comma && isControlOrBlank(value[i])) ++i;
  if (i == comma) return 0;
  for (std::size_t j = i; j < comma; ++j)
    if (!isAsciiLetter(value[j])) return 0;
  return comma + 2;
}

}  // namespace

HeaderLine splitHeaderLine(std::string_view line) {
  const std::size_t colon = line.find(':');
  if (colon == std::string_view::npos) return {line, {}, false};
  return {line.substr(0, colon), trimControls(line.substr(colon + 1, kMaxHeaderValue)), true};
}

HeaderDate parseHeaderDate(std::string_view value) {
  DateReader reader(value);
  reader.pos = dateStart(value);

  reader.skipSeparators();
  std::int64_t day = 0;
  int month = 0;
  const bool dayFirst = isDigit(reader.peek());
  if (dayFirst) {
    day = reader.readNumber();
    if (day < 1 || day > 31) return {0, std::string(kIncorrectDayOfMonth)};
  }
  month = reader.readMonth();
  if (month == 0) return {0, std::string(kMonthNotRecognized)};
  if (!dayFirst) {
    day = reader.readNumber();
    if (day < 1 || day > 31) return {0, std::string(kIncorrectDayOfMonth)};
  }
  const std::int64_t year = reader.readNumber();
  if (year < 1901 || year > 3000) return {};

  const auto date = encodeDate(static_cast<int>(year), month, static_cast<int>(day));
  if (!date) return {0, std::string(kInvalidDateEncode)};
  const std::string_view timeText = reader.readWord();
  const auto time = parseTimeOfDay(timeText);
  if (!time) {
    // Built piecewise: g++ 12 warns falsely (-Wrestrict) about "'" + std::string.
    std::string error = "'";
    error.append(timeText);
    error += "' is not a valid time";
    return {0, std::move(error)};
  }
  return {*date + *time, {}};
}

std::string convertLineBreaks(std::string_view text) {
  text = untilNul(text);
  const char* const begin = text.data();
  const char* const end = begin + text.size();

  std::size_t bare = 0;
  for (const char* p = begin; p < end; ++p) {
    p = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
    if (p == nullptr) break;
    if (p == begin || p[-1] != '\r') ++bare;
  }
  if (bare == 0) return std::string(text);

  std::string out;
  out.reserve(text.size() + bare);
  const char* copied = begin;
  for (const char* p = begin; p < end; ++p) {
    p = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
    if (p == nullptr) break;
    if (p == begin || p[-1] != '\r') {
      out.append(copied, p);
      out += '\r';
      copied = p;  // the line feed goes out with the next piece
    }
  }
  out.append(copied, end);
  return out;
}

std::string parseArticleText(std::string_view text, Article& article) {
  std::string body;
  std::string error = parseArticleText(text, article, body);
  if (error.empty()) article.text = std::move(body);
  return error;
}

std::string parseArticleText(std::string_view text, Article& article, std::string& body) {
  text = untilNul(text);
  std::size_t pos = 0;
  for (;;) {
    const void* lf =
        pos < text.size() ? std::memchr(text.data() + pos, '\n', text.size() - pos) : nullptr;
    if (lf == nullptr) return std::string(kMessageBodyNotFound);
    const std::size_t lineEnd =
        static_cast<std::size_t>(static_cast<const char*>(lf) - text.data());
    const std::string_view line = text.substr(pos, lineEnd - pos);
    pos = lineEnd + 1;
    // Only a line with no characters at all ends the header; "\r" is a line of its own.
    if (line.empty()) break;
    applyHeader(line, article);
  }
  body = convertLineBreaks(text.substr(pos));
  return {};
}

}  // namespace varnook
