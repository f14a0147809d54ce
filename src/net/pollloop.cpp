#include "net/pollloop.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <mutex>

namespace varnook {

// The cross-thread queue. Other threads append under the mutex and wake the loop through
// the eventfd; the loop swaps the queue out and runs it.
struct PollLoop::Inbox final : ThreadPoster {
  std::mutex mutex;
  bool open = true;
  bool wakePending = false;
  int fd = -1;
  std::vector<std::function<void()>> queue;

  bool post(std::function<void()> callback) override {
    std::unique_lock lock(mutex);
    if (!open) {
      lock.unlock();
      callback = nullptr;  // destroyed here, outside the lock
      return false;
    }
    queue.push_back(std::move(callback));
    wakeLocked();
    return true;
  }

  void wake() {
    std::lock_guard lock(mutex);
    if (open) wakeLocked();
  }

  void wakeLocked() {
    if (wakePending) return;
    wakePending = true;
    const std::uint64_t one = 1;
    // The counter cannot overflow with one pending wake-up at a time.
    [[maybe_unused]] ssize_t written = ::write(fd, &one, sizeof one);
  }
};

PollLoop::PollLoop() : inbox_(std::make_shared<Inbox>()) {
  inbox_->fd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  // Without an eventfd (descriptor limit reached) the loop still runs; only callbacks from
  // other threads are then delayed until the next event wakes it.
  if (inbox_->fd >= 0) {
    inboxWatch_ = addWatch(inbox_->fd, kReadable, [this](unsigned) { drainInbox(); });
  }
}

PollLoop::~PollLoop() {
  std::vector<std::function<void()>> dropped;
  {
    std::lock_guard lock(inbox_->mutex);
    inbox_->open = false;
    if (inbox_->fd >= 0) ::close(inbox_->fd);
    inbox_->fd = -1;
    dropped.swap(inbox_->queue);
  }
}

PollLoop::Watch* PollLoop::findWatch(WatchId id) {
  const auto slot = static_cast<std::uint32_t>(id & 0xffffffffu);
  if (slot >= watches_.size() || watches_[slot].id != id || id == 0) return nullptr;
  return &watches_[slot];
}

EventLoop::WatchId PollLoop::addWatch(int fd, unsigned events, WatchCallback callback) {
  std::uint32_t slot;
  if (!freeSlots_.empty()) {
    slot = freeSlots_.back();
    freeSlots_.pop_back();
  } else {
    slot = static_cast<std::uint32_t>(watches_.size());
    watches_.emplace_back();
  }
  Watch& w = watches_[slot];
  w.id = (static_cast<WatchId>(nextGeneration_++) << 32) | slot;
  w.fd = fd;
  w.events = events & (kReadable | kWritable);
  w.callback = std::make_shared<WatchCallback>(std::move(callback));
  ++liveWatches_;
  pollSetDirty_ = true;
  return w.id;
}

void PollLoop::setWatchEvents(WatchId id, unsigned events) {
  Watch* w = findWatch(id);
  events &= kReadable | kWritable;
  if (w == nullptr || w->events == events) return;
  w->events = events;
  pollSetDirty_ = true;
}

void PollLoop::removeWatch(WatchId id) {
  Watch* w = findWatch(id);
  if (w == nullptr) return;
  const auto slot = static_cast<std::uint32_t>(id & 0xffffffffu);
  w->id = 0;
  w->fd = -1;
  w->events = 0;
  // A dispatch in progress holds its own reference to the callback.
  w->callback.reset();
  freeSlots_.push_back(slot);
  --liveWatches_;
  pollSetDirty_ = true;
}

void PollLoop::post(std::function<void()> callback) {
  posted_.push_back(std::move(callback));
}

EventLoop::TimerId PollLoop::startTimer(int milliseconds, std::function<void()> callback) {
  const TimerId id = nextTimerId_++;
  const auto deadline =
      Clock::now() + std::chrono::milliseconds(milliseconds < 0 ? 0 : milliseconds);
  timers_.emplace(std::make_pair(deadline, id), std::move(callback));
  timerDeadlines_.emplace(id, deadline);
  return id;
}

void PollLoop::cancelTimer(TimerId id) {
  const auto it = timerDeadlines_.find(id);
  if (it == timerDeadlines_.end()) return;
  timers_.erase(std::make_pair(it->second, id));
  timerDeadlines_.erase(it);
}

std::shared_ptr<ThreadPoster> PollLoop::threadPoster() {
  return inbox_;
}

void PollLoop::quit() {
  quitRequested_.store(true);
  inbox_->wake();
}

void PollLoop::run() {
  while (!quitRequested_.load()) processEvents(-1);
  quitRequested_.store(false);
}

void PollLoop::rebuildPollSet() {
  pollSet_.clear();
  pollIds_.clear();
  for (const Watch& w : watches_) {
    if (w.id == 0 || w.events == 0) continue;
    short events = 0;
    if (w.events & kReadable) events |= POLLIN | POLLRDHUP;
    if (w.events & kWritable) events |= POLLOUT;
    pollSet_.push_back(pollfd{w.fd, events, 0});
    pollIds_.push_back(w.id);
  }
  pollSetDirty_ = false;
}

int PollLoop::waitTimeout(int maxWaitMs) const {
  if (!posted_.empty() || quitRequested_.load()) return 0;
  if (timers_.empty()) return maxWaitMs < 0 ? -1 : maxWaitMs;
  const auto left =
      std::chrono::ceil<std::chrono::milliseconds>(timers_.begin()->first.first - Clock::now());
  const std::int64_t timerWait = left.count() < 0 ? 0 : left.count();
  const std::int64_t limit = maxWaitMs < 0 ? std::numeric_limits<int>::max() : maxWaitMs;
  return static_cast<int>(std::min(timerWait, limit));
}

bool PollLoop::processEvents(int maxWaitMs) {
  if (pollSetDirty_) rebuildPollSet();
  const int timeout = waitTimeout(maxWaitMs);
  int ready = ::poll(pollSet_.data(), pollSet_.size(), timeout);
  if (ready < 0) ready = 0;  // EINTR: treat as an empty round
  bool handled = false;
  if (ready > 0) handled = dispatchReady(static_cast<std::size_t>(ready));
  handled = fireDueTimers() || handled;
  handled = runPosted() || handled;
  return handled;
}

bool PollLoop::dispatchReady(std::size_t readyCount) {
  // Callbacks may change the watches or nest another round, which rebuilds pollSet_: take
  // the results out first.
  struct Ready {
    WatchId id;
    short revents;
  };
  std::vector<Ready> ready;
  ready.reserve(readyCount);
  for (std::size_t i = 0; i < pollSet_.size() && ready.size() < readyCount; ++i) {
    if (pollSet_[i].revents != 0) ready.push_back({pollIds_[i], pollSet_[i].revents});
  }
  bool handled = false;
  for (const Ready& r : ready) {
    Watch* w = findWatch(r.id);
    if (w == nullptr) continue;
    unsigned kinds = 0;
    if (r.revents & (POLLIN | POLLPRI | POLLRDHUP | POLLHUP | POLLERR | POLLNVAL)) {
      kinds |= kReadable;
    }
    if (r.revents & (POLLOUT | POLLHUP | POLLERR | POLLNVAL)) kinds |= kWritable;
    kinds &= w->events;
    if (kinds == 0) continue;
    const std::shared_ptr<WatchCallback> callback = w->callback;
    (*callback)(kinds);
    handled = true;
  }
  return handled;
}

bool PollLoop::fireDueTimers() {
  if (timers_.empty()) return false;
  const auto now = Clock::now();
  bool handled = false;
  while (!timers_.empty() && timers_.begin()->first.first <= now) {
    auto node = timers_.extract(timers_.begin());
    timerDeadlines_.erase(node.key().second);
    node.mapped()();
    handled = true;
  }
  return handled;
}

bool PollLoop::runPosted() {
  std::size_t count = posted_.size();
  bool handled = false;
  while (count-- > 0 && !posted_.empty()) {
    std::function<void()> callback = std::move(posted_.front());
    posted_.pop_front();
    callback();
    handled = true;
  }
  return handled;
}

void PollLoop::drainInbox() {
  std::vector<std::function<void()>> callbacks;
  {
    std::lock_guard lock(inbox_->mutex);
    std::uint64_t count;
    while (::read(inbox_->fd, &count, sizeof count) > 0) {
    }
    inbox_->wakePending = false;
    callbacks.swap(inbox_->queue);
  }
  for (auto& callback : callbacks) callback();
}

}  // namespace varnook
