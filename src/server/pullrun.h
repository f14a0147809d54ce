#pragma once

// The "pull" command: fetches the new articles of newsgroups from news servers and adds
// them to the index through the same ingest as "index". Where each group stands (the
// last article number taken from each server) is kept in the index's metadata and
// published together with the articles, so an interrupted pull resumes exactly where the
// published index ends and a repeated pull fetches only what is new.

#include <atomic>
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "server/grouprules.h"
#include "server/nntpclient.h"

namespace varnook::server {

// news://host[:port]/PATTERN or nntps://host[:port]/PATTERN.
struct PullSource {
  std::string host;  // without the brackets of an IPv6 address
  std::uint16_t port = 119;
  bool tls = false;
  std::string pattern;  // a wildmat: "comp.lang.c++", "comp.os.*", "*,!alt.binaries.*"
  std::string url() const;
  std::string stateKey() const;  // the index metadata key of its positions
};
// Nothing, with the reason in `error`, for a URL of another form.
std::optional<PullSource> parsePullUrl(std::string_view url, std::string& error);

// A wildmat: comma-separated patterns of "*" and "?", each "!"-prefixed one excluding;
// the last pattern that matches the name decides. Letter case is ignored.
bool wildmatMatch(std::string_view pattern, std::string_view name);

// Where a group of a server stands: the last article number taken, and an article whose
// Message-ID tells, on the next pull, whether the server has renumbered the group.
struct GroupPosition {
  std::uint64_t last = 0;
  std::uint64_t checkNumber = 0;
  std::string checkId;
};
// The metadata value holding a server's positions: a line "<group> <last> <number> <id>"
// per group. Lines that do not read are dropped.
std::string encodePositions(const std::vector<std::pair<std::string, GroupPosition>>& groups);
std::vector<std::pair<std::string, GroupPosition>> decodePositions(std::string_view text);

struct PullOptions {
  std::string databasePath;  // the index folder
  std::vector<PullSource> sources;
  NntpLogin login;
  unsigned connections = 1;  // per server, 1 to 4
  double maxRate = 0;        // articles per second over all connections; 0: no limit
  bool progress = false;     // a progress line on the progress stream, updated in place
  GroupRules rules = GroupRules::defaults();
  NntpTimeouts timeouts;
  // A lost connection is opened again after this delay, doubled on each of three tries.
  Milliseconds retryDelay{2000};
  // Articles between published generations: work done before a crash is kept.
  std::size_t checkpointEvery = 10000;
  // Set (for example from a signal handler) to end the pull early; what was added by
  // then is published with the positions it reached.
  const std::atomic<bool>* stop = nullptr;
};

struct PullSummary {
  std::uint64_t servers = 0;
  std::uint64_t groups = 0;
  std::uint64_t fetched = 0;  // articles transferred
  std::uint64_t added = 0;    // new in the index
  std::uint64_t skipped = 0;  // held already: not fetched, or fetched and found held
  std::uint64_t failed = 0;   // gone from the server, refused, or unreadable
  std::uint64_t indexSize = 0;
  double seconds = 0;
  bool interrupted = false;
  bool denied = false;              // a server wanted a login or refused it
  std::vector<std::string> errors;  // servers not pulled completely, and index failures
};

// Pulls every source in turn. Warnings (a missing group, an article that cannot be
// read) go to `log`, the progress line to `progress` (when enabled). Never throws.
PullSummary runPull(const PullOptions& options, std::ostream& log, std::ostream& progress);

// "Pulled 2 groups from 1 server: 100 new articles, 3 skipped (held already), 1 failed,
// in 1.2 s, 85 articles/s; the index holds 130 articles."
std::string pullSummaryText(const PullSummary& summary);

}  // namespace varnook::server
