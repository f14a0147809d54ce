// Threads: the reply tree is the same however the articles reach the index, and the
// agent pages through a thread like through any search.

#include <gtest/gtest.h>

#include <sstream>

#include "server/indexschema.h"
#include "serversupport.h"

namespace varnook::server {
namespace {

using Tree = std::vector<std::pair<std::string, std::uint32_t>>;  // subject, depth

const Tree kTree = {{"root", 0}, {"a", 1}, {"b", 2}, {"join", 3}, {"c", 1}, {"s1", 0}, {"s2", 0}};

std::uint32_t numberOf(ArchiveIndex& index, const std::string& name) {
  const auto found = index.articlesByMessageId({"<" + name + "@t>"});
  return found.empty() ? 0 : found.front().second;
}

Tree treeOf(ArchiveIndex& index, const std::string& name) {
  Tree tree;
  for (const auto& entry : index.thread(numberOf(index, name), 100).entries)
    tree.emplace_back(entry.article.subject, entry.depth);
  return tree;
}

TEST(Threads, EveryArrivalOrderGivesTheSameTree) {
  const struct {
    const char* what;
    std::vector<std::vector<int>> runs;  // positions in threadArticles(), one list a run
    std::size_t checkpointEvery;
  } cases[] = {
      {"one run", {{0, 1, 2, 3, 4, 5, 6, 7}}, 100000},
      {"a checkpoint after every article", {{0, 1, 2, 3, 4, 5, 6, 7}}, 1},
      {"children before parents", {{7, 3}, {1, 5}, {0, 2, 4, 6}}, 100000},
      {"one a run, newest first", {{7}, {6}, {5}, {4}, {3}, {2}, {1}, {0}}, 100000},
      {"the joining reply last", {{0, 1, 2, 3, 4, 5, 6}, {7}}, 100000},
  };
  const std::vector<testing::TestArticle> articles = testing::threadArticles();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    testing::TempFolder folder;
    const std::string database = folder / "index";
    for (std::size_t run = 0; run < c.runs.size(); ++run) {
      if (run + 1 == c.runs.size() && c.runs[run] == std::vector<int>{7}) {
        // Before "join" comes, the lost root's replies are a thread apart.
        EXPECT_EQ(treeOf(*testing::openIndex(database), "s2"), (Tree{{"s1", 0}, {"s2", 0}}));
        EXPECT_EQ(treeOf(*testing::openIndex(database), "c").size(), 4u);
      }
      std::vector<testing::TestArticle> batch;
      for (int position : c.runs[run]) batch.push_back(articles[position]);
      IndexRunOptions options;
      options.databasePath = database;
      options.paths = {testing::writeSpool(folder, batch, "run" + std::to_string(run))};
      options.checkpointEvery = c.checkpointEvery;
      std::ostringstream log;
      EXPECT_EQ(runIndex(options, log, log).error, "");
    }
    const auto index = testing::openIndex(database);
    for (const auto& [name, depth] : kTree) EXPECT_EQ(treeOf(*index, name), kTree) << name;
    EXPECT_EQ(treeOf(*index, "re"), (Tree{{"re", 0}}));
    const IndexStatistics stats = index->statistics();
    EXPECT_EQ(std::tuple(stats.threads, stats.largestThread), std::tuple(2u, 7u));
    // Tables of threads that merged into another are gone.
    const Xapian::Database xapian(database);
    const auto keys = [&](std::string_view prefix) {
      const std::string start(prefix);
      return std::distance(xapian.metadata_keys_begin(start), xapian.metadata_keys_end(start));
    };
    EXPECT_EQ(std::tuple(keys(schema::kThreadKeyPrefix), keys(schema::kThreadOfKeyPrefix)),
              std::tuple(1, 7));
  }
}

TEST(Threads, TheAgentPagesThroughAThreadInTreeOrder) {
  testing::TempFolder folder;
  const testing::LocalServer server(testing::indexArticles(folder, testing::threadArticles()));
  const std::string b = std::to_string(numberOf(server.index(), "b"));
  const std::string re = std::to_string(numberOf(server.index(), "re"));
  const struct {
    std::string parameters;
    std::vector<std::string> subjects;  // empty: the no-match page
  } cases[] = {
      {"thread=" + b + "&DBS=1&maxhits=3", {"root", "a", "b", "join", "c", "s1", "s2"}},
      // The standard archive leaves the adult article out, the adult one keeps only it.
      {"thread=" + b + "&maxhits=2", {"root", "a", "b", "join", "s1", "s2"}},
      {"thread=" + b + "&DBS=3", {"c"}},
      // The other fields are not searched.
      {"QRY=nothing+like+this&groups=x&thread=" + b + "&DBS=1",
       {"root", "a", "b", "join", "c", "s1", "s2"}},
      {"thread=" + re, {"re"}},
      {"thread=4000000", {}},
      {"thread=x", {}},
  };
  for (const auto& c : cases) {
    std::vector<std::string> subjects;
    for (const auto& page : server.allPages("/dnquery.xp?" + c.parameters))
      subjects.insert(subjects.end(), page.subjects.begin(), page.subjects.end());
    EXPECT_EQ(subjects, c.subjects) << c.parameters;
    if (c.subjects.empty()) {
      EXPECT_EQ(server.search(c.parameters).error, "none") << c.parameters;
    }
  }
}

}  // namespace
}  // namespace varnook::server
