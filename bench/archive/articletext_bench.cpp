// Article text parsing with the line-break conversion, on real articles: one article's
// header lines followed by corpus bodies concatenated to about 64 KB.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "archive/articletext.h"
#include "collection/article.h"

namespace varnook {
namespace {

constexpr std::size_t kBodySize = 64 * 1024;

std::filesystem::path corpusSpool() {
  if (const char* dir = std::getenv("VARNOOK_CORPUS")) return std::filesystem::path(dir) / "spool";
  return "/work/shared/corpus/spool";
}

std::vector<std::string> corpusArticles(std::size_t wanted) {
  std::vector<std::filesystem::path> files;
  std::error_code ec;
  for (auto it = std::filesystem::recursive_directory_iterator(corpusSpool(), ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
    if (it->is_regular_file()) files.push_back(it->path());
  std::sort(files.begin(), files.end());
  std::vector<std::string> texts;
  for (std::size_t i = 0; i < files.size() && texts.size() < wanted; i += 37) {
    std::ifstream in(files[i], std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    texts.push_back(bytes.str());
  }
  return texts;
}

// Header of the first article, then bodies until the body passes 64 KB. Without the corpus
// a made-up article of the same shape stands in.
std::string sampleArticle() {
  const std::vector<std::string> articles = corpusArticles(200);
  std::string text;
  if (articles.empty()) {
    text =
        "From: someone@example.com (Some One)\nSubject: Re: modem init strings\n"
        "Newsgroups: comp.dcom.modems\nDate: Mon, 19 Apr 1993 14:55:27 GMT\n"
        "Message-ID: <1993Apr19.145527.1@example.com>\nLines: 999\n\n";
    while (text.size() < kBodySize)
      text +=
          "> Quoted line of an earlier article that someone wrote about modems.\n"
          "And an answer line with a few more words in it than the quote had.\n\n";
    return text;
  }
  const std::string& first = articles.front();
  text = first.substr(0, first.find("\n\n") + 2);
  const std::size_t headerSize = text.size();
  for (std::size_t i = 0; text.size() - headerSize < kBodySize; i = (i + 1) % articles.size())
    text += articles[i].substr(articles[i].find("\n\n") + 2);
  return text;
}

void BM_ParseArticleText(benchmark::State& state) {
  const std::string text = sampleArticle();
  for (auto _ : state) {
    Article article(1, "");
    std::string error = parseArticleText(text, article);
    benchmark::DoNotOptimize(error);
    benchmark::DoNotOptimize(article.text.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
  state.counters["article_bytes"] = static_cast<double>(text.size());
}
BENCHMARK(BM_ParseArticleText);

void BM_ConvertLineBreaks(benchmark::State& state) {
  const std::string text = sampleArticle();
  for (auto _ : state) {
    std::string body = convertLineBreaks(text);
    benchmark::DoNotOptimize(body.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_ConvertLineBreaks);

}  // namespace
}  // namespace varnook

BENCHMARK_MAIN();
