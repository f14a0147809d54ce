// Many concurrent small GETs from one thread: 1,000 clients on one PollLoop against
// nginx on loopback. Goal: 5,000 requests per second or more.
//
// Usage: concurrency_bench [concurrent, default 1000] [total requests, default 10000]
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "measure.h"
#include "net/httpclient.h"
#include "net/pollloop.h"
#include "support/realservers.h"

namespace {

using varnook::bench::Clock;
using varnook::bench::otherCpu;
using varnook::bench::processCpu;
using varnook::bench::secondsSince;
using varnook::bench::timeCurl;

struct Run {
  int completed = 0;
  int failed = 0;
  double seconds = 0;
  double clientCpu = 0;  // seconds of CPU this process used
  double serverCpu = 0;  // seconds of CPU nginx used
};

// Keeps `concurrent` requests in flight until `total` have been started; each client
// starts its next request from inside its onRequestDone.
Run run(varnook::PollLoop& loop, const std::string& url, int concurrent, int total,
        std::size_t expectedSize, pid_t server) {
  Run result;
  const double clientCpuBefore = processCpu();
  const double serverCpuBefore = otherCpu(server);
  int started = 0;
  std::vector<std::unique_ptr<varnook::HttpClient>> clients;
  std::vector<std::string> buffers(static_cast<std::size_t>(concurrent));
  auto start = [&](varnook::HttpClient& client, std::string& buffer) {
    buffer.clear();
    client.url = url;
    client.receiveBuffer = &buffer;
    if (!client.getAsync().empty()) ++result.failed;
    ++started;
  };
  const auto begin = Clock::now();
  for (int i = 0; i < concurrent; ++i) {
    clients.push_back(std::make_unique<varnook::HttpClient>(loop));
    varnook::HttpClient& client = *clients.back();
    std::string& buffer = buffers[static_cast<std::size_t>(i)];
    client.onRequestDone = [&](int, int error) {
      if (error != 0 || client.statusCode() != 200 || buffer.size() != expectedSize) {
        if (result.failed++ == 0) {
          std::fprintf(stderr, "first failure: error %d, status %d %s, socket %d\n", error,
                       client.statusCode(), client.reasonPhrase().c_str(), client.socketError());
        }
      } else {
        ++result.completed;
      }
      if (started < total) start(client, buffer);
    };
  }
  for (int i = 0; i < concurrent && started < total; ++i) {
    start(*clients[static_cast<std::size_t>(i)], buffers[static_cast<std::size_t>(i)]);
  }
  loop.runUntil([&] { return result.completed + result.failed >= total; }, 300000);
  result.seconds = secondsSince(begin);
  result.clientCpu = processCpu() - clientCpuBefore;
  result.serverCpu = otherCpu(server) - serverCpuBefore;
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  const int concurrent = argc > 1 ? std::atoi(argv[1]) : 1000;
  const int total = argc > 2 ? std::atoi(argv[2]) : 10000;
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
  }
  std::string error;
  auto nginx = varnook::testing::NginxServer::start(&error);
  if (!nginx) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 2;
  }
  std::string article = "Path: example!not-for-mail\r\nFrom: someone@example.org\r\n\r\n";
  while (article.size() < 2000) article += "A line of an article body, as small documents go.\r\n";
  nginx->writeDocument("article.txt", article);
  const std::string url = nginx->url("/article.txt");

  varnook::PollLoop loop;
  run(loop, url, 50, 500, article.size(), nginx->pid());  // warm-up
  const Run burst = run(loop, url, concurrent, concurrent, article.size(), nginx->pid());
  const Run sustained = run(loop, url, concurrent, total, article.size(), nginx->pid());
  std::printf("document: %zu bytes from nginx on 127.0.0.1\n", article.size());
  std::printf("burst:     %d GETs started at once: %d ok, %d failed in %.3f s = %.0f requests/s\n",
              concurrent, burst.completed, burst.failed, burst.seconds,
              burst.completed / burst.seconds);
  std::printf("sustained: %d in flight, %d GETs: %d ok, %d failed in %.3f s = %.0f requests/s\n",
              concurrent, total, sustained.completed, sustained.failed, sustained.seconds,
              sustained.completed / sustained.seconds);
  std::printf(
      "CPU per request (sustained): client %.1f us, nginx %.1f us; the client alone "
      "could run %.0f requests per CPU second\n",
      1e6 * sustained.clientCpu / sustained.completed,
      1e6 * sustained.serverCpu / sustained.completed, sustained.completed / sustained.clientCpu);
  std::ifstream loadavg("/proc/loadavg");
  std::string load;
  std::getline(loadavg, load);
  std::printf("load average when done: %s\n", load.c_str());
  const double rate =
      std::min(burst.completed / burst.seconds, sustained.completed / sustained.seconds);
  std::printf("goal >= 5000 requests/s: %s\n",
              rate >= 5000 && burst.failed == 0 && sustained.failed == 0 ? "met" : "MISSED");
  return 0;
}
