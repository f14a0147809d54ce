#include "archive/articletext.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "archive/textsearch.h"
#include "collection/article.h"

namespace varnook {
namespace {

using namespace std::string_literals;

DayDate at(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
  return *encodeDate(y, mo, d) + *encodeTime(h, mi, s);
}

constexpr DayDate kListDate = 36000;  // the date a result page gave the article

TEST(ParseArticleText, HeaderFieldsAndBody) {
  const std::string longValue(1500, 's');
  struct Case {
    std::string text;
    std::string subject, author, forum, references, messageId, body;
  };
  const std::vector<Case> cases = {
      {"Subject: Re: a: b\n\nbody", "Re: a: b", "", "", "", "", "body"},
      {"subject: x\nFROM:  me@x \nMESSAGE-id: <1@x>\nreferences: <0@x>\n\nb", "x", "me@x", "",
       "<0@x>", "<1@x>", "b"},
      {"Subject : x\n\n", "", "", "", "", "", ""},
      {"Newsgroups: a.b\nNewsgroup: c.d\n\n", "", "", "c.d", "", "", ""},
      {"Subject: first\nSubject: second\n\n", "second", "", "", "", "", ""},
      {"Subject: x\r\nFrom: y\r\n\nb\n", "x", "y", "", "", "", "b\r\n"},
      {"no colon line\n:\nX-Other: v\n\n", "", "", "", "", "", ""},
      {"\nSubject: in the body\n", "", "", "", "", "", "Subject: in the body\r\n"},
      {"Subject: x\n\na\nb\r\nc", "x", "", "", "", "", "a\r\nb\r\nc"},
      {"Subject: x\n\n\n\n", "x", "", "", "", "", "\r\n\r\n"},
      {"Subject: s\n\nab\0\ncd\n"s, "s", "", "", "", "", "ab"},  // the text ends at a NUL
      // Long values are cut; the blank after "From:" was one of the 999 characters.
      {"Subject:" + longValue + "\nFrom: " + longValue + "\n\n", std::string(999, 's'),
       std::string(998, 's'), "", "", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text.substr(0, 80));
    Article a(1, "");
    ASSERT_EQ(parseArticleText(c.text, a), "");
    EXPECT_EQ(std::tie(a.subject, a.author, a.forum, a.references, a.messageId, a.text),
              std::tie(c.subject, c.author, c.forum, c.references, c.messageId, c.body));
  }
}

// Without an empty line the headers read so far are kept, but not the text; a NUL ends
// the text before its first line does.
TEST(ParseArticleText, WithoutEmptyLineKeepsHeadersButNotTheText) {
  const std::pair<std::string, std::string> cases[] = {
      {"Subject: s\r\nFrom: f\r\n\r\nbody\r\n", "s"},
      {"Subject: s\nFrom: f", "s"},
      {"", "old"},
      {"Subject: s\n", "s"},
      {"Subject: s\n\r\nbody", "s"},
      {"Subject: s\0\n\nbody"s, "old"}};
  for (const auto& [text, subject] : cases) {
    SCOPED_TRACE(text);
    Article a(1, "old");
    a.text = "previous";
    EXPECT_EQ(parseArticleText(text, a), "Message body not found");
    EXPECT_EQ(std::tuple(a.text, a.subject), std::tuple("previous", subject));
  }
}

TEST(ParseArticleText, DateHeader) {
  // An unreadable date keeps the list date; a two-digit year clears it.
  const std::pair<std::string, DayDate> cases[] = {
      {"date: Mon, 5 Apr 1999 12:34:56 GMT", at(1999, 4, 5, 12, 34, 56)},
      {"Date: 5 Apr 99 10:00", 0},
      {"Date: 32 Apr 1999 10:00", kListDate},
      {"Date: 5 Apr 1999", kListDate}};
  for (const auto& [line, want] : cases) {
    Article a(1, "");
    a.date = kListDate;
    ASSERT_EQ(parseArticleText(line + "\n\nbody", a), "");
    EXPECT_EQ(a.date, want) << line;
  }
}

TEST(SplitHeaderLine, Cases) {
  const std::tuple<std::string, std::string, std::string, bool> cases[] = {
      {"Re: a: b", "Re", "a: b", true},
      {" X-A:\t v \r", " X-A", "v", true},
      {":v", "", "v", true},
      {"no colon", "no colon", "", false}};
  for (const auto& [line, name, value, hasColon] : cases) {
    const HeaderLine h = splitHeaderLine(line);
    EXPECT_EQ(std::tuple(h.name, h.value, h.hasColon), std::tuple(name, value, hasColon)) << line;
  }
}

TEST(ParseHeaderDate, Cases) {
  struct Case {
    std::string text;
    DayDate date;
    std::string error;
  };
  const std::vector<Case> cases = {
      {"Mon, 5 Apr 1999 12:34:56 GMT", at(1999, 4, 5, 12, 34, 56), ""},
      {"Apr 5, 1999 08:00", at(1999, 4, 5, 8, 0), ""},
      {"Monday, 05 April 1999 8:05:09 (CEST)", at(1999, 4, 5, 8, 5, 9), ""},
      {"  Tue,  20 Apr 1993 18:14:51 +0000", at(1993, 4, 20, 18, 14, 51), ""},
      {"5 Apr 1999, 23:59:59", at(1999, 4, 5, 23, 59, 59), ""},
      {"1 Jan 1901 00:00", at(1901, 1, 1), ""},
      {"31 Dec 3000 00:00", at(3000, 12, 31), ""},
      {"5 Apr 99 10:00", 0, ""},
      {"5 Apr 3001 10:00", 0, ""},
      // The year ends with its digits; the rest of that word is read as the time.
      {"5 Apr 1999x 10:00", 0, "'x' is not a valid time"},
      {"5 apr 1999 10:00", 0, "Month name not recognized"},
      {"5 Ap 1999 10:00", 0, "Month name not recognized"},
      {"5 Apr\t1999 10:00", 0, "Month name not recognized"},
      {"", 0, "Month name not recognized"},
      {"Mon 5 Apr 1999 10:00", 0, "Month name not recognized"},
      {"32 Apr 1999 10:00", 0, "Incorrect day of month"},
      {"Apr 0, 1999 10:00", 0, "Incorrect day of month"},
      {"99999999999999999999 Apr 1999", 0, "Incorrect day of month"},
      {"31 Feb 1999 10:00", 0, "Invalid argument to date encode"},
      {"5 Apr 1999", 0, "'' is not a valid time"},
      {"5 Apr 1999 noon", 0, "'noon' is not a valid time"},
      {"5 Apr 1999 24:00", 0, "'24:00' is not a valid time"},
  };
  for (const Case& c : cases) {
    const HeaderDate d = parseHeaderDate(c.text);
    EXPECT_EQ(std::tie(d.error, d.date), std::tie(c.error, c.date)) << c.text;
  }
}

TEST(ConvertLineBreaks, Cases) {
  const std::pair<std::string, std::string> cases[] = {{"", ""},
                                                       {"plain", "plain"},
                                                       {"\n", "\r\n"},
                                                       {"\r\n", "\r\n"},
                                                       {"a\nb\r\nc", "a\r\nb\r\nc"},
                                                       {"\n\n", "\r\n\r\n"},
                                                       {"\r\r\n\n\r", "\r\r\n\r\n\r"},
                                                       {"a\0b"s, "a"},
                                                       {"x\n\0\n"s, "x\r\n"},
                                                       {"\r\n\0\n"s, "\r\n"}};
  for (const auto& [in, want] : cases) EXPECT_EQ(convertLineBreaks(in), want) << in;
}

// A Date header as a plain reading of the common forms gives it: nothing when the
// form is not one of them.
std::optional<DayDate> referenceDate(const std::string& value) {
  static const std::regex form(
      R"(^\s*(?:[A-Za-z]+, )?(\d{1,2}) (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec)\S* )"
      R"((\d{1,6}) (\d{1,2}):(\d{2})(?::(\d{2}))?(?:\s.*)?$)");
  std::smatch m;
  if (!std::regex_match(value, m, form)) return std::nullopt;
  static const std::string months = "JanFebMarAprMayJunJulAugSepOctNovDec";
  const int year = std::stoi(m[3]);
  if (year < 1901 || year > 3000) return 0.0;
  const int month = static_cast<int>(months.find(m[2].str())) / 3 + 1;
  const auto date = encodeDate(year, month, std::stoi(m[1]));
  const auto time =
      encodeTime(std::stoi(m[4]), std::stoi(m[5]), m[6].matched ? std::stoi(m[6]) : 0);
  if (!date || !time) return std::nullopt;
  return *date + *time;
}

// The last value of a header, read directly from the lines before the first empty one.
std::string lastHeader(std::string_view text, std::string_view name) {
  std::string value;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    if (line.empty()) break;
    if (line.size() > name.size() && line[name.size()] == ':' &&
        equalsNoCase(line.substr(0, name.size()), name))
      value = std::string(trimControls(line.substr(name.size() + 1, 999)));
    pos = end + 1;
  }
  return value;
}

TEST(ParseArticleText, EveryCorpusArticleMatchesADirectHeaderReading) {
  const std::filesystem::path spool = VARNOOK_TEST_CORPUS "/spool";
  if (!std::filesystem::is_directory(spool)) GTEST_SKIP() << "no test corpus";
  std::size_t files = 0, datesChecked = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(spool)) {
    if (!entry.is_regular_file()) continue;
    std::ifstream in(entry.path(), std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    const std::string text = bytes.str();
    SCOPED_TRACE(entry.path().string());
    ++files;

    Article a(1, "");
    a.date = kListDate;
    ASSERT_EQ(parseArticleText(text, a), "");
    EXPECT_EQ(a.subject, lastHeader(text, "Subject"));
    EXPECT_EQ(a.author, lastHeader(text, "From"));
    EXPECT_EQ(a.messageId, lastHeader(text, "Message-ID"));
    if (const auto date = referenceDate(lastHeader(text, "Date"))) {
      ++datesChecked;
      EXPECT_EQ(a.date, *date) << lastHeader(text, "Date");
    }
    const std::size_t bodyStart = text.find("\n\n") + 2;
    ASSERT_EQ(a.text, convertLineBreaks(std::string_view(text).substr(bodyStart)));
    for (std::size_t i = a.text.find('\n'); i != std::string::npos; i = a.text.find('\n', i + 1))
      ASSERT_TRUE(i > 0 && a.text[i - 1] == '\r');
  }
  EXPECT_GT(files, 1000u);
  // Nearly every article uses one of the common forms.
  EXPECT_GT(datesChecked, files * 9 / 10);
}

}  // namespace
}  // namespace varnook
