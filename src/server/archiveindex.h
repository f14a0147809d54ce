#pragma once

// Read access to the archive's index for the HTTP endpoints: searches, articles by
// number, author profiles and statistics. The index is an index folder, a single Xapian
// database, or a Xapian stub file listing several shards (local folders or databases
// served by xapian-tcpsrv); shards are searched as one.
//
// Thread-safe: each call borrows a database handle of its own from a pool, so any number
// of server threads may call at once. Changes published by an index run are picked up
// within about a second.

#include <xapian.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "collection/queryfields.h"
#include "server/storedarticle.h"

namespace varnook::server {

struct SearchParameters {
  QueryFields fields;          // as read from the URL
  std::uint32_t start = 0;     // index of the first hit on the page
  std::uint32_t maxHits = 40;  // hits on the page
  bool newestFirst = false;    // sort by date even when there are words to rank by
  DayDate now = 0;             // for relative dates; 0 = the current local time
};

struct SearchOutcome {
  std::uint64_t total = 0;          // matching articles
  bool exact = true;                // false: `total` is an estimate
  bool newestFirst = false;         // the order the hits are in
  bool threadOrder = false;         // a thread's articles in tree order (fields.thread)
  std::vector<StoredArticle> hits;  // the page; bodies are left empty
  std::string error;                // a query the parser refused ("The query is too long.")
};

struct AuthorProfile {
  std::string author;   // as asked
  std::string address;  // the mail address searched for, empty when searched by name
  std::uint64_t articles = 0;
  std::vector<std::pair<std::string, std::uint64_t>> groups;  // most articles first
  UnixTime first = kUnknownDate, last = kUnknownDate;
  std::vector<StoredArticle> latest;  // newest first, bodies empty
};

struct IndexStatistics {
  std::uint64_t articles = 0;
  std::uint32_t nextNumber = 0;
  UnixTime first = kUnknownDate, last = kUnknownDate;
  std::vector<std::pair<std::string, std::uint64_t>> groups;    // by name
  std::vector<std::pair<std::string, std::uint64_t>> archives;  // "adult", "jobs", ...
  std::uint64_t threads = 0;
  std::uint64_t largestThread = 0;        // its articles
  std::uint32_t largestThreadNumber = 0;  // an article of it
};

// A thread as the thread page shows it.
struct ThreadListing {
  struct Entry {
    StoredArticle article;  // the listing fields only
    std::uint32_t depth = 0;
  };
  std::vector<Entry> entries;  // tree order, at most the limit asked for
  std::uint64_t total = 0;     // articles in the thread; 0 when the article is unknown
};

class ArchiveIndex {
 public:
  // Opens the index (checks that it can be read). Returns null and sets `error` when it
  // cannot.
  static std::unique_ptr<ArchiveIndex> open(const std::string& path, std::string& error);
  ~ArchiveIndex();

  // All of these throw Xapian::Error when the index fails underneath (a shard server
  // gone away); the endpoints turn that into a server error answer.
  SearchOutcome search(const SearchParameters& parameters);
  std::optional<StoredArticle> article(std::uint32_t number);
  AuthorProfile profile(std::string_view author, std::size_t latestCount = 20);
  IndexStatistics statistics();
  // The thread of article `number`, its first `limit` articles read.
  ThreadListing thread(std::uint32_t number, std::size_t limit);
  // The number of articles in the thread of article `number`, which the index holds.
  std::uint64_t threadSize(std::uint32_t number);
  // The numbers of the articles with these Message-IDs that the index holds.
  std::vector<std::pair<std::string, std::uint32_t>> articlesByMessageId(
      const std::vector<std::string>& messageIds);

  const std::string& path() const { return path_; }

 private:
  struct Handle;
  class Lease;
  explicit ArchiveIndex(std::string path);
  std::unique_ptr<Handle> openHandle();
  std::unique_ptr<Handle> acquire();
  void release(std::unique_ptr<Handle> handle);
  std::optional<std::pair<long long, unsigned long>> stubState() const;

  std::string path_;
  std::mutex mutex_;
  std::vector<std::unique_ptr<Handle>> idle_;
};

}  // namespace varnook::server
