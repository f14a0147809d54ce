#include "archive/resultpage.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "collection/collection.h"
#include "resultpagebuilder.h"
#include "support/fixtures.h"

namespace varnook {
namespace {

using testing::buildResultPage;
using testing::PageEntry;

DayDate ymd(int y, int m, int d) {
  return *encodeDate(y, m, d);
}

// A collection with one request in it, and a clock that never makes anyone wait.
class ResultPageTest : public ::testing::Test {
 protected:
  ResultPageTest()
      : collection_(Collection::NameClock{[] { return 1000.0; }, [](double) {}}),
        request_(collection_.appendRequest(std::make_unique<Request>("Q#1.000000"))) {}

  std::string parse(std::string_view page) { return parseResultPage(page, request_); }
  const std::vector<std::unique_ptr<Article>>& articles() const { return collection_.articles(); }

  Collection collection_;
  Request& request_;
};

PageEntry entry(std::string number, std::string subject, std::string forum = "comp.x",
                std::string date = "1999/04/05", std::string author = "a@b.c") {
  return {std::move(number), std::move(subject), std::move(forum),
          std::move(date),   std::move(author),  ""};
}

// data/result-page.html: a page in the service's layout with eight entries.
TEST_F(ResultPageTest, ReadsARealisticPageCompletely) {
  EXPECT_EQ(parse(testing::readTestFile("archive/data/result-page.html")), "");
  EXPECT_EQ(request_.url, testing::nextPageUrl(9));
  EXPECT_EQ(std::tuple(request_.expectedTotal, request_.articles, request_.unique),
            std::tuple(1234, 8, 8));
  ASSERT_EQ(articles().size(), 8u);
  const Article& first = *articles()[0];
  EXPECT_EQ(std::tuple(first.number, first.subject, first.url, first.forum, first.author,
                       first.date, first.requestId),
            std::tuple(447000000u, "Re: 28.8 modem drops carrier after a few minutes",
                       testing::entryUrl("447000000", 0),  // as it stands, "&amp;" kept
                       "comp.dcom.modems", "John Smith <jsmith@example.com>", ymd(1999, 1, 10),
                       "Q#1.000000"));
  // Bytes of 8-bit text pass as they are (entities, blanks and the follow-up marker: the
  // rows of SubjectsAndFields).
  EXPECT_EQ(std::tuple(articles()[7]->subject, articles()[7]->forum),
            std::tuple("Caf\xe9 with dial-up access in M\xfcnchen?", "de.comp.hardware.modems"));
}

// What a page leaves on the request: the no-match sentence wins over entries; a page
// with neither entries nor that sentence is no result page, but keeps its count and link; a
// missing next link leaves the URL; an entry without a number counts as an entry but adds
// no article.
TEST_F(ResultPageTest, WhatAPageLeavesOnTheRequest) {
  std::string noMatch = buildResultPage({entry("5", "s")}, "1", testing::nextPageUrl(2));
  noMatch.insert(noMatch.find("<dl>"), "<p>Your search did NOT match any articles at all.</p>");
  const struct {
    std::string page, result, url;
    std::int32_t expectedTotal, articles;
  } cases[] = {
      {noMatch, "none", "before", -1, 0},
      {buildResultPage({}, "17", "http://h/next"), std::string(kNoEntriesNoNotice), "http://h/next",
       17, 0},
      {"", std::string(kNoEntriesNoNotice), "before", -1, 0},
      {buildResultPage({entry("1", "a"), entry("2", "b")}, "2", ""), "", "before", 2, 2},
      {buildResultPage({entry("", "x"), entry("99999999999", "too big")}, "1", ""), "", "before", 1,
       0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.page.substr(0, 60));
    collection_.clearArticles();
    request_.url = "before";
    request_.expectedTotal = -1;
    request_.articles = 0;
    EXPECT_EQ(parse(c.page), c.result);
    EXPECT_EQ(std::tuple(request_.url, request_.expectedTotal, request_.articles),
              std::tuple(c.url, c.expectedTotal, c.articles));
    EXPECT_EQ(articles().size(), static_cast<std::size_t>(c.articles));
  }
}

TEST_F(ResultPageTest, KnownEntriesAreCountedButNotChanged) {
  ASSERT_EQ(parse(buildResultPage({entry("10", "first")}, "1", "")), "");
  articles()[0]->forum = "edited";
  EXPECT_EQ(parse(buildResultPage({entry("10", "other"), entry("11", "new")}, "2", "")), "");
  EXPECT_EQ(std::tuple(request_.articles, request_.unique), std::tuple(3, 2));
  ASSERT_EQ(articles().size(), 2u);
  EXPECT_EQ(std::tuple(articles()[0]->subject, articles()[0]->forum, articles()[1]->subject),
            std::tuple("first", "edited", "new"));
}

// Entry fields as a page gives them and as they are read (data/entries.txt).
TEST_F(ResultPageTest, SubjectsAndFields) {
  const auto rows = testing::readTable("archive/data/entries.txt", 9);
  std::vector<PageEntry> entries;
  for (const auto& row : rows) entries.push_back(entry(row[0], row[1], row[2], row[3], row[4]));
  ASSERT_EQ(parse(buildResultPage(entries, "7", "")), "");
  ASSERT_EQ(articles().size(), rows.size());
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const Article& a = *articles()[i];
    int y = 0, m = 0, d = 0;
    const bool dated = std::sscanf(rows[i][8].c_str(), "%d-%d-%d", &y, &m, &d) == 3;
    EXPECT_EQ(std::tuple(a.number, a.subject, a.forum, a.author, a.date),
              std::tuple(std::stoul(rows[i][0]), rows[i][5], rows[i][6], rows[i][7],
                         dated ? ymd(y, m, d) : 0))
        << rows[i][0];
  }
}

// Counts, next-page links and labelled fields (data/page-parts.txt).
TEST_F(ResultPageTest, CountNextPageUrlAndLabelledFields) {
  const std::map<std::string, std::string_view> results = {{"", kNoEntriesNoNotice},
                                                           {"start missing", kNextUrlStartMissing},
                                                           {"end missing", kNextUrlEndMissing}};
  for (const auto& row : testing::readTable("archive/data/page-parts.txt", 0)) {
    SCOPED_TRACE(row[1]);
    if (row[0] == "field") {
      EXPECT_EQ(extractLabelledField(row[1], row[2], row[3]), row[4]);
      continue;
    }
    request_.expectedTotal = -1;
    request_.url = "old";
    const std::string result = parse(row[1]);
    if (row[0] == "count") {
      EXPECT_EQ(std::to_string(request_.expectedTotal), row[2]);
    } else {
      EXPECT_EQ(std::tuple(result, request_.url), std::tuple(results.at(row[2]), row[3]));
    }
  }
}

// Small pages: each layout error has its message and keeps the entries before it; entry
// markers ignore letter case; a link takes the nearest quote before it, also one at the very
// first character or one of another tag, and none is an error; the page ends at its first NUL
// byte, also for the no-match sentence.
TEST_F(ResultPageTest, SmallPagesAndTheirErrors) {
  const std::string two =
      "<a href=\"/getdoc.xp?AN=1\">s</a><b>Forum</b>: g<p>"
      "<a href=\"/getdoc.xp?AN=2\">t</a><p>";
  const std::string nul(1, '\0');
  const struct {
    std::string page;
    std::string_view result;
    std::size_t count;
    std::string last;  // number, URL and date of the last article read
  } cases[] = {
      {two + "<a href=\"/getdoc.xp?AN=3>s</a><p>", kEntryUrlEndMissing, 2, "2 /getdoc.xp?AN=2"},
      {two + "<a href=\"/getdoc.xp?AN=3\"", kLinkTagEndMissing, 2, "2 /getdoc.xp?AN=2"},
      {two + "<a href=\"/getdoc.xp?AN=3\">subject without end", kSubjectEndMissing, 2,
       "2 /getdoc.xp?AN=2"},
      {two + "<a href=\"/getdoc.xp?AN=3\">s</a> no end of description", kDescriptionEndMissing, 2,
       "2 /getdoc.xp?AN=2"},
      {"<A HREF=\"/GETDOC.XP?an=42&x=1\">Subj</A><B>date</b>: 2001/02/03<P>", "", 1,
       "42 /GETDOC.XP?an=42&x=1 2001/02/03"},
      {"x/getdoc.xp?AN=5\">s<p>", kEntryUrlStartMissing, 0, ""},
      {"\"/getdoc.xp?AN=5\">s<p>", "", 1, "5 /getdoc.xp?AN=5"},
      {"<i class=\"c\">/getdoc.xp?AN=6\">s<p>", "", 1, "6 >/getdoc.xp?AN=6"},
      {"\"/getdoc.xp?AN=1\">a<p>\"/getdoc.xp?AN=2\">b</a>" + nul + "<p>", kDescriptionEndMissing, 1,
       "1 /getdoc.xp?AN=1"},
      {"\"/getdoc.xp?AN=9\">s<p>" + nul + "Your search did not match any articles at all", "", 1,
       "9 /getdoc.xp?AN=9"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.page);
    collection_.clearArticles();
    request_.articles = 0;
    EXPECT_EQ(parse(c.page), c.result);
    EXPECT_EQ(std::tuple(articles().size(), static_cast<std::size_t>(request_.articles)),
              std::tuple(c.count, c.count));
    if (articles().empty()) continue;
    const Article& a = *articles().back();
    EXPECT_EQ(
        std::to_string(a.number) + " " + a.url + (a.date ? " " + formatShortDate(a.date) : ""),
        c.last);
  }
}

}  // namespace
}  // namespace varnook
