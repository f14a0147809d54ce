// Hot paths of the archive server: ingesting an article, building its index document,
// parsing a query, writing a result page and recomputing the thread table.

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "server/archiveindex.h"
#include "server/articleingest.h"
#include "server/democorpus.h"
#include "server/documentbuilder.h"
#include "server/grouprules.h"
#include "server/indexschema.h"
#include "server/pages.h"
#include "server/queryparser.h"
#include "server/threads.h"

namespace {

using namespace varnook::server;

// Up to 2,000 articles: the shared corpus when it is there, the demo corpus otherwise.
const std::vector<std::string>& articles() {
  static const std::vector<std::string> texts = [] {
    std::vector<std::string> out;
    const std::filesystem::path spool = VARNOOK_TEST_CORPUS "/spool";
    if (std::filesystem::is_directory(spool)) {
      for (const auto& entry : std::filesystem::recursive_directory_iterator(spool)) {
        if (!entry.is_regular_file()) continue;
        std::ifstream file(entry.path(), std::ios::binary);
        std::ostringstream text;
        text << file.rdbuf();
        out.push_back(text.str());
        if (out.size() == 2000) break;
      }
    } else {
      for (const DemoArticle& article : generateDemoCorpus()) out.push_back(article.text);
    }
    return out;
  }();
  return texts;
}

void BM_IngestArticle(benchmark::State& state) {
  std::size_t i = 0, bytes = 0;
  for (auto _ : state) {
    const std::string& text = articles()[i++ % articles().size()];
    benchmark::DoNotOptimize(ingestArticle(text));
    bytes += text.size();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_IngestArticle);

void BM_BuildDocument(benchmark::State& state) {
  std::vector<StoredArticle> parsed;
  for (const std::string& text : articles())
    if (auto result = ingestArticle(text); result.article) parsed.push_back(*result.article);
  TextIndexer indexer;
  const GroupRules rules = GroupRules::defaults();
  std::size_t i = 0;
  for (auto _ : state) {
    StoredArticle& article = parsed[i++ % parsed.size()];
    article.number = static_cast<std::uint32_t>(i);
    Xapian::Document document;
    indexer.build(article, "<key>", rules.archivesOf(article.groups), document);
    benchmark::DoNotOptimize(document);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_BuildDocument);

void BM_ParseQuery(benchmark::State& state) {
  const std::string query = "modem ~a (john smith) ~g comp.dcom.* & (\"usr sportster\" | fax*)";
  for (auto _ : state) benchmark::DoNotOptimize(parseQueryText(query, true));
}
BENCHMARK(BM_ParseQuery);

void BM_ResultPage(benchmark::State& state) {
  SearchOutcome outcome;
  outcome.total = 1234;
  for (const std::string& text : articles()) {
    if (auto result = ingestArticle(text); result.article) {
      result.article->body.clear();
      result.article->number = static_cast<std::uint32_t>(outcome.hits.size() + 1);
      outcome.hits.push_back(*result.article);
    }
    if (outcome.hits.size() == 40) break;
  }
  SearchParameters search;
  search.fields.keywords = "modem";
  const PageContext context;
  const std::vector<Parameter> parameters = {{"QRY", "modem"}, {"maxhits", "40"}};
  for (auto _ : state) benchmark::DoNotOptimize(resultPage(context, parameters, search, outcome));
}
BENCHMARK(BM_ResultPage);

// The thread table of an index of N articles, recomputed as every published generation
// does: threads of one to twelve articles, each reply naming the thread's root and its
// parent. After the first pass only the comparison with the table in place remains.
void BM_ThreadTable(benchmark::State& state) {
  const auto count = static_cast<std::uint32_t>(state.range(0));
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("varnook-thread-bench-" + std::to_string(count));
  std::filesystem::remove_all(folder);
  {
    Xapian::WritableDatabase database(folder.string(), Xapian::DB_CREATE | Xapian::DB_NO_TERMLIST);
    std::uint32_t root = 1;
    for (std::uint32_t number = 1; number <= count; ++number) {
      if (number - root >= (root * 7919u) % 12) root = number;
      StoredArticle article;
      article.number = number;
      article.date = 733000000 + number;
      article.messageId = "<" + std::to_string(number) + "@bench.example>";
      std::vector<std::string> referenced;
      if (number != root)
        referenced = {"<" + std::to_string(root) + "@bench.example>",
                      "<" + std::to_string(number - 1) + "@bench.example>"};
      Xapian::Document document;
      document.add_value(schema::kThreadSlot, threadLinkValue(article, referenced));
      database.add_document(document);
    }
    updateThreadTable(database);
    database.commit();
  }
  Xapian::WritableDatabase database(folder.string(), Xapian::DB_OPEN | Xapian::DB_NO_TERMLIST);
  for (auto _ : state) benchmark::DoNotOptimize(updateThreadTable(database).threads);
  state.SetItemsProcessed(state.iterations() * count);
  std::filesystem::remove_all(folder);
}
BENCHMARK(BM_ThreadTable)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
