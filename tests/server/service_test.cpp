// The archive's endpoints on a real server on loopback, over a small corpus written for
// the purpose: what each search finds, in which order, and the exact page markers.

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "archive/articletext.h"
#include "collection/article.h"
#include "collection/daydate.h"
#include "serversupport.h"
#include "varnook/version.h"

namespace varnook::server {
namespace {

using testing::LocalServer;
using testing::TestArticle;

const char* const kInjectedSubject =
    "<script>alert(1)</script> Next matches</a> 1 matches</font> Your search did not match "
    "any articles at all /getdoc.xp?AN=999 <p>";

std::vector<TestArticle> corpus() {
  std::vector<TestArticle> articles;
  auto add = [&](std::string subject, std::string from, std::string groups, std::string date,
                 std::string body, std::string id) {
    TestArticle article;
    article.subject = std::move(subject);
    article.from = std::move(from);
    article.newsgroups = std::move(groups);
    article.date = std::move(date);
    article.body = std::move(body);
    article.messageId = std::move(id);
    articles.push_back(article);
  };
  add("Modem drops carrier", "John Smith <jsmith@example.com>", "comp.dcom.modems",
      "Mon, 5 Apr 1993 10:00:00 GMT",
      "My USR Sportster modem drops the carrier every few minutes.\n", "<says@t>");
  add("Re: Modem drops carrier", "Mary Jones <mary@example.org>", "comp.dcom.modems",
      "Tue, 6 Apr 1993 10:00:00 GMT",
      "In article <says@t>, John Smith wrote:\n> My USR Sportster modem drops the carrier\n"
      "\nTry another cable; the problem is usually the cable.\n",
      "<quotes@t>");
  add("C++ programmer wanted", "Jobs <jobs@example.com>", "misc.jobs.offered",
      "10 Jan 94 09:00:00 -0500", "We need a modem driver programmer.\n", "<job@t>");
  add("FS: modem and cables", "Seller <sell@example.com>", "misc.forsale",
      "1 Feb 1994 12:00:00 GMT", "Selling my old modem. Cheap.\n", "<sale@t>");
  add("a story", "Someone <x@example.com>", "alt.sex.stories", "2 Feb 1994 12:00:00 GMT",
      "A modem story for grown-ups.\n", "<adult@t>");
  add("Mac modem question", "John Smith <jsmith@example.com>", "comp.sys.mac.hardware",
      "3 Mar 1995 08:00:00 GMT", "Which modem works with a Mac IIci?\n", "<mac@t>");
  add("PC and Mac serial ports", "Pat <pat@example.net>",
      "comp.sys.ibm.pc.hardware,comp.sys.mac.hardware", "4 Mar 1995 08:00:00 GMT",
      "The quick brown fox jumps over serial ports.\n", "<cross@t>");
  add("Rechnungen und Steuern", "Hans <hans@example.de>", "de.etc.finanz",
      "5 Mar 1995 08:00:00 GMT", "Die Rechnungen kommen immer zu spaet.\n", "<de@t>");
  add("Japanese astronomy", "Taro <taro@example.jp>", "fj.sci.astro", "6 Mar 1995 08:00:00 GMT",
      "\xE5\xA4\xA9\xE4\xBD\x93\xE8\xA6\xB3\xE6\xB8\xAC\xE3\x81\x8C\xE5\xA5\xBD\xE3\x81\x8D\n",
      "<jp@t>");
  add(kInjectedSubject, "Evil <evil@example.com> \"onmouseover=x", "comp.dcom.modems",
      "7 Mar 1995 08:00:00 GMT", "<b>bold</b> injection &amp; xylophone\n", "<evil@t>");
  add("Fox order", "Pat <pat@example.net>", "comp.misc", "8 Mar 1995 08:00:00 GMT",
      "The brown quick fox stays in the wrong order.\n", "<fox2@t>");
  for (int i = 1; i <= 25; ++i) {
    add("page filler " + std::to_string(i), "Filler <filler@example.com>", "test.paging",
        "1 Jan 1996 00:00:00 GMT", "zebra number " + std::to_string(i) + "\n",
        "<filler" + std::to_string(i) + "@t>");
    articles.back().date =
        std::to_string(i) + " Jan 1996 00:00:00 GMT";  // distinct days for date order
  }
  return articles;
}

class ServiceTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    folder_ = new testing::TempFolder;
    const std::string spool = testing::writeSpool(*folder_, corpus());
    // The cross-post also sits in its second group's folder, as in a real spool.
    testing::writeFile(spool + "/cross-copy/1", testing::readFile(spool + "/7"));
    testing::indexPaths(*folder_ / "index", {spool});
    server_ = new LocalServer(*folder_ / "index");
  }
  static void TearDownTestSuite() {
    delete server_;
    delete folder_;
  }

  // The Message-IDs of every hit of a search, in result order (all pages).
  std::vector<std::string> ids(const std::string& parameters) {
    std::vector<std::string> out;
    std::string target = "/dnquery.xp?" + parameters;
    while (!target.empty()) {
      const testing::HttpReply reply = server_->get(target);
      EXPECT_EQ(reply.status, 200) << target << "\n" << reply.body;
      const testing::ParsedPage page = testing::parsePage(reply.body);
      if (page.error == "none") break;
      EXPECT_EQ(page.error, "") << target;
      for (std::uint32_t number : page.numbers) out.push_back(messageId(number));
      target = page.nextUrl.empty() ? "" : testing::targetOf(page.nextUrl);
    }
    return out;
  }
  std::set<std::string> idSet(const std::string& parameters) {
    const auto found = ids(parameters);
    return {found.begin(), found.end()};
  }
  std::string messageId(std::uint32_t number) {
    const auto article = server_->index().article(number);
    return article ? article->messageId : "?";
  }

  static testing::TempFolder* folder_;
  static LocalServer* server_;
};

testing::TempFolder* ServiceTest::folder_ = nullptr;
LocalServer* ServiceTest::server_ = nullptr;

using Ids = std::set<std::string>;

TEST_F(ServiceTest, ArticleThatSaysAWordRanksAboveOneThatQuotesIt) {
  const auto found = ids("QRY=sportster");
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(found[0], "<says@t>");
  EXPECT_EQ(found[1], "<quotes@t>");
}

TEST_F(ServiceTest, ArchivesFollowTheGroupRules) {
  const Ids modemEverywhere = {"<says@t>", "<quotes@t>", "<job@t>",
                               "<sale@t>", "<adult@t>",  "<mac@t>"};
  Ids standard = modemEverywhere;
  standard.erase("<adult@t>");
  EXPECT_EQ(idSet("QRY=modem&maxhits=3"), standard);  // no DBS: standard
  EXPECT_EQ(idSet("QRY=modem&DBS=2"), standard);
  EXPECT_EQ(idSet("QRY=modem&DBS=0"), standard);
  EXPECT_EQ(idSet("QRY=modem&DBS=1"), modemEverywhere);
  EXPECT_EQ(idSet("QRY=modem&DBS=3"), Ids{"<adult@t>"});
  EXPECT_EQ(idSet("QRY=modem&DBS=4"), Ids{"<job@t>"});
  EXPECT_EQ(idSet("QRY=modem&DBS=5"), Ids{"<sale@t>"});
}

TEST_F(ServiceTest, GroupNamesAndPatterns) {
  EXPECT_EQ(idSet("QRY=&groups=comp.sys.*"), (Ids{"<mac@t>", "<cross@t>"}));
  EXPECT_EQ(idSet("QRY=&groups=COMP.SYS.MAC.HARDWARE"), (Ids{"<mac@t>", "<cross@t>"}));
  EXPECT_EQ(idSet("QRY=&groups=comp.sys.ibm.pc.hardware,misc.forsale"),
            (Ids{"<cross@t>", "<sale@t>"}));
  EXPECT_EQ(idSet("QRY=&groups=*.forsale*+*.jobs*"), (Ids{"<sale@t>", "<job@t>"}));
  EXPECT_EQ(idSet("QRY=&groups=comp.sys"), Ids{});
  // The cross-post is one article that lists both groups.
  const auto page =
      testing::parsePage(server_->get("/dnquery.xp?QRY=quick&groups=comp.sys.*").body);
  ASSERT_EQ(page.forums.size(), 1u);
  EXPECT_EQ(page.forums[0], "comp.sys.ibm.pc.hardware,comp.sys.mac.hardware");
}

TEST_F(ServiceTest, DateRangesInEveryForm) {
  const Ids early = {"<says@t>", "<quotes@t>", "<job@t>"};
  EXPECT_EQ(idSet("QRY=&fromdate=Apr+5+1993&todate=Jan+10+1994&DBS=1"), early);
  EXPECT_EQ(idSet("QRY=&fromdate=1993%2F04%2F05&todate=1994%2F01%2F10&DBS=1"), early);
  EXPECT_EQ(idSet("QRY=&fromdate=1993-04-05&todate=1994-01-10&DBS=1"), early);
  EXPECT_EQ(idSet("QRY=&todate=Apr+5+1993"), Ids{"<says@t>"});
  EXPECT_EQ(idSet("QRY=modem&fromdate=Jan+1+1995"), Ids{"<mac@t>"});
  EXPECT_EQ(server_->get("/dnquery.xp?QRY=x&fromdate=sometime").status, 400);
}

TEST_F(ServiceTest, ExtendedSyntax) {
  EXPECT_EQ(idSet("query=modem+~a+(john+smith)"), (Ids{"<says@t>", "<mac@t>"}));
  EXPECT_EQ(idSet("query=modem+~a+jsmith%40example.com"), (Ids{"<says@t>", "<mac@t>"}));
  EXPECT_EQ(idSet("query=modem+~a+(john+smith)+~g+comp.sys.*"), Ids{"<mac@t>"});
  EXPECT_EQ(idSet("query=~s+%22drops+carrier%22"), (Ids{"<says@t>", "<quotes@t>"}));
  EXPECT_EQ(idSet("query=~s+%22carrier+drops%22"), Ids{});
  EXPECT_EQ(idSet("QRY=modem+%26+%22usr+sportster%22"), (Ids{"<says@t>", "<quotes@t>"}));
  EXPECT_EQ(idSet("QRY=modem+%26!+sportster&DBS=1"),
            (Ids{"<job@t>", "<sale@t>", "<adult@t>", "<mac@t>"}));
  EXPECT_EQ(idSet("QRY=(programmer+%7C+selling)+%26+modem"), (Ids{"<job@t>", "<sale@t>"}));
  EXPECT_EQ(idSet("QRY=sportst*"), (Ids{"<says@t>", "<quotes@t>"}));
  EXPECT_EQ(idSet("QRY=zebra+programmer&defaultOp=AND"), Ids{});
  EXPECT_EQ(idSet("QRY=xylophone+programmer&defaultOp=OR"), (Ids{"<evil@t>", "<job@t>"}));
  // A phrase in the body: the words in this order only.
  EXPECT_EQ(idSet("QRY=%22quick+brown+fox%22"), Ids{"<cross@t>"});
  EXPECT_EQ(idSet("QRY=%22brown+quick+fox%22"), Ids{"<fox2@t>"});
  EXPECT_EQ(idSet("QRY=%22quick+brown+fox%22+%7C+xylophone"), (Ids{"<cross@t>", "<evil@t>"}));
  EXPECT_EQ(idSet("QRY=fox+%26!+%22brown+quick%22"), Ids{"<cross@t>"});
  // Unbalanced parentheses are forgiven.
  EXPECT_EQ(idSet("QRY=((programmer+%7C+selling"), (Ids{"<job@t>", "<sale@t>"}));
  EXPECT_EQ(idSet("QRY=programmer))"), Ids{"<job@t>"});
}

TEST_F(ServiceTest, SubjectAndAuthorRestrictions) {
  EXPECT_EQ(idSet("QRY=&subjects=modem"), (Ids{"<says@t>", "<quotes@t>", "<sale@t>", "<mac@t>"}));
  EXPECT_EQ(idSet("QRY=modem&authors=John+Smith+%3Cjsmith%40example.com%3E"),
            (Ids{"<says@t>", "<mac@t>"}));
  EXPECT_EQ(idSet("QRY=&authors=mary"), Ids{"<quotes@t>"});
}

TEST_F(ServiceTest, RestrictionsAloneListNewestFirst) {
  EXPECT_EQ(ids("QRY=&authors=jsmith%40example.com"),
            (std::vector<std::string>{"<mac@t>", "<says@t>"}));
  EXPECT_EQ(ids("query=~a+jsmith%40example.com"),
            (std::vector<std::string>{"<mac@t>", "<says@t>"}));
  // The web form may ask for newest first with words too.
  EXPECT_EQ(ids("QRY=sportster&sort=date"), (std::vector<std::string>{"<quotes@t>", "<says@t>"}));
}

TEST_F(ServiceTest, LanguageChoosesTheStemmer) {
  EXPECT_EQ(idSet("QRY=rechnung&LNG=german"), Ids{"<de@t>"});
  EXPECT_EQ(idSet("QRY=rechnung"), Ids{});
  EXPECT_EQ(idSet("QRY=rechnung&LNG=klingon"), Ids{});              // unknown: English
  EXPECT_EQ(idSet("QRY=cables"), (Ids{"<quotes@t>", "<sale@t>"}));  // cable, cables
}

TEST_F(ServiceTest, CjkText) {
  EXPECT_EQ(idSet("QRY=%E5%A4%A9%E4%BD%93"), Ids{"<jp@t>"});
  EXPECT_EQ(idSet("QRY=%E8%A6%B3%E6%B8%AC"), Ids{"<jp@t>"});
}

TEST_F(ServiceTest, PagingWithNextMatchesToTheLastPage) {
  std::string target = "/dnquery.xp?QRY=zebra&maxhits=10&sort=date";
  std::vector<std::uint32_t> numbers;
  int pages = 0;
  while (!target.empty()) {
    const testing::HttpReply reply = server_->get(target);
    const testing::ParsedPage page = testing::parsePage(reply.body);
    ASSERT_EQ(page.error, "");
    EXPECT_EQ(page.expectedTotal, 25);
    numbers.insert(numbers.end(), page.numbers.begin(), page.numbers.end());
    ++pages;
    if (!page.nextUrl.empty()) {
      // Absolute, on the host the client asked for, with raw "&" separators.
      EXPECT_EQ(page.nextUrl.rfind("http://localhost:8119/dnquery.xp?QRY=zebra&", 0), 0u);
      EXPECT_EQ(page.nextUrl.find("&amp;"), std::string::npos);
    }
    target = page.nextUrl.empty() ? "" : testing::targetOf(page.nextUrl);
  }
  EXPECT_EQ(pages, 3);
  EXPECT_EQ(std::set<std::uint32_t>(numbers.begin(), numbers.end()).size(), 25u);
  // Newest first: "page filler 25" leads.
  EXPECT_EQ(messageId(numbers.front()), "<filler25@t>");
  EXPECT_EQ(messageId(numbers.back()), "<filler1@t>");
  // A start beyond the end lists nothing; the agent reads that as no matches.
  EXPECT_EQ(testing::parsePage(server_->get("/dnquery.xp?QRY=zebra&start=500").body).error, "none");
}

TEST_F(ServiceTest, MaxHitsIsClamped) {
  auto hits = [&](const std::string& value) {
    return testing::parsePage(server_->get("/dnquery.xp?QRY=zebra&maxhits=" + value).body)
        .numbers.size();
  };
  EXPECT_EQ(hits("0"), 1u);
  EXPECT_EQ(hits("7"), 7u);
  EXPECT_EQ(hits("100000"), 25u);
  EXPECT_EQ(hits("lots"), 25u);  // default 40
}

TEST_F(ServiceTest, EntryFieldsAndCountReadByTheAgent) {
  const testing::HttpReply reply = server_->get("/dnquery.xp?QRY=sportster");
  EXPECT_EQ(reply.headers.at("content-type"), "text/html; charset=utf-8");
  // The count stands right before "matches</font>", digits without separators.
  EXPECT_NE(reply.body.find(" 2 matches</font>"), std::string::npos);
  const testing::ParsedPage page = testing::parsePage(reply.body);
  ASSERT_EQ(page.error, "");
  EXPECT_EQ(page.expectedTotal, 2);
  ASSERT_EQ(page.numbers.size(), 2u);
  EXPECT_EQ(page.subjects[0], "Modem drops carrier");
  EXPECT_EQ(page.forums[0], "comp.dcom.modems");
  EXPECT_EQ(page.authors[0], "John Smith <jsmith@example.com>");
  EXPECT_EQ(page.dates[0], *encodeDate(1993, 4, 5));
  EXPECT_TRUE(page.nextUrl.empty());
}

TEST_F(ServiceTest, HeaderTextCannotInjectMarkupOrMarkers) {
  const testing::HttpReply reply = server_->get("/dnquery.xp?QRY=xylophone");
  EXPECT_EQ(reply.body.find("<script>"), std::string::npos);
  EXPECT_EQ(reply.body.find("\"onmouseover"), std::string::npos);
  const testing::ParsedPage page = testing::parsePage(reply.body);
  ASSERT_EQ(page.error, "");
  ASSERT_EQ(page.numbers.size(), 1u);
  EXPECT_EQ(page.expectedTotal, 1);
  EXPECT_TRUE(page.nextUrl.empty());
  EXPECT_EQ(page.subjects[0], kInjectedSubject);
  EXPECT_EQ(page.authors[0], "Evil <evil@example.com> \"onmouseover=x");
  // The article page escapes the body.
  const testing::HttpReply article =
      server_->get("/getdoc.xp?AN=" + std::to_string(page.numbers[0]));
  EXPECT_EQ(article.body.find("<script>"), std::string::npos);
  EXPECT_EQ(article.body.find("<b>bold"), std::string::npos);
  EXPECT_NE(article.body.find("&lt;b&gt;bold&lt;/b&gt; injection &amp;amp; xylophone"),
            std::string::npos);
  // A query that spells the markers is echoed harmlessly.
  const testing::HttpReply echoed = server_->get(
      "/dnquery.xp?QRY=Your+search+did+not+match+any+articles+at+all+%2Fgetdoc.xp%3FAN%3D5+"
      "matches%3C%2Ffont%3E+xylophone");
  EXPECT_EQ(testing::parsePage(echoed.body).error, "none");  // nothing has all those words
  const testing::HttpReply echoed2 =
      server_->get("/dnquery.xp?QRY=%2Fgetdoc.xp%3FAN%3D5+%7C+xylophone&defaultOp=OR");
  const testing::ParsedPage page2 = testing::parsePage(echoed2.body);
  EXPECT_EQ(page2.error, "");
  EXPECT_EQ(page2.numbers.size(), 1u);
}

TEST_F(ServiceTest, NoMatchesSentence) {
  const testing::HttpReply reply = server_->get("/dnquery.xp?QRY=nonexistentword");
  EXPECT_EQ(reply.status, 200);
  EXPECT_NE(reply.body.find("Your search did not match any articles at all"), std::string::npos);
  EXPECT_EQ(testing::parsePage(reply.body).error, "none");
}

TEST_F(ServiceTest, ArticleText) {
  const auto page = testing::parsePage(server_->get("/dnquery.xp?QRY=sportster").body);
  ASSERT_FALSE(page.numbers.empty());
  const std::string number = std::to_string(page.numbers[0]);
  for (const std::string prefix : {"", "/[ST_rn=ps]", "/any/where"}) {
    const testing::HttpReply reply = server_->get(prefix + "/getdoc.xp?AN=" + number + "&fmt=text");
    EXPECT_EQ(reply.status, 200);
    EXPECT_EQ(reply.headers.at("content-type"), "text/plain; charset=utf-8");
    Article article(page.numbers[0], "");
    ASSERT_EQ(parseArticleText(reply.body, article), "");
    EXPECT_EQ(article.subject, "Modem drops carrier");
    EXPECT_EQ(article.forum, "comp.dcom.modems");
    EXPECT_EQ(article.messageId, "<says@t>");
    EXPECT_EQ(article.date, *encodeDate(1993, 4, 5) + *encodeTime(10, 0, 0));
    EXPECT_EQ(article.text, "My USR Sportster modem drops the carrier every few minutes.\r\n");
  }
  // A hit number after a point still names the article.
  EXPECT_EQ(server_->get("/getdoc.xp?AN=" + number + ".3&fmt=text").status, 200);
  const testing::HttpReply html = server_->get("/getdoc.xp?AN=" + number);
  EXPECT_EQ(html.status, 200);
  EXPECT_NE(html.body.find("<pre class=\"body\">"), std::string::npos);
  EXPECT_NE(html.body.find("profile.xp?author=John+Smith+%3Cjsmith%40example.com%3E"),
            std::string::npos);
}

TEST_F(ServiceTest, UnknownThingsAre404) {
  for (const char* target :
       {"/getdoc.xp?AN=999999&fmt=text", "/getdoc.xp?AN=0", "/getdoc.xp", "/getdoc.xp?AN=abc",
        "/getdoc.xp?AN=99999999999999999999", "/nothing/here", "/dnquery", "/favicon.ico"}) {
    EXPECT_EQ(server_->get(target).status, 404) << target;
  }
}

TEST_F(ServiceTest, PostingProfile) {
  const testing::HttpReply reply =
      server_->get("/[ST_rn=ps]/profile.xp?ST=PS&author=John+Smith+%3Cjsmith%40example.com%3E");
  ASSERT_EQ(reply.status, 200);
  const std::string& html = reply.body;
  EXPECT_NE(html.find("2 articles, first posted 1993/04/05, last posted 1995/03/03"),
            std::string::npos);
  EXPECT_NE(html.find(">comp.dcom.modems</a></td><td>1<"), std::string::npos);
  EXPECT_NE(html.find(">comp.sys.mac.hardware</a></td><td>1<"), std::string::npos);
  EXPECT_LT(html.find("Mac modem question"), html.find("Modem drops carrier"));  // newest first
  EXPECT_NE(server_->get("/profile.xp?author=nobody%40nowhere").body.find("no articles"),
            std::string::npos);
  EXPECT_EQ(server_->get("/profile.xp").status, 400);
}

TEST_F(ServiceTest, UpdateInformation) {
  const testing::HttpReply reply = server_->get("/varnook/update.txt");
  EXPECT_EQ(reply.status, 200);
  EXPECT_EQ(reply.headers.at("content-type"), "text/plain; charset=utf-8");
  EXPECT_EQ(reply.body, "NewestVersion=" + agentVersionString(kVersion) + "\n");

  ServiceConfig config;
  std::string error;
  config.update =
      *UpdateInfo::parse("OldestValidVersion=1.00.00.00\nMessageUrl=http://m/\n", "update", error);
  LocalServer configured(*folder_ / "index", config);
  EXPECT_EQ(configured.get("/varnook/update.txt").body,
            "NewestVersion=" + agentVersionString(kVersion) +
                "\nOldestValidVersion=1.00.00.00\nMessageUrl=http://m/\n");
}

TEST_F(ServiceTest, FrontPageOffersTheQueryPanelsFields) {
  const testing::HttpReply reply = server_->get("/");
  ASSERT_EQ(reply.status, 200);
  for (const char* field : {"QRY", "subjects", "authors", "groups", "defaultOp", "fromdate",
                            "todate", "DBS", "LNG", "maxhits"})
    EXPECT_NE(reply.body.find("name=\"" + std::string(field) + "\""), std::string::npos) << field;
  EXPECT_NE(reply.body.find("Searching 36 Usenet articles"), std::string::npos);
}

TEST_F(ServiceTest, HttpSemantics) {
  // HTTP/1.0: the answer ends with the connection.
  const testing::HttpReply old = server_->get("/varnook/update.txt", "HTTP/1.0");
  EXPECT_TRUE(old.closedByServer);
  EXPECT_EQ(old.headers.at("connection"), "close");
  // HTTP/1.1 keeps the connection for the next request.
  testing::HttpReply current = server_->get("/varnook/update.txt", "HTTP/1.1");
  EXPECT_EQ(current.status, 200);
  EXPECT_NE(current.headers["connection"], "close");
  // Any Host is accepted; links follow it, and an unusable one gives way to the service host.
  const auto linkHost = [&](std::string_view host) {
    const testing::HttpReply reply =
        testing::httpGet(server_->port(), "/dnquery.xp?QRY=zebra&maxhits=1", "HTTP/1.0", host);
    return testing::parsePage(reply.body).nextUrl;
  };
  EXPECT_EQ(linkHost("x7.localhost:8119").rfind("http://x7.localhost:8119/dnquery.xp?", 0), 0u);
  EXPECT_EQ(linkHost("").rfind("http://localhost:8119/", 0), 0u);
  EXPECT_EQ(linkHost("evil\"host").rfind("http://localhost:8119/", 0), 0u);
  // Other methods are refused without reading a body.
  const std::string answer = testing::rawExchange(
      server_->port(), "POST /dnquery.xp HTTP/1.1\r\nHost: x\r\nContent-Length: 3\r\n\r\nabc");
  EXPECT_EQ(answer.rfind("HTTP/1.1 405", 0), 0u);
  const std::string proxied = testing::rawExchange(
      server_->port(), "GET http://localhost:8119/varnook/update.txt HTTP/1.0\r\n\r\n");
  EXPECT_NE(proxied.find("\r\n\r\nNewestVersion="), std::string::npos) << proxied;
  const std::string head =
      testing::rawExchange(server_->port(), "HEAD /varnook/update.txt HTTP/1.0\r\n\r\n");
  EXPECT_EQ(head.rfind("HTTP/1.1 200", 0), 0u);
  EXPECT_EQ(head.find("NewestVersion"), std::string::npos);
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
