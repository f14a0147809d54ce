// HTTPS on loopback against nginx with a certificate made for the run:
//   1. one large download: the HTTP client against `curl -o /dev/null` on the same
//      document, in the same run (goal: at least 0.8 times curl's throughput);
//   2. many small GETs a few at a time, over HTTPS and over plain HTTP side by side.
//
// Usage: https_bench [megabytes, default 512] [rounds, default 5] [small GETs, default 1000]
//                    [at once, default 8]
//
// Rounds alternate curl and the client so both see the same machine load; the verdict
// uses the best time of each.
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
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
#include "support/testcertificates.h"

namespace {

using varnook::HttpClient;
using varnook::PollLoop;
using varnook::bench::Clock;
using varnook::bench::otherCpu;
using varnook::bench::processCpu;
using varnook::bench::secondsSince;
using varnook::bench::timeCurl;

struct Rate {
  double perSecond = -1;
  double clientCpu = 0;  // microseconds per request
  double serverCpu = 0;
};

double timeClient(PollLoop& loop, const std::string& authority, const std::string& url,
                  long long expected) {
  HttpClient client(loop);
  client.trustedCertificates = authority;
  long long received = 0;
  bool done = false;
  client.onDocData = [&](std::string_view piece) {
    received += static_cast<long long>(piece.size());
  };
  client.onRequestDone = [&](int, int) { done = true; };
  client.url = url;
  const auto start = Clock::now();
  if (!client.getAsync().empty()) return -1;
  loop.runUntil([&] { return done; }, 600000);
  const double elapsed = secondsSince(start);
  if (client.statusCode() != 200 || received != expected) {
    std::fprintf(stderr, "client failed: %d %s, %lld of %lld bytes\n", client.statusCode(),
                 client.reasonPhrase().c_str(), received, expected);
    return -1;
  }
  return elapsed;
}

// `total` GETs of `url`, `concurrent` in flight: requests per second (negative on failure)
// and the CPU time each took here and in the server.
Rate smallGets(PollLoop& loop, const std::string& authority, const std::string& url, int concurrent,
               int total, std::size_t expectedSize, pid_t server) {
  int started = 0, completed = 0, failed = 0;
  std::vector<std::unique_ptr<HttpClient>> clients;
  std::vector<std::string> buffers(static_cast<std::size_t>(concurrent));
  auto start = [&](HttpClient& client, std::string& buffer) {
    buffer.clear();
    client.url = url;
    client.receiveBuffer = &buffer;
    if (!client.getAsync().empty()) ++failed;
    ++started;
  };
  for (int i = 0; i < concurrent; ++i) {
    clients.push_back(std::make_unique<HttpClient>(loop));
    HttpClient& client = *clients.back();
    client.trustedCertificates = authority;
    std::string& buffer = buffers[static_cast<std::size_t>(i)];
    client.onRequestDone = [&](int, int) {
      if (client.statusCode() != 200 || buffer.size() != expectedSize) {
        if (failed++ == 0)
          std::fprintf(stderr, "first failure: %d %s\n", client.statusCode(),
                       client.reasonPhrase().c_str());
      } else {
        ++completed;
      }
      if (started < total) start(client, buffer);
    };
  }
  const double clientBefore = processCpu(), serverBefore = otherCpu(server);
  const auto begin = Clock::now();
  for (int i = 0; i < concurrent && started < total; ++i)
    start(*clients[static_cast<std::size_t>(i)], buffers[static_cast<std::size_t>(i)]);
  loop.runUntil([&] { return completed + failed >= total; }, 300000);
  const double elapsed = secondsSince(begin);
  Rate rate;
  if (failed == 0) rate.perSecond = completed / elapsed;
  rate.clientCpu = 1e6 * (processCpu() - clientBefore) / total;
  rate.serverCpu = 1e6 * (otherCpu(server) - serverBefore) / total;
  return rate;
}

}  // namespace

int main(int argc, char** argv) {
  const long long megabytes = argc > 1 ? std::atoll(argv[1]) : 512;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
  const int total = argc > 3 ? std::atoi(argv[3]) : 1000;
  const int concurrent = argc > 4 ? std::atoi(argv[4]) : 8;
  const long long size = megabytes << 20;
  const std::string curl = varnook::testing::findProgram("curl");
  std::string error;
  const auto certificates = varnook::testing::TestCertificates::make(&error);
  auto nginx =
      certificates ? varnook::testing::NginxServer::start(&error, certificates->sites()) : nullptr;
  if (curl.empty() || !nginx) {
    std::fprintf(stderr, "%s\n", curl.empty() ? "curl is not installed" : error.c_str());
    return 2;
  }
  const std::string authority = certificates->authority();
  {
    std::ofstream out(nginx->documentRoot() + "/big.bin", std::ios::binary);
    std::string block(1 << 20, '\0');
    for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 131 + (i >> 9));
    for (long long i = 0; i < megabytes; ++i)
      out.write(block.data(), static_cast<std::streamsize>(block.size()));
    if (!out) {
      std::fprintf(stderr, "cannot write the document\n");
      return 2;
    }
  }
  std::string article = "Path: example!not-for-mail\r\nFrom: someone@example.org\r\n\r\n";
  while (article.size() < 2000) article += "A line of an article body, as small documents go.\r\n";
  nginx->writeDocument("article.txt", article);

  PollLoop loop;
  const std::string url = nginx->tlsUrl("/big.bin");
  timeCurl(curl, {"--cacert", authority}, url);  // page cache warm-up
  double bestCurl = 1e9, bestClient = 1e9;
  for (int round = 0; round < rounds; ++round) {
    const double c = timeCurl(curl, {"--cacert", authority}, url);
    const double h = timeClient(loop, authority, url, size);
    if (c < 0 || h < 0) {
      std::fprintf(stderr, "a download failed\n");
      return 1;
    }
    std::printf("round %d: curl %.3f s, client %.3f s\n", round + 1, c, h);
    bestCurl = std::min(bestCurl, c);
    bestClient = std::min(bestClient, h);
  }
  const double mb = static_cast<double>(megabytes);
  const double ratio = bestCurl / bestClient;
  std::printf("document: %lld MB over HTTPS from nginx on 127.0.0.1 (best of %d rounds)\n",
              megabytes, rounds);
  std::printf("curl -o /dev/null:     %8.1f MB/s\n", mb / bestCurl);
  std::printf("HttpClient:            %8.1f MB/s\n", mb / bestClient);
  std::printf("ratio client/curl:     %8.3f (goal >= 0.8: %s)\n", ratio,
              ratio >= 0.8 ? "met" : "MISSED");

  const pid_t server = nginx->pid();
  smallGets(loop, authority, nginx->tlsUrl("/article.txt"), concurrent, 100, article.size(),
            server);
  const Rate https = smallGets(loop, authority, nginx->tlsUrl("/article.txt"), concurrent, total,
                               article.size(), server);
  const Rate http = smallGets(loop, authority, nginx->url("/article.txt"), concurrent, total,
                              article.size(), server);
  std::printf("%d GETs of %zu bytes, %d at once:\n", total, article.size(), concurrent);
  for (const auto& [name, rate] : {std::pair{"HTTPS", https}, std::pair{"HTTP ", http}})
    std::printf("  %s %6.0f requests/s; CPU per request: client %5.0f us, nginx %5.0f us\n", name,
                rate.perSecond, rate.clientCpu, rate.serverCpu);
  return https.perSecond < 0 || http.perSecond < 0 ? 1 : 0;
}
