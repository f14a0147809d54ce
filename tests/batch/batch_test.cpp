// varnook-batch run as a program against a scripted archive service on loopback.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>

#include "collection/collectionfile.h"
#include "net/httpclient.h"
#include "net/pollloop.h"
#include "support/realservers.h"
#include "support/testcertificates.h"
#include "transfer/fakearchive.h"

extern char** environ;

namespace varnook {
namespace {

struct BatchRun {
  int status = -1;
  std::string out, err;
};

class BatchTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(folder_.write("options", "")); }  // empty: the defaults

  // The program with `args` (after `--options <file>` unless `defaultOptions_`), its cache
  // and home in the test folder and nothing of the test's environment but the sanitizers'
  // options.
  std::vector<std::string> command(const std::vector<std::string>& args) const {
    std::vector<std::string> line = {"/usr/bin/env", "-i", "XDG_CACHE_HOME=" + dir_ + "/cache",
                                     "HOME=" + dir_, "PATH=/usr/bin:/bin"};
    for (char** e = environ; *e; ++e)
      for (const char* keep : {"ASAN_", "UBSAN_", "LSAN_"})
        if (std::string_view(*e).starts_with(keep)) line.push_back(*e);
    line.push_back(VARNOOK_BATCH);
    if (!defaultOptions_) line.insert(line.end(), {"--options", dir_ + "/options"});
    line.insert(line.end(), args.begin(), args.end());
    return line;
  }

  // Runs it to its end (killed after two minutes, should it hang).
  BatchRun run(const std::vector<std::string>& args) const {
    const auto quoted = [](std::string text) {
      for (std::size_t at = 0; (at = text.find('\'', at)) != std::string::npos; at += 4)
        text.replace(at, 1, "'\\''");
      return "'" + text + "'";
    };
    std::string line = "timeout -s KILL 120";
    for (const std::string& arg : command(args)) line += " " + quoted(arg);
    const int status = std::system(
        (line + " >" + quoted(dir_ + "/stdout") + " 2>" + quoted(dir_ + "/stderr")).c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, testing::readFile(dir_ + "/stdout"),
            testing::readFile(dir_ + "/stderr")};
  }

  // The service options for `archive`, then `more`.
  std::vector<std::string> with(testing::FakeArchive& archive, std::vector<std::string> more) {
    more.insert(more.begin(), {"--service", archive.host(), "--domain", archive.domain(),
                               "--home-site", "http://" + archive.host() + "/varnook/update.txt"});
    return more;
  }

#ifdef VARNOOK_ARCHIVE_PROGRAM
  // The real archive server, started with `more` options, over articles (subject and
  // Message-ID name, more header lines, body) dated a day apart; its "localhost:<port>".
  std::string serveArchive(const std::vector<std::array<std::string, 3>>& articles,
                           std::vector<std::string> more = {}) {
    for (std::size_t i = 0; i < articles.size(); ++i) {
      const auto& [name, headers, body] = articles[i];
      EXPECT_TRUE(folder_.write("spool/" + std::to_string(i + 1),
                                "From: w@example.org\nNewsgroups: comp.misc\nSubject: " + name +
                                    "\nDate: " + std::to_string(i + 1) +
                                    " Mar 1993 10:00:00 GMT\nMessage-ID: <" + name + "@t>\n" +
                                    headers + "\n" + body + "\n"));
    }
    EXPECT_EQ(testing::runProgram(
                  {VARNOOK_ARCHIVE_PROGRAM, "index", "--db", dir_ + "/index", dir_ + "/spool"})
                  .status,
              0);
    more.insert(more.begin(), {VARNOOK_ARCHIVE_PROGRAM, "serve", "--db", dir_ + "/index",
                               "--listen", "127.0.0.1:0"});
    archive_ = testing::ChildProcess::start(more);
    const std::string first = archive_->readLine();
    return "localhost:" + std::to_string(std::stoi(first.substr(first.find("127.0.0.1:") + 10)));
  }
  std::unique_ptr<testing::ChildProcess> archive_;
#endif

  testing::TempFolder folder_;
  const std::string dir_ = folder_.path();
  bool defaultOptions_ = false;
};

TEST_F(BatchTest, SearchesFollowsPagesDownloadsRotatesAndSaves) {
  testing::FakeArchive archive(12, 5);
  const std::string out = dir_ + "/found.vnk";
  const BatchRun r = run(with(
      archive, {"--send", "--download", "--max-transfers", "2", "--hosts", "www,x1,x2", "--rotate",
                "--log", dir_ + "/log.txt", "-o", out, "modem", "~a", "john smith"}));
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string log = testing::readFile(dir_ + "/log.txt");
  EXPECT_NE(log.find(": total of 12 articles on 3 pages"), std::string::npos) << log;

  // The update check first, the three result pages, then twelve articles on the rotation.
  EXPECT_EQ(archive.count("update.txt"), 1);
  EXPECT_EQ(archive.count("dnquery"), 3);
  std::map<std::string, int> hosts;
  for (const auto& request : archive.server().requests())
    if (request.target.find("getdoc") != std::string::npos) ++hosts[*request.header("Host")];
  const std::string port = ".localhost:" + std::to_string(archive.server().port());
  EXPECT_EQ(hosts,
            (std::map<std::string, int>{{"www" + port, 4}, {"x1" + port, 4}, {"x2" + port, 4}}));

  Collection saved;
  ASSERT_TRUE(loadCollection(saved, out).ok());
  ASSERT_EQ(saved.requests().size(), 1u);
  EXPECT_EQ(saved.requests()[0]->keywords, "modem");
  EXPECT_EQ(saved.requests()[0]->author, "john smith");
  ASSERT_EQ(saved.articles().size(), 12u);
  EXPECT_EQ(saved.articles()[3]->text.rfind("Body of article 4\r\n", 0), 0u);
  EXPECT_NE(r.err.find("1 requests, 12 articles, 12 loaded, 0 failed; saved to " + out),
            std::string::npos);
}

// A query form runs at once and lists its articles; the page limit stops it at the next
// page, and sending the saved collection's requests again (from page 1) gets the rest.
TEST_F(BatchTest, QueryFormListsThePagesItWasAllowedAndTheFileCanBeSentAgain) {
  testing::FakeArchive archive(12, 5);
  const std::string out = dir_ + "/limited.vnk";
  const auto saved = [&] {
    Collection c;
    EXPECT_TRUE(loadCollection(c, out).ok());
    return std::tuple(c.articles().size(), c.loadedArticles());
  };
  const BatchRun r = run(with(
      archive, {"--pages", "1", "-q", "--list", "-o", out, "/Q:RUN:&QRY=modem&defaultOp=AND"}));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_NE(r.out.find("1\t1999/04/05\tAuthor 1\tSubject 1\n"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("Subject 6"), std::string::npos);
  EXPECT_EQ(saved(), std::tuple(5u, 0));
  ASSERT_EQ(run(with(archive, {"--send", "--download", "-q", out})).status, 0);
  EXPECT_EQ(saved(), std::tuple(12u, 12));
}

// Every failed transfer has its line with its reason on standard error and in the log, the
// summary counts them, and the exit status is 1: a failed query, and three failed articles.
TEST_F(BatchTest, EachFailedTransferHasItsLineAndTheExitStatusIsOne) {
  const std::string refusing = "localhost:" + std::to_string(testing::freeLoopbackPort());
  const struct {
    std::string reply;  // the archive's answer to its result pages ("": its own)
    std::string more;   // options, separated by blanks
    std::string line;
    int failed;
  } cases[] = {
      {testing::httpResponse(404, "Not Found", "x"), "", "failed: HTTP 404 Not Found", 1},
      {"", "--download --domain " + refusing, "A#3 (query \"modem\") failed: Connection refused",
       3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    testing::FakeArchive archive(3, 10);
    if (!c.reply.empty()) archive.override("dnquery", c.reply);
    std::vector<std::string> args = with(archive, {"--send", "--log", dir_ + "/log.txt"});
    std::istringstream more(c.more);
    for (std::string option; more >> option;) args.push_back(option);
    args.push_back("modem");
    const BatchRun r = run(args);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(c.line), std::string::npos) << r.err;
    EXPECT_NE(testing::readFile(dir_ + "/log.txt").find(c.line), std::string::npos);
    EXPECT_NE(r.err.find(", " + std::to_string(c.failed) + " failed"), std::string::npos);
    std::remove((dir_ + "/log.txt").c_str());
  }
}

// Subjects and authors are the service's bytes: listed, their control characters are U+FFFD.
TEST_F(BatchTest, ListShowsControlCharactersAsReplacementCharacters) {
  testing::FakeArchive archive(1, 10);
  archive.override("dnquery", testing::httpResponse(200, "OK",
                                                    "<a href=\"/getdoc.xp?AN=7\">Bell\x07 "
                                                    "\x1b[2Jclear</a><b>Author</b>: x\x1by<p>"));
  const BatchRun r = run(with(archive, {"--send", "-q", "--list", "modem"}));
  EXPECT_EQ(r.out, "7\t\tx\xEF\xBF\xBDy\tBell\xEF\xBF\xBD \xEF\xBF\xBD[2Jclear\n");
}

TEST_F(BatchTest, UsageAndCollectionErrorsGiveExitStatusTwoHelpAndVersionZero) {
  BatchRun r = run({"--pages"});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("option --pages needs a value"), std::string::npos);
  EXPECT_EQ(run({"--bogus"}).status, 2);
  EXPECT_EQ(run({"--hits", "5"}).status, 2);
  EXPECT_EQ(run({"--transfer-timeout", "0"}).status, 2);
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--download", "modem"}, {"--download", "--thread", "5"}}) {
    r = run(args);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("add --send"), std::string::npos) << r.err;
  }
  for (const char* number : {"0", "x", "-1", "4294967296"})
    EXPECT_EQ(run({"--thread", number}).status, 2) << number;

  r = run({dir_ + "/missing.vnk"});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "News collection \"" + dir_ + "/missing.vnk\" not found\n");

  r = run({"--version"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.rfind("varnook-batch ", 0), 0u);
  EXPECT_EQ(run({"--help"}).status, 0);
}

TEST_F(BatchTest, WorksThroughAnAuthenticatingProxy) {
  std::string error;
  auto proxy = testing::TinyProxyServer::start(&error, "agent", "s3cret");
  ASSERT_TRUE(proxy) << error;
  testing::FakeArchive archive(3, 10);
  // The proxy resolves article servers with the system's resolver, which knows no
  // "x1.localhost": the one server is "127.0.0" in the domain "1:<port>".
  const BatchRun r =
      run(with(archive, {"--first-server", "--hosts", "127.0.0", "--domain",
                         "1:" + std::to_string(archive.server().port()), "--proxy",
                         "127.0.0.1:" + std::to_string(proxy->port()), "--proxy-user", "agent",
                         "--proxy-password", "s3cret", "--send", "--download", "modem"}));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("1 requests, 3 articles, 3 loaded, 0 failed"), std::string::npos) << r.err;
  // The request reached the archive through the proxy (its Via line).
  EXPECT_TRUE(archive.server().requests().at(0).header("Via"));
}

TEST_F(BatchTest, ListingAndRunsThatChangeNothingLeaveTheFileAsItWas) {
  testing::FakeArchive archive(3, 10);
  const std::string file = dir_ + "/kept.vnk";
  ASSERT_EQ(run(with(archive, {"--send", "-q", "-o", file, "modem"})).status, 0);
  const timespec past[2] = {{1000000000, 0}, {1000000000, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), past, 0), 0);
  const auto state = [&] {
    struct stat st {};
    ::stat(file.c_str(), &st);
    return std::tuple(st.st_ino, st.st_mtim.tv_sec, testing::readFile(file));
  };
  const auto before = state();
  EXPECT_NE(run({"--list", file}).out.find("3\t1999/04/05\tAuthor 3\tSubject 3\n"),
            std::string::npos);
  // Sent again, the query finds only articles the file has.
  EXPECT_EQ(run(with(archive, {"--send", "-q", file})).status, 0);
  EXPECT_EQ(state(), before);
}

// A run holds the file it saves: a second run on it refuses at once. A signal ends the
// transfers, and what was gathered is saved.
TEST_F(BatchTest, ASecondRunIsRefusedAndASignalSavesWhatWasGathered) {
  for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
    SCOPED_TRACE(signal);
    testing::FakeArchive archive(12, 5);
    archive.hold();
    const std::string file = dir_ + "/stopped" + std::to_string(signal) + ".vnk";
    auto first = testing::ChildProcess::start(
        command(with(archive, {"--send", "--download", "-o", file, "modem"})), file + ".log");
    // Until it has found articles and downloads them.
    for (int i = 0; first && i < 3000 && archive.count("getdoc") == 0 && first->running(); ++i)
      ::usleep(10000);
    ASSERT_TRUE(first && first->running());
    const BatchRun second = run(with(archive, {"--send", "-o", file, "other"}));
    EXPECT_EQ(second.status, 2);
    EXPECT_NE(second.err.find("\"" + file + "\" is in use by another Varnook process"),
              std::string::npos)
        << second.err;
    first->signal(signal);
    EXPECT_EQ(first->wait(), 128 + signal);
    Collection saved;
    const LoadResult loaded = loadCollection(saved, file);
    ASSERT_TRUE(loaded.ok()) << loaded.message << testing::readFile(file + ".log");
    ASSERT_EQ(std::tuple(saved.requests().size(), saved.loadedArticles()), std::tuple(1u, 0));
    EXPECT_EQ(saved.requests()[0]->keywords, "modem");
    EXPECT_GE(saved.articles().size(), 5u);  // at least the first page's
    EXPECT_FALSE(std::filesystem::exists(file + ".lock"));
  }
}

// An options file or a collection to save that is no regular file is refused by name
// before anything is sent; a damaged options file at the default place is only a warning.
TEST_F(BatchTest, FilesThatAreNoRegularFilesAreRefusedAtOnce) {
  const std::string fifo = dir_ + "/fifo", big = dir_ + "/big";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  ASSERT_TRUE(folder_.write("big", std::string((1 << 20) + 1, 'x')));
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"--options", fifo, "/Q:&QRY=a"}, "\"" + fifo + "\": not a regular file"},
      {{"--options", big, "/Q:&QRY=a"}, "\"" + big + "\": file too large"},
      {{"-o", fifo, "/Q:&QRY=a"}, "cannot save \"" + fifo + "\": Not a regular file"},
  };
  for (const auto& [args, message] : cases) {
    const BatchRun r = run(args);
    EXPECT_EQ(r.status, 2) << message;
    EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
    struct stat st {};  // left as it was
    EXPECT_TRUE(::stat(args[1].c_str(), &st) == 0 && S_ISREG(st.st_mode) == (args[1] == big));
  }

  ASSERT_TRUE(folder_.write(".config/varnook/options", "TPF0 damaged"));
  defaultOptions_ = true;
  const BatchRun r = run({"/Q:&QRY=a"});
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.err.find("\"" + dir_ + "/.config/varnook/options\" is damaged"), std::string::npos)
      << r.err;
}
#ifdef VARNOOK_ARCHIVE_PROGRAM
// A search against the real archive server over HTTPS (service, next pages and article
// servers) with the authority given by --ca-file gives the whole collection.
TEST_F(BatchTest, SearchOverHttpsFetchesEveryPageAndArticle) {
  std::string error;
  const auto certificates = testing::TestCertificates::make(&error);
  if (!certificates) GTEST_SKIP() << error;
  std::vector<std::array<std::string, 3>> articles;
  for (int i = 1; i <= 12; ++i)
    articles.push_back({"modem" + std::to_string(i), "", "My modem, take " + std::to_string(i)});
  const std::string host =
      serveArchive(articles, {"--tls-cert", certificates->good().certificate, "--tls-key",
                              certificates->good().key, "--hsts"});
  const std::string origin = "https://" + host;
  std::vector<std::string> args = {"--service", origin,        "--domain",
                                   host,        "--home-site", origin + "/varnook/update.txt",
                                   "--hits",    "10",          "--ca-file"};
  args.insert(args.end(), {certificates->authority(), "--hosts", "www,x1,x2", "--rotate", "--send",
                           "--download", "-o", dir_ + "/https.vnk", "modem"});
  const BatchRun r = run(args);
  ASSERT_EQ(r.status, 0) << r.err;
  // Ten hits a page: the last two articles were found on the second page. What the texts
  // hold is checked over plain HTTP (SearchesFollowsPagesDownloadsRotatesAndSaves).
  Collection saved;
  ASSERT_TRUE(loadCollection(saved, dir_ + "/https.vnk").ok());
  EXPECT_EQ(std::tuple(saved.articles().size(), saved.loadedArticles()), std::tuple(12u, 12));

  // --hsts: every answer tells browsers to stay on HTTPS.
  PollLoop loop;
  HttpClient client(loop);
  client.trustedCertificates = certificates->authority();
  client.url = origin + "/";
  bool done = false;
  client.onRequestDone = [&](int, int) { done = true; };
  ASSERT_EQ(client.getAsync(), "");
  ASSERT_TRUE(loop.runUntil([&] { return done; }, 10000));
  EXPECT_EQ(client.statusCode(), 200);
  EXPECT_NE(std::find(client.receivedHeader().begin(), client.receivedHeader().end(),
                      "Strict-Transport-Security: max-age=31536000"),
            client.receivedHeader().end());
}

// The batch tool's own part of a thread request (the server's paging and tree are tested
// with the server): --thread adds the request and saves it, --list indents the reply tree.
TEST_F(BatchTest, ThreadRequestListsAndSavesTheReplyTree) {
  const std::string origin = serveArchive({{"root", "", "Text."},
                                           {"a", "References: <root@t>\n", "Text."},
                                           {"b", "References: <root@t> <a@t>\n", "Text."}});
  const BatchRun r = run({"--service", origin, "--domain", origin, "--no-update-check", "--thread",
                          "3", "--send", "--download", "--list", "-q", "-o", dir_ + "/thread.vnk"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("\troot\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\t  a\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\t    b\n"), std::string::npos) << r.out;
  Collection saved;
  ASSERT_TRUE(loadCollection(saved, dir_ + "/thread.vnk").ok());
  ASSERT_EQ(saved.requests().size(), 1u);
  EXPECT_EQ(std::tuple(saved.requests()[0]->thread, saved.loadedArticles()), std::tuple(3u, 3));
}
#endif

}  // namespace
}  // namespace varnook
