#pragma once

#include <cstdint>
#include <functional>
#include <memory>

namespace varnook {

// Hands callbacks from other threads to a loop. Obtained from EventLoop::threadPoster();
// the holder keeps it alive, and it stays safe to use after the loop is gone.
class ThreadPoster {
 public:
  virtual ~ThreadPoster() = default;
  // Thread-safe. Queues `callback` to run on the loop's thread as an event of its own.
  // Returns false, and drops the callback (destroying it on the calling thread), once
  // the loop has been destroyed.
  virtual bool post(std::function<void()> callback) = 0;
};

// The single-threaded event loop that every network object runs on: descriptor
// readiness, posted callbacks, single-shot timers and callbacks from other threads.
// Everything except ThreadPoster::post must be called on the loop's thread.
//
// Callbacks may freely add, change or remove watches and timers, post more callbacks,
// destroy the objects that registered them, and run a nested wait (processEvents or
// runUntil). A watch or timer removed before its callback ran never fires.
//
// The desktop program implements this interface on QSocketNotifier (one notifier per
// readiness kind, enabled or disabled by setWatchEvents), single-shot QTimers, and queued
// invocations; PollLoop implements it on poll(2).
class EventLoop {
 public:
  using WatchId = std::uint64_t;
  using TimerId = std::uint64_t;

  // Readiness kinds, combined as bit flags.
  enum Readiness : unsigned { kReadable = 1, kWritable = 2 };
  // Called with the kinds that are ready and were asked for. Errors and hang-ups on the
  // descriptor count as readiness of every kind asked for, so the owner's read or write
  // call finds out what happened.
  using WatchCallback = std::function<void(unsigned ready)>;

  virtual ~EventLoop() = default;

  // Watches `fd` for the kinds in `events` (0 registers a disabled watch). The descriptor
  // stays owned by the caller, who must remove the watch before closing it. Returns an id
  // that is never 0 and never reused.
  virtual WatchId addWatch(int fd, unsigned events, WatchCallback callback) = 0;
  // Changes the kinds a watch waits for; 0 disables it. Unknown ids are ignored.
  virtual void setWatchEvents(WatchId id, unsigned events) = 0;
  // Ends a watch; its callback is not called again. Unknown ids are ignored.
  virtual void removeWatch(WatchId id) = 0;

  // Runs `callback` once, after the current event has returned, in posting order.
  virtual void post(std::function<void()> callback) = 0;

  // Runs `callback` once, `milliseconds` from now (0: as soon as possible, after posted
  // callbacks that are already queued). Returns an id that is never 0 and never reused.
  virtual TimerId startTimer(int milliseconds, std::function<void()> callback) = 0;
  // Cancels a timer that has not fired yet; unknown or fired ids are ignored.
  virtual void cancelTimer(TimerId id) = 0;

  // The entry for other threads (a resolver thread hands its results back through it).
  virtual std::shared_ptr<ThreadPoster> threadPoster() = 0;

  // Handles the events that are ready, waiting at most `maxWaitMs` milliseconds for the
  // first one (negative: no limit; 0: do not wait). Usable as a nested wait from inside a
  // callback. Returns whether anything was handled.
  virtual bool processEvents(int maxWaitMs) = 0;

  // Processes events until `done` returns true (checked before every round) or
  // `timeoutMs` milliseconds have passed (negative: no limit). Returns the last answer of
  // `done`.
  bool runUntil(const std::function<bool()>& done, int timeoutMs);
};

}  // namespace varnook
