// Result page parsing: a realistic 40-entry page, once into a fresh collection (the cost of
// creating 40 articles included) and once with every entry already known (the parse alone).

#include <benchmark/benchmark.h>

#include "archive/resultpage.h"
#include "collection/collection.h"
#include "realisticentries.h"

namespace varnook {
namespace {

Collection::NameClock fixedClock() {
  return {[] { return 1000.0; }, [](double) {}};
}

const std::string& page() {
  static const std::string text =
      testing::buildResultPage(testing::realisticEntries(40), "1234", testing::nextPageUrl(41));
  return text;
}

void BM_ParseResultPageIntoFreshCollection(benchmark::State& state) {
  const std::string& text = page();
  for (auto _ : state) {
    Collection collection(fixedClock());
    Request& request = collection.appendRequest(std::make_unique<Request>("Q#1"));
    std::string error = parseResultPage(text, request);
    benchmark::DoNotOptimize(error);
    if (collection.articles().size() != 40) state.SkipWithError("entries missing");
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
  state.counters["page_bytes"] = static_cast<double>(text.size());
}
BENCHMARK(BM_ParseResultPageIntoFreshCollection);

void BM_ParseResultPageEntriesKnown(benchmark::State& state) {
  const std::string& text = page();
  Collection collection(fixedClock());
  Request& request = collection.appendRequest(std::make_unique<Request>("Q#1"));
  parseResultPage(text, request);
  for (auto _ : state) {
    request.articles = 0;
    std::string error = parseResultPage(text, request);
    benchmark::DoNotOptimize(error);
  }
  if (request.articles != 40 || collection.articles().size() != 40)
    state.SkipWithError("entries not counted");
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_ParseResultPageEntriesKnown);

}  // namespace
}  // namespace varnook

BENCHMARK_MAIN();
