#pragma once

#include <poll.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <deque>
#include <map>
#include <memory>
#include <unordered_map>
#include <utility>
#include <vector>

#include "net/eventloop.h"

namespace varnook {

// EventLoop on poll(2), for varnook-batch and the tests.
//
// One round of processEvents: wait (up to the limit, the next timer, or not at all when
// callbacks are queued) for ready descriptors; call the watches that are ready; fire the
// timers that are due; run the callbacks that were posted before this step began (those
// they post run in the next round). Callbacks from other threads arrive through an
// eventfd and run as a watch event.
//
// run() goes on until quit() is called: a loop with nothing to watch simply sleeps, since
// a name lookup running on another thread may still report back. Callers that wait for a
// condition use runUntil().
class PollLoop final : public EventLoop {
 public:
  PollLoop();
  // Pending callbacks and timers are dropped without running; the thread poster stops
  // accepting callbacks.
  ~PollLoop() override;
  PollLoop(const PollLoop&) = delete;
  PollLoop& operator=(const PollLoop&) = delete;

  WatchId addWatch(int fd, unsigned events, WatchCallback callback) override;
  void setWatchEvents(WatchId id, unsigned events) override;
  void removeWatch(WatchId id) override;
  void post(std::function<void()> callback) override;
  TimerId startTimer(int milliseconds, std::function<void()> callback) override;
  void cancelTimer(TimerId id) override;
  std::shared_ptr<ThreadPoster> threadPoster() override;
  bool processEvents(int maxWaitMs) override;

  // Processes events until quit() is called. Returns at once when quit() was called
  // before and not yet consumed by another run().
  void run();
  // Makes run() return after the current round. Thread-safe.
  void quit();

  // Number of watches present (enabled or not); for tests and diagnostics.
  std::size_t watchCount() const { return liveWatches_; }

 private:
  using Clock = std::chrono::steady_clock;
  struct Watch {
    WatchId id = 0;  // 0: free slot
    int fd = -1;
    unsigned events = 0;
    std::shared_ptr<WatchCallback> callback;
  };
  struct Inbox;

  Watch* findWatch(WatchId id);
  void rebuildPollSet();
  int waitTimeout(int maxWaitMs) const;
  bool dispatchReady(std::size_t readyCount);
  bool fireDueTimers();
  bool runPosted();
  void drainInbox();

  std::vector<Watch> watches_;            // slot index = low 32 bits of the id
  std::vector<std::uint32_t> freeSlots_;  // reusable slot indexes
  std::uint32_t nextGeneration_ = 1;
  std::size_t liveWatches_ = 0;
  bool pollSetDirty_ = true;
  std::vector<pollfd> pollSet_;
  std::vector<WatchId> pollIds_;  // the watch behind each pollSet_ entry

  std::deque<std::function<void()>> posted_;

  std::map<std::pair<Clock::time_point, TimerId>, std::function<void()>> timers_;
  std::unordered_map<TimerId, Clock::time_point> timerDeadlines_;
  TimerId nextTimerId_ = 1;

  std::shared_ptr<Inbox> inbox_;
  WatchId inboxWatch_ = 0;
  std::atomic<bool> quitRequested_{false};
};

}  // namespace varnook
