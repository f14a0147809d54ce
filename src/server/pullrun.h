#pragma once

// The "pull" command: fetches the new articles of newsgroups from news servers and adds
// them to the index through the same ingest as "index". Where each group stands (the
// last article number taken from each server) is kept in the index's metadata and
// published together with the articles, so an interrupted pull resumes exactly where the
// published index ends and a repeated pull fetches only what is new.

#include <atomic>
#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "server/grouprules.h"
#include "server/nntpclient.h"
#include "server/pullsource.h"

namespace varnook::server {

struct PullOptions {
  std::string databasePath;  // the index folder
  std::vector<PullSource> sources;
  NntpLogin login;
  // A PEM file of certificates trusted for nntps:// besides the system's; empty: none.
  std::string trustedCertificates;
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
