#include "server/pullrun.h"

#include <xapian.h>

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <ostream>
#include <thread>
#include <unordered_set>

#include "base/asciicase.h"
#include "server/articleingest.h"
#include "server/indexrun.h"
#include "server/indexschema.h"

namespace varnook::server {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::uint64_t kOverviewChunk = 1000;  // article numbers asked for per OVER
// ARTICLE commands sent ahead of their answers on one connection: enough to hide the
// round trip, few enough to stay a polite client.
constexpr std::size_t kInFlight = 8;
// Fetched articles that may wait for an earlier one before entering the index in order.
constexpr std::size_t kAhead = 256;
constexpr int kTries = 3;

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// Waits for `delay`, waking early when `stop` is set; false when it was.
bool pause(Milliseconds delay, const std::atomic<bool>* stop) {
  const Clock::time_point end = Clock::now() + delay;
  while (Clock::now() < end) {
    if (stop && stop->load()) return false;
    std::this_thread::sleep_for(std::min<Clock::duration>(end - Clock::now(), Milliseconds(100)));
  }
  return !(stop && stop->load());
}

// Spaces the ARTICLE commands of all connections evenly at the requested rate.
class RateLimit {
 public:
  explicit RateLimit(double perSecond) : perSecond_(perSecond) {}
  void wait(const std::atomic<bool>* stop) {
    if (perSecond_ <= 0) return;
    Clock::time_point at;
    {
      std::lock_guard lock(mutex_);
      next_ = std::max(next_, Clock::now());
      at = next_;
      next_ += std::chrono::duration_cast<Clock::duration>(
          std::chrono::duration<double>(1.0 / perSecond_));
    }
    pause(std::chrono::duration_cast<Milliseconds>(at - Clock::now()), stop);
  }

 private:
  double perSecond_;
  std::mutex mutex_;
  Clock::time_point next_;
};

// One connection of the pull and the group it has selected.
struct Link {
  std::unique_ptr<NntpConnection> connection;
  std::string group;
  bool unusable = false;  // could not be opened: the others do its share
};

// An article number of the chunk being pulled, and what became of it.
struct Slot {
  enum class State { Pending, Held, Fetched, Gone, Failed };
  std::uint64_t number = 0;
  std::string messageId;  // from the overview; may be empty
  State state = State::Pending;
  RawArticle raw;
  std::string note;  // why it failed
};

// The chunk shared by the connection threads (which fetch) and the main thread (which
// hands the articles to the index in number order).
struct Chunk {
  std::vector<Slot> slots;
  std::mutex mutex;
  std::condition_variable changed;
  std::size_t next = 0;              // the first slot not handed out yet
  std::deque<std::size_t> returned;  // handed out to a connection that gave up
  std::size_t outstanding = 0;       // handed out, not answered yet
  std::size_t handled = 0;           // slots the main thread has finished with
  unsigned live = 0;                 // connection threads still working
  bool abort = false;
  NntpError fatal;  // a refusal that ends the pull of this server
  NntpError lost;   // why the last connection to give up did
};

class Puller {
 public:
  Puller(const PullOptions& options, PullSummary& summary, std::ostream& progress)
      : options_(options), summary_(summary), progress_(progress), rate_(options.maxRate) {}

  // The article source of the index run: pulls every server in turn.
  bool run(const ArticleSink& sink, const WarningSink& warn) {
    sink_ = &sink;
    warn_ = &warn;
    loadPositions();
    for (const PullSource& source : options_.sources) {
      if (stopping()) break;
      ++summary_.servers;
      pullServer(source);
    }
    if (options_.progress) progress_ << '\n';
    return !stopping();
  }

  // The positions to publish with the articles handed over so far.
  std::map<std::string, std::string> metadata() const {
    std::map<std::string, std::string> values;
    for (const auto& [key, groups] : positions_)
      values[key] = encodePositions({groups.begin(), groups.end()});
    return values;
  }

  bool stopping() const { return stopped_ || (options_.stop && options_.stop->load()); }

 private:
  // Called by the connection threads too.
  void warn(const std::string& text) {
    std::lock_guard lock(outputMutex_);
    if (options_.progress) progress_ << '\r' << std::string(72, ' ') << '\r';
    (*warn_)(text);
  }

  void loadPositions() {
    for (const PullSource& source : options_.sources) positions_[source.stateKey()];
    try {
      if (!std::filesystem::exists(options_.databasePath + "/XAPIANDB")) return;
      const Xapian::Database database(options_.databasePath);
      for (auto& [key, groups] : positions_)
        for (auto& [group, position] : decodePositions(database.get_metadata(key)))
          groups[group] = position;
    } catch (const Xapian::Error& e) {
      warn("cannot read where the last pull ended: " + e.get_description());
    }
  }

  // The published index, to skip articles held already without fetching them.
  void reopenHeld() {
    held_.reset();
    try {
      if (std::filesystem::exists(options_.databasePath + "/XAPIANDB"))
        held_.emplace(options_.databasePath);
    } catch (const Xapian::Error&) {
    }
  }

  bool isHeld(const std::string& messageId) {
    if (messageId.empty()) return false;
    if (seen_.count(messageId)) return true;
    try {
      return held_ && held_->term_exists(schema::messageIdTerm(messageId));
    } catch (const Xapian::Error&) {
      return false;  // fetched then, and the index finds it held
    }
  }

  std::unique_ptr<NntpConnection> connect(const PullSource& source, NntpError& error) {
    std::string text;
    bool refused = false;
    auto stream = source.tls
                      ? connectTls(source.host, source.port, options_.trustedCertificates,
                                   options_.timeouts.connect, text, refused)
                      : connectTcp(source.host, source.port, options_.timeouts.connect, text);
    if (!stream) {
      // A refused certificate stays refused: no tries again.
      error = {refused ? NntpError::Kind::Denied : NntpError::Kind::Lost, text};
      return nullptr;
    }
    return NntpConnection::open(std::move(stream), options_.login, options_.timeouts, options_.stop,
                                error);
  }

  // Runs `work` on the link's connection, opening it first when needed. When the
  // connection is lost, it is opened again after a delay (doubled each time, three
  // tries) and `work` runs again. `work` returns false when it cannot go on; the
  // connection's error says whether that was a failure. False with `error` set when the
  // link gives up.
  bool withRetries(const PullSource& source, Link& link,
                   const std::function<bool(NntpConnection&)>& work, NntpError& error) {
    for (int attempt = 0;; ++attempt) {
      NntpError failure;
      if (!link.connection) {
        link.group.clear();
        link.connection = connect(source, failure);
      }
      if (link.connection) {
        if (work(*link.connection) || !link.connection->failed()) return true;
        failure = link.connection->error();
        link.connection.reset();
      }
      if (failure.kind != NntpError::Kind::Lost || attempt == kTries) {
        error = failure;
        return false;
      }
      const Milliseconds delay = options_.retryDelay * (1 << attempt);
      char seconds[32];
      std::snprintf(seconds, sizeof seconds, "%.1f", static_cast<double>(delay.count()) / 1000);
      warn(source.url() + ": " + failure.text + "; trying again in " + seconds + " s");
      if (!pause(delay, options_.stop)) {
        error = {NntpError::Kind::Stopped, "stopped"};
        return false;
      }
    }
  }

  // Selects `group` on the link unless it is selected already.
  static bool enterGroup(NntpConnection& connection, Link& link, const std::string& group) {
    if (link.group == group) return true;
    bool missing = false;
    if (!connection.selectGroup(group, missing)) return false;
    link.group = group;
    return true;
  }

  void serverFailed(const PullSource& source, const NntpError& error) {
    if (error.kind == NntpError::Kind::Stopped) return;
    std::string text = source.url() + ": " + error.text;
    if (error.kind == NntpError::Kind::Denied) {
      summary_.denied = true;
      if (options_.login.user.empty() && error.text.find("login") != std::string::npos)
        text += "; give --user and --password-file (or VARNOOK_NNTP_PASSWORD)";
    } else {
      text += " (gave up after " + std::to_string(kTries) +
              " tries; the next pull goes on from where this one stopped)";
    }
    summary_.errors.push_back(text);
    serverFailed_ = true;
  }

  void pullServer(const PullSource& source) {
    links_.clear();
    links_.resize(std::clamp(options_.connections, 1u, 4u));
    serverFailed_ = false;
    std::optional<std::vector<ActiveGroup>> active;
    NntpError error;
    if (!withRetries(
            source, links_[0],
            [&](NntpConnection& c) { return (active = c.listActive(source.pattern)).has_value(); },
            error))
      return serverFailed(source, error);
    std::vector<std::string> names;
    for (const ActiveGroup& group : *active)
      if (wildmatMatch(source.pattern, group.name)) names.push_back(group.name);
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    if (names.empty()) warn(source.url() + ": no group matches " + source.pattern);
    // A group named outright, without wildcards, that the server does not list.
    for (std::string_view rest = source.pattern; !rest.empty();) {
      const std::string_view name = rest.substr(0, rest.find(','));
      rest.remove_prefix(std::min(name.size() + 1, rest.size()));
      const bool plain = name.find_first_of("*?!") == std::string_view::npos;
      if (plain && !names.empty() &&
          std::none_of(names.begin(), names.end(),
                       [&](const std::string& group) { return equalsNoCase(group, name); }))
        warn(source.url() + ": " + std::string(name) + ": no such group");
    }
    auto& positions = positions_[source.stateKey()];
    for (const std::string& name : names) {
      if (stopping() || serverFailed_) break;
      ++summary_.groups;
      pullGroup(source, name, positions[name]);
    }
    for (Link& link : links_)
      if (link.connection) {
        link.connection->queue("QUIT");
        link.connection->send();
      }
    links_.clear();
  }

  void pullGroup(const PullSource& source, const std::string& group, GroupPosition& position) {
    Link& control = links_[0];
    std::optional<GroupRange> range;
    bool missing = false;
    NntpError error;
    const auto select = [&](NntpConnection& c) {
      control.group.clear();
      range = c.selectGroup(group, missing);
      if (range) control.group = group;
      return range.has_value();
    };
    if (!withRetries(source, control, select, error)) return serverFailed(source, error);
    if (missing) return warn(source.url() + ": " + group + ": no such group");
    if (range->count == 0 || range->high < range->low) return;

    // A server that renumbered the group (after losing its spool, or moving) has a lower
    // high mark, or another article under the number we checked last.
    bool renumbered = position.last > range->high;
    if (!renumbered && !position.checkId.empty() && position.checkNumber >= range->low &&
        position.checkNumber <= range->high) {
      std::optional<OverviewEntry> there;
      const auto check = [&](NntpConnection& c) {
        if (!enterGroup(c, control, group)) return false;
        there = c.stat(position.checkNumber);
        return true;
      };
      if (!withRetries(source, control, check, error)) return serverFailed(source, error);
      renumbered = there && there->messageId != position.checkId;
    }
    if (renumbered) {
      warn(source.url() + ": " + group +
           " was renumbered by the server; its articles are checked again by Message-ID");
      position = GroupPosition{};
    }

    for (std::uint64_t low = std::max(position.last + 1, range->low); low <= range->high;) {
      const std::uint64_t high =
          range->high - low < kOverviewChunk ? range->high : low + kOverviewChunk - 1;
      std::optional<std::vector<OverviewEntry>> entries;
      const auto over = [&](NntpConnection& c) {
        if (!enterGroup(c, control, group)) return false;
        entries = c.overview(low, high);
        return true;
      };
      if (!withRetries(source, control, over, error)) return serverFailed(source, error);
      reopenHeld();
      Chunk chunk;
      if (entries) {
        for (OverviewEntry& entry : *entries) {
          Slot& slot = chunk.slots.emplace_back();
          slot.number = entry.number;
          slot.state = isHeld(entry.messageId) ? Slot::State::Held : Slot::State::Pending;
          slot.messageId = std::move(entry.messageId);
        }
      } else {
        // No overview: every number is asked for, and the index drops what it holds.
        for (std::uint64_t number = low; number <= high; ++number)
          chunk.slots.emplace_back().number = number;
      }
      if (!pullChunk(source, group, chunk, position)) return;
      position.last = high;
      if (high == range->high) break;
      low = high + 1;
    }
  }

  // Fetches the chunk's articles over the connections and hands them to the index in
  // number order. True when every slot was dealt with.
  bool pullChunk(const PullSource& source, const std::string& group, Chunk& chunk,
                 GroupPosition& position) {
    const std::size_t pending = static_cast<std::size_t>(
        std::count_if(chunk.slots.begin(), chunk.slots.end(),
                      [](const Slot& slot) { return slot.state == Slot::State::Pending; }));
    std::vector<std::thread> threads;
    const std::size_t wanted = std::clamp<std::size_t>(pending / kInFlight, 1, links_.size());
    for (std::size_t i = 0; i < links_.size() && pending > 0 && threads.size() < wanted; ++i) {
      if (links_[i].unusable) continue;
      ++chunk.live;
      threads.emplace_back([&, i] { fetch(source, group, chunk, i); });
    }
    const bool complete = handOver(source, group, chunk, position);
    {
      std::lock_guard lock(chunk.mutex);
      chunk.abort = true;
    }
    chunk.changed.notify_all();
    for (std::thread& thread : threads) thread.join();
    if (chunk.fatal.kind != NntpError::Kind::None) {
      serverFailed(source, chunk.fatal);
    } else if (!complete && !stopping()) {
      serverFailed(source, chunk.lost.kind == NntpError::Kind::None
                               ? NntpError{NntpError::Kind::Lost, "no connection is left"}
                               : chunk.lost);
    }
    return complete;
  }

  // The main thread's side: takes the slots in order as they are answered.
  bool handOver(const PullSource& source, const std::string& group, Chunk& chunk,
                GroupPosition& position) {
    std::unique_lock lock(chunk.mutex);
    while (chunk.handled < chunk.slots.size()) {
      chunk.changed.wait(lock, [&] {
        return chunk.slots[chunk.handled].state != Slot::State::Pending || chunk.live == 0;
      });
      Slot& slot = chunk.slots[chunk.handled];
      if (slot.state == Slot::State::Pending) return false;  // every connection gave up
      Slot taken;
      std::swap(taken, slot);
      lock.unlock();
      const bool goOn = take(source, group, taken, position);
      lock.lock();
      ++chunk.handled;
      chunk.changed.notify_all();
      if (!goOn) return false;
    }
    return true;
  }

  bool take(const PullSource& source, const std::string& group, Slot& slot,
            GroupPosition& position) {
    std::string id = slot.messageId;
    switch (slot.state) {
      case Slot::State::Held:
        ++summary_.skipped;
        break;
      case Slot::State::Gone:
        ++summary_.failed;
        id.clear();
        break;
      case Slot::State::Failed:
        ++summary_.failed;
        warn(source.url() + ": " + group + " " + std::to_string(slot.number) + ": " + slot.note);
        id.clear();
        break;
      case Slot::State::Fetched:
      case Slot::State::Pending:
        ++summary_.fetched;
        if (id.empty()) id = quickMessageId(slot.raw.bytes);
        if (!id.empty()) seen_.insert(id);
        slot.raw.origin = source.url() + " " + group + " " + std::to_string(slot.number);
        if (!(*sink_)(std::move(slot.raw))) {
          stopped_ = true;
          return false;
        }
        break;
    }
    position.last = slot.number;
    if (!id.empty()) {
      position.checkNumber = slot.number;
      position.checkId = id;
    }
    showProgress(group);
    return true;
  }

  void showProgress(const std::string& group) {
    if (!options_.progress || Clock::now() - lastProgress_ < Milliseconds(250)) return;
    lastProgress_ = Clock::now();
    std::lock_guard lock(outputMutex_);
    char rate[32];
    std::snprintf(rate, sizeof rate, "%.0f",
                  static_cast<double>(summary_.fetched) / std::max(1e-3, secondsSince(start_)));
    progress_ << '\r' << group << ": " << summary_.fetched << " fetched, " << summary_.skipped
              << " skipped, " << rate << " articles/s   " << std::flush;
  }

  // The next slot for connection thread to ask for; nothing when there is none (after
  // waiting for one when `wait`).
  static std::optional<std::size_t> nextSlot(Chunk& chunk, bool wait) {
    std::unique_lock lock(chunk.mutex);
    for (;;) {
      if (chunk.abort) return std::nullopt;
      std::optional<std::size_t> index;
      if (!chunk.returned.empty()) {
        index = chunk.returned.front();
        chunk.returned.pop_front();
      } else {
        while (chunk.next < chunk.slots.size() &&
               chunk.slots[chunk.next].state != Slot::State::Pending)
          ++chunk.next;
        if (chunk.next < chunk.slots.size() && chunk.next < chunk.handled + kAhead)
          index = chunk.next++;
      }
      if (index) {
        ++chunk.outstanding;
        return index;
      }
      const bool allOut = chunk.next >= chunk.slots.size() && chunk.outstanding == 0;
      if (!wait || allOut) return std::nullopt;
      chunk.changed.wait(lock);
    }
  }

  static void answer(Chunk& chunk, std::size_t index, Slot::State state, RawArticle&& raw,
                     std::string note) {
    std::lock_guard lock(chunk.mutex);
    Slot& slot = chunk.slots[index];
    slot.state = state;
    slot.raw = std::move(raw);
    slot.note = std::move(note);
    --chunk.outstanding;
    chunk.changed.notify_all();
  }

  // A connection thread: keeps up to kInFlight ARTICLE commands in flight until the
  // chunk has none left; after a lost connection, asks again for those in flight.
  void fetch(const PullSource& source, const std::string& group, Chunk& chunk, std::size_t i) {
    Link& link = links_[i];
    std::deque<std::size_t> inFlight;
    const auto exchange = [&](NntpConnection& c) {
      if (!enterGroup(c, link, group)) return false;
      for (std::size_t index : inFlight)
        c.queue("ARTICLE " + std::to_string(chunk.slots[index].number));
      for (;;) {
        while (inFlight.size() < kInFlight) {
          const auto index = nextSlot(chunk, inFlight.empty());
          if (!index) break;
          rate_.wait(options_.stop);
          c.queue("ARTICLE " + std::to_string(chunk.slots[*index].number));
          inFlight.push_back(*index);
        }
        if (inFlight.empty()) return true;
        if (!c.send()) return false;
        const auto status = c.readStatus();
        if (!status) return false;
        RawArticle raw;
        Slot::State state = Slot::State::Fetched;
        std::string note;
        if (status->code == 220) {
          if (!c.readBlock(raw.bytes, raw.oversized, kMaxArticleBytes)) return false;
        } else if (status->code == 423 || status->code == 430) {
          state = Slot::State::Gone;
        } else {
          state = Slot::State::Failed;
          note = std::to_string(status->code) + " " + status->text;
        }
        answer(chunk, inFlight.front(), state, std::move(raw), std::move(note));
        inFlight.pop_front();
      }
    };
    NntpError error;
    const bool done = withRetries(source, link, exchange, error);
    std::lock_guard lock(chunk.mutex);
    // Unanswered commands go to the other connections (there are some when this one
    // failed, or found the group gone).
    for (std::size_t index : inFlight) chunk.returned.push_back(index);
    chunk.outstanding -= inFlight.size();
    if (!done) {
      if (error.kind == NntpError::Kind::Denied && chunk.fatal.kind == NntpError::Kind::None) {
        chunk.fatal = error;
        chunk.abort = true;
      } else if (error.kind == NntpError::Kind::Lost) {
        chunk.lost = error;
        link.unusable = i > 0;
        if (i > 0)
          warn(source.url() + ": connection " + std::to_string(i + 1) + " given up (" + error.text +
               "); going on with fewer");
      }
    }
    --chunk.live;
    chunk.changed.notify_all();
  }

  const PullOptions& options_;
  PullSummary& summary_;
  std::ostream& progress_;
  RateLimit rate_;
  const ArticleSink* sink_ = nullptr;
  const WarningSink* warn_ = nullptr;
  std::map<std::string, std::map<std::string, GroupPosition>> positions_;
  std::vector<Link> links_;
  std::optional<Xapian::Database> held_;
  std::unordered_set<std::string> seen_;
  bool serverFailed_ = false;
  bool stopped_ = false;
  Clock::time_point start_ = Clock::now();
  Clock::time_point lastProgress_;
  std::mutex outputMutex_;
};

}  // namespace

PullSummary runPull(const PullOptions& options, std::ostream& log, std::ostream& progress) {
  PullSummary summary;
  const Clock::time_point start = Clock::now();
  Puller puller(options, summary, progress);
  IndexRunOptions index;
  index.databasePath = options.databasePath;
  index.rules = options.rules;
  index.stop = options.stop;
  index.checkpointEvery = options.checkpointEvery;
  index.source = [&](const ArticleSink& sink, const WarningSink& warn, SourceCounters&) {
    return puller.run(sink, warn);
  };
  index.metadata = [&] { return puller.metadata(); };
  const IndexRunSummary indexed = runIndex(index, log, progress);
  if (!indexed.error.empty()) summary.errors.push_back(indexed.error);
  summary.added = indexed.added;
  summary.skipped += indexed.duplicates;
  summary.failed += indexed.skipped;
  summary.indexSize = indexed.indexSize;
  summary.interrupted = indexed.interrupted || (options.stop && options.stop->load());
  summary.seconds = secondsSince(start);
  return summary;
}

std::string pullSummaryText(const PullSummary& s) {
  char figures[64];
  std::snprintf(figures, sizeof figures, "%.1f s, %.0f articles/s", s.seconds,
                s.seconds > 0 ? static_cast<double>(s.fetched) / s.seconds : 0.0);
  const auto plural = [](std::uint64_t count, const char* word) {
    return std::to_string(count) + " " + word + (count == 1 ? "" : "s");
  };
  return std::string(s.interrupted ? "Interrupted after pulling " : "Pulled ") +
         plural(s.groups, "group") + " from " + plural(s.servers, "server") + ": " +
         plural(s.added, "new article") + ", " + std::to_string(s.skipped) +
         " skipped (held already), " + std::to_string(s.failed) + " failed, in " + figures +
         "; the index holds " + plural(s.indexSize, "article") + ".";
}

}  // namespace varnook::server
