#pragma once

#include <QObject>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <unordered_map>
#include <vector>

#include "net/eventloop.h"

class QSocketNotifier;
class QTimerEvent;

namespace varnook {

// The event loop of the desktop program: the network objects run on the GUI thread,
// driven by Qt's own event dispatcher, so no transfer ever blocks the window.
//
// Watches are QSocketNotifiers (one per readiness kind, created when first asked for and
// disabled while not wanted); timers are QObject timers; posted callbacks are kept in a
// queue of their own that one posted Qt event drains, so they run in posting order after
// the current event has returned. Callbacks from other threads arrive as queued
// invocations. A QCoreApplication must exist, on the thread that creates the loop.
//
// A callback that throws has its exception caught and reported through qWarning: nothing
// crosses into Qt's event handling.
class QtEventLoop final : public QObject, public EventLoop {
 public:
  explicit QtEventLoop(QObject* parent = nullptr);
  // Watches, timers and queued callbacks are dropped without running; the thread poster
  // refuses callbacks from then on.
  ~QtEventLoop() override;
  QtEventLoop(const QtEventLoop&) = delete;
  QtEventLoop& operator=(const QtEventLoop&) = delete;

  WatchId addWatch(int fd, unsigned events, WatchCallback callback) override;
  void setWatchEvents(WatchId id, unsigned events) override;
  void removeWatch(WatchId id) override;
  void post(std::function<void()> callback) override;
  TimerId startTimer(int milliseconds, std::function<void()> callback) override;
  void cancelTimer(TimerId id) override;
  std::shared_ptr<ThreadPoster> threadPoster() override;
  bool processEvents(int maxWaitMs) override;

  // Number of watches present (enabled or not); for tests and diagnostics.
  std::size_t watchCount() const { return watches_.size(); }

 protected:
  void timerEvent(QTimerEvent* event) override;
  bool event(QEvent* event) override;

 private:
  struct Watch {
    int fd = -1;
    unsigned events = 0;
    QSocketNotifier* read = nullptr;
    QSocketNotifier* write = nullptr;
    std::shared_ptr<WatchCallback> callback;
  };
  struct Poster;

  void applyEvents(WatchId id, Watch& watch);
  void notifierActivated(WatchId id, unsigned kind);
  void dropNotifier(QSocketNotifier*& notifier);
  void schedulePostedRun();
  void runPosted();
  // Runs a callback, keeping exceptions out of Qt's event handling.
  void invoke(const std::function<void()>& callback);

  std::unordered_map<WatchId, Watch> watches_;
  WatchId nextWatchId_ = 1;
  // Dropped notifiers: one of them may be the sender whose activation is on the stack, so
  // they are deleted by a later event of the loop, outside every activation.
  int dispatchDepth_ = 0;
  std::vector<QSocketNotifier*> graveyard_;
  bool reapScheduled_ = false;

  std::deque<std::function<void()>> posted_;
  bool postedRunScheduled_ = false;

  struct Timer {
    int qtTimerId = 0;  // 0: a zero-delay timer waiting in the posted queue
    std::function<void()> callback;
  };
  std::unordered_map<TimerId, Timer> timers_;
  std::unordered_map<int, TimerId> timerOfQtId_;
  TimerId nextTimerId_ = 1;

  std::shared_ptr<Poster> poster_;
  // Counts every callback run, so processEvents can tell whether it handled anything.
  std::uint64_t handledCount_ = 0;
};

}  // namespace varnook
