// varnook-batch run as a program against a scripted archive service on loopback.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "collection/collectionfile.h"
#include "support/realservers.h"
#include "transfer/fakearchive.h"

extern char** environ;

namespace varnook {
namespace {

struct BatchRun {
  int status = -1;
  std::string out, err;
};

std::string readAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class BatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char folder[] = "/tmp/vnk-batch-XXXXXX";
    dir_ = ::mkdtemp(folder);
    std::ofstream(dir_ + "/options");  // empty: the defaults
  }
  void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }

  BatchRun run(std::vector<std::string> args) {
    std::vector<std::string> all = {VARNOOK_BATCH, "--options", dir_ + "/options"};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    const std::string out = dir_ + "/stdout", err = dir_ + "/stderr";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    // Keep the child's cache (badpage.htm) inside the test folder.
    std::vector<std::string> envText = {"XDG_CACHE_HOME=" + dir_ + "/cache", "HOME=" + dir_,
                                        "PATH=/usr/bin:/bin"};
    for (char** e = environ; *e; ++e)
      if (std::string(*e).rfind("ASAN_", 0) == 0 || std::string(*e).rfind("UBSAN_", 0) == 0 ||
          std::string(*e).rfind("LSAN_", 0) == 0)
        envText.push_back(*e);
    std::vector<char*> env;
    for (auto& e : envText) env.push_back(e.data());
    env.push_back(nullptr);
    pid_t pid = 0;
    BatchRun result;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), env.data()) == 0) {
      int status = 0;
      ::waitpid(pid, &status, 0);
      result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    posix_spawn_file_actions_destroy(&actions);
    result.out = readAll(out);
    result.err = readAll(err);
    return result;
  }

  std::vector<std::string> serviceArgs(testing::FakeArchive& archive) {
    return {"--service",      archive.host(), "--domain",
            archive.domain(), "--home-site",  "http://" + archive.host() + "/varnook/update.txt"};
  }

  std::string dir_;
};

TEST_F(BatchTest, SearchesFollowsPagesDownloadsRotatesAndSaves) {
  testing::FakeArchive archive(12, 5);
  auto args = serviceArgs(archive);
  const std::string out = dir_ + "/found.vnk";
  args.insert(args.end(),
              {"--send", "--download", "--max-transfers", "2", "--hosts", "www,x1,x2", "--rotate",
               "--log", dir_ + "/log.txt", "-o", out, "modem", "~a", "john smith"});
  const BatchRun r = run(args);
  ASSERT_EQ(r.status, 0) << r.err;

  const std::string log = readAll(dir_ + "/log.txt");
  EXPECT_NE(log.find("delivered 5 articles"), std::string::npos) << log;
  EXPECT_NE(log.find(": total of 12 articles on 3 pages"), std::string::npos) << log;

  // The update check first, the three result pages, then twelve articles on the rotation.
  std::vector<std::string> hosts;
  int pages = 0, updates = 0;
  for (const auto& req : archive.server().requests()) {
    if (req.target.find("getdoc") != std::string::npos) hosts.push_back(*req.header("Host"));
    pages += req.target.find("dnquery") != std::string::npos;
    updates += req.target.find("update.txt") != std::string::npos;
  }
  EXPECT_EQ(updates, 1);
  EXPECT_EQ(pages, 3);
  ASSERT_EQ(hosts.size(), 12u);
  int www = 0, x1 = 0, x2 = 0;
  const std::string port = ":" + std::to_string(archive.server().port());
  for (const auto& h : hosts) {
    www += h == "www.localhost" + port;
    x1 += h == "x1.localhost" + port;
    x2 += h == "x2.localhost" + port;
  }
  EXPECT_EQ(www, 4);
  EXPECT_EQ(x1, 4);
  EXPECT_EQ(x2, 4);

  Collection saved;
  ASSERT_TRUE(loadCollection(saved, out).ok());
  ASSERT_EQ(saved.requests().size(), 1u);
  EXPECT_EQ(saved.requests()[0]->keywords, "modem");
  EXPECT_EQ(saved.requests()[0]->author, "john smith");
  ASSERT_EQ(saved.articles().size(), 12u);
  EXPECT_EQ(saved.loadedArticles, 12);
  EXPECT_EQ(saved.articles()[3]->text.rfind("Body of article 4\r\n", 0), 0u);
  EXPECT_NE(r.err.find("1 requests, 12 articles, 12 loaded; saved to " + out), std::string::npos);
}

TEST_F(BatchTest, PageLimitStopsAtTheNextPageAndTheFileCanBeResumed) {
  testing::FakeArchive archive(12, 5);
  auto args = serviceArgs(archive);
  const std::string out = dir_ + "/limited.vnk";
  args.insert(args.end(), {"--send", "--pages", "1", "-q", "-o", out, "modem"});
  ASSERT_EQ(run(args).status, 0);
  Collection saved;
  ASSERT_TRUE(loadCollection(saved, out).ok());
  EXPECT_EQ(saved.articles().size(), 5u);
  EXPECT_EQ(saved.loadedArticles, 0);

  // Sending the saved collection's requests again (from page 1) with downloads on.
  auto again = serviceArgs(archive);
  again.insert(again.end(), {"--send", "--download", "-q", out});
  ASSERT_EQ(run(again).status, 0);
  Collection after;
  ASSERT_TRUE(loadCollection(after, out).ok());
  EXPECT_EQ(after.articles().size(), 12u);
  EXPECT_EQ(after.loadedArticles, 12);
}

TEST_F(BatchTest, QueryFormRunsAtOnceAndListsTheArticles) {
  testing::FakeArchive archive(3, 10);
  auto args = serviceArgs(archive);
  args.insert(args.end(), {"-q", "--list", "/Q:RUN:&QRY=modem&defaultOp=AND"});
  const BatchRun r = run(args);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_NE(r.out.find("1\t1999/04/05\tAuthor 1\tSubject 1\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("3\t1999/04/05\tAuthor 3\tSubject 3\n"), std::string::npos);
}

TEST_F(BatchTest, FailuresGiveExitStatusOne) {
  testing::FakeArchive archive(3, 10);
  archive.override("dnquery", testsupport::httpResponse(404, "Not Found", "x"));
  auto args = serviceArgs(archive);
  args.insert(args.end(), {"--send", "modem"});
  EXPECT_EQ(run(args).status, 1);

  testing::FakeArchive unreadable(3, 10);
  unreadable.override("dnquery", testsupport::httpResponse(200, "OK", "<a href=\"/getdoc.xp?AN=1"));
  auto more = serviceArgs(unreadable);
  more.insert(more.end(), {"--send", "modem"});
  const BatchRun r = run(more);
  EXPECT_EQ(r.status, 1);
  // The question is printed and answered No.
  EXPECT_NE(r.err.find("Do you want to view this page now? [answered No]"), std::string::npos)
      << r.err;
}

TEST_F(BatchTest, UsageAndCollectionErrorsGiveExitStatusTwo) {
  BatchRun r = run({"--pages"});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("option --pages needs a value"), std::string::npos);
  EXPECT_EQ(run({"--bogus"}).status, 2);
  EXPECT_EQ(run({"--hits", "5"}).status, 2);

  r = run({dir_ + "/missing.vnk"});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "News collection \"" + dir_ + "/missing.vnk\" not found\n");

  std::ofstream(dir_ + "/bad.vnk") << "---{^#ReQ&}---\r\nno colon here\r\n";
  r = run({dir_ + "/bad.vnk"});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "Invalid file format at line 2: Query expected\n");
}

TEST_F(BatchTest, WorksThroughAnAuthenticatingProxy) {
  std::string error;
  auto proxy = testsupport::TinyProxyServer::start(&error, "agent", "s3cret");
  ASSERT_TRUE(proxy) << error;
  testing::FakeArchive archive(3, 10);
  auto args = serviceArgs(archive);
  const std::string out = dir_ + "/proxied.vnk";
  // The proxy resolves article servers with the system's resolver, which knows no
  // "x1.localhost": the one server is "127.0.0" in the domain "1:<port>".
  args.insert(args.end(), {"--first-server", "--hosts", "127.0.0", "--domain",
                           "1:" + std::to_string(archive.server().port())});
  args.insert(args.end(),
              {"--proxy", "127.0.0.1:" + std::to_string(proxy->port()), "--proxy-user", "agent",
               "--proxy-password", "s3cret", "--send", "--download", "-q", "-o", out, "modem"});
  const BatchRun r = run(args);
  ASSERT_EQ(r.status, 0) << r.err;
  Collection saved;
  ASSERT_TRUE(loadCollection(saved, out).ok());
  EXPECT_EQ(saved.loadedArticles, 3);
  // Every request reached the archive through the proxy, which strips its own header.
  for (const auto& req : archive.server().requests())
    EXPECT_FALSE(req.header("Proxy-Authorization"));

  // A wrong password: the proxy refuses, and the batch reports a failed transfer.
  args[args.size() - 7] = "wrong";
  EXPECT_EQ(run(args).status, 1);
}

TEST_F(BatchTest, HelpAndVersion) {
  BatchRun r = run({"--version"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.rfind("varnook-batch ", 0), 0u);
  r = run({"--help"});
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("--max-transfers N"), std::string::npos);
}

}  // namespace
}  // namespace varnook
