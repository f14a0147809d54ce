#include "server/indexrun.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <mutex>
#include <optional>
#include <ostream>
#include <thread>
#include <unordered_set>

#include "server/articleingest.h"
#include "server/articlesource.h"
#include "server/documentbuilder.h"
#include "server/indexschema.h"
#include "server/indexstore.h"
#include "server/threads.h"

namespace varnook::server {
namespace {

using Clock = std::chrono::steady_clock;

// Documents buffered in a shard before its changes are written out; small batches keep
// Xapian's in-memory inverter fast.
constexpr Xapian::doccount kShardFlushEvery = 500;

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string rateText(std::uint64_t count, double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.0f",
                seconds > 0 ? static_cast<double>(count) / seconds : 0.0);
  return text;
}

struct Job {
  std::uint64_t sequence = 0;
  RawArticle raw;
};

// One temporary shard, written by one worker thread.
struct Shard {
  std::string path;
  std::optional<Xapian::WritableDatabase> database;
  TextIndexer indexer;
  Xapian::doccount pending = 0;

  void open(std::string shardPath, bool termlist) {
    path = std::move(shardPath);
    database.emplace(path, Xapian::DB_CREATE | Xapian::DB_BACKEND_GLASS | Xapian::DB_NO_SYNC |
                               (termlist ? 0 : Xapian::DB_NO_TERMLIST));
    pending = 0;
  }
};

// Runs the parser threads and hands out article numbers in the order the walk found the
// articles, whatever order the threads finish in, so a run is reproducible.
class Pipeline {
 public:
  Pipeline(IndexStore& store, const IndexRunOptions& options, IndexRunSummary& summary,
           std::ostream& log)
      : store_(store), options_(options), summary_(summary), log_(log) {}

  ~Pipeline() { stopWorkers(); }

  void start(std::uint32_t nextNumber, bool termlist) {
    nextNumber_ = nextNumber;
    termlist_ = termlist;
    reopenMain();
    unsigned count = options_.threads ? options_.threads : std::thread::hardware_concurrency();
    count = std::max(1u, std::min(count, kMaxJobs));
    shards_.resize(count);
    openShards();
    for (unsigned i = 0; i < count; ++i) workers_.emplace_back([this, i] { work(shards_[i]); });
  }

  // Called by the walk for each article; blocks while the queue is full. False stops
  // the walk (an error, or numbers used up).
  bool push(RawArticle&& raw) {
    // Most articles of a repeated run are known: skip them before the full parse.
    const std::string quickId = quickMessageId(raw.bytes);
    std::unique_lock lock(mutex_);
    if (!quickId.empty() && inMain(quickId)) {
      ++summary_.duplicates;
      return true;
    }
    // Bounded by count and by bytes: a run of large articles must not pile up in memory.
    spaceFree_.wait(lock, [&] {
      return (queue_.size() < kQueueLimit && queuedBytes_ < kQueueBytes) || failed();
    });
    if (failed() || exhausted_) return false;
    queuedBytes_ += raw.bytes.size();
    queue_.push_back(Job{pushed_++, std::move(raw)});
    workAvailable_.notify_one();
    return true;
  }

  // Closes the shards once every pushed article is in one and starts fresh ones: Xapian
  // writes a small shard much faster than a large one. The closed shards wait for the
  // next checkpoint.
  void rotate() {
    std::unique_lock lock(mutex_);
    if (!waitIdle(lock)) return;
    try {
      closeShards();
      openShards();
    } catch (const Xapian::Error& e) {
      error_ = "index write failed: " + e.get_description();
    }
  }

  // Waits until every pushed article is numbered and in a shard, then merges the shards
  // into the index folder's next generation and starts fresh shards.
  void checkpoint(bool final) {
    std::unique_lock lock(mutex_);
    if (!waitIdle(lock)) return;
    try {
      closeShards();
      std::vector<std::string> paths = std::move(closed_);
      closed_.clear();
      const auto metadata = options_.metadata ? options_.metadata() : Metadata();
      if (addedSinceCheckpoint_ > 0 || metadataChanged(metadata)) {
        store_.publish(paths, nextNumber_, termlist_, metadata);
      } else {
        std::error_code ignored;
        for (const std::string& path : paths) std::filesystem::remove_all(path, ignored);
      }
      addedSinceCheckpoint_ = 0;
      addedKeys_.clear();
      if (!final) {
        openShards();
        reopenMain();
      } else {
        summary_.indexSize = store_.openCurrent() ? store_.openCurrent()->get_doccount() : 0;
      }
    } catch (const Xapian::Error& e) {
      error_ = "index write failed: " + e.get_description();
    } catch (const std::exception& e) {
      error_ = std::string("index write failed: ") + e.what();
    }
  }

  // Ends the run without publishing: queued articles are dropped, the articles being
  // parsed are finished, and the shards are removed. The index keeps its last published
  // generation, which the next run completes. Returns how many articles were dropped
  // from the shards.
  std::size_t abandon() {
    std::unique_lock lock(mutex_);
    abandoned_ = true;
    queue_.clear();
    queuedBytes_ = 0;
    spaceFree_.notify_all();
    turn_.notify_all();
    idle_.wait(lock, [&] { return busy_ == 0; });
    std::error_code ignored;
    for (Shard& shard : shards_) {
      try {
        shard.database.reset();
      } catch (const Xapian::Error&) {
        // The shard is removed below either way.
      }
      std::filesystem::remove_all(shard.path, ignored);
    }
    for (const std::string& path : closed_) std::filesystem::remove_all(path, ignored);
    closed_.clear();
    const std::size_t dropped = addedSinceCheckpoint_;
    summary_.added -= dropped;
    addedSinceCheckpoint_ = 0;
    return dropped;
  }

  // A warning from the walk over the sources.
  void sourceWarning(std::string_view text) {
    std::lock_guard lock(mutex_);
    warn(text);
  }

  std::string error() {
    std::lock_guard lock(mutex_);
    return error_;
  }

  bool numbersExhausted() {
    std::lock_guard lock(mutex_);
    return exhausted_;
  }

  void stopWorkers() {
    {
      std::lock_guard lock(mutex_);
      finished_ = true;
    }
    workAvailable_.notify_all();
    for (std::thread& worker : workers_) worker.join();
    workers_.clear();
  }

 private:
  static constexpr std::size_t kQueueLimit = 256;
  static constexpr std::size_t kQueueBytes = 64u << 20;

  // Failed or abandoned: every wait ends and nothing more is numbered.
  bool failed() const { return !error_.empty() || abandoned_; }

  // Under mutex_: waits until every pushed article is numbered and in a shard; false
  // after an error.
  bool waitIdle(std::unique_lock<std::mutex>& lock) {
    idle_.wait(lock, [&] { return (queue_.empty() && busy_ == 0) || !error_.empty(); });
    return error_.empty();
  }

  void openShards() {
    for (Shard& shard : shards_) shard.open(store_.newShardPath(), termlist_);
  }

  // Under mutex_, with the workers idle.
  void closeShards() {
    for (Shard& shard : shards_) {
      shard.database->commit();
      shard.database->close();
      closed_.push_back(shard.path);
    }
  }

  // Under mutex_.
  bool inMain(const std::string& key) {
    return main_ && main_->term_exists(schema::messageIdTerm(key));
  }

  void reopenMain() { main_ = store_.openCurrent(); }

  using Metadata = std::map<std::string, std::string>;
  bool metadataChanged(const Metadata& metadata) const {
    for (const auto& [key, value] : metadata)
      if (!main_ || main_->get_metadata(key) != value) return true;
    return false;
  }

  // Under mutex_.
  void warn(std::string_view text) {
    ++summary_.warnings;
    if (options_.progress) log_ << '\r' << std::string(72, ' ') << '\r';
    log_ << "warning: " << text << '\n';
  }

  // Under mutex_: waits for this article's turn and gives it its number, or nothing for
  // a skipped article or one the index (or this run) already holds.
  std::uint32_t resolve(std::unique_lock<std::mutex>& lock, std::uint64_t sequence,
                        const IngestResult& result, const std::string& origin) {
    turn_.wait(lock, [&] { return resolved_ == sequence || failed(); });
    std::uint32_t number = 0;
    if (!failed()) {
      if (!result.article) {
        ++summary_.skipped;
        warn(origin + ": " + result.warning);
      } else if (addedKeys_.count(result.dedupeKey) || inMain(result.dedupeKey)) {
        ++summary_.duplicates;
      } else if (nextNumber_ == 0) {
        // Not a failure of what was added so far: the walk stops, the rest is published.
        exhausted_ = true;
      } else {
        if (!result.warning.empty()) warn(origin + ": " + result.warning);
        number = nextNumber_;
        nextNumber_ = nextNumber_ == 0xFFFFFFFFu ? 0 : nextNumber_ + 1;
        addedKeys_.insert(result.dedupeKey);
        ++summary_.added;
        ++addedSinceCheckpoint_;
      }
    }
    ++resolved_;
    turn_.notify_all();
    return number;
  }

  void work(Shard& shard) {
    std::unique_lock lock(mutex_);
    for (;;) {
      workAvailable_.wait(lock, [&] { return !queue_.empty() || finished_; });
      if (queue_.empty()) return;
      Job job = std::move(queue_.front());
      queue_.pop_front();
      queuedBytes_ -= job.raw.bytes.size();
      ++busy_;
      spaceFree_.notify_one();
      lock.unlock();

      IngestResult result;
      if (job.raw.oversized) {
        result.warning = "article larger than 32 MB skipped";
      } else {
        result = ingestArticle(job.raw.bytes, job.raw.envelopeDate);
      }

      lock.lock();
      const std::uint32_t number = resolve(lock, job.sequence, result, job.raw.origin);
      lock.unlock();
      if (number != 0) {
        try {
          StoredArticle& article = *result.article;
          article.number = number;
          Xapian::Document document;
          shard.indexer.build(article, result.dedupeKey, options_.rules.archivesOf(article.groups),
                              document);
          document.add_value(schema::kThreadSlot, threadLinkValue(article, result.referenced));
          shard.database->add_document(document);
          if (++shard.pending >= kShardFlushEvery) {
            shard.database->commit();
            shard.pending = 0;
          }
        } catch (const Xapian::Error& e) {
          lock.lock();
          error_ = "index write failed: " + e.get_description();
          lock.unlock();
        }
      }
      lock.lock();
      --busy_;
      if (failed()) {
        spaceFree_.notify_all();
        turn_.notify_all();
      }
      if (busy_ == 0) idle_.notify_all();
    }
  }

  IndexStore& store_;
  const IndexRunOptions& options_;
  IndexRunSummary& summary_;
  std::ostream& log_;

  std::mutex mutex_;
  std::condition_variable workAvailable_, spaceFree_, turn_, idle_;
  std::deque<Job> queue_;
  std::vector<Shard> shards_;
  std::vector<std::string> closed_;  // shards written since the last checkpoint
  std::vector<std::thread> workers_;
  std::optional<Xapian::Database> main_;
  std::unordered_set<std::string> addedKeys_;
  std::uint64_t pushed_ = 0;
  std::uint64_t resolved_ = 0;
  std::uint32_t nextNumber_ = 1;
  std::size_t addedSinceCheckpoint_ = 0;
  std::size_t queuedBytes_ = 0;
  unsigned busy_ = 0;
  bool finished_ = false;
  bool abandoned_ = false;
  bool exhausted_ = false;
  bool termlist_ = false;
  std::string error_;
};

}  // namespace

std::string summaryText(const IndexRunSummary& s) {
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%.1f", s.seconds);
  std::string text = s.interrupted ? "Interrupted after indexing " : "Indexed ";
  text += std::to_string(s.added) + " new articles (" + std::to_string(s.duplicates) +
          " already present, " + std::to_string(s.skipped) + " skipped) from " +
          std::to_string(s.files) + " files in " + seconds + " s, " +
          rateText(s.articles, s.seconds) + " articles/s; the index holds " +
          std::to_string(s.indexSize) + " articles.";
  if (s.dropped > 0)
    text += " " + std::to_string(s.dropped) +
            " articles read since the last checkpoint were not kept; the next run adds them.";
  return text;
}

IndexRunSummary runIndex(const IndexRunOptions& options, std::ostream& log,
                         std::ostream& progress) {
  IndexRunSummary summary;
  const Clock::time_point start = Clock::now();
  std::string error;
  std::unique_ptr<IndexStore> store = IndexStore::openForWriting(options.databasePath, error);
  if (!store) {
    summary.error = error;
    return summary;
  }
  initMimeLibrary();

  SourceCounters counters;
  Clock::time_point lastProgress = start;
  auto showProgress = [&](bool final) {
    if (!options.progress) return;
    progress << "\rfiles " << counters.files << ", articles " << counters.articles << ", "
             << rateText(counters.articles, secondsSince(start)) << " articles/s   ";
    if (final) progress << '\n';
    progress.flush();
  };

  try {
    std::optional<Xapian::Database> current = store->openCurrent();
    std::uint32_t nextNumber = current ? storedNextNumber(*current) : 1;
    std::size_t indexed = current ? current->get_doccount() : 0;
    if (nextNumber != 0 && options.firstNumber > nextNumber) nextNumber = options.firstNumber;
    const bool termlist = current ? hasTermlist(*current) : options.termlist;
    std::string format = current ? current->get_metadata(schema::kFormatKey) : "";
    if (current && format.empty()) format = "1";
    current.reset();
    if (!format.empty() && format != schema::kFormatVersion) {
      // Articles of two formats in one index would be found by some queries and not by
      // others: the old index is left as it is.
      summary.error = options.databasePath +
                      " was made by an older varnook-archive (index format " + format + "); " +
                      schema::kReindexAdvice;
      return summary;
    }
    if (options.termlist && !termlist) {
      summary.error = options.databasePath +
                      ": this index was made without term lists; index into a new folder with "
                      "--termlist";
      return summary;
    }

    Pipeline pipeline(*store, options, summary, log);
    pipeline.start(nextNumber, termlist);
    std::size_t sinceCheckpoint = 0;
    auto sink = [&](RawArticle&& raw) -> bool {
      if (options.stop && options.stop->load()) {
        summary.interrupted = true;
        return false;
      }
      if (options.progress && Clock::now() - lastProgress > std::chrono::milliseconds(250)) {
        lastProgress = Clock::now();
        showProgress(false);
      }
      if (!pipeline.push(std::move(raw))) return false;
      if (++sinceCheckpoint % options.checkpointEvery == 0) {
        if (sinceCheckpoint >= indexed / 2) {
          indexed += sinceCheckpoint;
          sinceCheckpoint = 0;
          pipeline.checkpoint(false);
        } else {
          pipeline.rotate();
        }
      }
      return pipeline.error().empty() && !pipeline.numbersExhausted();
    };
    auto warn = [&](std::string_view text) { pipeline.sourceWarning(text); };
    if (options.source) {
      options.source(sink, warn, counters);
    } else {
      SourceOptions sourceOptions;
      sourceOptions.stop = options.stop;
      walkArticleSources(options.paths, sink, warn, counters, sourceOptions);
    }
    if (options.stop && options.stop->load()) {
      // Publishing means compacting the whole index, which can take minutes: a stop
      // keeps the last published generation instead.
      summary.interrupted = true;
      summary.dropped = pipeline.abandon();
      std::optional<Xapian::Database> published = store->openCurrent();
      summary.indexSize = published ? published->get_doccount() : 0;
    } else {
      pipeline.checkpoint(true);
    }
    pipeline.stopWorkers();
    summary.error = pipeline.error();
    if (summary.error.empty() && pipeline.numbersExhausted())
      summary.error = "all 32-bit article numbers are used; no more articles can be added";
  } catch (const Xapian::Error& e) {
    summary.error = "index write failed: " + e.get_description();
  } catch (const std::exception& e) {
    summary.error = std::string("index write failed: ") + e.what();
  }
  summary.files = counters.files;
  summary.articles = counters.articles;
  summary.seconds = secondsSince(start);
  showProgress(true);
  return summary;
}

}  // namespace varnook::server
