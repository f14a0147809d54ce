#include "net/eventloop.h"

#include <algorithm>
#include <chrono>

namespace varnook {

bool EventLoop::runUntil(const std::function<bool()>& done, int timeoutMs) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
  while (!done()) {
    int wait = -1;
    if (timeoutMs >= 0) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
      if (left.count() <= 0) return done();
      wait = static_cast<int>(std::min<std::int64_t>(left.count(), 1 << 30));
    }
    processEvents(wait);
  }
  return true;
}

}  // namespace varnook
