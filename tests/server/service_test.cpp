// The archive's endpoints on a real server on loopback, over a small corpus written for
// the purpose: what each search finds, in which order, and the exact page markers.

#include <gtest/gtest.h>

#include <iterator>
#include <set>
#include <sstream>
#include <tuple>

#include "base/daydate.h"
#include "serversupport.h"
#include "support/fixtures.h"
#include "varnook/version.h"

namespace varnook::server {
namespace {

using testing::LocalServer;
using testing::ParsedPage;
constexpr std::size_t npos = std::string::npos;

const char* const kInjectedSubject =
    "<script>alert(1)</script> Next matches</a> 1 matches</font> Your search did not match "
    "any articles at all /getdoc.xp?AN=999 <p>";

// The server over data/service-corpus.txt and 25 fillers, shared by the tests of this file.
const testing::TempFolder& folder() {
  static const testing::TempFolder folder;
  return folder;
}
const LocalServer& server() {
  static const LocalServer server([] {
    const std::string file = testing::readTestFile("server/data/service-corpus.txt");
    int number = 0;
    const auto write = [&](const std::string& text) {
      testing::writeFile(folder() / ("spool/" + std::to_string(++number)), text);
    };
    for (std::size_t at = file.find("\n%%\n"), next; at != npos; at = next) {
      next = file.find("\n%%\n", at + 4);
      write(file.substr(at + 4, next == npos ? npos : next + 1 - (at + 4)));
    }
    for (int i = 1; i <= 25; ++i) {  // distinct days for date order
      const std::string n = std::to_string(i);
      write(testing::TestArticle{"Filler <filler@example.com>", "page filler " + n, "test.paging",
                                 n + " Jan 1996 00:00:00 GMT", "<filler" + n + "@t>",
                                 "zebra number " + n + "\n", ""}
                .text());
    }
    // The cross-post also sits in its second group's folder, as in a real spool.
    testing::writeFile(folder() / "spool/cross-copy/1", testing::readFile(folder() / "spool/7"));
    testing::indexPaths(folder() / "index", {folder() / "spool"});
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
// The names in alphabetical order, for comparing sets.
std::string sorted(const std::string& names) {
  std::istringstream in(names);
  const std::multiset<std::string> set{std::istream_iterator<std::string>(in), {}};
  std::string out;
  for (const std::string& name : set) out += (out.empty() ? "" : " ") + name;
  return out;
}

// What each search finds, and in which order where that matters: archives, group
// patterns, dates, the extended syntax, phrases, stemming, folded words, ranking; and
// the status of unknown things and bad parameters (data/service-searches.txt).
TEST(ServiceTest, SearchesFindExactlyTheirArticles) {
  for (const auto& row : testing::readTable("server/data/service-searches.txt", 3)) {
    if (row[0] == "status") {
      EXPECT_EQ(std::to_string(server().get(row[1]).status), row[2]) << row[1];
      continue;
    }
    const std::string found = names(server().allPages("/dnquery.xp?" + row[1]));
    EXPECT_EQ(row[0] == "set" ? sorted(found) : found, row[0] == "set" ? sorted(row[2]) : row[2])
        << row[1];
  }
}

TEST(ServiceTest, PagingWithNextMatchesToTheLastPage) {
  const auto pages = server().allPages("/dnquery.xp?QRY=zebra&maxhits=10&sort=date");
  ASSERT_EQ(pages.size(), 3u);
  EXPECT_EQ(pages[0].expectedTotal, 25);
  std::string newestFirst = "filler25";
  for (int i = 24; i >= 1; --i) newestFirst += " filler" + std::to_string(i);
  EXPECT_EQ(names(pages), newestFirst);
  // With raw "&" separators (on which host: HttpSemantics).
  EXPECT_EQ((pages[0].nextUrl + pages[1].nextUrl).find("&amp;"), npos);
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
  EXPECT_NE(html.body.find("profile.xp?author=John+Smith+%3Cjsmith%40example.com%3E"), npos);
}

TEST(ServiceTest, PostingProfile) {
  const testing::HttpReply reply =
      server().get("/[ST_rn=ps]/profile.xp?ST=PS&author=John+Smith+%3Cjsmith%40example.com%3E");
  ASSERT_EQ(reply.status, 200);
  const std::string& html = reply.body;
  EXPECT_NE(html.find("2 articles, first posted 1993/04/05, last posted 1995/03/03"), npos);
  EXPECT_NE(html.find(">comp.dcom.modems</a></td><td>1<"), npos);
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
