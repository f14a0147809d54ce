#include "archive/queryurl.h"

#include <gtest/gtest.h>

#include <random>
#include <tuple>

#include "collection/article.h"

namespace varnook {
namespace {

const DayDate kNow = *encodeDate(2026, 12, 6) + 0.5;

ServiceSettings service() {
  ServiceSettings s;
  s.serviceHost = "archive.example";
  s.serviceDomain = "example";
  return s;
}

TEST(BuildQueryUrl, PlainQueryUrlForm) {
  QueryFields q;
  q.keywords = "linux  modem ";
  EXPECT_EQ(buildQueryUrl(q, false, service(), kNow),
            "http://archive.example/[ST_rn=ps]/dnquery.xp?ST=PS&format=delta"
            "&QRY=linux+modem&defaultOp=AND&maxhits=40");
}

TEST(BuildQueryUrl, ExtendedSyntaxSendsOnlyTheQuery) {
  QueryFields q;
  q.keywords = "a ~s b";
  q.subject = "x";
  q.matchAll = false;
  EXPECT_EQ(buildQueryUrl(q, false, service(), kNow),
            "http://archive.example/[ST_rn=ap]/dnquery.xp?ST=PS&format=delta&search=word"
            "&query=a+%7Es+b&defaultOp=OR&maxhits=40");
}

TEST(BuildQueryUrl, FieldsOrderCompactionAndArchive) {
  QueryFields q;
  q.keywords = "   ";
  q.subject = "  two   words ";
  q.author = "Jo\tSmith";
  q.forum = "comp.*";
  q.language = "EN";
  q.archive = 3;
  EXPECT_EQ(buildQueryUrl(q, true, service(), kNow),
            "&subjects=two+words&authors=Jo\tSmith&groups=comp.%2A&defaultOp=AND&LNG=en&DBS=3");
  q.archive = 0;
  EXPECT_EQ(buildQueryUrl(q, true, service(), kNow).find("DBS"), std::string::npos);
}

TEST(BuildQueryUrl, DatesInBothForms) {
  QueryFields q;
  q.fromDate = -7;
  q.toDate = *encodeDate(1999, 3, 5);
  EXPECT_EQ(buildQueryUrl(q, true, service(), kNow),
            "&defaultOp=AND&fromdate=-7&todate=1999%2F03%2F05");
  EXPECT_EQ(buildQueryUrl(q, false, service(), kNow),
            "http://archive.example/[ST_rn=ps]/dnquery.xp?ST=PS&format=delta"
            "&defaultOp=AND&fromdate=Nov+29+2026&todate=Mar+5+1999&maxhits=40");
  q.toDate += 0.5;  // a time of day is kept in the stored form and read back
  const std::string stored = buildQueryUrl(q, true, service(), kNow);
  EXPECT_NE(stored.find("todate=1999%2F03%2F05+12%3A00%3A00"), std::string::npos);
  QueryFields back;
  EXPECT_EQ(parseQueryParameters(back, stored), "");
  EXPECT_EQ(back.toDate, q.toDate);
  EXPECT_EQ(back.fromDate, -7);
}

TEST(BuildQueryUrl, RelativeDateOfTodayStaysRelative) {
  QueryFields q;
  q.fromDate = -1.0 / 86400;  // one second before sending: today
  q.toDate = -6.5;
  const std::string stored = buildQueryUrl(q, true, service(), kNow);
  EXPECT_EQ(stored, "&defaultOp=AND&fromdate=-0.000012&todate=-6.5");
  QueryFields back;
  EXPECT_EQ(parseQueryParameters(back, stored), "");
  EXPECT_NEAR(back.fromDate, -0.000012, 1e-9);
  EXPECT_EQ(back.toDate, -6.5);
  EXPECT_NE(buildQueryUrl(back, false, service(), kNow).find("fromdate=Dec+6+2026"),
            std::string::npos);
  q.toDate = -3.0000001;  // below a second: whole days
  EXPECT_EQ(buildQueryUrl(q, true, service(), kNow), "&defaultOp=AND&fromdate=-0.000012&todate=-3");
  // Even less than that before sending stays a relative date.
  q.toDate = -0.0000001;
  const std::string tiny = buildQueryUrl(q, true, service(), kNow);
  EXPECT_EQ(tiny, "&defaultOp=AND&fromdate=-0.000012&todate=-0.000001");
  QueryFields again;
  EXPECT_EQ(parseQueryParameters(again, tiny), "");
  EXPECT_LT(again.toDate, 0);
  // Anything else after the minus sign is no number: 0.
  QueryFields odd;
  parseQueryParameters(odd, "&fromdate=-1.x&todate=-.5");
  EXPECT_EQ(odd.fromDate, 0);
  EXPECT_EQ(odd.toDate, 0);
}

TEST(ParseQueryParameters, KeysCaseValuesAndPresence) {
  QueryFields q;
  EXPECT_EQ(parseQueryParameters(q, "http://h/x?QRY=a+b&query=c"), "");
  EXPECT_EQ(q.keywords, "c");

  QueryFields lower;
  parseQueryParameters(lower, "&qry=x");
  EXPECT_EQ(lower.keywords, "x");

  QueryFields empty;
  empty.keywords = "old";
  empty.subject = "keep";
  parseQueryParameters(empty, "&QRY&subjects=y");
  EXPECT_EQ(empty.keywords, "");
  EXPECT_EQ(empty.subject, "y");

  QueryFields prefixed;
  prefixed.keywords = "old";
  parseQueryParameters(prefixed, "&QRYX=1");
  EXPECT_EQ(prefixed.keywords, "old");

  QueryFields misc;
  parseQueryParameters(misc, "&defaultOp=or&DBS=abc&LNG=de&fromdate=&todate=-x");
  EXPECT_FALSE(misc.matchAll);
  EXPECT_EQ(misc.archive, 0);
  EXPECT_EQ(misc.language, "de");
  EXPECT_EQ(misc.fromDate, 0);
  EXPECT_EQ(misc.toDate, 0);
}

TEST(ParseQueryParameters, ReadsOnly999CharactersAfterTheQuestionMark) {
  QueryFields q;
  const std::string url = "http://h/?x=" + std::string(995, 'a') + "&QRY=toolate";
  parseQueryParameters(q, url);
  EXPECT_EQ(q.keywords, "");
  QueryFields inside;
  parseQueryParameters(inside, "http://h/?x=" + std::string(985, 'a') + "&QRY=abcdefghij");
  EXPECT_EQ(inside.keywords, "abcdefg");
}

TEST(ParseQueryParameters, BadDateIsReportedAndLaterFieldsStayUntouched) {
  QueryFields q;
  q.language = "keep";
  EXPECT_EQ(parseQueryParameters(q, "&QRY=k&fromdate=1999%2F02%2F30&LNG=de"),
            "'1999/02/30' is not a valid date");
  EXPECT_EQ(q.keywords, "k");
  EXPECT_EQ(q.language, "keep");
  QueryFields urlForm;
  EXPECT_EQ(parseQueryParameters(urlForm, "&fromdate=Mar+5+1999"), "");
  EXPECT_EQ(urlForm.fromDate, *encodeDate(1999, 3, 5));
}

TEST(ParseQueryParameters, StoredFormReadsBackTheSameQuery) {
  std::mt19937 rng(11);
  auto text = [&](int max) {
    const char chars[] = "abcXYZ09 ~&=%+?#/\"'.,\xE4";
    std::string s(rng() % (max + 1), 'a');
    for (char& c : s) c = chars[rng() % (sizeof chars - 1)];
    return compactBlanks(s);
  };
  for (int round = 0; round < 2000; ++round) {
    QueryFields q;
    q.keywords = text(20);
    if (q.keywords.find('~') == std::string::npos) {
      q.subject = text(10);
      q.author = text(10);
      q.forum = text(10);
    }
    q.matchAll = rng() % 2;
    q.language = text(3);
    for (char& c : q.language)
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    q.archive = static_cast<std::int32_t>(rng() % 7);
    q.fromDate = rng() % 3 == 0 ? -static_cast<double>(rng() % 1000)
                                : *encodeDate(1950 + static_cast<int>(rng() % 100), 1, 31);
    q.toDate = rng() % 2 ? 0 : *encodeDate(2000, 2, 29) + (rng() % 86400) / 86400.0;
    QueryFields back;
    back.matchAll = !q.matchAll;
    const std::string stored = buildQueryUrl(q, true, service(), kNow);
    ASSERT_EQ(parseQueryParameters(back, stored), "") << stored;
    const auto exact = [](const QueryFields& f) {
      return std::tie(f.keywords, f.subject, f.author, f.forum, f.matchAll, f.language, f.archive,
                      f.fromDate);
    };
    EXPECT_EQ(exact(back), exact(q)) << stored;
    EXPECT_NEAR(back.toDate, q.toDate, 0.5 / 86400) << stored;
  }
}

TEST(RecogniseUrls, QueryAndArticleUrls) {
  EXPECT_TRUE(isQueryUrl("http://h/[ST_rn=ps]/dnquery.xp?ST=PS&QRY=x"));
  EXPECT_TRUE(isQueryUrl("HTTP://H/DNQUERY.XP?query=x"));
  EXPECT_FALSE(isQueryUrl("/x?qry=1&y=/dnquery.xp?"));
  EXPECT_FALSE(isQueryUrl("http://h/dnquery.xp?ST=PS"));
  EXPECT_TRUE(isArticleUrl("http://h/getdoc.xp?AN=5"));
  EXPECT_FALSE(isArticleUrl("http://h/x?AN=5&y=/getdoc.xp?"));
  EXPECT_EQ(articleNumberFromUrl("getdoc.xp?AN=123.1&fmt=text"), 123u);
  EXPECT_EQ(articleNumberFromUrl("...?XAN=5"), 0u);
  EXPECT_EQ(articleNumberFromUrl("AN=77"), 77u);
  EXPECT_EQ(articleNumberFromUrl("x?an=8"), 8u);
  EXPECT_EQ(articleNumberFromUrl("x?AN=y"), 0u);
  EXPECT_EQ(articleNumberFromUrl("x?AN=99999999999"), 0u);
}

TEST(ArticleUrls, RotationAndFirstServer) {
  ServiceSettings s = service();
  Article article(42, "s");
  ArticleServerRotation rotation;
  s.hostList = "a,b";
  std::string seen;
  for (int i = 0; i < 4; ++i) {
    const std::string url = buildArticleUrl(article, s, rotation);
    seen += url.substr(7, 1);
    EXPECT_EQ(url.substr(8), ".example/[ST_rn=ps]/getdoc.xp?AN=42&fmt=text");
  }
  EXPECT_EQ(seen, "abab");
  s.hostList = "a,b,";
  ArticleServerRotation trailing;
  seen.clear();
  for (int i = 0; i < 4; ++i) seen += trailing.next(s.hostList);
  EXPECT_EQ(seen, "abab");

  ArticleServerRotation defaults;
  const std::string list = ServiceSettings().hostList;
  EXPECT_EQ(defaults.next(list), "www");
  for (int i = 1; i <= 15; ++i) EXPECT_EQ(defaults.next(list), "x" + std::to_string(i));
  EXPECT_EQ(defaults.next(list), "www");
  // A shorter list: the cursor past its end starts over.
  EXPECT_EQ(defaults.next("q"), "q");
  EXPECT_EQ(defaults.next("a-b.c"), "a");
  EXPECT_EQ(defaults.next("a-b.c"), "b");

  s.multiHost = false;
  s.hostList = "www,x1";
  EXPECT_EQ(buildArticleUrl(article, s, rotation).substr(0, 19), "http://www.example/");
  s.hostList = "www";
  EXPECT_EQ(buildArticleUrl(article, s, rotation).substr(0, 19), "http://www.example/");

  Article dropped(0, "s");
  dropped.url = "http://kept/";
  EXPECT_EQ(buildArticleUrl(dropped, s, rotation), "http://kept/");
}

TEST(ProfileUrl, EncodesTheAuthor) {
  EXPECT_EQ(buildProfileUrl("John Smith <js@x.org>", service()),
            "http://archive.example/[ST_rn=ps]/profile.xp?ST=PS&author="
            "John+Smith+%3Cjs%40x.org%3E");
}

}  // namespace
}  // namespace varnook
