// Throughput of one large download over loopback: the HTTP client against
// `curl -o /dev/null`, on the same nginx document, measured in the same run.
// Goal: the client reaches at least 0.9 times curl's throughput.
//
// Usage: throughput_bench [megabytes, default 512] [rounds, default 7]
//
// Rounds alternate curl and the client so both see the same machine load; the verdict uses
// the best time of each, and the median of the per-round ratios is printed beside it.
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "measure.h"
#include "net/httpclient.h"
#include "net/pollloop.h"
#include "support/realservers.h"

namespace {

using varnook::HttpClient;
using varnook::PollLoop;
using varnook::bench::Clock;
using varnook::bench::otherCpu;
using varnook::bench::processCpu;
using varnook::bench::secondsSince;
using varnook::bench::timeCurl;

// Downloads with the client; the document is counted, or appended to `sink` when given.
double timeClient(PollLoop& loop, const std::string& url, long long expected, std::string* sink) {
  HttpClient client(loop);
  long long received = 0;
  bool done = false;
  int error = -1;
  client.onDocData = [&](std::string_view piece) {
    received += static_cast<long long>(piece.size());
  };
  client.onRequestDone = [&](int, int e) {
    done = true;
    error = e;
  };
  client.receiveBuffer = sink;
  client.url = url;
  const auto start = Clock::now();
  if (!client.getAsync().empty()) return -1;
  loop.runUntil([&] { return done; }, 600000);
  const double elapsed = secondsSince(start);
  if (error != 0 || client.statusCode() != 200 || received != expected) {
    std::fprintf(stderr, "client failed: error %d status %d %s, %lld of %lld bytes\n", error,
                 client.statusCode(), client.reasonPhrase().c_str(), received, expected);
    return -1;
  }
  return elapsed;
}

}  // namespace

int main(int argc, char** argv) {
  const long long megabytes = argc > 1 ? std::atoll(argv[1]) : 512;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 7;
  const long long size = megabytes << 20;
  const std::string curl = varnook::testing::findProgram("curl");
  if (curl.empty()) {
    std::fprintf(stderr, "curl is not installed\n");
    return 2;
  }
  std::string error;
  auto nginx = varnook::testing::NginxServer::start(&error);
  if (!nginx) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 2;
  }
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
  const std::string url = nginx->url("/big.bin");
  PollLoop loop;
  timeCurl(curl, {}, url);  // page cache warm-up

  double bestCurl = 1e9;
  double bestClient = 1e9;
  double bestBuffered = 1e9;
  std::string sink;
  std::vector<double> ratios;
  for (int round = 0; round < rounds; ++round) {
    const double c = timeCurl(curl, {}, url);
    const double h = timeClient(loop, url, size, nullptr);
    sink.clear();
    sink.reserve(static_cast<std::size_t>(size));
    const double b = timeClient(loop, url, size, &sink);
    if (c < 0 || h < 0 || b < 0) {
      std::fprintf(stderr, "a download failed\n");
      return 1;
    }
    std::printf("round %d: curl %.3f s, client %.3f s, client into a buffer %.3f s\n", round + 1, c,
                h, b);
    ratios.push_back(c / h);
    bestCurl = std::min(bestCurl, c);
    bestClient = std::min(bestClient, h);
    bestBuffered = std::min(bestBuffered, b);
  }
  const double mb = static_cast<double>(megabytes);
  const double ratio = bestCurl / bestClient;
  std::printf("document: %lld MB from nginx on 127.0.0.1 (best of %d rounds)\n", megabytes, rounds);
  std::printf("curl -o /dev/null:       %8.1f MB/s\n", mb / bestCurl);
  std::printf("HttpClient (counted):    %8.1f MB/s\n", mb / bestClient);
  std::printf("HttpClient (buffered):   %8.1f MB/s\n", mb / bestBuffered);
  std::sort(ratios.begin(), ratios.end());
  std::printf("median of round ratios:  %8.3f\n", ratios[ratios.size() / 2]);
  std::printf("ratio client/curl:       %8.3f (goal >= 0.9: %s)\n", ratio,
              ratio >= 0.9 ? "met" : "MISSED");
  return 0;
}
