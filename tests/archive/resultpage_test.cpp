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

TEST_F(ResultPageTest, EntryMarkersIgnoreLetterCase) {
  EXPECT_EQ(parse("<A HREF=\"/GETDOC.XP?an=42&x=1\">Subj</A><B>date</b>: 2001/02/03<P>"), "");
  ASSERT_EQ(articles().size(), 1u);
  EXPECT_EQ(std::tuple(articles()[0]->number, articles()[0]->date),
            std::tuple(42u, ymd(2001, 2, 3)));
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

TEST_F(ResultPageTest, EachLayoutErrorHasItsMessage) {
  const std::string good = "<a href=\"/getdoc.xp?AN=1\">s</a><b>Forum</b>: g<p>";
  const std::vector<std::pair<std::string, std::string_view>> cases = {
      {"<a href=\"/getdoc.xp?AN=3>s</a><p>", kEntryUrlEndMissing},
      {"<a href=\"/getdoc.xp?AN=3\"", kLinkTagEndMissing},
      {"<a href=\"/getdoc.xp?AN=3\">subject without end", kSubjectEndMissing},
      {"<a href=\"/getdoc.xp?AN=3\">s</a> no end of description", kDescriptionEndMissing},
  };
  for (const auto& [third, message] : cases) {
    SCOPED_TRACE(third);
    collection_.clearArticles();
    request_.articles = 0;
    // Two good entries, then the broken one: the first two stay.
    std::string page = good + "<a href=\"/getdoc.xp?AN=2\">t</a><p>" + third;
    EXPECT_EQ(parse(page), message);
    EXPECT_EQ(request_.articles, 2);
    EXPECT_EQ(articles().size(), 2u);
  }
}

TEST_F(ResultPageTest, BackwardQuoteSearchStopsAtThePageStart) {
  EXPECT_EQ(parse("x/getdoc.xp?AN=5\">s<p>"), std::string(kEntryUrlStartMissing));
  EXPECT_TRUE(articles().empty());
  // A quote at the very first character still counts.
  EXPECT_EQ(parse("\"/getdoc.xp?AN=5\">s<p>"), "");
  ASSERT_EQ(articles().size(), 1u);
  EXPECT_EQ(articles()[0]->url, "/getdoc.xp?AN=5");
  // Without a quote of its own, a link takes the nearest earlier one, whatever it was.
  EXPECT_EQ(parse("<i class=\"c\">/getdoc.xp?AN=6\">s<p>"), "");
  ASSERT_EQ(articles().size(), 2u);
  EXPECT_EQ(articles()[1]->url, ">/getdoc.xp?AN=6");
}

TEST_F(ResultPageTest, PageEndsAtItsFirstNulByte) {
  std::string page = buildResultPage({entry("1", "a"), entry("2", "b")}, "2", "");
  // A NUL inside the second entry's description: its "<p>" is no longer on the page.
  page.insert(page.rfind("<b>Author</b>"), 1, '\0');
  EXPECT_EQ(parse(page), std::string(kDescriptionEndMissing));
  EXPECT_EQ(articles().size(), 1u);

  // Nothing after the NUL is read, not even the no-match sentence.
  const std::string hidden = std::string("\"/getdoc.xp?AN=9\">s<p>") + '\0' +
                             "Your search did not match any articles at all";
  EXPECT_EQ(parse(hidden), "");
  EXPECT_EQ(articles().size(), 2u);
}

TEST(ParseListDate, Cases) {  // data/dates.txt
  for (const auto& row : testing::readTable("archive/data/dates.txt", 4)) {
    if (row[0] != "list") continue;
    int y = 0, m = 0, d = 0;
    const bool isDate = std::sscanf(row[2].c_str(), "%d-%d-%d", &y, &m, &d) == 3;
    EXPECT_EQ(parseListDate(row[1]), isDate ? ymd(y, m, d) : 0) << row[1];
  }
}

}  // namespace
}  // namespace varnook
