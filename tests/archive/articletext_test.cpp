#include "archive/articletext.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <optional>
#include <regex>
#include <string>
#include <tuple>
#include <vector>

#include "archive/resultpage.h"
#include "archive/textsearch.h"
#include "collection/article.h"
#include "support/fixtures.h"
#include "support/realservers.h"

namespace varnook {
namespace {

using namespace std::string_literals;

DayDate at(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
  return *encodeDate(y, mo, d) + *encodeTime(h, mi, s);
}

// "yyyy-mm-dd hh:mm:ss" as a date, "0" as none.
DayDate dayDate(const std::string& text) {
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, sec = 0;
  return std::sscanf(text.c_str(), "%d-%d-%d %d:%d:%d", &y, &mo, &d, &h, &mi, &sec) == 6
             ? at(y, mo, d, h, mi, sec)
             : 0;
}

constexpr DayDate kListDate = 36000;  // the date a result page gave the article

// data/article-texts.txt
TEST(ParseArticleText, HeaderFieldsAndBody) {
  for (const auto& row : testing::readTable("archive/data/article-texts.txt", 8)) {
    SCOPED_TRACE(row[0].substr(0, 80));
    Article a(1, "old");
    a.text = "previous";
    const std::string error = parseArticleText(row[0], a);
    EXPECT_EQ(std::vector<std::string>(
                  {error, a.subject, a.author, a.forum, a.references, a.messageId, a.text}),
              std::vector<std::string>(row.begin() + 1, row.end()));
  }
  // Long values are cut; the blank after "From:" was one of the 999 characters.
  const std::string longValue(1500, 's');
  Article a(1, "");
  ASSERT_EQ(parseArticleText("Subject:" + longValue + "\nFrom: " + longValue + "\n\n", a), "");
  EXPECT_EQ(std::tuple(a.subject, a.author),
            std::tuple(std::string(999, 's'), std::string(998, 's')));
}

// Dates of result pages, Date header values, and Date lines of an article text read over
// the date its result page gave (data/dates.txt).
TEST(Dates, ListHeaderAndArticleDates) {
  for (const auto& row : testing::readTable("archive/data/dates.txt", 4)) {
    SCOPED_TRACE(row[0] + " " + row[1]);
    if (row[0] == "list") {
      EXPECT_EQ(parseListDate(row[1]), dayDate(row[2]));
    } else if (row[0] == "header") {
      const HeaderDate d = parseHeaderDate(row[1]);
      EXPECT_EQ(std::tuple(d.error, d.date), std::tuple(row[3], dayDate(row[2])));
    } else {
      Article a(1, "");
      a.date = kListDate;
      ASSERT_EQ(parseArticleText(row[1] + "\n\nbody", a), "");
      EXPECT_EQ(a.date, row[2] == "list" ? kListDate : dayDate(row[2]));
    }
  }
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
    const std::string text = testing::readFile(entry.path());
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
