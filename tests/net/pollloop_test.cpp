// The rest of the EventLoop contract is checked for PollLoop next to QtEventLoop in
// tests/ui/eventloop_test.cpp; run() and quit() are PollLoop's own.
#include "net/pollloop.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace varnook {
namespace {

TEST(PollLoop, QuitEndsRunAlsoFromAnotherThread) {
  PollLoop loop;
  loop.post([&] { loop.quit(); });
  loop.run();  // returns

  std::thread other([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    loop.quit();
  });
  loop.run();
  other.join();
}

}  // namespace
}  // namespace varnook
