// One repaint's span work (link and marker spans, the quotation and keyword rules, the
// selection, overlap resolution) for a 50-line visible window at the start, middle and end
// of articles of 100 KB, 1 MB and 10 MB. The goal is under 1 ms, whatever the article's
// length.
#include <benchmark/benchmark.h>

#include <map>

#include "articletext.h"
#include "viewer/articlerules.h"
#include "viewer/displaytext.h"
#include "viewer/markuplinks.h"
#include "viewer/spanresolver.h"
#include "viewer/textwords.h"

namespace varnook {
namespace {

constexpr std::size_t kVisibleLines = 50;

const DisplayText& markedArticle(std::size_t size) {
  static std::map<std::size_t, DisplayText> texts;
  auto it = texts.find(size);
  if (it == texts.end()) {
    MarkupLinks markup;
    markup.setInsertBefore("\x1E");
    markup.setInsertAfter("\x1F");
    it = texts.emplace(size, DisplayText(markup.markup(bench::corpusBodies(size)).text)).first;
  }
  return it->second;
}

// Arguments: article size in KB, window position in percent of the lines.
void BM_RepaintSpanWork(benchmark::State& state) {
  const DisplayText& text = markedArticle(static_cast<std::size_t>(state.range(0)) * 1000);
  const std::size_t lines = text.lineCount();
  const std::size_t first =
      std::min(lines - kVisibleLines, lines * static_cast<std::size_t>(state.range(1)) / 100);
  const std::size_t last = first + kVisibleLines - 1;

  DrawRules rules;
  HotSpot hotSpot;
  const VnkOptions defaults;
  applyArticleOptions(defaults, rules, hotSpot);
  rules[1].setKeywords(queryKeywords("the modem & \"graphics card\" windows"));
  SpanResolver resolver;
  std::size_t runs = 0;
  for (auto _ : state) {
    ViewWindow window;
    window.scanStart =
        text.lineStart(first - std::min<std::size_t>(first, rules.linesAboveFirstVisible()));
    window.visibleEnd = text.lineEnd(last);
    window.selectionStart = text.lineStart(first + 10);
    window.selectionLength = 200;
    runs = resolver.resolve(text.bytes(), rules, hotSpot, window).size();
    benchmark::DoNotOptimize(runs);
  }
  state.counters["runs"] = static_cast<double>(runs);
  state.counters["window_bytes"] = static_cast<double>(text.lineEnd(last) - text.lineStart(first));
}
BENCHMARK(BM_RepaintSpanWork)
    ->ArgsProduct({{100, 1000, 10000}, {0, 50, 99}})
    ->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace varnook

BENCHMARK_MAIN();
