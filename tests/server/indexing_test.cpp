// Index runs: numbering, repeated and interrupted runs, generations picked up by a
// running server, and the index folder's lock.

#include <gtest/gtest.h>
#include <signal.h>
#include <xapian.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <thread>
#include <tuple>

#include "server/democorpus.h"
#include "server/indexrun.h"
#include "server/indexstore.h"
#include "serversupport.h"

namespace varnook::server {
namespace {

using testing::indexPaths;
using testing::messageIdOf;
using testing::numberedArticles;
using testing::openIndex;
using testing::TempFolder;
using testing::writeSpool;

TEST(Indexing, NumbersFollowTheSourcesAndRepeatedRunsChangeNothing) {
  TempFolder folder;
  const std::string spool = writeSpool(folder, numberedArticles(300, "n"));
  const IndexRunSummary first = indexPaths(folder / "index", {spool});
  EXPECT_EQ(std::tie(first.added, first.indexSize), std::tuple(300u, 300u));
  {
    auto index = openIndex(folder / "index");
    ASSERT_TRUE(index);
    // Spool files are taken in numeric order, whatever thread parses them.
    for (std::uint32_t n = 1; n <= 300; ++n)
      ASSERT_EQ(messageIdOf(*index, n), "<n" + std::to_string(n) + "@test>") << n;
    EXPECT_EQ(index->statistics().nextNumber, 301u);
  }
  const IndexRunSummary again = indexPaths(folder / "index", {spool});
  EXPECT_EQ(std::tie(again.added, again.duplicates, again.indexSize), std::tuple(0u, 300u, 300u));
  // New articles continue the numbering; old numbers never change.
  const std::string more = writeSpool(folder, numberedArticles(5, "m"), "more");
  EXPECT_EQ(indexPaths(folder / "index", {more, spool}).added, 5u);
  auto index = openIndex(folder / "index");
  EXPECT_EQ(messageIdOf(*index, 1) + messageIdOf(*index, 301) + messageIdOf(*index, 305),
            "<n1@test><m1@test><m5@test>");
}

TEST(Indexing, FirstNumberGivesShardsDisjointRangesAndNumbersRunOutCleanly) {
  TempFolder folder;
  // Numbers from the first one on (in a stub's shards too: ShardTest), beyond 2^31; a
  // smaller first number later does not move numbering back.
  indexPaths(folder / "index", {writeSpool(folder, numberedArticles(3, "f"))}, 4000000000u);
  indexPaths(folder / "index", {writeSpool(folder, numberedArticles(1, "g"), "g")}, 1);
  auto index = openIndex(folder / "index");
  EXPECT_EQ(std::tuple(messageIdOf(*index, 4000000000u), messageIdOf(*index, 4000000003u),
                       messageIdOf(*index, 1)),
            std::tuple("<f1@test>", "<g1@test>", ""));
  // When the numbers run out, the articles that got the last ones are kept.
  const IndexRunSummary full =
      indexPaths(folder / "full", {writeSpool(folder, numberedArticles(3, "e"), "e")}, 4294967294u,
                 false, "article numbers are used");
  EXPECT_EQ(full.indexSize, 2u);
  index = openIndex(folder / "full");
  EXPECT_EQ(messageIdOf(*index, 4294967295u), "<e2@test>");
  EXPECT_EQ(index->statistics().nextNumber, 0u);
}

TEST(Indexing, ARunningServerSeesNewGenerations) {
  TempFolder folder;
  const testing::LocalServer server(testing::indexArticles(folder, numberedArticles(2, "a")));
  const auto total = [&] { return server.search("QRY=article").expectedTotal; };
  EXPECT_EQ(total(), 2);
  indexPaths(folder / "index", {writeSpool(folder, numberedArticles(3, "b"), "b")});
  // The server looks for a new generation about once a second.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (total() != 5 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(total(), 5);
  // The previous generation is gone from the folder.
  int generations = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder / "index"))
    generations += entry.path().filename().string().starts_with("base-");
  EXPECT_EQ(generations, 1);
}

TEST(Indexing, TermListsAreChosenWhenTheIndexIsMade) {
  TempFolder folder;
  const std::string spool = writeSpool(folder, numberedArticles(2, "t"));
  indexPaths(folder / "plain", {spool});
  indexPaths(folder / "plain", {spool}, 1, true, "without term lists");
  indexPaths(folder / "with", {spool}, 1, true);
  // A later run without the option keeps the term lists.
  indexPaths(folder / "with", {writeSpool(folder, numberedArticles(1, "u"), "more")});
  Xapian::Database database(folder / "with");
  EXPECT_EQ(database.get_doccount(), 3u);
  EXPECT_TRUE(database.termlist_begin(3) != database.termlist_end(3));
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
// completes it: the same articles, each once. (A stop signal, which ends a run on the
// same path as SIGINT: BoundedReads.AStopSignalEndsARunInsideAHugeFile.)
TEST(Indexing, AKilledRunIsCompletedByTheNext) {
  TempFolder folder;
  std::string error;
  const long articles = writeDemoSpool(folder / "demo", error);
  ASSERT_GT(articles, 1000) << error;
  const std::string database = folder / "index";
  const auto run = testing::ChildProcess::start(
      {VARNOOK_ARCHIVE_PROGRAM, "index", "--db", database, folder / "demo"});
  ASSERT_TRUE(run);
  std::this_thread::sleep_for(std::chrono::milliseconds(700));
  run->signal(SIGKILL);
  const int status = run->wait();
  EXPECT_TRUE(status == 0 || status == 128 + SIGKILL) << status;
  if (std::filesystem::exists(database + "/XAPIANDB")) {
    auto index = openIndex(database);
    ASSERT_TRUE(index);
    EXPECT_LE(index->statistics().articles, static_cast<std::uint64_t>(articles));
  }
  EXPECT_EQ(indexPaths(database, {folder / "demo"}).indexSize,
            static_cast<std::uint64_t>(articles));
  EXPECT_EQ(openIndex(database)->statistics().nextNumber, static_cast<std::uint32_t>(articles) + 1);
}

// Every posting (term, article number, frequency, positions), value and record of an
// index, keyed by article number, in sorted lines.
std::vector<std::string> contentOf(const std::string& path) {
  Xapian::Database database(path);
  std::map<Xapian::docid, std::string> numbers;
  for (auto term = database.allterms_begin("Q"); term != database.allterms_end("Q"); ++term)
    numbers[*database.postlist_begin(*term)] = *term;
  std::vector<std::string> lines;
  for (auto term = database.allterms_begin(); term != database.allterms_end(); ++term)
    for (auto at = database.postlist_begin(*term); at != database.postlist_end(*term); ++at) {
      lines.push_back(*term + " " + numbers[*at] + " " + std::to_string(at.get_wdf()));
      for (auto p = at.positionlist_begin(); p != at.positionlist_end(); ++p)
        lines.back() += " " + std::to_string(*p);
    }
  for (const auto& [docid, number] : numbers) {
    const Xapian::Document document = database.get_document(docid);
    // Without term lists a document cannot list its value slots: ask for each.
    for (Xapian::valueno slot = 0; slot < 4; ++slot)
      lines.push_back(number + document.get_value(slot));
    lines.push_back(number + " " + document.get_data());
  }
  std::sort(lines.begin(), lines.end());
  return lines;
}

TEST(Indexing, TheSameIndexWhateverTheNumberOfJobsAndCheckpoints) {
  TempFolder folder;
  const auto demo = generateDemoCorpus();
  // Copies found after all originals, the last original's first: the first copies meet
  // their originals in closed shards not yet published.
  for (std::size_t i = 0; i < 600; ++i) {
    char name[48];
    std::snprintf(name, sizeof name, "spool/%s%03zu", i < 300 ? "" : "again-", i % 300);
    testing::writeFile(folder / name, demo[i < 300 ? i : 599 - i].text);
  }
  std::vector<std::string> contents[3];
  for (int jobs : {1, 3}) {
    const std::string database = folder / ("index-" + std::to_string(jobs));
    ASSERT_EQ(testing::runProgram({VARNOOK_ARCHIVE_PROGRAM, "index", "--jobs", std::to_string(jobs),
                                   "--db", database, folder / "spool"})
                  .status,
              0);
    contents[jobs / 3] = contentOf(database);
  }
  // Two jobs, a checkpoint or fresh temporary shards every 7 articles.
  IndexRunOptions options;
  options.databasePath = folder / "index-small-steps";
  options.paths = {folder / "spool"};
  options.threads = 2;
  options.checkpointEvery = 7;
  std::ostringstream log;
  ASSERT_EQ(runIndex(options, log, log).error, "");
  contents[2] = contentOf(options.databasePath);
  EXPECT_GT(contents[0].size(), 10000u);
  EXPECT_TRUE(contents[0] == contents[1]);
  EXPECT_TRUE(contents[0] == contents[2]);
}

// The demo corpus is the same on every run and fills the special archives. (Its
// encoded names, replies and wording: the demo rows of CorpusTest.JudgedQueries.)
TEST(DemoCorpus, IsDeterministicAndFillsTheSpecialArchives) {
  const auto first = generateDemoCorpus(), second = generateDemoCorpus();
  ASSERT_EQ(first.size(), second.size());
  EXPECT_TRUE(first.size() >= 1900u && first.size() <= 2100u) << first.size();
  std::set<std::string> groups;
  for (std::size_t i = 0; i < first.size(); ++i) {
    ASSERT_EQ(first[i].text, second[i].text) << i;
    groups.insert(first[i].groups.begin(), first[i].groups.end());
  }
  EXPECT_TRUE(groups.count("misc.jobs.offered") && groups.count("misc.forsale.computers"));
  EXPECT_GE(groups.size(), 5u);
}

}  // namespace
}  // namespace varnook::server
