#pragma once

// The "index" command: walks the sources, parses the articles on every core, and adds
// those whose Message-ID the index does not hold yet. New articles go into shards that
// are merged into the index folder's next generation at checkpoints and at the end.

#include <atomic>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <map>
#include <string>
#include <vector>

#include "server/articlesource.h"
#include "server/grouprules.h"

namespace varnook::server {

inline constexpr unsigned kMaxJobs = 64;

struct IndexRunOptions {
  std::string databasePath;  // the index folder
  std::vector<std::string> paths;
  std::uint32_t firstNumber = 1;
  GroupRules rules = GroupRules::defaults();
  bool progress = false;  // a progress line on the progress stream, updated in place
  // Threads that parse articles and write their index entries (at most kMaxJobs); 0 =
  // one per core. The index holds the same content whatever the number.
  unsigned threads = 0;
  // Keep a term list table, which serving the index through xapian-tcpsrv needs (a
  // remote database sends documents with their terms). Only for a new index: an existing
  // one keeps the choice it was made with.
  bool termlist = false;
  // Articles between published generations: work done before a crash is kept. Every
  // checkpoint rewrites the whole index, so a large run spaces them by at least half the
  // index's size as well: the rewrites then add up to about three times the index
  // instead of growing with the square of the run. In between, the temporary shards
  // are still renewed after this many articles, since Xapian writes small ones faster.
  std::size_t checkpointEvery = 100000;
  // Set (for example from a signal handler) to end the run early, within about a second
  // (a checkpoint under way is finished first). What was published at checkpoints is
  // kept; the articles added since are dropped, and the next run adds them.
  const std::atomic<bool>* stop = nullptr;

  // Where the articles come from when not from `paths` (the pull command's news servers):
  // called once on the calling thread, it hands each article to the sink as the walk does.
  std::function<bool(const ArticleSink&, const WarningSink&, SourceCounters&)> source;
  // Index metadata to record with each published generation, asked for when it is
  // published, so that it describes exactly the articles published with it (the pull
  // command's positions in each group). A change alone is enough to publish.
  std::function<std::map<std::string, std::string>()> metadata;
};

struct IndexRunSummary {
  std::uint64_t files = 0;
  std::uint64_t articles = 0;    // articles found in the sources
  std::uint64_t added = 0;       // new documents kept
  std::uint64_t dropped = 0;     // new documents not kept because the run was stopped
  std::uint64_t duplicates = 0;  // already in the index, or seen earlier in the run
  std::uint64_t skipped = 0;     // unreadable articles
  std::uint64_t warnings = 0;
  std::uint64_t indexSize = 0;  // documents in the index afterwards
  double seconds = 0;
  bool interrupted = false;
  std::string error;  // empty on success; the index keeps what was published
};

// Runs the indexing; warnings about single files or articles go to `log`, the progress
// line to `progress` (when enabled). Never throws.
IndexRunSummary runIndex(const IndexRunOptions& options, std::ostream& log, std::ostream& progress);

// "Indexed 123 new articles (4 already present, 1 skipped) from 7 files in 1.2 s,
// 102 articles/s; the index holds 130 articles."
std::string summaryText(const IndexRunSummary& summary);

}  // namespace varnook::server
