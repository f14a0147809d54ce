// Index runs: numbering, repeated and interrupted runs, generations picked up by a
// running server, and the index folder's lock.

#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <set>
#include <sstream>
#include <thread>

#include "server/democorpus.h"
#include "server/indexstore.h"
#include "serversupport.h"

namespace varnook::server {
namespace {

using testing::TempFolder;
using testing::TestArticle;

std::vector<TestArticle> numbered(int count, const std::string& tag) {
  std::vector<TestArticle> articles(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    articles[static_cast<std::size_t>(i)].subject = tag + " article " + std::to_string(i + 1);
    articles[static_cast<std::size_t>(i)].messageId =
        "<" + tag + std::to_string(i + 1) + "@index.test>";
  }
  return articles;
}

std::string idOf(ArchiveIndex& index, std::uint32_t number) {
  const auto article = index.article(number);
  return article ? article->messageId : "";
}

TEST(Indexing, NumbersFollowTheSourcesAndRepeatedRunsChangeNothing) {
  TempFolder folder;
  const std::string spool = testing::writeSpool(folder, numbered(300, "n"));
  IndexRunSummary first = testing::indexPaths(folder / "index", {spool});
  EXPECT_EQ(first.added, 300u);
  EXPECT_EQ(first.indexSize, 300u);
  {
    std::string error;
    auto index = ArchiveIndex::open(folder / "index", error);
    ASSERT_TRUE(index) << error;
    // Spool files are taken in numeric order, whatever thread parses them.
    for (std::uint32_t n = 1; n <= 300; ++n)
      ASSERT_EQ(idOf(*index, n), "<n" + std::to_string(n) + "@index.test>") << n;
    EXPECT_EQ(index->statistics().nextNumber, 301u);
  }
  IndexRunSummary again = testing::indexPaths(folder / "index", {spool});
  EXPECT_EQ(again.added, 0u);
  EXPECT_EQ(again.duplicates, 300u);
  EXPECT_EQ(again.indexSize, 300u);

  // New articles continue the numbering; old numbers never change.
  const std::string more = testing::writeSpool(folder, numbered(5, "m"), "more");
  EXPECT_EQ(testing::indexPaths(folder / "index", {more, spool}).added, 5u);
  std::string error;
  auto index = ArchiveIndex::open(folder / "index", error);
  EXPECT_EQ(idOf(*index, 1), "<n1@index.test>");
  EXPECT_EQ(idOf(*index, 301), "<m1@index.test>");
  EXPECT_EQ(idOf(*index, 305), "<m5@index.test>");
}

TEST(Indexing, FirstNumberGivesShardsDisjointRanges) {
  TempFolder folder;
  const std::string spool = testing::writeSpool(folder, numbered(3, "f"));
  testing::indexPaths(folder / "index", {spool}, 4000000000u);
  std::string error;
  auto index = ArchiveIndex::open(folder / "index", error);
  EXPECT_EQ(idOf(*index, 4000000000u), "<f1@index.test>");
  EXPECT_EQ(idOf(*index, 4000000002u), "<f3@index.test>");
  EXPECT_EQ(idOf(*index, 1), "");
  // A smaller first number later does not move numbering back.
  const std::string more = testing::writeSpool(folder, numbered(1, "g"), "more");
  testing::indexPaths(folder / "index", {more}, 1);
  index = ArchiveIndex::open(folder / "index", error);
  EXPECT_EQ(idOf(*index, 4000000003u), "<g1@index.test>");
}

TEST(Indexing, ArticleNumbersRunOutCleanly) {
  TempFolder folder;
  const std::string spool = testing::writeSpool(folder, numbered(3, "e"));
  IndexRunOptions options;
  options.databasePath = folder / "index";
  options.paths = {spool};
  options.firstNumber = 4294967294u;
  std::ostringstream log;
  const IndexRunSummary summary = runIndex(options, log, log);
  EXPECT_NE(summary.error.find("article numbers are used"), std::string::npos);
  // The articles that got the last numbers are kept.
  EXPECT_EQ(summary.indexSize, 2u);
  std::string error;
  auto index = ArchiveIndex::open(folder / "index", error);
  EXPECT_EQ(idOf(*index, 4294967295u), "<e2@index.test>");
  EXPECT_EQ(index->statistics().nextNumber, 0u);
}

TEST(Indexing, GroupRulesDecideTheArchives) {
  TempFolder folder;
  std::vector<TestArticle> articles(2);
  articles[0].newsgroups = "rec.autos";
  articles[0].subject = "car";
  articles[1].newsgroups = "sci.space";
  articles[1].subject = "rocket";
  IndexRunOptions options;
  options.databasePath = folder / "index";
  options.paths = {testing::writeSpool(folder, articles)};
  std::string error;
  options.rules = *GroupRules::parse("rec.* jobs\n", "rules", error);
  std::ostringstream log;
  ASSERT_EQ(runIndex(options, log, log).error, "");
  testing::LocalServer server(folder / "index");
  const auto page = testing::parsePage(server.get("/dnquery.xp?QRY=&DBS=4").body);
  ASSERT_EQ(page.subjects.size(), 1u);
  EXPECT_EQ(page.subjects[0], "car");
}

TEST(Indexing, ARunningServerSeesNewGenerations) {
  TempFolder folder;
  testing::indexPaths(folder / "index", {testing::writeSpool(folder, numbered(2, "a"))});
  testing::LocalServer server(folder / "index");
  auto total = [&] {
    return testing::parsePage(server.get("/dnquery.xp?QRY=article").body).expectedTotal;
  };
  EXPECT_EQ(total(), 2);
  testing::indexPaths(folder / "index", {testing::writeSpool(folder, numbered(3, "b"), "b")});
  // The server looks for a new generation about once a second.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (total() != 5 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(total(), 5);
  // The previous generation is gone from the folder.
  int generations = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder / "index"))
    generations += entry.path().filename().string().rfind("base-", 0) == 0;
  EXPECT_EQ(generations, 1);
}

TEST(Indexing, TermListsAreChosenWhenTheIndexIsMade) {
  TempFolder folder;
  const std::string spool = testing::writeSpool(folder, numbered(2, "t"));
  testing::indexPaths(folder / "plain", {spool});
  IndexRunOptions options;
  options.databasePath = folder / "plain";
  options.paths = {spool};
  options.termlist = true;
  std::ostringstream log;
  EXPECT_NE(runIndex(options, log, log).error.find("without term lists"), std::string::npos);

  testing::indexPaths(folder / "with", {spool}, 1, true);
  const std::string more = testing::writeSpool(folder, numbered(1, "u"), "more");
  testing::indexPaths(folder / "with", {more});  // keeps its term lists
  Xapian::Database database(folder / "with");
  EXPECT_EQ(database.get_doccount(), 3u);
  EXPECT_EQ(database.termlist_begin(3) == database.termlist_end(3), false);
}

TEST(Indexing, OneRunAtATimeAndNoPlainDatabases) {
  TempFolder folder;
  std::string error;
  auto first = IndexStore::openForWriting(folder / "index", error);
  ASSERT_TRUE(first) << error;
  EXPECT_FALSE(IndexStore::openForWriting(folder / "index", error));
  EXPECT_NE(error.find("another index run"), std::string::npos);
  first.reset();
  EXPECT_TRUE(IndexStore::openForWriting(folder / "index", error));

  { Xapian::WritableDatabase plain(folder / "plain", Xapian::DB_CREATE_OR_OPEN); }
  EXPECT_FALSE(IndexStore::openForWriting(folder / "plain", error));
  EXPECT_NE(error.find("plain Xapian database"), std::string::npos);
}

// A run killed at any moment leaves an index that opens and serves, and a second run
// completes it: the same articles, each once.
TEST(Indexing, InterruptedRunsAreCompletedByTheNext) {
  TempFolder folder;
  std::string error;
  const long articles = writeDemoSpool(folder / "demo", error);
  ASSERT_GT(articles, 1000) << error;
  for (int signal : {SIGKILL, SIGINT}) {
    const std::string database = folder / ("index-" + std::to_string(signal));
    {
      testing::ChildProcess run(
          {VARNOOK_ARCHIVE_PROGRAM, "index", "--db", database, folder / "demo"});
      std::this_thread::sleep_for(std::chrono::milliseconds(700));
      run.signal(signal);
      const int status = run.wait();
      EXPECT_TRUE(status == 0 || status == 130 || status == 128 + SIGKILL) << status;
    }
    if (std::filesystem::exists(database + "/XAPIANDB")) {
      auto index = ArchiveIndex::open(database, error);
      ASSERT_TRUE(index) << error;
      EXPECT_LE(index->statistics().articles, static_cast<std::uint64_t>(articles));
    }
    const IndexRunSummary rest = testing::indexPaths(database, {folder / "demo"});
    EXPECT_EQ(rest.indexSize, static_cast<std::uint64_t>(articles)) << signal;
    auto index = ArchiveIndex::open(database, error);
    const IndexStatistics stats = index->statistics();
    EXPECT_EQ(stats.nextNumber, static_cast<std::uint32_t>(articles) + 1);
  }
}

TEST(DemoCorpus, IsDeterministicAndCoversWhatTheDemoNeeds) {
  const auto first = generateDemoCorpus();
  const auto second = generateDemoCorpus();
  ASSERT_EQ(first.size(), second.size());
  for (std::size_t i = 0; i < first.size(); ++i) ASSERT_EQ(first[i].text, second[i].text) << i;
  EXPECT_GE(first.size(), 1900u);
  EXPECT_LE(first.size(), 2100u);
  std::set<std::string> groups;
  int crossPosts = 0, replies = 0, deepQuotes = 0, signatures = 0, encodedNames = 0, urls = 0;
  for (const DemoArticle& article : first) {
    groups.insert(article.groups.begin(), article.groups.end());
    crossPosts += article.groups.size() > 1;
    replies += article.text.find("\nReferences: ") != std::string::npos;
    deepQuotes += article.text.find("\n>> ") != std::string::npos;
    signatures += article.text.find("\n-- \n") != std::string::npos;
    encodedNames += article.text.find("From: =?") != std::string::npos;
    urls += article.text.find("http://") != std::string::npos;
  }
  EXPECT_TRUE(groups.count("misc.jobs.offered"));
  EXPECT_TRUE(groups.count("misc.forsale.computers"));
  EXPECT_GE(groups.size(), 5u);
  EXPECT_GT(crossPosts, 10);
  EXPECT_GT(replies, 500);
  EXPECT_GT(deepQuotes, 50);
  EXPECT_GT(signatures, 500);
  EXPECT_GT(encodedNames, 50);
  EXPECT_GT(urls, 50);
}

}  // namespace
}  // namespace varnook::server
