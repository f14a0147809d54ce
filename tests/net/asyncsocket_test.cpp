#include "net/asyncsocket.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "net/pollloop.h"
#include "support/realservers.h"
#include "support/scriptedserver.h"

namespace varnook {
namespace {

using testing::ScriptedConnection;
using testing::ScriptedServer;
using Events = std::vector<std::string>;

// Records the socket's events as "name:error" and reads everything offered.
struct Recorder {
  explicit Recorder(AsyncSocket& socket) {
    const auto record = [this](const char* name) {
      return [this, name](int e) { events.push_back(name + (":" + std::to_string(e))); };
    };
    socket.onDnsLookupDone = record("dns");
    socket.onSessionConnected = record("connected");
    socket.onDataSent = record("sent");
    socket.onSessionClosed = [this, note = record("closed")](int e) {
      note(e);
      ++closed;
    };
    socket.onDataAvailable = [this, &socket](int) {
      char buffer[1000];
      const std::ptrdiff_t n = socket.receive(buffer, sizeof buffer);
      if (n > 0) received.append(buffer, static_cast<std::size_t>(n));
      if (events.empty() || events.back() != "data") events.push_back("data");
    };
  }
  Events events;
  std::string received;
  int closed = 0;
};

// Connects `socket` to `address`:`port`; the text of the first refusal otherwise.
std::string connect(AsyncSocket& socket, int port, const std::string& address = "127.0.0.1") {
  for (const std::string& error :
       {socket.setAddr(address), socket.setPort(std::to_string(port)), socket.connect()}) {
    if (!error.empty()) return error;
  }
  return "";
}

// One socket on its own loop, its events recorded.
class AsyncSocketTest : public ::testing::Test {
 protected:
  bool waitForClose(int timeoutMs = 5000) {
    return loop_.runUntil([&] { return recorder_.closed > 0; }, timeoutMs);
  }
  bool waitForEvent(int timeoutMs) {
    return loop_.runUntil([&] { return !recorder_.events.empty(); }, timeoutMs);
  }

  PollLoop loop_;
  AsyncSocket socket_{loop_};
  Recorder recorder_{socket_};
};

TEST_F(AsyncSocketTest, NumericAddressesAndLoopbackNamesAnswerBeforeTheLookupReturns) {
  for (const auto& [name, result] : {std::pair{"127.0.0.1", "127.0.0.1"},
                                     {"::0:1", "::1"},
                                     {"[::1]", "::1"},
                                     {"localhost", "127.0.0.1"},
                                     {"A.B.LOCALHOST.", "127.0.0.1"}}) {
    SCOPED_TRACE(name);
    recorder_.events.clear();
    EXPECT_EQ(socket_.dnsLookup(name), "");
    EXPECT_EQ(recorder_.events, Events{"dns:0"});
    EXPECT_EQ(socket_.dnsResult(), result);
    EXPECT_FALSE(socket_.dnsLookupPending());
  }
  recorder_.events.clear();
  EXPECT_EQ(socket_.dnsLookup(""), "DNS lookup: invalid host name.");
  EXPECT_TRUE(recorder_.events.empty());
}

// A failed lookup is reported through the loop too (HttpClientTest.FailuresBeforeAnyResponse).
TEST_F(AsyncSocketTest, ResolverThreadAnswersThroughTheLoop) {
  char host[256] = {};
  ASSERT_EQ(::gethostname(host, sizeof host - 1), 0);
  const LookupResult direct = HostLookup::resolveNow(host);
  if (direct.error != 0) GTEST_SKIP() << "this machine cannot resolve its own name " << host;
  recorder_.events.clear();
  ASSERT_EQ(socket_.dnsLookup(host), "");
  EXPECT_TRUE(recorder_.events.empty());  // not before the call returns
  ASSERT_TRUE(waitForEvent(30000));
  EXPECT_EQ(recorder_.events, Events{"dns:0"});
  EXPECT_EQ(socket_.dnsResultList(), direct.addresses);
  EXPECT_EQ(socket_.dnsResult(), direct.addresses.front());
}

TEST_F(AsyncSocketTest, PropertyConnectAndSendChecksInTheirOrder) {
  std::string error;
  EXPECT_EQ(socket_.send("x", &error), -1);
  EXPECT_EQ(error, "Error 10057 in function Send\r\nSocket is not connected");
  EXPECT_EQ(socket_.lastError(), 10057);
  char buffer[4];
  EXPECT_EQ(socket_.receive(buffer, sizeof buffer), -1);

  EXPECT_EQ(socket_.connect(), "Connect: No Port Specified");
  EXPECT_EQ(socket_.setPort("http"), "");
  EXPECT_EQ(socket_.connect(), "Connect: No IP Address Specified");
  EXPECT_EQ(socket_.setAddr("example.org"), "SetAddr: Cannot convert host address 'example.org'");
  EXPECT_EQ(socket_.setAddr("x.localhost"), "");
  EXPECT_EQ(socket_.addr(), "127.0.0.1");
  EXPECT_EQ(socket_.setProto(""), "");
  EXPECT_EQ(socket_.connect(), "Connect: No Protocol Specified");
  EXPECT_EQ(socket_.setProto("udp"), "SetProto: Cannot convert protocol 'udp'");
  EXPECT_EQ(socket_.setPort("70000"), "SetPort: Cannot convert port '70000'");

  ScriptedServer server([](ScriptedConnection& c) { c.waitForPeerClose(); });
  ASSERT_EQ(socket_.setProto("tcp"), "");
  ASSERT_EQ(connect(socket_, server.port()), "");
  EXPECT_EQ(socket_.connect(), "Connect: Socket already in use");
  EXPECT_EQ(socket_.setPort("81"), "Cannot change Port if not closed");
}

// Over IPv4 and, where there is one, IPv6 loopback.
TEST_F(AsyncSocketTest, EventsInOrderAndAllDataBeforeTheSingleClose) {
  const std::string payload(300000, 'p');
  for (const bool ipv6 : {false, true}) {
    SCOPED_TRACE(ipv6 ? "IPv6" : "IPv4");
    ScriptedServer server(
        [&](ScriptedConnection& c) {
          if (!c.readRequest()) return;
          c.send(payload);
          c.close();
        },
        ipv6);
    if (!server.listening()) continue;
    AsyncSocket socket(loop_);
    Recorder recorder(socket);
    using S = AsyncSocket::State;
    std::vector<std::pair<S, S>> states;
    socket.onChangeState = [&](S from, S to) { states.emplace_back(from, to); };
    socket.onSessionClosed = [&, recorded = socket.onSessionClosed](int error) {
      recorded(error);
      socket.close();  // closing again from the handler fires nothing more
    };
    socket.onSessionConnected = [&](int error) {
      recorder.events.push_back("connected:" + std::to_string(error));
      EXPECT_EQ(socket.send("GET / HTTP/1.0\r\n\r\n"), 18);
    };
    ASSERT_EQ(socket.dnsLookup(ipv6 ? "::1" : "127.0.0.1"), "");
    ASSERT_EQ(connect(socket, server.port(), socket.dnsResult()), "");
    ASSERT_TRUE(loop_.runUntil([&] { return recorder.closed > 0; }, 10000));
    loop_.runUntil([] { return false; }, 50);
    EXPECT_EQ(recorder.events, (Events{"dns:0", "connected:0", "sent:0", "data", "closed:0"}));
    EXPECT_EQ(std::tuple(recorder.closed, recorder.received, socket.lastError()),
              std::tuple(1, payload, 0));
    EXPECT_EQ(socket.readCount(), static_cast<std::int64_t>(payload.size()));
    EXPECT_EQ(states, (std::vector<std::pair<S, S>>{{S::Closed, S::Opened},
                                                    {S::Opened, S::Connecting},
                                                    {S::Connecting, S::Connected},
                                                    {S::Connected, S::Closed}}));
  }
}

TEST_F(AsyncSocketTest, BigSendIsBufferedAndAnnouncedOnceWhenDrained) {
  // A pattern that shows bytes out of order across the send buffer's blocks.
  const std::size_t size = 16u << 20;
  std::string payload(size, '\0');
  for (std::size_t i = 0; i < size; ++i) payload[i] = static_cast<char>(i * 7 + i / 1514);
  std::string got;
  std::atomic<bool> sendReturned{false};
  ScriptedServer server([&](ScriptedConnection& c) {
    // Nothing is read until the client's send call has returned, so the network cannot
    // have taken the whole payload in it.
    while (!sendReturned.load() && c.pause(1)) {
    }
    while (got.size() < size + 4) {
      char buffer[65536];
      const ssize_t n = ::recv(c.descriptor(), buffer, sizeof buffer, MSG_DONTWAIT);
      if (n > 0)
        got.append(buffer, static_cast<std::size_t>(n));
      else if (n == 0 || !c.pause(1))
        break;
    }
  });
  socket_.onSessionConnected = [&](int) {
    EXPECT_EQ(socket_.send(payload), static_cast<std::ptrdiff_t>(size));
    EXPECT_GT(socket_.sendBufferSize(), 0u);  // the network did not take 16 MB at once
    EXPECT_FALSE(socket_.allSent());
    sendReturned = true;
  };
  ASSERT_EQ(connect(socket_, server.port()), "");
  ASSERT_TRUE(waitForEvent(30000));
  EXPECT_EQ(recorder_.events, Events{"sent:0"});
  EXPECT_TRUE(socket_.allSent());
  EXPECT_EQ(socket_.send("more"), 4);  // into the emptied buffer
  loop_.runUntil([&] { return socket_.allSent(); }, 5000);
  socket_.close();  // the server reads on to the end of the stream
  for (int i = 0; i < 3000 && server.finishedCount() == 0; ++i) loop_.processEvents(10);
  server.stop();
  EXPECT_EQ(got.size(), size + 4);
  EXPECT_TRUE(got == payload + "more");
}

TEST_F(AsyncSocketTest, ConnectionAttemptThatNeverCompletesTimesOut) {
  // A listener that never accepts, with its queue filled: further handshakes stall.
  int port = 0;
  const int listener = testing::bindLoopback(false, 0, &port);
  ASSERT_GE(listener, 0);
  std::vector<std::unique_ptr<AsyncSocket>> fillers;
  std::unique_ptr<AsyncSocket> stalled;
  for (int i = 0; i < 8 && !stalled; ++i) {
    auto socket = std::make_unique<AsyncSocket>(loop_);
    bool done = false;
    socket->onSessionConnected = [&done](int) { done = true; };
    ASSERT_EQ(connect(*socket, port), "");
    const bool completed = loop_.runUntil([&] { return done; }, 300);
    socket->onSessionConnected = nullptr;
    (completed ? fillers.emplace_back() : stalled) = std::move(socket);
  }
  if (!stalled) {
    ::close(listener);
    GTEST_SKIP() << "this system completes every handshake; cannot stall a connection";
  }
  socket_.idleTimeoutMs = 200;
  ASSERT_EQ(connect(socket_, port), "");
  ASSERT_TRUE(waitForClose());
  EXPECT_EQ(recorder_.events, (Events{"connected:10060", "closed:0"}));
  EXPECT_EQ(socket_.lastError(), 10060);
  ::close(listener);
}

TEST(AsyncSocket, OwnerMayDestroyTheSocketInsideAnyEvent) {
  ScriptedServer server([](ScriptedConnection& c) {
    c.send(std::string(50000, 'd'));
    c.close();
  });
  for (const std::string stage : {"connected", "data", "closed", "dns"}) {
    SCOPED_TRACE(stage);
    PollLoop loop;
    auto socket = std::make_unique<AsyncSocket>(loop);
    std::vector<std::string> after;
    const auto kill = [&](const char* event) {
      if (!socket) {
        after.push_back(event);
      } else if (stage == event) {
        socket.reset();
      }
    };
    socket->onDnsLookupDone = [&](int) { kill("dns"); };
    socket->onSessionConnected = [&](int) { kill("connected"); };
    socket->onDataAvailable = [&](int) {
      char buffer[100];
      if (socket) socket->receive(buffer, sizeof buffer);
      kill("data");
    };
    socket->onSessionClosed = [&](int) { kill("closed"); };
    ASSERT_EQ(socket->dnsLookup("127.0.0.1"), "");
    if (socket) {
      ASSERT_EQ(connect(*socket, server.port()), "");
    }
    loop.runUntil([&] { return !socket; }, 5000);
    loop.runUntil([] { return false; }, 50);
    EXPECT_FALSE(socket);
    EXPECT_TRUE(after.empty());
  }
}

}  // namespace
}  // namespace varnook
