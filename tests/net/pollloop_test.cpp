#include "net/pollloop.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace varnook {
namespace {

// A connected pair of local stream sockets, closed at the end.
struct SocketPair {
  int fd[2] = {-1, -1};
  SocketPair() { EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, fd), 0); }
  ~SocketPair() {
    for (int f : fd) {
      if (f >= 0) ::close(f);
    }
  }
};

TEST(PollLoop, PostedCallbacksRunInOrderAfterTheCurrentEvent) {
  PollLoop loop;
  std::vector<std::string> trace;
  loop.post([&] {
    trace.push_back("a");
    loop.post([&] { trace.push_back("c"); });  // runs in the next round, after b
    trace.push_back("a-end");
  });
  loop.post([&] { trace.push_back("b"); });
  loop.processEvents(0);
  EXPECT_EQ(trace, (std::vector<std::string>{"a", "a-end", "b"}));
  loop.processEvents(0);
  EXPECT_EQ(trace.back(), "c");
}

TEST(PollLoop, TimersFireInDeadlineOrderAndCancelledOnesNever) {
  PollLoop loop;
  std::vector<int> fired;
  loop.startTimer(30, [&] { fired.push_back(30); });
  const auto cancelled = loop.startTimer(10, [&] { fired.push_back(10); });
  loop.startTimer(0, [&] { fired.push_back(0); });
  loop.startTimer(20, [&] { fired.push_back(20); });
  loop.cancelTimer(cancelled);
  loop.cancelTimer(cancelled);  // twice is harmless
  loop.cancelTimer(987654);
  ASSERT_TRUE(loop.runUntil([&] { return fired.size() == 3; }, 5000));
  EXPECT_EQ(fired, (std::vector<int>{0, 20, 30}));
}

TEST(PollLoop, WatchReportsReadinessAndHangUpAndCanBeDisabledAndRemovedFromItsCallback) {
  PollLoop loop;
  SocketPair pair;
  int readable = 0;
  EventLoop::WatchId id = 0;
  id = loop.addWatch(pair.fd[0], EventLoop::kReadable, [&](unsigned ready) {
    EXPECT_EQ(ready, unsigned{EventLoop::kReadable});
    ++readable;
    loop.setWatchEvents(id, 0);  // leave the byte unread: a disabled watch stays quiet
  });
  EXPECT_FALSE(loop.processEvents(0));
  ASSERT_EQ(::write(pair.fd[1], "x", 1), 1);
  loop.processEvents(1000);
  loop.processEvents(0);
  EXPECT_EQ(readable, 1);

  loop.setWatchEvents(id, EventLoop::kReadable | EventLoop::kWritable);
  unsigned seen = 0;
  const EventLoop::WatchId second =
      loop.addWatch(pair.fd[0], EventLoop::kWritable, [&](unsigned r) { seen |= r; });
  // The first watch removes itself and the second from inside its callback.
  loop.removeWatch(id);
  id = loop.addWatch(pair.fd[0], EventLoop::kReadable, [&](unsigned) {
    ++readable;
    loop.removeWatch(id);
    loop.removeWatch(second);
  });
  EXPECT_EQ(loop.watchCount(), 3u);  // the two here and the loop's own wake-up
  loop.processEvents(1000);
  loop.processEvents(0);
  EXPECT_EQ(readable, 2);
  EXPECT_EQ(seen, 0u);  // removed before its turn came in the same round
  EXPECT_EQ(loop.watchCount(), 1u);

  // A hang-up counts as readiness of the kinds asked for.
  char byte;
  ASSERT_EQ(::read(pair.fd[0], &byte, 1), 1);  // the byte left unread above
  loop.addWatch(pair.fd[0], EventLoop::kReadable, [&](unsigned ready) { seen = ready; });
  ::close(pair.fd[1]);
  pair.fd[1] = -1;
  loop.processEvents(1000);
  EXPECT_EQ(seen, unsigned{EventLoop::kReadable});
}

TEST(PollLoop, ThreadPosterDeliversOnTheLoopThreadAndDropsAfterTheLoopIsGone) {
  std::shared_ptr<ThreadPoster> poster;
  std::thread::id ranOn;
  {
    PollLoop loop;
    poster = loop.threadPoster();
    std::atomic<bool> done{false};
    std::thread other([&] {
      poster->post([&] {
        ranOn = std::this_thread::get_id();
        done = true;
      });
    });
    EXPECT_TRUE(loop.runUntil([&] { return done.load(); }, 5000));
    other.join();
    EXPECT_EQ(ranOn, std::this_thread::get_id());
  }
  bool ran = false;
  EXPECT_FALSE(poster->post([&] { ran = true; }));
  EXPECT_FALSE(ran);
}

TEST(PollLoop, NestedWaitHandlesOtherEventsInsideACallback) {
  PollLoop loop;
  std::vector<std::string> trace;
  loop.post([&] {
    trace.push_back("outer-begin");
    bool inner = false;
    loop.startTimer(5, [&] {
      trace.push_back("timer");
      inner = true;
    });
    EXPECT_TRUE(loop.runUntil([&] { return inner; }, 5000));
    trace.push_back("outer-end");
  });
  loop.post([&] { trace.push_back("second"); });
  loop.runUntil([&] { return trace.size() == 4; }, 5000);
  // The callback queued behind the outer one ran inside the nested wait.
  EXPECT_EQ(trace, (std::vector<std::string>{"outer-begin", "second", "timer", "outer-end"}));
}

TEST(PollLoop, RunUntilEndsFalseWhenTheTimeRunsOutAndQuitEndsRunAlsoFromAnotherThread) {
  PollLoop loop;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(loop.runUntil([] { return false; }, 50));
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(50));

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
