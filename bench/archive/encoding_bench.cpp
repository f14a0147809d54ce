// The text conversions on their real inputs: htmlToText over result page HTML (tags dropped,
// white space collapsed, as the page parser calls it, and over whole pages), urlEncode over
// query values and longer texts.

#include <benchmark/benchmark.h>

#include <string>

#include "archive/encoding.h"
#include "realisticentries.h"

namespace varnook {
namespace {

const std::string& resultPage() {
  static const std::string text =
      testing::buildResultPage(testing::realisticEntries(40), "1234", testing::nextPageUrl(41));
  return text;
}

void BM_HtmlToTextPage(benchmark::State& state) {
  const std::string& html = resultPage();
  for (auto _ : state) {
    std::string text = htmlToText(html, true, true);
    benchmark::DoNotOptimize(text.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * html.size()));
}
BENCHMARK(BM_HtmlToTextPage);

// The page parser's calls: an entry's description, one at a time.
void BM_HtmlToTextDescription(benchmark::State& state) {
  const auto entries = testing::realisticEntries(1);
  const std::string html = testing::entryHtml(entries[0], 0);
  for (auto _ : state) {
    std::string text = htmlToText(html, true, true);
    benchmark::DoNotOptimize(text.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * html.size()));
}
BENCHMARK(BM_HtmlToTextDescription);

// A query value as the URL builder encodes it.
void BM_UrlEncodeQueryValue(benchmark::State& state) {
  const std::string value = "\"linux modem\" AT&T ~s (ppp OR slip) 1999/03/05 <x@y.com>";
  for (auto _ : state) {
    std::string url = urlEncode(value, true);
    benchmark::DoNotOptimize(url.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * value.size()));
}
BENCHMARK(BM_UrlEncodeQueryValue);

// A long text (an article quoted into a mail link), blanks as "%20".
void BM_UrlEncodeText(benchmark::State& state) {
  std::string value;
  while (value.size() < 16 * 1024)
    value +=
        "> On Mon, 5 Apr 1999, John Smith <js@example.com> wrote: the modem's init "
        "string (AT&F&C1&D2) works; see http://example.com/faq?q=modem#init.\r\n";
  for (auto _ : state) {
    std::string url = urlEncode(value, false);
    benchmark::DoNotOptimize(url.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * value.size()));
}
BENCHMARK(BM_UrlEncodeText);

}  // namespace
}  // namespace varnook

BENCHMARK_MAIN();
