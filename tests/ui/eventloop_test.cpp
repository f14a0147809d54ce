// The EventLoop contract, checked once for both implementations: PollLoop (poll(2)) and
// QtEventLoop (Qt's notifiers, timers and queued invocations).
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <stdexcept>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#include "net/pollloop.h"
#include "ui/qteventloop.h"

namespace varnook {
namespace {

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

template <typename Loop>
class EventLoopTest : public ::testing::Test {
 protected:
  static constexpr bool kQt = std::is_same_v<Loop, QtEventLoop>;
  bool runUntil(const std::function<bool()>& done) { return loop.runUntil(done, 2000); }
  Loop loop;
};
using Loops = ::testing::Types<PollLoop, QtEventLoop>;
TYPED_TEST_SUITE(EventLoopTest, Loops);

TYPED_TEST(EventLoopTest, PostsAndTimersRunInOrderAfterTheCurrentEventAndCancelledOnesNever) {
  auto& loop = this->loop;
  std::vector<std::string> order;
  loop.post([&] {
    order.push_back("post1");
    loop.post([&] { order.push_back("post3"); });  // after the ones already queued
    order.push_back("post1-end");
  });
  loop.startTimer(0, [&] { order.push_back("timer0"); });
  loop.post([&] { order.push_back("post2"); });
  loop.startTimer(60, [&] { order.push_back("60"); });
  loop.startTimer(20, [&] { order.push_back("20"); });
  const auto cancelled = loop.startTimer(40, [&] { order.push_back("40"); });
  const auto zero = loop.startTimer(0, [&] { order.push_back("cancelled 0"); });
  loop.cancelTimer(cancelled);
  loop.cancelTimer(zero);
  loop.cancelTimer(zero);      // twice is harmless
  loop.cancelTimer(12345);     // unknown ids are ignored
  EXPECT_TRUE(order.empty());  // nothing runs inside post()
  if constexpr (!TestFixture::kQt) {
    loop.processEvents(0);  // one round: due timers first; post3 waits for the next round
    EXPECT_EQ(order, (std::vector<std::string>{"timer0", "post1", "post1-end", "post2"}));
  }
  ASSERT_TRUE(this->runUntil([&] { return order.size() == 7; }));
  loop.processEvents(80);
  std::vector<std::string> expected = {"post1", "post1-end", "timer0", "post2",
                                       "post3", "20",        "60"};
  if constexpr (!TestFixture::kQt)
    std::rotate(expected.begin(), expected.begin() + 2, expected.begin() + 3);
  EXPECT_EQ(order, expected);

  // A timer cancelled by an earlier callback of the same round does not fire.
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

TYPED_TEST(EventLoopTest, WatchesReportReadinessAndHangUpAndStayQuietWhileDisabled) {
  auto& loop = this->loop;
  const std::size_t own = loop.watchCount();  // PollLoop keeps one for its wake-up
  SocketPair pair;
  std::string received;
  int calls = 0;
  EventLoop::WatchId id = 0;
  id = loop.addWatch(pair.fd[0], EventLoop::kReadable, [&](unsigned ready) {
    EXPECT_EQ(ready, unsigned{EventLoop::kReadable});
    ++calls;
    loop.setWatchEvents(id, 0);  // leave the bytes unread: a disabled watch stays quiet
  });
  EXPECT_FALSE(loop.processEvents(0));
  pair.send("hello");
  ASSERT_TRUE(this->runUntil([&] { return calls == 1; }));
  pair.send("more");
  loop.processEvents(50);
  EXPECT_EQ(calls, 1);
  // Enabled again: the waiting data is seen.
  loop.setWatchEvents(id, EventLoop::kReadable);
  ASSERT_TRUE(this->runUntil([&] { return calls == 2; }));
  EXPECT_EQ(pair.drain(), "hellomore");
  EXPECT_EQ(loop.watchCount(), own + 1);

  // A hang-up counts as readiness of the kinds asked for.
  unsigned seen = 0;
  bool eof = false;
  const auto hangUp = loop.addWatch(pair.fd[0], EventLoop::kReadable, [&](unsigned ready) {
    seen = ready;
    char c;
    eof = eof || ::read(pair.fd[0], &c, 1) == 0;
  });
  ::close(pair.fd[1]);
  pair.fd[1] = -1;
  ASSERT_TRUE(this->runUntil([&] { return eof; }));
  EXPECT_EQ(seen, unsigned{EventLoop::kReadable});
  loop.removeWatch(hangUp);
  loop.removeWatch(id);
  loop.removeWatch(id);  // unknown ids are ignored
  EXPECT_EQ(loop.watchCount(), own);
}

TYPED_TEST(EventLoopTest, WatchRemovedInItsOwnOrAnotherCallbackOfTheRoundIsNotCalledAgain) {
  auto& loop = this->loop;
  const std::size_t own = loop.watchCount();
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
  ASSERT_TRUE(this->runUntil([&] { return calls >= 1; }));
  loop.processEvents(30);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(loop.watchCount(), own);
}

TYPED_TEST(EventLoopTest, WaitsAtMostTheLimitTellsWhetherItHandledAnythingAndNests) {
  auto& loop = this->loop;
  // Qt's own start-up events of a fresh process would end the first wait early.
  QCoreApplication::processEvents();
  QCoreApplication::sendPostedEvents();
  EXPECT_FALSE(loop.processEvents(50));
  EXPECT_FALSE(loop.processEvents(0));
  loop.post([] {});
  EXPECT_TRUE(loop.processEvents(0));
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(loop.runUntil([] { return false; }, 50));  // runUntil gives up in time
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(50));

  // A nested wait inside a callback (as the request-name wait does) handles watches and
  // timers; PollLoop also runs the posts queued behind the waiting one.
  SocketPair pair;
  std::vector<std::string> trace;
  const auto id = loop.addWatch(pair.fd[0], EventLoop::kReadable, [&](unsigned) {
    pair.drain();
    trace.push_back("watch");
  });
  if constexpr (TestFixture::kQt) {  // and a throwing callback does not escape into Qt
    loop.post([] { throw std::runtime_error("boom"); });
  }
  loop.post([&] {
    trace.push_back("outer-begin");
    pair.send("x");
    bool timer = false;
    loop.startTimer(5, [&] { timer = true; });
    EXPECT_TRUE(loop.runUntil([&] { return timer && trace.back() != "outer-begin"; }, 2000));
    trace.push_back("outer-end");
  });
  loop.post([&] { trace.push_back("second"); });
  ASSERT_TRUE(this->runUntil([&] { return trace.size() == 4; }));
  EXPECT_EQ(trace, (TestFixture::kQt
                        ? std::vector<std::string>{"outer-begin", "watch", "outer-end", "second"}
                        : std::vector<std::string>{"outer-begin", "watch", "second", "outer-end"}));
  loop.removeWatch(id);
}

TYPED_TEST(EventLoopTest, PosterDeliversOnTheLoopThreadAndDropsWorkOnceTheLoopIsGone) {
  std::shared_ptr<ThreadPoster> poster;
  auto token = std::make_shared<int>(0);
  bool ran = false;
  {
    TypeParam loop;
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
