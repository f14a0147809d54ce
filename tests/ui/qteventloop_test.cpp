#include "ui/qteventloop.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <atomic>
#include <chrono>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace varnook {
namespace {

using Clock = std::chrono::steady_clock;

// A connected pair of non-blocking stream sockets, closed at the end of the test.
struct SocketPair {
  int fd[2] = {-1, -1};
  SocketPair() {
    EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fd), 0);
  }
  ~SocketPair() {
    closeEnd(0);
    closeEnd(1);
  }
  void closeEnd(int i) {
    if (fd[i] >= 0) ::close(fd[i]);
    fd[i] = -1;
  }
  void send(int i, const std::string& bytes) {
    ASSERT_EQ(::write(fd[i], bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }
  std::string drain(int i) {
    std::string out;
    char buf[256];
    ssize_t n;
    while ((n = ::read(fd[i], buf, sizeof buf)) > 0) out.append(buf, static_cast<std::size_t>(n));
    return out;
  }
};

class QtEventLoopTest : public ::testing::Test {
 protected:
  // Runs the loop until `done` or two seconds have passed.
  bool runUntil(const std::function<bool()>& done) { return loop.runUntil(done, 2000); }
  QtEventLoop loop;
};

TEST_F(QtEventLoopTest, ReadableWatchSeesDataAndStopsWhenDisabled) {
  SocketPair pair;
  std::string received;
  int calls = 0;
  const auto id = loop.addWatch(pair.fd[0], EventLoop::kReadable, [&](unsigned ready) {
    EXPECT_EQ(ready, EventLoop::kReadable);
    ++calls;
    received += pair.drain(0);
  });
  pair.send(1, "hello");
  ASSERT_TRUE(runUntil([&] { return received == "hello"; }));

  // Disabled: data waits unread, the callback is not called.
  loop.setWatchEvents(id, 0);
  const int callsBefore = calls;
  pair.send(1, "more");
  loop.processEvents(50);
  EXPECT_EQ(calls, callsBefore);
  // Enabled again: the waiting data is seen.
  loop.setWatchEvents(id, EventLoop::kReadable);
  ASSERT_TRUE(runUntil([&] { return received == "hellomore"; }));
  loop.removeWatch(id);
  EXPECT_EQ(loop.watchCount(), 0u);
}

TEST_F(QtEventLoopTest, WritableWatchAndBothKinds) {
  SocketPair pair;
  unsigned seen = 0;
  const auto id =
      loop.addWatch(pair.fd[0], EventLoop::kWritable, [&](unsigned ready) { seen |= ready; });
  ASSERT_TRUE(runUntil([&] { return seen == EventLoop::kWritable; }));
  // Asking for both kinds reports reading too once data arrives.
  loop.setWatchEvents(id, EventLoop::kReadable | EventLoop::kWritable);
  pair.send(1, "x");
  seen = 0;
  ASSERT_TRUE(runUntil([&] { return (seen & EventLoop::kReadable) != 0; }));
  loop.removeWatch(id);
}

TEST_F(QtEventLoopTest, HangUpCountsAsReadiness) {
  SocketPair pair;
  bool eof = false;
  const auto id = loop.addWatch(pair.fd[0], EventLoop::kReadable, [&](unsigned) {
    char c;
    if (::read(pair.fd[0], &c, 1) == 0) eof = true;
  });
  pair.closeEnd(1);
  ASSERT_TRUE(runUntil([&] { return eof; }));
  loop.removeWatch(id);
}

TEST_F(QtEventLoopTest, WatchRemovedInsideItsOwnCallbackAndDescriptorClosed) {
  SocketPair pair;
  int calls = 0;
  EventLoop::WatchId id = 0;
  id = loop.addWatch(pair.fd[0], EventLoop::kReadable, [&](unsigned) {
    ++calls;
    loop.removeWatch(id);
    pair.closeEnd(0);  // the owner closes the descriptor right after removing the watch
  });
  pair.send(1, "x");
  ASSERT_TRUE(runUntil([&] { return calls == 1; }));
  // Another round must neither call it again nor touch the closed descriptor.
  loop.processEvents(30);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(loop.watchCount(), 0u);
}

TEST_F(QtEventLoopTest, WatchRemovedByAnotherCallbackDoesNotFire) {
  SocketPair a, b;
  int aCalls = 0, bCalls = 0;
  EventLoop::WatchId aId = 0, bId = 0;
  // Both become ready in the same round; whichever runs first removes the other.
  aId = loop.addWatch(a.fd[0], EventLoop::kReadable, [&](unsigned) {
    ++aCalls;
    a.drain(0);
    loop.removeWatch(bId);
  });
  bId = loop.addWatch(b.fd[0], EventLoop::kReadable, [&](unsigned) {
    ++bCalls;
    b.drain(0);
    loop.removeWatch(aId);
  });
  a.send(1, "x");
  b.send(1, "y");
  ASSERT_TRUE(runUntil([&] { return aCalls + bCalls >= 1; }));
  loop.processEvents(30);
  EXPECT_EQ(aCalls + bCalls, 1);
  loop.removeWatch(aId);
  loop.removeWatch(bId);
}

TEST_F(QtEventLoopTest, PostedCallbacksAndZeroTimersRunInOrderAfterTheCurrentEvent) {
  std::vector<std::string> order;
  loop.post([&] {
    order.push_back("post1");
    // Posted from a callback: runs after the ones already queued.
    loop.post([&] { order.push_back("post3"); });
  });
  loop.startTimer(0, [&] { order.push_back("timer"); });
  loop.post([&] { order.push_back("post2"); });
  EXPECT_TRUE(order.empty());  // nothing runs inside post()
  ASSERT_TRUE(runUntil([&] { return order.size() == 4; }));
  EXPECT_EQ(order, (std::vector<std::string>{"post1", "timer", "post2", "post3"}));
}

TEST_F(QtEventLoopTest, TimersFireOnceInDeadlineOrderAndCancelledOnesNever) {
  std::vector<int> fired;
  loop.startTimer(60, [&] { fired.push_back(60); });
  loop.startTimer(20, [&] { fired.push_back(20); });
  const auto cancelled = loop.startTimer(40, [&] { fired.push_back(40); });
  const auto zero = loop.startTimer(0, [&] { fired.push_back(0); });
  loop.cancelTimer(cancelled);
  loop.cancelTimer(zero);
  loop.cancelTimer(12345);  // unknown ids are ignored
  const auto start = Clock::now();
  ASSERT_TRUE(runUntil([&] { return fired.size() == 2; }));
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(55));
  loop.processEvents(80);
  EXPECT_EQ(fired, (std::vector<int>{20, 60}));
}

TEST_F(QtEventLoopTest, TimerCancelledByAnEarlierCallbackOfTheSameRound) {
  int fired = 0;
  EventLoop::TimerId second = 0;
  loop.startTimer(10, [&] {
    ++fired;
    loop.cancelTimer(second);
  });
  second = loop.startTimer(10, [&] { fired += 100; });
  std::this_thread::sleep_for(std::chrono::milliseconds(30));  // both are due together
  loop.processEvents(0);
  loop.processEvents(30);
  EXPECT_EQ(fired, 1);
}

TEST_F(QtEventLoopTest, WaitsAtMostTheLimitAndTellsWhetherItHandledAnything) {
  // Qt's own start-up events of a fresh process would end the first wait early.
  QCoreApplication::processEvents();
  QCoreApplication::sendPostedEvents();
  const auto start = Clock::now();
  EXPECT_FALSE(loop.processEvents(50));
  const auto waited = Clock::now() - start;
  EXPECT_GE(waited, std::chrono::milliseconds(40));
  EXPECT_LT(waited, std::chrono::milliseconds(1500));
  EXPECT_FALSE(loop.processEvents(0));
  loop.post([] {});
  EXPECT_TRUE(loop.processEvents(0));
  const auto start2 = Clock::now();
  EXPECT_FALSE(loop.runUntil([] { return false; }, 60));  // runUntil gives up in time
  EXPECT_GE(Clock::now() - start2, std::chrono::milliseconds(55));
}

TEST_F(QtEventLoopTest, NestedWaitInsideACallbackHandlesOtherEvents) {
  SocketPair pair;
  bool innerSaw = false, outerDone = false;
  const auto id = loop.addWatch(pair.fd[0], EventLoop::kReadable, [&](unsigned) {
    pair.drain(0);
    innerSaw = true;
  });
  loop.post([&] {
    pair.send(1, "x");
    // The nested wait (as the request-name wait does) sees the socket event.
    outerDone = loop.runUntil([&] { return innerSaw; }, 2000);
  });
  ASSERT_TRUE(runUntil([&] { return outerDone; }));
  loop.removeWatch(id);
}

TEST_F(QtEventLoopTest, ThreadPosterDeliversOnTheLoopThread) {
  const auto loopThread = std::this_thread::get_id();
  std::atomic<int> delivered{0};
  bool wrongThread = false;
  auto poster = loop.threadPoster();
  std::thread worker([&] {
    for (int i = 0; i < 100; ++i) {
      poster->post([&] {
        if (std::this_thread::get_id() != loopThread) wrongThread = true;
        ++delivered;
      });
    }
  });
  worker.join();
  ASSERT_TRUE(runUntil([&] { return delivered.load() == 100; }));
  EXPECT_FALSE(wrongThread);
}

TEST(QtEventLoopLifetime, PosterRefusesAfterTheLoopIsGoneAndPendingWorkIsDropped) {
  std::shared_ptr<ThreadPoster> poster;
  auto token = std::make_shared<int>(0);
  bool ran = false;
  {
    QtEventLoop loop;
    poster = loop.threadPoster();
    loop.post([&ran, token] { ran = true; });
    loop.startTimer(10, [&ran, token] { ran = true; });
    ASSERT_TRUE(poster->post([&ran, token] { ran = true; }));
  }
  // Everything queued was destroyed with the loop, without running.
  EXPECT_EQ(token.use_count(), 1);
  EXPECT_FALSE(poster->post([&ran, token] { ran = true; }));
  EXPECT_EQ(token.use_count(), 1);  // the refused callback is destroyed at once
  QCoreApplication::processEvents();
  EXPECT_FALSE(ran);
}

TEST_F(QtEventLoopTest, ThrowingCallbackDoesNotEscapeIntoQt) {
  bool after = false;
  loop.post([] { throw std::runtime_error("boom"); });
  loop.post([&] { after = true; });
  ASSERT_TRUE(runUntil([&] { return after; }));
}

}  // namespace
}  // namespace varnook
