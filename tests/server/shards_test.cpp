// Several indexes searched as one: a Xapian stub file naming shards, served locally or
// by xapian-tcpsrv on loopback.

#include <gtest/gtest.h>
#include <xapian.h>

#include <filesystem>
#include <set>

#include "server/archiveindex.h"
#include "server/indexschema.h"
#include "server/storedarticle.h"
#include "serversupport.h"

namespace varnook::server {
namespace {

class ShardTest : public ::testing::Test {
 protected:
  // Shards served by xapian-tcpsrv need term lists: a remote database sends each
  // document with its terms.
  void SetUp() override {
    std::vector<std::string> spools;
    for (const auto& [shard, first] : {std::pair{"one", 1u}, {"two", 1000000u}}) {
      std::vector<testing::TestArticle> articles = testing::numberedArticles(3, shard);
      articles[0].body = "The quick brown fox, said " + std::string(shard) + ".\n> quick fox\n";
      articles[1].body = "> The quick brown fox\nM\xC3\xBCller agrees.\n";
      articles[2].subject = "quick brown article " + std::string(shard);
      articles[2].newsgroups = "test." + std::string(shard);  // a group one shard holds
      articles[0].date = "Sun, 4 Apr 1993 23:00:00 GMT";
      articles[2].date = "Fri, 30 Apr 1993 10:00:00 GMT";
      spools.push_back(testing::writeSpool(folder_, articles, shard + std::string("-spool")));
      testing::indexPaths(folder_ / shard, {spools.back()}, first, true);
    }
    testing::indexPaths(folder_ / "single", spools);
  }

  // The stub gives the same hits, in the same order, as one index of all the articles.
  void checkLikeOneIndex(const testing::LocalServer& stub) {
    const testing::LocalServer single(folder_ / "single");
    const auto ids = [](const testing::LocalServer& server, const std::string& parameters) {
      std::string out;
      for (std::uint32_t number : server.search(parameters).numbers)
        out += server.articleText(number).messageId;
      return out;
    };
    for (const char* parameters :
         {"QRY=quick", "QRY=%22quick+brown+fox%22", "QRY=quick+fox", "QRY=muller",
          "QRY=article&sort=date", "QRY=~s+brown", "QRY=tw*", "QRY=&groups=test.*",
          "QRY=&fromdate=1993/04/05&todate=1993/04/29", "QRY=&todate=1993/04/04",
          "QRY=&fromdate=1993/04/05"})
      EXPECT_EQ(ids(stub, parameters), ids(single, parameters)) << parameters;
    EXPECT_EQ(profileOf(stub), profileOf(single));
  }

  // The author's profile as one line: count, dates, groups and the latest articles.
  static std::string profileOf(const testing::LocalServer& server) {
    const AuthorProfile profile = server.index().profile("Tester <tester@example.com>", 5);
    std::string line = std::to_string(profile.articles) + " " + std::to_string(profile.first) +
                       "-" + std::to_string(profile.last);
    for (const auto& [group, count] : profile.groups)
      line += " " + group + ":" + std::to_string(count);
    for (const StoredArticle& article : profile.latest) line += ", " + article.subject;
    return line;
  }

  void checkCombined(const std::string& stub) {
    const testing::LocalServer server(stub);
    const testing::ParsedPage page = server.search("QRY=article");
    ASSERT_EQ(page.error, "");
    EXPECT_EQ(page.expectedTotal, 6);
    EXPECT_EQ(std::set<std::uint32_t>(page.numbers.begin(), page.numbers.end()),
              (std::set<std::uint32_t>{1, 2, 3, 1000000, 1000001, 1000002}));
    EXPECT_EQ(server.articleText(2).messageId, "<one2@test>");
    EXPECT_EQ(server.articleText(1000002).messageId, "<two3@test>");
    EXPECT_EQ(server.get("/getdoc.xp?AN=4&fmt=text").status, 404);
    checkLikeOneIndex(server);
  }

  // A stub file `name` naming the local shards `one` and `two`; its path.
  std::string localStub(const std::string& name, const std::string& one, const std::string& two) {
    testing::writeFile(folder_ / name,
                       "auto " + (folder_ / one) + "\nauto " + (folder_ / two) + "\n");
    return folder_ / name;
  }

  testing::TempFolder folder_;
};

// Local shards in a stub file; then the second made as before date terms, beside one with
// them: ranges come from the dates.
TEST_F(ShardTest, LocalShardsInAStubFileAndAShardWithoutDateTerms) {
  const std::string stub = localStub("local.stub", "one", "two");
  checkCombined(stub);
  for (const auto& entry : std::filesystem::directory_iterator(folder_ / "two")) {
    if (!entry.is_directory()) continue;
    Xapian::WritableDatabase old(entry.path().string(), Xapian::DB_OPEN);
    old.set_metadata(schema::kDateTermsKey, "");
    for (Xapian::docid id = 1; id <= old.get_lastdocid(); ++id) {
      Xapian::Document document = old.get_document(id);
      for (std::string_view prefix :
           {schema::kDayPrefix, schema::kMonthPrefix, schema::kYearPrefix}) {
        Xapian::TermIterator term = document.termlist_begin();
        term.skip_to(std::string(prefix));
        document.remove_term(*term);
      }
      old.replace_document(id, document);
    }
    old.commit();
  }
  checkLikeOneIndex(testing::LocalServer(stub));
}

// A prolific author's profile is read in slices, from the shards side by side: every
// article counts, the oldest (in the last slice) included.
TEST_F(ShardTest, AProlificAuthorsProfileCountsEveryArticle) {
  std::vector<std::string> spools;
  for (const auto& [shard, day] : {std::pair{"p1", 5}, {"p2", 6}}) {
    std::vector<testing::TestArticle> articles = testing::numberedArticles(600, shard);
    constexpr UnixTime kApril5At10 = 734004000;  // 1993-04-05 10:00 UTC
    for (std::size_t i = 0; i < articles.size(); ++i) {
      articles[i].date = formatHeaderDate(kApril5At10 + (day - 5) * 86400 + 60 * UnixTime(i));
      articles[i].newsgroups = "test.g" + std::to_string(i % 7);
    }
    spools.push_back(testing::writeSpool(folder_, articles, shard + std::string("-spool")));
    testing::indexPaths(folder_ / shard, {spools.back()}, day == 5 ? 1 : 1000000);
  }
  testing::indexPaths(folder_ / "p", spools);
  const testing::LocalServer stub(localStub("p.stub", "p1", "p2")), single(folder_ / "p");
  EXPECT_EQ(profileOf(stub), profileOf(single));
  const AuthorProfile profile = stub.index().profile("tester@example.com");
  EXPECT_EQ(profile.articles, 1200u);
  EXPECT_EQ(formatHeaderDate(profile.first), "Mon, 05 Apr 1993 10:00:00 GMT");
  EXPECT_EQ(profile.groups.size(), 7u);
}

// xapian-tcpsrv serving one shard on a free loopback port.
struct TcpServer : testing::LoopbackServer {
  bool start(const std::string& shard, std::string* error) {
    const auto arguments = [&]() -> std::vector<std::string> {
      return {"--port", std::to_string(port()), "--interface", "127.0.0.1", shard};
    };
    return launch("xapian-tcpsrv", 1, arguments, error);
  }
  std::string stubLine() const { return "remote 127.0.0.1:" + std::to_string(port()) + "\n"; }
};

TEST_F(ShardTest, RemoteShardsServedByXapianTcpsrv) {
  if (testing::findProgram("xapian-tcpsrv").empty()) GTEST_SKIP() << "no xapian-tcpsrv";
  TcpServer one, two;  // the servers stop with their objects
  std::string error;
  ASSERT_TRUE(one.start(folder_ / "one", &error) && two.start(folder_ / "two", &error)) << error;
  testing::writeFile(folder_ / "remote.stub", one.stubLine() + two.stubLine());
  checkCombined(folder_ / "remote.stub");
}

}  // namespace
}  // namespace varnook::server
