#pragma once

// The on-disk layout of an archive index folder and its safe replacement.
//
//   DIR/XAPIANDB        stub file naming the current generation ("auto base-000007")
//   DIR/base-000007/    the current generation: a compacted Xapian database
//   DIR/run-*/          shards being written by an index run in progress
//   DIR/index.lock      held by the index run that owns the folder
//
// Readers open DIR itself (Xapian follows the stub). An index run writes new articles
// into fresh shards and then compacts the current generation and its shards into the
// next generation; replacing the stub by rename publishes it atomically, so a reader or
// an interrupted run never sees a half-written index.

#include <xapian.h>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace varnook::server {

class IndexStore {
 public:
  // Opens (creating when missing) the folder for an index run and takes its lock.
  // Leftovers of an earlier, killed run are removed. Returns null and sets `error` when
  // the folder cannot be created, another run holds it, or it is neither empty nor an
  // index folder (then nothing in it is touched).
  static std::unique_ptr<IndexStore> openForWriting(const std::string& folder, std::string& error);
  ~IndexStore();
  IndexStore(const IndexStore&) = delete;
  IndexStore& operator=(const IndexStore&) = delete;

  // The current generation, or nothing for a new, empty index. Throws Xapian::Error.
  std::optional<Xapian::Database> openCurrent() const;

  // A fresh, empty shard folder path for this run ("run-<pid>-<n>").
  std::string newShardPath();

  // Compacts the current generation and the given shards into the next generation,
  // records `nextNumber` (and whether it has term lists) in it, with `metadata` beside,
  // computes its thread table (updateThreadTable), publishes it and removes the shards and the
  // previous generation. Throws Xapian::Error (or std::filesystem::filesystem_error); the current
  // generation stays as it was then.
  void publish(const std::vector<std::string>& shardPaths, std::uint32_t nextNumber, bool termlist,
               const std::map<std::string, std::string>& metadata = {});

  const std::string& folder() const { return folder_; }

 private:
  IndexStore(std::string folder, int lockDescriptor);
  std::optional<std::string> currentGenerationName() const;

  std::string folder_;
  int lockDescriptor_;
  unsigned shardCounter_ = 0;
};

// Whether `folder` is an archive index folder (one an index run has written to).
bool isIndexFolder(const std::string& folder);

// The next free article number recorded in an index (1 for one without a record, 0 when
// every number is used).
std::uint32_t storedNextNumber(const Xapian::Database& database);

// Whether the index was made with term lists (see IndexRunOptions::termlist).
bool hasTermlist(const Xapian::Database& database);

}  // namespace varnook::server
