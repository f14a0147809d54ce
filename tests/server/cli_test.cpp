// The varnook-archive program itself: its command line, and serve started and stopped
// as a real process.

#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <sstream>

#include <xapian.h>

#include "serversupport.h"
#include "support/fixtures.h"
#include "support/testcertificates.h"

namespace varnook::server {
namespace {

TEST(CommandLine, HelpVersionAndUsageErrors) {
  EXPECT_EQ(testing::runArchive({"--help"}).status, 0);
  EXPECT_EQ(testing::runArchive({"--version"}).output.rfind("varnook-archive ", 0), 0u);
  for (const std::string command : {"index", "pull", "serve", "demo", "stats"}) {
    const auto help = testing::runArchive({command, "--help"});
    EXPECT_EQ(help.status, 0) << command;
    EXPECT_EQ(help.output.rfind("Usage: varnook-archive " + command, 0), 0u) << help.output;
  }
  // Usage errors end with status 2, a failing start with 1 (data/cli-usage.txt).
  for (const auto& row : testing::readTable("server/data/cli-usage.txt", 2)) {
    std::vector<std::string> arguments;
    std::istringstream words(row[0]);
    for (std::string word; words >> word;) arguments.push_back(word);
    EXPECT_EQ(std::to_string(testing::runArchive(arguments).status), row[1]) << row[0];
  }
}

TEST(CommandLine, IndexWithGroupRulesStatsAndServe) {
  testing::TempFolder folder;
  std::vector<testing::TestArticle> articles(2);
  articles[0].subject = "hello world";
  articles[1].subject = "goodbye world";
  articles[1].newsgroups = "misc.forsale";
  const std::string spool = testing::writeSpool(folder, articles);
  testing::writeFile(folder / "rules", "misc.* jobs\n");  // instead of the default rules
  const auto indexed = testing::runArchive(
      {"index", "--db", folder / "index", "--groups-rules", folder / "rules", "--progress", spool});
  EXPECT_EQ(indexed.status, 0);
  EXPECT_NE(indexed.output.find("Indexed 2 new articles"), std::string::npos) << indexed.output;
  const auto stats = testing::runArchive({"stats", "--db", folder / "index"});
  EXPECT_EQ(stats.status, 0);
  EXPECT_NE(stats.output.find("Articles:   2"), std::string::npos) << stats.output;
  EXPECT_NE(stats.output.find("jobs 1;"), std::string::npos) << stats.output;

  const auto serve = testing::ChildProcess::start(
      {VARNOOK_ARCHIVE_PROGRAM, "serve", "--db", folder / "index", "--listen", "127.0.0.1:0",
       "--service", "archive.test:8119", "--domain", "archive.test:8119"});
  ASSERT_TRUE(serve);
  const std::string first = serve->readLine();
  const std::size_t at = first.find("http://127.0.0.1:");
  ASSERT_NE(at, std::string::npos) << first;
  const auto port = static_cast<std::uint16_t>(std::stoi(first.substr(at + 17)));
  const testing::ParsedPage page = testing::parsePage(
      testing::httpGet(port, "/dnquery.xp?QRY=world&maxhits=1", "HTTP/1.0", "").body);
  EXPECT_EQ(page.error, "");
  EXPECT_EQ(page.expectedTotal, 2);
  serve->signal(SIGTERM);
  EXPECT_EQ(serve->wait(), 0);
}

// Files that cannot serve HTTPS stop the start with a message that names them.
TEST(CommandLine, ServeRefusesTlsFilesThatCannotServe) {
  std::string error;
  const auto certificates = testing::TestCertificates::make(&error);
  if (!certificates) GTEST_SKIP() << error;
  const std::string cert = certificates->good().certificate, key = certificates->good().key;
  const std::string missing = certificates->folder() / "missing.pem";
  const std::string otherKey = certificates->sites()[1].key;
  const struct {
    std::vector<std::string> options;
    int status;
    std::string message;
  } cases[] = {
      {{"--tls-cert", cert}, 2, "--tls-cert and --tls-key go together"},
      {{"--hsts"}, 2, "--hsts needs --tls-cert and --tls-key"},
      {{"--tls-cert", missing, "--tls-key", key},
       1,
       "cannot read the TLS certificate \"" + missing + "\": no such file"},
      {{"--tls-cert", key, "--tls-key", key}, 1, "\" is no PEM certificate: "},
      {{"--tls-cert", cert, "--tls-key", cert}, 1, "\" is no PEM private key: "},
      {{"--tls-cert", cert, "--tls-key", otherKey},
       1,
       "the TLS key \"" + otherKey + "\" does not belong to the certificate \"" + cert + "\""},
  };
  for (const auto& c : cases) {
    std::vector<std::string> arguments = {"serve", "--db", certificates->folder() / "index",
                                          "--listen", "127.0.0.1:0"};
    arguments.insert(arguments.end(), c.options.begin(), c.options.end());
    const auto result = testing::runArchive(arguments);
    EXPECT_EQ(result.status, c.status) << c.message;
    EXPECT_NE(result.output.find(c.message), std::string::npos) << result.output;
  }
}

// An index of the previous format is neither extended nor served: each command says in
// one line how to index again.
TEST(CommandLine, AnIndexOfTheOldFormatIsRefused) {
  testing::TempFolder folder;
  const std::string spool = testing::writeSpool(folder, testing::numberedArticles(2, "old"));
  testing::indexPaths(folder / "index", {spool});
  const std::string stub = testing::readFile(folder / "index/XAPIANDB");  // "auto <name>\n"
  Xapian::WritableDatabase(folder / "index/" + stub.substr(5, stub.size() - 6),
                           Xapian::DB_OPEN | Xapian::DB_NO_TERMLIST)
      .set_metadata("varnook.format", "1");
  for (std::vector<std::string> command :
       {std::vector<std::string>{"index", spool}, {"serve"}, {"stats"}}) {
    command.insert(command.begin() + 1, {"--db", folder / "index"});
    const auto result = testing::runArchive(command);
    EXPECT_EQ(result.status, 1) << result.output;
    for (const char* text : {"older varnook-archive (index format 1", "index its articles again"})
      EXPECT_NE(result.output.find(text), std::string::npos) << result.output;
    EXPECT_EQ(std::count(result.output.begin(), result.output.end(), '\n'), 1) << result.output;
  }
}

}  // namespace
}  // namespace varnook::server
