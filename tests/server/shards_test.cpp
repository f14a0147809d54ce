// Several indexes searched as one: a Xapian stub file naming shards, served locally or
// by xapian-tcpsrv on loopback.

#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <set>

#include "archive/articletext.h"
#include "collection/article.h"
#include "serversupport.h"

namespace varnook::server {
namespace {

using testing::TempFolder;

constexpr const char* kTcpServer = "/usr/bin/xapian-tcpsrv";

std::vector<testing::TestArticle> shardArticles(const std::string& tag) {
  std::vector<testing::TestArticle> articles(3);
  for (int i = 0; i < 3; ++i) {
    articles[i].subject = "shard " + tag + " " + std::to_string(i);
    articles[i].messageId = "<" + tag + std::to_string(i) + "@shard>";
    articles[i].body = "common words and " + tag + "\n";
  }
  return articles;
}

class ShardTest : public ::testing::Test {
 protected:
  // Shards served by xapian-tcpsrv need term lists: a remote database sends each
  // document with its terms.
  void SetUp() override {
    testing::indexPaths(folder_ / "one", {testing::writeSpool(folder_, shardArticles("one"), "s1")},
                        1, true);
    testing::indexPaths(folder_ / "two", {testing::writeSpool(folder_, shardArticles("two"), "s2")},
                        1000000, true);
  }

  void checkCombined(const std::string& stub) {
    testing::LocalServer server(stub);
    const testing::ParsedPage page =
        testing::parsePage(server.get("/dnquery.xp?QRY=common+words").body);
    ASSERT_EQ(page.error, "");
    EXPECT_EQ(page.expectedTotal, 6);
    const std::set<std::uint32_t> numbers(page.numbers.begin(), page.numbers.end());
    EXPECT_EQ(numbers, (std::set<std::uint32_t>{1, 2, 3, 1000000, 1000001, 1000002}));
    for (auto [number, id] : {std::pair{2u, "<one1@shard>"}, std::pair{1000002u, "<two2@shard>"}}) {
      const testing::HttpReply reply =
          server.get("/getdoc.xp?AN=" + std::to_string(number) + "&fmt=text");
      ASSERT_EQ(reply.status, 200) << number;
      Article article(number, "");
      ASSERT_EQ(parseArticleText(reply.body, article), "");
      EXPECT_EQ(article.messageId, id);
    }
    EXPECT_EQ(server.get("/getdoc.xp?AN=4&fmt=text").status, 404);
    // Words and groups are looked up across both shards.
    EXPECT_EQ(testing::parsePage(server.get("/dnquery.xp?QRY=tw*").body).expectedTotal, 3);
    EXPECT_EQ(testing::parsePage(server.get("/dnquery.xp?QRY=&groups=test.*").body).expectedTotal,
              6);
  }

  TempFolder folder_;
};

TEST_F(ShardTest, LocalShardsInAStubFile) {
  testing::writeFile(folder_ / "local.stub",
                     "auto " + (folder_ / "one") + "\nauto " + (folder_ / "two") + "\n");
  checkCombined(folder_ / "local.stub");
}

TEST_F(ShardTest, RemoteShardsServedByXapianTcpsrv) {
  if (!std::filesystem::exists(kTcpServer)) GTEST_SKIP() << "xapian-tcpsrv is not installed";
  std::string stub;
  std::vector<std::unique_ptr<testing::ChildProcess>> servers;
  for (const char* shard : {"one", "two"}) {
    // Another process may take a free port before xapian-tcpsrv binds it: try a few.
    for (int attempt = 0; attempt < 5; ++attempt) {
      const std::uint16_t port = testing::freePort();
      auto server = std::make_unique<testing::ChildProcess>(std::vector<std::string>{
          kTcpServer, "--port", std::to_string(port), "--interface", "127.0.0.1", folder_ / shard});
      std::string line;
      while ((line = server->readLine(20)).find("Listening") == std::string::npos &&
             !line.empty()) {
      }
      if (line.find("Listening") == std::string::npos) continue;
      stub += "remote 127.0.0.1:" + std::to_string(port) + "\n";
      servers.push_back(std::move(server));
      break;
    }
  }
  ASSERT_EQ(servers.size(), 2u);
  testing::writeFile(folder_ / "remote.stub", stub);
  checkCombined(folder_ / "remote.stub");
  for (auto& server : servers) {
    server->signal(SIGTERM);
    server->wait();
  }
}

}  // namespace
}  // namespace varnook::server
