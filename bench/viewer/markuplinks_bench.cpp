// Link markup throughput on a 10 MB article made of real Usenet bodies; the goal is at
// least 300 MB/s.
#include <benchmark/benchmark.h>

#include "articletext.h"
#include "viewer/markuplinks.h"

namespace varnook {
namespace {

const std::string& tenMegabytes() {
  static const std::string text = bench::corpusBodies(10 * 1000 * 1000);
  return text;
}

void BM_MarkupLinks10MB(benchmark::State& state) {
  const std::string& text = tenMegabytes();
  MarkupLinks markup;
  markup.setInsertBefore("\x1E");
  markup.setInsertAfter("\x1F");
  std::size_t links = 0;
  for (auto _ : state) {
    const MarkupLinks::Result r = markup.markup(text);
    links = (r.text.size() - text.size()) / 2;
    benchmark::DoNotOptimize(r.text.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
  state.counters["links"] = static_cast<double>(links);
}
BENCHMARK(BM_MarkupLinks10MB)->Unit(benchmark::kMillisecond);

void BM_FindLinks10MB(benchmark::State& state) {
  const std::string& text = tenMegabytes();
  for (auto _ : state) benchmark::DoNotOptimize(MarkupLinks::findLinks(text));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_FindLinks10MB)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace varnook

BENCHMARK_MAIN();
