#include "ui/qteventloop.h"

#include <QCoreApplication>
#include <QEvent>
#include <QSocketNotifier>
#include <QTimerEvent>
#include <QtGlobal>
#include <exception>
#include <mutex>
#include <vector>

namespace varnook {
namespace {

// Qt event types of the loop's own events.
const QEvent::Type kRunPostedEvent = static_cast<QEvent::Type>(QEvent::registerEventType());
const QEvent::Type kReapEvent = static_cast<QEvent::Type>(QEvent::registerEventType());
const QEvent::Type kThreadCallbackEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

// A callback handed over from another thread. QCoreApplication::postEvent is thread-safe,
// and Qt drops (and deletes) the events of a receiver that is destroyed.
class ThreadCallbackEvent final : public QEvent {
 public:
  explicit ThreadCallbackEvent(std::function<void()> callback)
      : QEvent(kThreadCallbackEvent), callback_(std::move(callback)) {}
  const std::function<void()>& callback() const { return callback_; }

 private:
  std::function<void()> callback_;
};

// Timers of two seconds or more need no millisecond precision; coarse timers let the
// system bundle wake-ups.
Qt::TimerType timerTypeFor(int milliseconds) {
  return milliseconds < 2000 ? Qt::PreciseTimer : Qt::CoarseTimer;
}

}  // namespace

// The thread-side entry. The loop pointer is cleared under the mutex when the loop goes,
// so a post either reaches a living loop or is refused.
struct QtEventLoop::Poster final : ThreadPoster {
  std::mutex mutex;
  QtEventLoop* loop = nullptr;

  bool post(std::function<void()> callback) override {
    std::unique_lock lock(mutex);
    if (loop == nullptr) {
      lock.unlock();
      callback = nullptr;  // destroyed here, outside the lock
      return false;
    }
    QCoreApplication::postEvent(loop, new ThreadCallbackEvent(std::move(callback)));
    return true;
  }
};

QtEventLoop::QtEventLoop(QObject* parent) : QObject(parent), poster_(std::make_shared<Poster>()) {
  poster_->loop = this;
}

QtEventLoop::~QtEventLoop() {
  {
    std::lock_guard lock(poster_->mutex);
    poster_->loop = nullptr;
  }
  // Take everything out first: destroying a callback may call back into the loop.
  auto watches = std::move(watches_);
  watches_.clear();
  auto posted = std::move(posted_);
  posted_.clear();
  auto timers = std::move(timers_);
  timers_.clear();
  timerOfQtId_.clear();
  for (auto& [id, timer] : timers)
    if (timer.qtTimerId != 0) killTimer(timer.qtTimerId);
  for (auto& [id, watch] : watches) {
    delete watch.read;
    delete watch.write;
  }
  for (QSocketNotifier* notifier : graveyard_) delete notifier;
}

EventLoop::WatchId QtEventLoop::addWatch(int fd, unsigned events, WatchCallback callback) {
  const WatchId id = nextWatchId_++;
  Watch& watch = watches_[id];
  watch.fd = fd;
  watch.callback = std::make_shared<WatchCallback>(std::move(callback));
  watch.events = events & (kReadable | kWritable);
  applyEvents(id, watch);
  return id;
}

void QtEventLoop::setWatchEvents(WatchId id, unsigned events) {
  const auto it = watches_.find(id);
  if (it == watches_.end()) return;
  events &= kReadable | kWritable;
  if (it->second.events == events) return;
  it->second.events = events;
  applyEvents(id, it->second);
}

void QtEventLoop::removeWatch(WatchId id) {
  const auto it = watches_.find(id);
  if (it == watches_.end()) return;
  // A dispatch in progress holds its own reference to the callback.
  dropNotifier(it->second.read);
  dropNotifier(it->second.write);
  watches_.erase(it);
}

void QtEventLoop::applyEvents(WatchId id, Watch& watch) {
  const auto ensure = [&](QSocketNotifier*& notifier, QSocketNotifier::Type type, unsigned kind) {
    const bool wanted = (watch.events & kind) != 0;
    if (notifier == nullptr) {
      if (!wanted) return;
      notifier = new QSocketNotifier(static_cast<qintptr>(watch.fd), type, this);
      connect(notifier, &QSocketNotifier::activated, this,
              [this, id, kind] { notifierActivated(id, kind); });
      return;  // created enabled
    }
    if (notifier->isEnabled() != wanted) notifier->setEnabled(wanted);
  };
  ensure(watch.read, QSocketNotifier::Read, kReadable);
  ensure(watch.write, QSocketNotifier::Write, kWritable);
}

void QtEventLoop::notifierActivated(WatchId id, unsigned kind) {
  const auto it = watches_.find(id);
  if (it == watches_.end()) return;
  const unsigned kinds = kind & it->second.events;
  if (kinds == 0) return;
  const std::shared_ptr<WatchCallback> callback = it->second.callback;
  ++dispatchDepth_;
  invoke([&] { (*callback)(kinds); });
  if (--dispatchDepth_ == 0 && !graveyard_.empty() && !reapScheduled_) {
    reapScheduled_ = true;
    QCoreApplication::postEvent(this, new QEvent(kReapEvent));
  }
}

void QtEventLoop::dropNotifier(QSocketNotifier*& notifier) {
  if (notifier == nullptr) return;
  // The descriptor may be closed right after this: the notifier must stop watching now.
  notifier->setEnabled(false);
  disconnect(notifier, nullptr, this, nullptr);
  // The notifier may be the one whose activation is on the stack; it is deleted by a
  // posted event of the loop's own (deleteLater would wait for a top-level event loop,
  // which a program that only calls processEvents never reaches).
  graveyard_.push_back(notifier);
  notifier = nullptr;
  if (!reapScheduled_) {
    reapScheduled_ = true;
    QCoreApplication::postEvent(this, new QEvent(kReapEvent));
  }
}

void QtEventLoop::post(std::function<void()> callback) {
  posted_.push_back(std::move(callback));
  schedulePostedRun();
}

void QtEventLoop::schedulePostedRun() {
  if (postedRunScheduled_) return;
  postedRunScheduled_ = true;
  QCoreApplication::postEvent(this, new QEvent(kRunPostedEvent));
}

void QtEventLoop::runPosted() {
  postedRunScheduled_ = false;
  // Only the callbacks posted before this run; those they post wait for the next event, so
  // sockets and timers get their turn in between.
  std::size_t count = posted_.size();
  while (count-- > 0 && !posted_.empty()) {
    std::function<void()> callback = std::move(posted_.front());
    posted_.pop_front();
    invoke(callback);
  }
  if (!posted_.empty()) schedulePostedRun();
}

EventLoop::TimerId QtEventLoop::startTimer(int milliseconds, std::function<void()> callback) {
  const TimerId id = nextTimerId_++;
  Timer& timer = timers_[id];
  timer.callback = std::move(callback);
  if (milliseconds <= 0) {
    // As soon as possible, after the callbacks already posted: through the same queue.
    post([this, id] {
      const auto it = timers_.find(id);
      if (it == timers_.end()) return;
      std::function<void()> fire = std::move(it->second.callback);
      timers_.erase(it);
      fire();
    });
    return id;
  }
  timer.qtTimerId = QObject::startTimer(milliseconds, timerTypeFor(milliseconds));
  if (timer.qtTimerId == 0) {
    // Qt could not start a timer (none left): fire through the queue rather than never.
    std::function<void()> fire = std::move(timer.callback);
    timers_.erase(id);
    post(std::move(fire));
    return id;
  }
  timerOfQtId_.emplace(timer.qtTimerId, id);
  return id;
}

void QtEventLoop::cancelTimer(TimerId id) {
  const auto it = timers_.find(id);
  if (it == timers_.end()) return;
  if (it->second.qtTimerId != 0) {
    killTimer(it->second.qtTimerId);
    timerOfQtId_.erase(it->second.qtTimerId);
  }
  timers_.erase(it);
}

void QtEventLoop::timerEvent(QTimerEvent* event) {
  const int qtId = event->timerId();
  const auto found = timerOfQtId_.find(qtId);
  if (found == timerOfQtId_.end()) return;  // the wake-up timer of processEvents
  killTimer(qtId);                          // every timer of the loop fires once
  const TimerId id = found->second;
  timerOfQtId_.erase(found);
  const auto it = timers_.find(id);
  if (it == timers_.end()) return;
  std::function<void()> fire = std::move(it->second.callback);
  timers_.erase(it);
  invoke(fire);
}

bool QtEventLoop::event(QEvent* event) {
  if (event->type() == kRunPostedEvent) {
    runPosted();
    return true;
  }
  if (event->type() == kThreadCallbackEvent) {
    invoke(static_cast<ThreadCallbackEvent*>(event)->callback());
    return true;
  }
  if (event->type() == kReapEvent) {
    reapScheduled_ = false;
    // No activation runs at depth 0; inside a nested wait the notifiers wait until the
    // outermost activation has returned (notifierActivated schedules the reap then).
    if (dispatchDepth_ == 0) {
      for (QSocketNotifier* notifier : graveyard_) delete notifier;
      graveyard_.clear();
    }
    return true;
  }
  return QObject::event(event);
}

std::shared_ptr<ThreadPoster> QtEventLoop::threadPoster() {
  return poster_;
}

bool QtEventLoop::processEvents(int maxWaitMs) {
  const std::uint64_t before = handledCount_;
  if (maxWaitMs == 0) {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
  } else {
    // WaitForMoreEvents has no time limit of its own: a timer of ours ends the wait.
    const int wakeUp = maxWaitMs > 0 ? QObject::startTimer(maxWaitMs, Qt::PreciseTimer) : 0;
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    if (wakeUp != 0) killTimer(wakeUp);
  }
  return handledCount_ != before;
}

void QtEventLoop::invoke(const std::function<void()>& callback) {
  ++handledCount_;
  if (!callback) return;
  try {
    callback();
  } catch (const std::exception& error) {
    qWarning("varnook: a network callback failed: %s", error.what());
  } catch (...) {
    qWarning("varnook: a network callback failed");
  }
}

}  // namespace varnook
