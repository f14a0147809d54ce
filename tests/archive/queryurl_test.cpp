#include "archive/queryurl.h"

#include <gtest/gtest.h>

#include <cstring>
#include <tuple>

#include "collection/article.h"

// The cases below name only the query fields they set.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace varnook {
namespace {

const DayDate kNow = *encodeDate(2026, 12, 6) + 0.5;

ServiceSettings service() {
  ServiceSettings s;
  s.serviceHost = "archive.example";
  s.serviceDomain = "example";
  return s;
}

std::string build(const QueryFields& q, bool stored) {
  return buildQueryUrl(q, stored, service(), kNow);
}

// The fields read from `text` over `start`; fails the test when the read reports an error.
QueryFields parsed(std::string_view text, QueryFields start = {}) {
  EXPECT_EQ(parseQueryParameters(start, text), "") << text;
  return start;
}

TEST(BuildQueryUrl, UrlAndStoredForms) {
  const DayDate march5 = *encodeDate(1999, 3, 5);
  const struct {
    QueryFields query;
    bool stored;
    std::string want;
  } cases[] = {
      {{.keywords = "linux  modem "},
       false,
       "http://archive.example/[ST_rn=ps]/dnquery.xp?ST=PS&format=delta"
       "&QRY=linux+modem&defaultOp=AND&maxhits=40"},
      // Extended syntax sends only the query.
      {{.subject = "x", .keywords = "a ~s b", .matchAll = false},
       false,
       "http://archive.example/[ST_rn=ap]/dnquery.xp?ST=PS&format=delta&search=word"
       "&query=a+%7Es+b&defaultOp=OR&maxhits=40"},
      {{.subject = "  two   words ",
        .forum = "comp.*",
        .author = "Jo\tSmith",
        .keywords = "   ",
        .language = "EN",
        .archive = 3},
       true,
       "&subjects=two+words&authors=Jo\tSmith&groups=comp.%2A&defaultOp=AND&LNG=en&DBS=3"},
      {{.fromDate = -7, .toDate = march5},
       true,
       "&defaultOp=AND&fromdate=-7&todate=1999%2F03%2F05"},
      {{.fromDate = -7, .toDate = march5},
       false,
       "http://archive.example/[ST_rn=ps]/dnquery.xp?ST=PS&format=delta"
       "&defaultOp=AND&fromdate=Nov+29+2026&todate=Mar+5+1999&maxhits=40"},
      // A time of day is kept in the stored form.
      {{.toDate = march5 + 0.5}, true, "&defaultOp=AND&todate=1999%2F03%2F05+12%3A00%3A00"},
      // Relative dates below one day (one second before sending: today) stay relative;
      // below a second they count in whole days.
      {{.fromDate = -1.0 / 86400, .toDate = -6.5},
       true,
       "&defaultOp=AND&fromdate=-0.000012&todate=-6.5"},
      {{.toDate = -3.0000001}, true, "&defaultOp=AND&todate=-3"},
      {{.archive = 1, .thread = 4294967295u},
       false,
       "http://archive.example/[ST_rn=ps]/dnquery.xp?ST=PS&format=delta"
       "&defaultOp=AND&DBS=1&thread=4294967295&maxhits=40"},
      {{.toDate = -0.0000001}, true, "&defaultOp=AND&todate=-0.000001"},
  };
  for (const auto& c : cases) {
    const std::string url = build(c.query, c.stored);
    EXPECT_EQ(url, c.want);
    if (!c.stored) continue;
    // The stored form reads back; a relative date of today resolves to today.
    const QueryFields back = parsed(url);
    EXPECT_EQ(build(back, true), url);
    if (back.fromDate < 0 && back.fromDate > -1) {
      EXPECT_NE(build(back, false).find("fromdate=Dec+6+2026"), std::string::npos);
    }
  }
}

TEST(ParseQueryParameters, KeysCaseValuesPresenceAndLength) {
  const auto fields = [](const QueryFields& q) {
    return std::tuple(q.keywords, q.subject, q.matchAll, q.archive, q.language, q.fromDate,
                      q.toDate);
  };
  QueryFields old;
  old.keywords = "old";
  old.subject = "keep";
  const std::string filler = "http://h/?x=" + std::string(985, 'a');
  const struct {
    std::string text;
    std::tuple<std::string, std::string, bool, std::int32_t, std::string, DayDate, DayDate> want;
  } cases[] = {
      {"http://h/x?QRY=a+b&query=c", {"c", "keep", true, 0, "", 0, 0}},
      {"&qry=x", {"x", "keep", true, 0, "", 0, 0}},
      {"&QRY&subjects=y", {"", "y", true, 0, "", 0, 0}},  // present without a value
      {"&QRYX=1", {"old", "keep", true, 0, "", 0, 0}},
      {"&defaultOp=or&DBS=abc&LNG=de&fromdate=&todate=-x", {"old", "keep", false, 0, "de", 0, 0}},
      // Anything else than a number after the minus sign is 0.
      {"&fromdate=-1.x&todate=-.5", {"old", "keep", true, 0, "", 0, 0}},
      {"&fromdate=Mar+5+1999", {"old", "keep", true, 0, "", *encodeDate(1999, 3, 5), 0}},
      // Only 999 characters after the question mark are read.
      {filler + "&QRY=abcdefghij", {"abcdefg", "keep", true, 0, "", 0, 0}},
      {filler + "aaaaaaaaaa&QRY=toolate", {"old", "keep", true, 0, "", 0, 0}},
  };
  for (const auto& c : cases) EXPECT_EQ(fields(parsed(c.text, old)), c.want) << c.text;
  // A thread is an article number, or none.
  for (const auto& [text, thread] : {std::pair{"&thread=4294967295", 4294967295u},
                                     {"&thread=4294967296", 0u},
                                     {"&thread=-5", 0u},
                                     {"&threads=5&thread=7", 0u}})
    EXPECT_EQ(parsed(text).thread, thread) << text;

  // A bad date is reported; the fields after it stay untouched.
  QueryFields q;
  q.language = "keep";
  EXPECT_EQ(parseQueryParameters(q, "&QRY=k&fromdate=1999%2F02%2F30&LNG=de"),
            "'1999/02/30' is not a valid date");
  EXPECT_EQ(std::tuple(q.keywords, q.language), std::tuple("k", "keep"));
}

TEST(ArticleUrls, RotationFirstServerAndProfiles) {
  ServiceSettings s = service();
  Article article(42, "s");
  ArticleServerRotation rotation, trailing, defaults;
  s.hostList = "a,b";
  std::string seen;
  for (int i = 0; i < 4; ++i) seen += buildArticleUrl(article, s, rotation).substr(7, 1);
  EXPECT_EQ(seen, "abab");
  EXPECT_EQ(buildArticleUrl(article, s, rotation),
            "http://a.example/[ST_rn=ps]/getdoc.xp?AN=42&fmt=text");
  seen.clear();
  for (int i = 0; i < 4; ++i) seen += trailing.next("a,b,");
  EXPECT_EQ(seen, "abab");

  const std::string list = ServiceSettings().hostList;
  EXPECT_EQ(defaults.next(list), "www");
  for (int i = 1; i <= 15; ++i) EXPECT_EQ(defaults.next(list), "x" + std::to_string(i));
  EXPECT_EQ(defaults.next(list), "www");
  // A shorter list: the cursor past its end starts over.
  EXPECT_EQ(defaults.next("q"), "q");
  EXPECT_EQ(defaults.next("a-b.c"), "a");
  EXPECT_EQ(defaults.next("a-b.c"), "b");

  s.multiHost = false;
  for (const char* hosts : {"www,x1", "www"}) {
    s.hostList = hosts;
    EXPECT_EQ(buildArticleUrl(article, s, rotation).substr(0, 19), "http://www.example/");
  }
  Article dropped(0, "s");
  dropped.url = "http://kept/";
  EXPECT_EQ(buildArticleUrl(dropped, s, rotation), "http://kept/");

  EXPECT_EQ(buildProfileUrl("John Smith <js@x.org>", service()),
            "http://archive.example/[ST_rn=ps]/profile.xp?ST=PS&author="
            "John+Smith+%3Cjs%40x.org%3E");
}

// The scheme written before the service host is the scheme of every URL of the service;
// without one, URLs stay plain HTTP.
TEST(ServiceUrls, TheServiceHostsSchemeAppliesToSearchesArticlesAndProfiles) {
  for (const auto& [host, domain, origin, articleOrigin] :
       {std::tuple("archive.example", "example", "http://archive.example", "http://www.example"),
        std::tuple("http://archive.example", "example", "http://archive.example",
                   "http://www.example"),
        std::tuple("HTTPS://archive.example:8443/", "https://example:8443",
                   "https://archive.example:8443", "https://www.example:8443")}) {
    SCOPED_TRACE(host);
    ServiceSettings s = service();
    s.serviceHost = host;
    s.serviceDomain = domain;
    s.multiHost = false;
    s.hostList = "www";
    QueryFields query;
    query.keywords = "x";
    const std::string path = "/[ST_rn=ps]/";
    EXPECT_EQ(buildQueryUrl(query, false, s, kNow).substr(0, std::strlen(origin) + path.size()),
              origin + path);
    EXPECT_EQ(buildArticleUrl(Article(7, "s"), s),
              articleOrigin + path + "getdoc.xp?AN=7&fmt=text");
    EXPECT_EQ(buildProfileUrl("a", s), origin + path + "profile.xp?ST=PS&author=a");
  }
}

}  // namespace
}  // namespace varnook
