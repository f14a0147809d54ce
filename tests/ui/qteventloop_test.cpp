#include "ui/qteventloop.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace varnook {
namespace {

using std::chrono::milliseconds;

// A connected pair of non-blocking stream sockets, closed at the end of the test.
struct SocketPair {
  int fd[2] = {-1, -1};
  SocketPair() { EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, fd), 0); }
  ~SocketPair() {
    for (int f : fd) {
      if (f >= 0) ::close(f);
    }
  }
  void send(const char* bytes) { ASSERT_GT(::write(fd[1], bytes, std::strlen(bytes)), 0); }
  std::string drain() {
    std::string out;
    char buf[256];
    for (ssize_t n; (n = ::read(fd[0], buf, sizeof buf)) > 0;) out.append(buf, n);
    return out;
  }
};

class QtEventLoopTest : public ::testing::Test {
 protected:
  bool runUntil(const std::function<bool()>& done) { return loop.runUntil(done, 2000); }
  QtEventLoop loop;
};

TEST_F(QtEventLoopTest, WatchesReportReadinessAndHangUpAndStayQuietWhileDisabled) {
  SocketPair pair;
  std::string received;
  int calls = 0;
  const auto id = loop.addWatch(pair.fd[0], EventLoop::kReadable, [&](unsigned ready) {
    EXPECT_EQ(ready, EventLoop::kReadable);
    ++calls;
    received += pair.drain();
  });
  pair.send("hello");
  ASSERT_TRUE(runUntil([&] { return received == "hello"; }));
  // Disabled: data waits unread; enabled again: the waiting data is seen.
  loop.setWatchEvents(id, 0);
  const int callsBefore = calls;
  pair.send("more");
  loop.processEvents(50);
  EXPECT_EQ(calls, callsBefore);
  loop.setWatchEvents(id, EventLoop::kReadable);
  ASSERT_TRUE(runUntil([&] { return received == "hellomore"; }));

  // A hang-up counts as readiness. (Writable readiness: every window test whose transfer
  // reaches the loopback server connects through it, e.g. the 404 in the list tests.)
  bool eof = false;
  loop.setWatchEvents(id, 0);
  const auto hangUp = loop.addWatch(pair.fd[0], EventLoop::kReadable, [&](unsigned) {
    char c;
    eof = eof || ::read(pair.fd[0], &c, 1) == 0;
  });
  ::close(pair.fd[1]);
  pair.fd[1] = -1;
  ASSERT_TRUE(runUntil([&] { return eof; }));
  loop.removeWatch(hangUp);
  loop.removeWatch(id);
  EXPECT_EQ(loop.watchCount(), 0u);
}

TEST_F(QtEventLoopTest, WatchRemovedInItsOwnOrAnotherCallbackOfTheRoundIsNotCalledAgain) {
  SocketPair pairs[2];
  int calls = 0;
  EventLoop::WatchId ids[2] = {};
  // Both become ready in the same round; whichever runs first removes both and closes
  // its descriptor, as an owner does right after removing the watch.
  for (int i = 0; i < 2; ++i) {
    ids[i] = loop.addWatch(pairs[i].fd[0], EventLoop::kReadable, [&, i](unsigned) {
      ++calls;
      loop.removeWatch(ids[i]);
      loop.removeWatch(ids[1 - i]);
      ::close(pairs[i].fd[0]);
      pairs[i].fd[0] = -1;
    });
  }
  for (SocketPair& pair : pairs) pair.send("x");
  ASSERT_TRUE(runUntil([&] { return calls >= 1; }));
  loop.processEvents(30);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(loop.watchCount(), 0u);
}

TEST_F(QtEventLoopTest, PostsAndTimersRunInOrderAfterTheCurrentEventAndCancelledOnesNever) {
  std::vector<std::string> order;
  loop.post([&] {
    order.push_back("post1");
    loop.post([&] { order.push_back("post3"); });  // after the ones already queued
  });
  loop.startTimer(0, [&] { order.push_back("timer0"); });
  loop.post([&] { order.push_back("post2"); });
  loop.startTimer(60, [&] { order.push_back("60"); });
  loop.startTimer(20, [&] { order.push_back("20"); });
  const auto cancelled = loop.startTimer(40, [&] { order.push_back("40"); });
  const auto zero = loop.startTimer(0, [&] { order.push_back("cancelled 0"); });
  loop.cancelTimer(cancelled);
  loop.cancelTimer(zero);
  loop.cancelTimer(12345);     // unknown ids are ignored
  EXPECT_TRUE(order.empty());  // nothing runs inside post()
  ASSERT_TRUE(runUntil([&] { return order.size() == 6; }));
  loop.processEvents(80);
  EXPECT_EQ(order, (std::vector<std::string>{"post1", "timer0", "post2", "post3", "20", "60"}));

  // A timer cancelled by an earlier callback of the same round does not fire.
  int fired = 0;
  EventLoop::TimerId second = 0;
  loop.startTimer(10, [&] {
    ++fired;
    loop.cancelTimer(second);
  });
  second = loop.startTimer(10, [&] { fired += 100; });
  std::this_thread::sleep_for(milliseconds(30));  // both are due together
  loop.processEvents(0);
  loop.processEvents(30);
  EXPECT_EQ(fired, 1);
}

TEST_F(QtEventLoopTest, WaitsAtMostTheLimitAndTellsWhetherItHandledAnything) {
  // Qt's own start-up events of a fresh process would end the first wait early.
  QCoreApplication::processEvents();
  QCoreApplication::sendPostedEvents();
  EXPECT_FALSE(loop.processEvents(50));
  EXPECT_FALSE(loop.processEvents(0));
  loop.post([] {});
  EXPECT_TRUE(loop.processEvents(0));
  EXPECT_FALSE(loop.runUntil([] { return false; }, 60));  // runUntil gives up in time

  // A nested wait inside a callback (as the request-name wait does) sees other events,
  // and a throwing callback does not escape into Qt.
  SocketPair pair;
  bool innerSaw = false, outerDone = false;
  const auto id = loop.addWatch(pair.fd[0], EventLoop::kReadable, [&](unsigned) {
    pair.drain();
    innerSaw = true;
  });
  loop.post([] { throw std::runtime_error("boom"); });
  loop.post([&] {
    pair.send("x");
    outerDone = loop.runUntil([&] { return innerSaw; }, 2000);
  });
  ASSERT_TRUE(runUntil([&] { return outerDone; }));
  loop.removeWatch(id);
}

TEST(QtEventLoopLifetime, PosterDeliversOnTheLoopThreadAndDropsWorkOnceTheLoopIsGone) {
  std::shared_ptr<ThreadPoster> poster;
  auto token = std::make_shared<int>(0);
  bool ran = false;
  {
    QtEventLoop loop;
    poster = loop.threadPoster();
    std::atomic<int> delivered{0};
    bool wrongThread = false;
    std::thread worker([&, loopThread = std::this_thread::get_id()] {
      for (int i = 0; i < 100; ++i) {
        poster->post([&, loopThread] {
          wrongThread = wrongThread || std::this_thread::get_id() != loopThread;
          ++delivered;
        });
      }
    });
    worker.join();
    ASSERT_TRUE(loop.runUntil([&] { return delivered.load() == 100; }, 2000));
    EXPECT_FALSE(wrongThread);
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

}  // namespace
}  // namespace varnook
