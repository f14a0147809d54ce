#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace varnook {

// The command line of varnook-batch, as read (no files touched yet).
struct BatchOptions {
  bool send = false;
  int pages = 0;  // 0: no limit
  bool download = false;
  bool noMark = false;
  std::string output;
  std::optional<std::string> service, domain, hosts, homeSite;
  std::optional<bool> rotate;  // --rotate / --first-server
  std::optional<int> hits, maxTransfers;
  std::optional<int> transferTimeout;  // seconds
  bool noUpdateCheck = false;
  std::optional<std::string> proxy, proxyUser, proxyPassword;
  std::optional<std::string> caFile;
  std::string optionsFile;
  std::string logFile;
  bool progress = false;
  bool quiet = false;
  bool list = false;
  std::vector<std::uint32_t> threads;  // --thread N: a request for that article's thread
  bool help = false;
  bool version = false;
  std::vector<std::string> arguments;  // FILE.vnk, /Q:..., or search words
};

// Reads argv[1..]; on a usage error returns nothing and sets `error`.
std::optional<BatchOptions> parseBatchOptions(const std::vector<std::string>& args,
                                              std::string& error);

// The --help text.
const char* batchUsage();

}  // namespace varnook
