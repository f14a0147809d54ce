// Grouping 100,000 articles into reply trees (goal: under 1 s): threads of 1 to 10
// articles in 50 forums, half of them loaded (joined by their References), half known only
// by their subjects.
#include <benchmark/benchmark.h>

#include <string>

#include "collection/threadforest.h"

namespace varnook {
namespace {

constexpr int kArticles = 100000;

std::vector<std::unique_ptr<Article>> threadedArticles() {
  std::vector<std::unique_ptr<Article>> articles;
  articles.reserve(kArticles);
  for (int thread = 0; static_cast<int>(articles.size()) < kArticles; ++thread) {
    const std::string topic = "Topic number " + std::to_string(thread);
    std::string references;
    for (int reply = 0; reply <= thread % 10 && static_cast<int>(articles.size()) < kArticles;
         ++reply) {
      auto article = std::make_unique<Article>(static_cast<std::uint32_t>(articles.size() + 1),
                                               reply == 0 ? topic : "Re: " + topic);
      article->forum = "comp.group" + std::to_string(thread % 50);
      article->date = 36000 + static_cast<double>(articles.size()) / 100;
      if (thread % 2 == 0) {
        article->messageId = "<" + std::to_string(articles.size()) + "@example.org>";
        article->references = references;
        article->text = "Body.\r\n";
        references += (references.empty() ? "" : " ") + article->messageId;
      }
      articles.push_back(std::move(article));
    }
  }
  return articles;
}

void BM_GroupThreads100k(benchmark::State& state) {
  const auto articles = threadedArticles();
  std::int32_t roots = 0;
  for (auto _ : state) {
    const ThreadForest forest = groupThreads(articles, ThreadLinks::HeadersAndSubjects);
    roots = forest.rootCount;
    benchmark::DoNotOptimize(forest.grouped.data());
  }
  state.counters["threads"] = roots;
}
BENCHMARK(BM_GroupThreads100k)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace varnook

BENCHMARK_MAIN();
