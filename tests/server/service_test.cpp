// The archive's endpoints on a real server on loopback, over a small corpus written for
// the purpose: what each search finds, in which order, and the exact page markers.

#include <gtest/gtest.h>

#include <iterator>
#include <set>
#include <sstream>
#include <tuple>

#include "base/daydate.h"
#include "serversupport.h"
#include "varnook/version.h"

namespace varnook::server {
namespace {

using testing::LocalServer;
using testing::ParsedPage;
constexpr std::size_t npos = std::string::npos;

const char* const kInjectedSubject =
    "<script>alert(1)</script> Next matches</a> 1 matches</font> Your search did not match "
    "any articles at all /getdoc.xp?AN=999 <p>";

// Each article is named by its Message-ID, "<name@t>".
std::vector<testing::TestArticle> corpus() {
  std::vector<testing::TestArticle> articles;
  auto add = [&](std::string name, std::string subject, std::string from, std::string groups,
                 std::string date, std::string body) {
    articles.push_back({std::move(from), std::move(subject), std::move(groups), std::move(date),
                        "<" + name + "@t>", std::move(body), ""});
  };
  add("says", "Modem drops carrier", "John Smith <jsmith@example.com>", "comp.dcom.modems",
      "Mon, 5 Apr 1993 10:00:00 GMT",
      "My USR Sportster modem drops the carrier every few minutes.\n");
  add("quotes", "Re: Modem drops carrier", "Mary Jones <mary@example.org>", "comp.dcom.modems",
      "Tue, 6 Apr 1993 10:00:00 GMT",
      "In article <says@t>, John Smith wrote:\n> My USR Sportster modem drops the carrier\n"
      "\nTry another cable; the problem is usually the cable.\n");
  add("job", "C++ programmer wanted", "Jobs <jobs@example.com>", "misc.jobs.offered",
      "10 Jan 94 09:00:00 -0500", "We need a modem driver programmer.\n");
  add("sale", "FS: modem and cables", "Seller <sell@example.com>", "misc.forsale",
      "1 Feb 1994 12:00:00 GMT", "Selling my old modem. Cheap.\n");
  add("adult", "a story", "Someone <x@example.com>", "alt.sex.stories", "2 Feb 1994 12:00:00 GMT",
      "A modem story for grown-ups.\n");
  add("mac", "Mac modem question", "John Smith <jsmith@example.com>", "comp.sys.mac.hardware",
      "3 Mar 1995 08:00:00 GMT", "Which modem works with a Mac IIci?\n");
  add("cross", "PC and Mac serial ports", "Pat <pat@example.net>",
      "comp.sys.ibm.pc.hardware,comp.sys.mac.hardware", "4 Mar 1995 08:00:00 GMT",
      "The quick brown fox jumps over serial ports.\n");
  add("de", "Rechnungen und Steuern", "Hans <hans@example.de>", "de.etc.finanz",
      "5 Mar 1995 08:00:00 GMT", "Die Rechnungen kommen immer zu spaet.\n");
  add("jp", "Japanese astronomy", "Taro <taro@example.jp>", "fj.sci.astro",
      "6 Mar 1995 08:00:00 GMT",
      "\xE5\xA4\xA9\xE4\xBD\x93\xE8\xA6\xB3\xE6\xB8\xAC\xE3\x81\x8C\xE5\xA5\xBD\xE3\x81\x8D\n");
  add("evil", kInjectedSubject, "Evil <evil@example.com> \"onmouseover=x", "comp.dcom.modems",
      "7 Mar 1995 08:00:00 GMT", "<b>bold</b> injection &amp; xylophone\n");
  add("fox2", "Fox order", "Pat <pat@example.net>", "comp.misc", "8 Mar 1995 08:00:00 GMT",
      "The brown quick fox stays in the wrong order.\n");
  // Names with and without accents, and a word said, quoted and signed.
  add("mueller", "Stuttgart", "=?ISO-8859-1?Q?J=FCrgen_M=FCller?= <jm@example.de>", "de.test",
      "9 Mar 1995 08:00:00 GMT",
      "Sch\xC3\xB6ne Gr\xC3\xBC\xC3\x9F"
      "e, caf\xC3\xA9 soci\xC3\xA9t\xC3\xA9.\nJ\xC3\xBCrgen M\xC3\xBCller\n");
  add("muller", "Hello", "Jurgen Muller <jmuller@example.com>", "de.test",
      "10 Mar 1995 08:00:00 GMT", "Regards from Jurgen Muller\n");
  add("frobsays", "Workshop", "Ann <ann@example.com>", "rec.tools", "11 Mar 1995 08:00:00 GMT",
      "I finally built a frobnicator from spare parts, over many long evenings of careful "
      "work with old tools, new ideas and a great deal of patience.\n");
  add("frobquotes", "Re: Workshop", "Ben <ben@example.com>", "rec.tools",
      "12 Mar 1995 08:00:00 GMT", "> frobnicator frobnicator\n> a frobnicator widget\n\nNice.\n");
  add("frobsig", "Tools", "Cy <cy@example.com>", "rec.tools", "13 Mar 1995 08:00:00 GMT",
      "Nothing to add.\n-- \nfrobnicator widget fan\n");
  add("frobwidget", "Shop", "Di <di@example.com>", "rec.tools", "14 Mar 1995 08:00:00 GMT",
      "My widget and my frobnicator work well.\n");
  for (int i = 1; i <= 25; ++i)  // distinct days for date order
    add("filler" + std::to_string(i), "page filler " + std::to_string(i),
        "Filler <filler@example.com>", "test.paging", std::to_string(i) + " Jan 1996 00:00:00 GMT",
        "zebra number " + std::to_string(i) + "\n");
  return articles;
}

// The server over the corpus, shared by the tests of this file.
const testing::TempFolder& folder() {
  static const testing::TempFolder folder;
  return folder;
}
const LocalServer& server() {
  static const LocalServer server([] {
    const std::string spool = testing::writeSpool(folder(), corpus());
    // The cross-post also sits in its second group's folder, as in a real spool.
    testing::writeFile(spool + "/cross-copy/1", testing::readFile(spool + "/7"));
    testing::indexPaths(folder() / "index", {spool});
    return folder() / "index";
  }());
  return server;
}

// The names of the hits of all pages, in result order, separated by blanks.
std::string names(const std::vector<ParsedPage>& pages) {
  std::string out;
  for (const ParsedPage& page : pages)
    for (std::uint32_t number : page.numbers) {
      const std::string id = testing::messageIdOf(server().index(), number);
      out += (out.empty() ? "" : " ") + id.substr(1, id.find('@') - 1);
    }
  return out;
}
std::string names(const std::string& parameters) {
  return names(server().allPages("/dnquery.xp?" + parameters));
}
// The names in alphabetical order, for comparing sets.
std::string sorted(const std::string& names) {
  std::istringstream in(names);
  const std::multiset<std::string> set{std::istream_iterator<std::string>(in), {}};
  std::string out;
  for (const std::string& name : set) out += (out.empty() ? "" : " ") + name;
  return out;
}

TEST(ServiceTest, SearchesFindExactlyTheirArticles) {
  const struct {
    const char* parameters;
    const char* found;  // names, in any order
  } cases[] = {
      // Archives follow the group rules; no DBS (or an unknown one) means standard.
      {"QRY=modem&maxhits=3", "says quotes job sale mac"},
      {"QRY=modem&DBS=2", "says quotes job sale mac"},
      {"QRY=modem&DBS=0", "says quotes job sale mac"},
      {"QRY=modem&DBS=1", "says quotes job sale adult mac"},
      {"QRY=modem&DBS=3", "adult"},
      {"QRY=modem&DBS=4", "job"},
      {"QRY=modem&DBS=5", "sale"},
      // Group names in any case and patterns; a list means any of them.
      {"QRY=&groups=comp.sys.*", "mac cross"},
      {"QRY=&groups=COMP.SYS.MAC.HARDWARE", "mac cross"},
      {"QRY=&groups=comp.sys.ibm.pc.hardware,misc.forsale", "cross sale"},
      {"QRY=&groups=*.forsale*+*.jobs*", "sale job"},
      {"QRY=&groups=comp.sys", ""},
      // Date ranges in every form.
      {"QRY=&fromdate=Apr+5+1993&todate=Jan+10+1994&DBS=1", "says quotes job"},
      {"QRY=&fromdate=1993%2F04%2F05&todate=1994%2F01%2F10&DBS=1", "says quotes job"},
      {"QRY=&fromdate=1993-04-05&todate=1994-01-10&DBS=1", "says quotes job"},
      {"QRY=&todate=Apr+5+1993", "says"},
      {"QRY=modem&fromdate=Jan+1+1995", "mac"},
      // The extended syntax.
      {"query=modem+~a+(john+smith)", "says mac"},
      {"query=modem+~a+jsmith%40example.com", "says mac"},
      {"query=modem+~a+(john+smith)+~g+comp.sys.*", "mac"},
      {"query=~s+%22drops+carrier%22", "says quotes"},
      {"query=~s+%22carrier+drops%22", ""},
      {"QRY=modem+%26+%22usr+sportster%22", "says quotes"},
      {"QRY=modem+%26!+sportster&DBS=1", "job sale adult mac"},
      {"QRY=(programmer+%7C+selling)+%26+modem", "job sale"},
      {"QRY=sportst*", "says quotes"},
      {"QRY=zebra+programmer&defaultOp=AND", ""},
      {"QRY=xylophone+programmer&defaultOp=OR", "evil job"},
      // A phrase in the body: the words in this order only.
      {"QRY=%22quick+brown+fox%22", "cross"},
      {"QRY=%22brown+quick+fox%22", "fox2"},
      {"QRY=%22quick+brown+fox%22+%7C+xylophone", "cross evil"},
      {"QRY=fox+%26!+%22brown+quick%22", "cross"},
      // Unbalanced parentheses are forgiven.
      {"QRY=((programmer+%7C+selling", "job sale"},
      {"QRY=programmer))", "job"},
      // Subject and author restrictions.
      {"QRY=&subjects=modem", "says quotes sale mac"},
      {"QRY=modem&authors=John+Smith+%3Cjsmith%40example.com%3E", "says mac"},
      {"QRY=&authors=mary", "quotes"},
      // The language chooses the stemmer; English when it is unknown.
      {"QRY=rechnung&LNG=german", "de"},
      {"QRY=rechnung", ""},
      {"QRY=rechnung&LNG=klingon", ""},
      {"QRY=cables", "quotes sale"},  // cable, cables
      // CJK text.
      {"QRY=%E5%A4%A9%E4%BD%93", "jp"},
      {"QRY=%E8%A6%B3%E6%B8%AC", "jp"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(sorted(names(c.parameters)), sorted(c.found)) << c.parameters;
}

TEST(ServiceTest, RankingAndNewestFirst) {
  // An article that says a word ranks above one that only quotes it.
  EXPECT_EQ(names("QRY=sportster"), "says quotes");
  // Restrictions alone list newest first; the web form may ask for that with words too.
  EXPECT_EQ(names("QRY=&authors=jsmith%40example.com"), "mac says");
  EXPECT_EQ(names("query=~a+jsmith%40example.com"), "mac says");
  EXPECT_EQ(names("QRY=sportster&sort=date"), "quotes says");
}

// Folded words find every spelling, the written one first; an article that says a word
// ranks above those that only quote it or carry it in a signature, however often.
TEST(ServiceTest, FoldedWordsAndSayingAboveQuoting) {
  const std::pair<const char*, const char*> cases[] = {
      {"QRY=muller", "muller mueller"},
      {"QRY=M%C3%BCller", "mueller muller"},
      {"QRY=M%FCller", "mueller muller"},  // Latin-1
      {"QRY=~a+muller", "muller mueller"},
      {"QRY=&authors=j%C3%BCrgen+m%C3%BCller", "muller mueller"},
      {"QRY=grusse+schone", "mueller"},
      {"QRY=%22cafe+societe%22", "mueller"},
      {"QRY=%22soci%C3%A9t%C3%A9+caf%C3%A9%22", ""},
      {"QRY=frobnicator", "frobwidget frobsays frobsig frobquotes"},  // then newest first
      {"QRY=frobnicator+widget", "frobwidget frobsig frobquotes"},
  };
  for (const auto& [parameters, found] : cases) EXPECT_EQ(names(parameters), found) << parameters;
}

TEST(ServiceTest, PagingWithNextMatchesToTheLastPage) {
  const auto pages = server().allPages("/dnquery.xp?QRY=zebra&maxhits=10&sort=date");
  ASSERT_EQ(pages.size(), 3u);
  EXPECT_EQ(pages[0].expectedTotal, 25);
  std::string newestFirst = "filler25";
  for (int i = 24; i >= 1; --i) newestFirst += " filler" + std::to_string(i);
  EXPECT_EQ(names(pages), newestFirst);
  // Absolute, on the host the client asked for, with raw "&" separators.
  for (const ParsedPage& page : {pages[0], pages[1]}) {
    EXPECT_EQ(page.nextUrl.rfind("http://localhost:8119/dnquery.xp?QRY=zebra&", 0), 0u);
    EXPECT_EQ(page.nextUrl.find("&amp;"), npos);
  }
  // A start beyond the end lists nothing without saying that nothing matched: the agent
  // takes it for a page it cannot read.
  EXPECT_EQ(server().search("QRY=zebra&start=500").error,
            "The page lists no articles and does not say that nothing matched!");
  // maxhits is clamped to 1..200, 40 by default.
  for (auto [maxhits, hits] : {std::pair{"0", 1u}, {"7", 7u}, {"100000", 25u}, {"lots", 25u}})
    EXPECT_EQ(server().search("QRY=zebra&maxhits=" + std::string(maxhits)).numbers.size(), hits)
        << maxhits;
}

TEST(ServiceTest, EntryFieldsCountAndNoMatchesReadByTheAgent) {
  const testing::HttpReply reply = server().get("/dnquery.xp?QRY=sportster");
  EXPECT_EQ(reply.headers.at("content-type"), "text/html; charset=utf-8");
  // The count stands right before "matches</font>", digits without separators.
  EXPECT_NE(reply.body.find(" 2 matches</font>"), npos);
  const ParsedPage page = testing::parsePage(reply.body);
  ASSERT_EQ(std::tie(page.error, page.expectedTotal, page.nextUrl), std::tuple("", 2, ""));
  ASSERT_EQ(page.numbers.size(), 2u);
  EXPECT_EQ(std::tie(page.subjects[0], page.forums[0], page.authors[0], page.dates[0]),
            std::tuple("Modem drops carrier", "comp.dcom.modems", "John Smith <jsmith@example.com>",
                       *encodeDate(1993, 4, 5)));
  // A cross-post is one entry that lists both groups.
  EXPECT_EQ(server().search("QRY=quick&groups=comp.sys.*").forums,
            std::vector<std::string>{"comp.sys.ibm.pc.hardware,comp.sys.mac.hardware"});
  const testing::HttpReply none = server().get("/dnquery.xp?QRY=nonexistentword");
  EXPECT_EQ(none.status, 200);
  EXPECT_NE(none.body.find("Your search did not match any articles at all"), npos);
  EXPECT_EQ(testing::parsePage(none.body).error, "none");
}

TEST(ServiceTest, HeaderTextCannotInjectMarkupOrMarkers) {
  const testing::HttpReply reply = server().get("/dnquery.xp?QRY=xylophone");
  EXPECT_EQ(reply.body.find("<script>"), npos);
  EXPECT_EQ(reply.body.find("\"onmouseover"), npos);
  const ParsedPage page = testing::parsePage(reply.body);
  ASSERT_EQ(std::tie(page.error, page.expectedTotal, page.nextUrl), std::tuple("", 1, ""));
  ASSERT_EQ(page.numbers.size(), 1u);
  EXPECT_EQ(std::tie(page.subjects[0], page.authors[0]),
            std::tuple(kInjectedSubject, "Evil <evil@example.com> \"onmouseover=x"));
  // The article page escapes the body.
  const std::string article = server().get("/getdoc.xp?AN=" + std::to_string(page.numbers[0])).body;
  EXPECT_EQ(article.find("<script>"), npos);
  EXPECT_EQ(article.find("<b>bold"), npos);
  EXPECT_NE(article.find("&lt;b&gt;bold&lt;/b&gt; injection &amp;amp; xylophone"), npos);
  // A query that spells the markers is echoed harmlessly: nothing has all those words.
  EXPECT_EQ(names("QRY=Your+search+did+not+match+any+articles+at+all+%2Fgetdoc.xp%3FAN%3D5+"
                  "matches%3C%2Ffont%3E+xylophone"),
            "");
  EXPECT_EQ(names("QRY=%2Fgetdoc.xp%3FAN%3D5+%7C+xylophone&defaultOp=OR"), "evil");
}

TEST(ServiceTest, ArticleText) {
  const ParsedPage page = server().search("QRY=sportster");
  ASSERT_FALSE(page.numbers.empty());
  const std::string number = std::to_string(page.numbers[0]);
  for (const std::string prefix : {"", "/[ST_rn=ps]", "/any/where"}) {
    const testing::HttpReply reply = server().get(prefix + "/getdoc.xp?AN=" + number + "&fmt=text");
    EXPECT_EQ(reply.headers.at("content-type"), "text/plain; charset=utf-8");
    const testing::ParsedArticle a = testing::parseArticle(reply.body);
    EXPECT_EQ(std::tie(reply.status, a.error, a.subject, a.forum, a.messageId, a.date, a.text),
              std::tuple(200, "", "Modem drops carrier", "comp.dcom.modems", "<says@t>",
                         *encodeDate(1993, 4, 5) + *encodeTime(10, 0, 0),
                         "My USR Sportster modem drops the carrier every few minutes.\r\n"))
        << prefix;
  }
  // A hit number after a point still names the article.
  EXPECT_EQ(server().get("/getdoc.xp?AN=" + number + ".3&fmt=text").status, 200);
  const testing::HttpReply html = server().get("/getdoc.xp?AN=" + number);
  EXPECT_NE(html.body.find("<pre class=\"body\">"), npos);
  EXPECT_NE(html.body.find("profile.xp?author=John+Smith+%3Cjsmith%40example.com%3E"), npos);
}

TEST(ServiceTest, UnknownThingsAre404AndBadParameters400) {
  for (const auto& [target, status] : {std::pair{"/getdoc.xp?AN=999999&fmt=text", 404},
                                       {"/getdoc.xp?AN=0", 404},
                                       {"/getdoc.xp", 404},
                                       {"/getdoc.xp?AN=abc", 404},
                                       {"/getdoc.xp?AN=99999999999999999999", 404},
                                       {"/nothing/here", 404},
                                       {"/dnquery", 404},
                                       {"/favicon.ico", 404},
                                       {"/dnquery.xp?QRY=x&fromdate=sometime", 400},
                                       {"/profile.xp", 400}})
    EXPECT_EQ(server().get(target).status, status) << target;
}

TEST(ServiceTest, PostingProfile) {
  const testing::HttpReply reply =
      server().get("/[ST_rn=ps]/profile.xp?ST=PS&author=John+Smith+%3Cjsmith%40example.com%3E");
  ASSERT_EQ(reply.status, 200);
  const std::string& html = reply.body;
  EXPECT_NE(html.find("2 articles, first posted 1993/04/05, last posted 1995/03/03"), npos);
  EXPECT_NE(html.find(">comp.dcom.modems</a></td><td>1<"), npos);
  EXPECT_NE(html.find(">comp.sys.mac.hardware</a></td><td>1<"), npos);
  EXPECT_LT(html.find("Mac modem question"), html.find("Modem drops carrier"));  // newest first
  EXPECT_NE(server().get("/profile.xp?author=nobody%40nowhere").body.find("no articles"), npos);
}

TEST(ServiceTest, UpdateInformation) {
  const testing::HttpReply reply = server().get("/varnook/update.txt");
  const std::string newest = "NewestVersion=" + agentVersionString(kVersion) + "\n";
  EXPECT_EQ(std::tie(reply.status, reply.headers.at("content-type"), reply.body),
            std::tuple(200, "text/plain; charset=utf-8", newest));
  ServiceConfig config;
  std::string error;
  config.update =
      *UpdateInfo::parse("OldestValidVersion=1.00.00.00\nMessageUrl=http://m/\n", "update", error);
  EXPECT_EQ(LocalServer(folder() / "index", config).get("/varnook/update.txt").body,
            newest + "OldestValidVersion=1.00.00.00\nMessageUrl=http://m/\n");
}

TEST(ServiceTest, FrontPageOffersTheQueryPanelsFields) {
  const testing::HttpReply reply = server().get("/");
  ASSERT_EQ(reply.status, 200);
  for (const char* field : {"QRY", "subjects", "authors", "groups", "defaultOp", "fromdate",
                            "todate", "DBS", "LNG", "maxhits"})
    EXPECT_NE(reply.body.find("name=\"" + std::string(field) + "\""), npos) << field;
  EXPECT_NE(reply.body.find("Searching 42 Usenet articles"), npos);
}

TEST(ServiceTest, HttpSemantics) {
  // HTTP/1.0: the answer ends with the connection; HTTP/1.1 keeps it for the next request.
  const testing::HttpReply old = server().get("/varnook/update.txt", "HTTP/1.0");
  EXPECT_EQ(std::tie(old.closedByServer, old.headers.at("connection")), std::tuple(true, "close"));
  testing::HttpReply current = server().get("/varnook/update.txt", "HTTP/1.1");
  EXPECT_EQ(current.status, 200);
  EXPECT_NE(current.headers["connection"], "close");
  // Any Host is accepted; links follow it, and an unusable one gives way to the service host.
  for (const auto& [host, link] :
       {std::pair{"x7.localhost:8119", "http://x7.localhost:8119/dnquery.xp?"},
        {"", "http://localhost:8119/"},
        {"evil\"host", "http://localhost:8119/"}}) {
    const testing::HttpReply reply =
        testing::httpGet(server().port(), "/dnquery.xp?QRY=zebra&maxhits=1", "HTTP/1.0", host);
    EXPECT_EQ(testing::parsePage(reply.body).nextUrl.rfind(link, 0), 0u) << host;
  }
  // Other methods are refused without reading a body; absolute targets and HEAD work.
  const auto exchange = [&](std::string_view request) {
    return testing::rawExchange(server().port(), request);
  };
  EXPECT_EQ(exchange("POST /dnquery.xp HTTP/1.1\r\nHost: x\r\nContent-Length: 3\r\n\r\nabc")
                .rfind("HTTP/1.1 405", 0),
            0u);
  const std::string proxied =
      exchange("GET http://localhost:8119/varnook/update.txt HTTP/1.0\r\n\r\n");
  EXPECT_NE(proxied.find("\r\n\r\nNewestVersion="), npos) << proxied;
  const std::string head = exchange("HEAD /varnook/update.txt HTTP/1.0\r\n\r\n");
  EXPECT_EQ(head.rfind("HTTP/1.1 200", 0), 0u);
  EXPECT_EQ(head.find("NewestVersion"), npos);
}

TEST(HttpServer, ListensOnIPv6Loopback) {
  std::string error;
  HttpServer::Options options;
  options.listen = "[::1]:0";
  auto server = HttpServer::start(
      options,
      [](const HttpRequest& request) {
        return HttpResponse{200,
                            "text/plain",
                            "host=" + request.host + " path=" + request.path +
                                " q=" + request.parameter("q").value_or("-"),
                            {}};
      },
      error);
  if (!server) GTEST_SKIP() << "no IPv6 loopback: " << error;
  const testing::HttpReply reply =
      testing::httpGet(server->port(), "/a%20b?q=x+y%26z&Q=second", "HTTP/1.0", "h", "::1");
  EXPECT_EQ(reply.body, "host=h path=/a%20b q=x y&z");
  EXPECT_EQ(server->address(), "[::1]:" + std::to_string(server->port()));
}

}  // namespace
}  // namespace varnook::server
