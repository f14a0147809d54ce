// Collection file save and load speed on 100,000 articles of about 3 KB, the peak memory of
// a load, and adding a million distinct article numbers.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "collection/collectionfile.h"

namespace varnook {
namespace {

constexpr std::uint32_t kArticles = 100000;

std::string benchPath() {
  return "/tmp/varnook-bench-" + std::to_string(::getpid()) + ".vnk";
}

void fillCollection(Collection& c) {
  Request& request = c.appendRequest(std::make_unique<Request>("Q#1"));
  request.keywords = "modem";
  std::string line = "> This is a quoted line of a fairly ordinary Usenet article body.";
  std::string text;
  for (int i = 0; i < 45; ++i) {
    text += (i % 3 == 0) ? line : line.substr(2);
    text += "\r\n";
  }
  c.reserveArticles(kArticles);
  for (std::uint32_t n = 1; n <= kArticles; ++n) {
    Article* a = request.addArticle(n, "Re: subject number " + std::to_string(n));
    a->author = "Someone <someone" + std::to_string(n % 977) + "@example.com>";
    a->forum = "comp.dcom.modems";
    a->requestId = "Q#1";
    a->date = 36244 + n % 1000;
    a->text = text;
  }
}

const Collection& sharedCollection() {
  static Collection* c = [] {
    auto* made = new Collection;
    fillCollection(*made);
    return made;
  }();
  return *c;
}

void BM_SaveCollection(benchmark::State& state) {
  Collection& c = const_cast<Collection&>(sharedCollection());
  const std::string path = benchPath();
  std::size_t bytes = 0;
  for (auto _ : state) {
    const SaveResult r = saveCollection(c, path);
    if (!r.ok) state.SkipWithError(r.message.c_str());
    state.PauseTiming();
    bytes += writeCollection(c).size();
    state.ResumeTiming();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
}
BENCHMARK(BM_SaveCollection)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_LoadCollection(benchmark::State& state) {
  const std::string path = benchPath();
  Collection& c = const_cast<Collection&>(sharedCollection());
  saveCollection(c, path);
  std::FILE* f = std::fopen(path.c_str(), "rb");
  std::fseek(f, 0, SEEK_END);
  const long size = std::ftell(f);
  std::fclose(f);
  for (auto _ : state) {
    auto loaded = std::make_unique<Collection>();
    const LoadResult r = loadCollection(*loaded, path);
    if (!r.ok()) state.SkipWithError(r.message.c_str());
    benchmark::DoNotOptimize(loaded->articles().size());
    state.PauseTiming();
    loaded.reset();  // freeing is not part of loading
    state.ResumeTiming();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * size);
}
BENCHMARK(BM_LoadCollection)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_AddArticleMillion(benchmark::State& state) {
  for (auto _ : state) {
    auto c = std::make_unique<Collection>();
    Request& r = c->appendRequest(std::make_unique<Request>("Q#1"));
    for (std::uint32_t n = 1; n <= 1000000; ++n) r.addArticle(n * 2654435761u, "s");
    benchmark::DoNotOptimize(c->articles().size());
    state.PauseTiming();
    c.reset();  // freeing is not part of adding
    state.ResumeTiming();
  }
}
BENCHMARK(BM_AddArticleMillion)->Unit(benchmark::kMillisecond)->UseRealTime();

// Loads the file in this (freshly started) process and prints how much the peak resident
// memory grew.
int measureLoad(const char* path) {
  rusage before{};
  ::getrusage(RUSAGE_SELF, &before);
  Collection c;
  loadCollection(c, path);
  rusage after{};
  ::getrusage(RUSAGE_SELF, &after);
  std::printf("%ld\n", (after.ru_maxrss - before.ru_maxrss) * 1024);
  return 0;
}

// The peak memory of loading the file, measured in a new process so nothing else counts.
void reportPeakLoadMemory() {
  const std::string path = benchPath();
  {
    Collection c;
    fillCollection(c);
    saveCollection(c, path);
  }
  std::FILE* f = std::fopen(path.c_str(), "rb");
  std::fseek(f, 0, SEEK_END);
  const double size = static_cast<double>(std::ftell(f));
  std::fclose(f);
  const std::string command = "/proc/" + std::to_string(::getpid()) + "/exe --measure-load " + path;
  std::FILE* child = ::popen(command.c_str(), "r");
  long grown = 0;
  if (child == nullptr || std::fscanf(child, "%ld", &grown) != 1) grown = -1;
  if (child) ::pclose(child);
  std::printf("collection file: %.1f MB, peak memory of a load: %.1f MB (%.2f x the file)\n",
              size / 1e6, static_cast<double>(grown) / 1e6, static_cast<double>(grown) / size);
  std::remove(path.c_str());
}

}  // namespace
}  // namespace varnook

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--measure-load") return varnook::measureLoad(argv[2]);
  varnook::reportPeakLoadMemory();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  std::remove(varnook::benchPath().c_str());
  return 0;
}
