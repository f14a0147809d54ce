#include "net/asyncsocket.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "net/pollloop.h"
#include "support/realservers.h"
#include "support/scriptedserver.h"

namespace varnook {
namespace {

using testsupport::ScriptedConnection;
using testsupport::ScriptedServer;

// Records the socket's events as "name:error" and reads everything offered.
struct Recorder {
  explicit Recorder(AsyncSocket& socket) {
    socket.onDnsLookupDone = [this](int e) { events.push_back("dns:" + std::to_string(e)); };
    socket.onSessionConnected = [this](int e) {
      events.push_back("connected:" + std::to_string(e));
    };
    socket.onDataSent = [this](int e) { events.push_back("sent:" + std::to_string(e)); };
    socket.onSessionClosed = [this](int e) {
      events.push_back("closed:" + std::to_string(e));
      ++closed;
    };
    socket.onDataAvailable = [this, &socket](int) {
      char buffer[1000];
      const std::ptrdiff_t n = socket.receive(buffer, sizeof buffer);
      if (n > 0) received.append(buffer, static_cast<std::size_t>(n));
      if (events.empty() || events.back() != "data") events.push_back("data");
    };
  }
  std::vector<std::string> events;
  std::string received;
  int closed = 0;
};

TEST(AsyncSocketLookup, NumericAddressesAndLoopbackNamesAnswerBeforeTheCallReturns) {
  PollLoop loop;
  AsyncSocket socket(loop);
  Recorder recorder(socket);
  struct Case {
    const char* name;
    const char* result;
  };
  for (const Case& c : {Case{"127.0.0.1", "127.0.0.1"}, Case{"::0:1", "::1"}, Case{"[::1]", "::1"},
                        Case{"localhost", "127.0.0.1"}, Case{"x1.localhost", "127.0.0.1"},
                        Case{"A.B.LOCALHOST.", "127.0.0.1"}}) {
    SCOPED_TRACE(c.name);
    recorder.events.clear();
    EXPECT_EQ(socket.dnsLookup(c.name), "");
    EXPECT_EQ(recorder.events, std::vector<std::string>{"dns:0"});
    EXPECT_EQ(socket.dnsResult(), c.result);
    EXPECT_FALSE(socket.dnsLookupPending());
  }
  recorder.events.clear();
  EXPECT_EQ(socket.dnsLookup(""), "DNS lookup: invalid host name.");
  EXPECT_TRUE(recorder.events.empty());
}

TEST(AsyncSocketLookup, CancelledLookupReports10004AndNothingLater) {
  PollLoop loop;
  AsyncSocket socket(loop);
  Recorder recorder(socket);
  ASSERT_EQ(socket.dnsLookup("name-that-goes-to-the-resolver.invalid"), "");
  EXPECT_TRUE(socket.dnsLookupPending());
  EXPECT_TRUE(recorder.events.empty());
  socket.cancelDnsLookup();
  EXPECT_EQ(recorder.events, std::vector<std::string>{"dns:10004"});
  loop.runUntil([] { return false; }, 300);
  EXPECT_EQ(recorder.events, std::vector<std::string>{"dns:10004"});
}

TEST(AsyncSocketLookup, ResolverThreadAnswersThroughTheLoop) {
  PollLoop loop;
  AsyncSocket socket(loop);
  Recorder recorder(socket);
  char host[256] = {};
  ASSERT_EQ(::gethostname(host, sizeof host - 1), 0);
  const LookupResult direct = HostLookup::resolveNow(host);
  if (direct.error != 0) GTEST_SKIP() << "this machine cannot resolve its own name " << host;
  ASSERT_EQ(socket.dnsLookup(host), "");
  EXPECT_TRUE(recorder.events.empty());  // not before the call returns
  ASSERT_TRUE(loop.runUntil([&] { return !recorder.events.empty(); }, 30000));
  EXPECT_EQ(recorder.events, std::vector<std::string>{"dns:0"});
  EXPECT_EQ(socket.dnsResultList(), direct.addresses);
  EXPECT_EQ(socket.dnsResult(), direct.addresses.front());
}

TEST(AsyncSocketLookup, UnknownNameFailsWithAResolverCode) {
  PollLoop loop;
  AsyncSocket socket(loop);
  Recorder recorder(socket);
  ASSERT_EQ(socket.dnsLookup("no-such-host.invalid"), "");
  ASSERT_TRUE(loop.runUntil([&] { return !recorder.events.empty(); }, 60000));
  const int code = std::stoi(recorder.events.front().substr(4));
  EXPECT_GE(code, 11001);
  EXPECT_LE(code, 11004);
  EXPECT_EQ(socket.lastError(), code);
  EXPECT_TRUE(socket.dnsResultList().empty());
}

TEST(AsyncSocket, PropertyAndConnectChecksInTheirOrder) {
  PollLoop loop;
  AsyncSocket socket(loop);
  EXPECT_EQ(socket.proto(), "tcp");
  EXPECT_EQ(socket.connect(), "Connect: No Port Specified");
  EXPECT_EQ(socket.setPort("http"), "");
  EXPECT_EQ(socket.connect(), "Connect: No IP Address Specified");
  EXPECT_EQ(socket.setAddr("example.org"), "SetAddr: Cannot convert host address 'example.org'");
  EXPECT_EQ(socket.setAddr("x.localhost"), "");
  EXPECT_EQ(socket.addr(), "127.0.0.1");
  EXPECT_EQ(socket.setProto(""), "");
  EXPECT_EQ(socket.connect(), "Connect: No Protocol Specified");
  EXPECT_EQ(socket.setProto("udp"), "SetProto: Cannot convert protocol 'udp'");
  EXPECT_EQ(socket.setPort("70000"), "SetPort: Cannot convert port '70000'");
  EXPECT_EQ(socket.setPort("no-such-service"), "SetPort: Cannot convert port 'no-such-service'");

  ScriptedServer server([](ScriptedConnection& c) { c.waitForPeerClose(); });
  ASSERT_TRUE(server.listening());
  ASSERT_EQ(socket.setProto("tcp"), "");
  ASSERT_EQ(socket.setPort(std::to_string(server.port())), "");
  ASSERT_EQ(socket.connect(), "");
  EXPECT_EQ(socket.connect(), "Connect: Socket already in use");
  EXPECT_EQ(socket.setPort("81"), "Cannot change Port if not closed");
  EXPECT_EQ(socket.setAddr("127.0.0.2"), "Cannot change Addr if not closed");
  EXPECT_EQ(socket.setProto("tcp"), "Cannot change Proto if not closed");
}

TEST(AsyncSocket, SendOnAClosedSocketFails) {
  PollLoop loop;
  AsyncSocket socket(loop);
  std::string error;
  EXPECT_EQ(socket.send("x", &error), -1);
  EXPECT_EQ(error, "Error 10057 in function Send\r\nSocket is not connected");
  EXPECT_EQ(socket.lastError(), 10057);
  char buffer[4];
  EXPECT_EQ(socket.receive(buffer, sizeof buffer), -1);
}

TEST(AsyncSocket, RefusedConnectionEndsWithOneConnectedAndOneClosedEvent) {
  PollLoop loop;
  AsyncSocket socket(loop);
  Recorder recorder(socket);
  const int port = testsupport::freeLoopbackPort();  // nobody listens there
  ASSERT_EQ(socket.setAddr("127.0.0.1"), "");
  ASSERT_EQ(socket.setPort(std::to_string(port)), "");
  ASSERT_EQ(socket.connect(), "");  // the refusal is an event, not a failure of the call
  EXPECT_TRUE(recorder.events.empty());
  ASSERT_TRUE(loop.runUntil([&] { return recorder.closed > 0; }, 5000));
  EXPECT_EQ(recorder.events, (std::vector<std::string>{"connected:10061", "closed:0"}));
  EXPECT_EQ(socket.lastError(), 10061);
  EXPECT_EQ(socket.state(), AsyncSocket::State::Closed);
}

TEST(AsyncSocket, EventsInOrderAndAllDataBeforeTheSingleClose) {
  const std::string payload(300000, 'p');
  ScriptedServer server([&](ScriptedConnection& c) {
    if (!c.readRequest()) return;
    c.send(payload);
    c.close();
  });
  ASSERT_TRUE(server.listening());
  PollLoop loop;
  AsyncSocket socket(loop);
  Recorder recorder(socket);
  std::vector<std::pair<AsyncSocket::State, AsyncSocket::State>> states;
  socket.onChangeState = [&](AsyncSocket::State from, AsyncSocket::State to) {
    states.emplace_back(from, to);
  };
  auto closedHandler = socket.onSessionClosed;
  socket.onSessionClosed = [&](int error) {
    closedHandler(error);
    socket.close();  // closing again from the handler fires nothing more
  };
  socket.onSessionConnected = [&](int error) {
    recorder.events.push_back("connected:" + std::to_string(error));
    EXPECT_EQ(socket.send("GET / HTTP/1.0\r\n\r\n"), 18);
  };
  ASSERT_EQ(socket.dnsLookup("127.0.0.1"), "");
  ASSERT_EQ(socket.setAddr(socket.dnsResult()), "");
  ASSERT_EQ(socket.setPort(std::to_string(server.port())), "");
  ASSERT_EQ(socket.connect(), "");
  ASSERT_TRUE(loop.runUntil([&] { return recorder.closed > 0; }, 10000));
  loop.runUntil([] { return false; }, 50);
  EXPECT_EQ(recorder.events,
            (std::vector<std::string>{"dns:0", "connected:0", "sent:0", "data", "closed:0"}));
  EXPECT_EQ(recorder.closed, 1);
  EXPECT_EQ(recorder.received, payload);
  EXPECT_EQ(socket.readCount(), static_cast<std::int64_t>(payload.size()));
  EXPECT_EQ(socket.lastError(), 0);
  using S = AsyncSocket::State;
  EXPECT_EQ(states, (std::vector<std::pair<S, S>>{{S::Closed, S::Opened},
                                                  {S::Opened, S::Connecting},
                                                  {S::Connecting, S::Connected},
                                                  {S::Connected, S::Closed}}));
}

TEST(AsyncSocket, BigSendIsBufferedAndAnnouncedOnceWhenDrained) {
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
    while (got.size() < size) {
      char buffer[65536];
      const ssize_t n = ::recv(c.descriptor(), buffer, sizeof buffer, MSG_DONTWAIT);
      if (n > 0)
        got.append(buffer, static_cast<std::size_t>(n));
      else if (n == 0 || !c.pause(1))
        break;
    }
  });
  PollLoop loop;
  AsyncSocket socket(loop);
  Recorder recorder(socket);
  socket.onSessionConnected = [&](int) {
    EXPECT_EQ(socket.send(payload), static_cast<std::ptrdiff_t>(size));
    EXPECT_GT(socket.sendBufferSize(), 0u);  // the network did not take 16 MB at once
    EXPECT_FALSE(socket.allSent());
    sendReturned = true;
  };
  ASSERT_EQ(socket.setAddr("127.0.0.1"), "");
  ASSERT_EQ(socket.setPort(std::to_string(server.port())), "");
  ASSERT_EQ(socket.connect(), "");
  ASSERT_TRUE(loop.runUntil([&] { return !recorder.events.empty(); }, 30000));
  EXPECT_EQ(recorder.events, std::vector<std::string>{"sent:0"});
  EXPECT_TRUE(socket.allSent());
  socket.close();  // the server reads on to the end of the stream
  for (int i = 0; i < 3000 && server.finishedCount() == 0; ++i) loop.processEvents(10);
  server.stop();
  EXPECT_EQ(got.size(), size);
  EXPECT_TRUE(got == payload);
}

TEST(AsyncSocket, ResetByPeerEndsWith10054) {
  // The reset comes once the client has read what was sent before it (a reset throws
  // away what is still unread).
  std::atomic<bool> read{false};
  ScriptedServer server([&](ScriptedConnection& c) {
    c.send("partial");
    while (!read.load() && c.pause(1)) {
    }
    c.reset();
  });
  PollLoop loop;
  AsyncSocket socket(loop);
  Recorder recorder(socket);
  const auto recordData = socket.onDataAvailable;
  socket.onDataAvailable = [&](int error) {
    recordData(error);
    if (recorder.received == "partial") read = true;
  };
  ASSERT_EQ(socket.setAddr("127.0.0.1"), "");
  ASSERT_EQ(socket.setPort(std::to_string(server.port())), "");
  ASSERT_EQ(socket.connect(), "");
  ASSERT_TRUE(loop.runUntil([&] { return recorder.closed > 0; }, 5000));
  EXPECT_EQ(recorder.events.back(), "closed:10054");
  EXPECT_EQ(recorder.received, "partial");
  EXPECT_EQ(socket.lastError(), 10054);
}

TEST(AsyncSocket, SilentConnectionTimesOutWith10060) {
  ScriptedServer server([](ScriptedConnection& c) { c.waitForPeerClose(); });
  PollLoop loop;
  AsyncSocket socket(loop);
  Recorder recorder(socket);
  socket.idleTimeoutMs = 150;
  ASSERT_EQ(socket.setAddr("127.0.0.1"), "");
  ASSERT_EQ(socket.setPort(std::to_string(server.port())), "");
  ASSERT_EQ(socket.connect(), "");
  ASSERT_TRUE(loop.runUntil([&] { return recorder.closed > 0; }, 5000));
  EXPECT_EQ(recorder.events, (std::vector<std::string>{"connected:0", "closed:10060"}));
  EXPECT_EQ(socket.lastError(), 10060);
  EXPECT_EQ(socket.state(), AsyncSocket::State::Closed);
}

TEST(AsyncSocket, ConnectionAttemptThatNeverCompletesTimesOut) {
  // A listener that never accepts, with its queue filled: further handshakes stall.
  const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), length), 0);
  ASSERT_EQ(::listen(listener, 0), 0);
  ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
  const int port = ntohs(address.sin_port);

  PollLoop loop;
  std::vector<std::unique_ptr<AsyncSocket>> fillers;
  std::unique_ptr<AsyncSocket> stalled;
  for (int i = 0; i < 8 && !stalled; ++i) {
    auto socket = std::make_unique<AsyncSocket>(loop);
    bool done = false;
    socket->onSessionConnected = [&done](int) { done = true; };
    ASSERT_EQ(socket->setAddr("127.0.0.1"), "");
    ASSERT_EQ(socket->setPort(std::to_string(port)), "");
    ASSERT_EQ(socket->connect(), "");
    const bool completed = loop.runUntil([&] { return done; }, 300);
    socket->onSessionConnected = nullptr;
    (completed ? fillers.emplace_back() : stalled) = std::move(socket);
  }
  if (!stalled) {
    ::close(listener);
    GTEST_SKIP() << "this system completes every handshake; cannot stall a connection";
  }
  AsyncSocket socket(loop);
  Recorder recorder(socket);
  socket.idleTimeoutMs = 200;
  ASSERT_EQ(socket.setAddr("127.0.0.1"), "");
  ASSERT_EQ(socket.setPort(std::to_string(port)), "");
  ASSERT_EQ(socket.connect(), "");
  ASSERT_TRUE(loop.runUntil([&] { return recorder.closed > 0; }, 5000));
  EXPECT_EQ(recorder.events, (std::vector<std::string>{"connected:10060", "closed:0"}));
  EXPECT_EQ(socket.lastError(), 10060);
  ::close(listener);
}

TEST(AsyncSocket, OwnerMayDestroyTheSocketInsideAnyEvent) {
  ScriptedServer server([](ScriptedConnection& c) {
    c.send(std::string(50000, 'd'));
    c.close();
  });
  for (const char* when : {"connected", "data", "closed", "dns"}) {
    SCOPED_TRACE(when);
    PollLoop loop;
    auto socket = std::make_unique<AsyncSocket>(loop);
    std::vector<std::string> after;
    const std::string stage = when;
    auto kill = [&](const char* event) {
      if (!socket) {
        after.push_back(event);
        return;
      }
      if (stage == event) socket.reset();
    };
    socket->onDnsLookupDone = [&](int) { kill("dns"); };
    socket->onSessionConnected = [&](int) { kill("connected"); };
    socket->onDataAvailable = [&](int) {
      if (!socket) return kill("data");
      char buffer[100];
      socket->receive(buffer, sizeof buffer);
      kill("data");
    };
    socket->onSessionClosed = [&](int) { kill("closed"); };
    ASSERT_EQ(socket->dnsLookup("127.0.0.1"), "");
    if (socket) {
      ASSERT_EQ(socket->setAddr("127.0.0.1"), "");
      ASSERT_EQ(socket->setPort(std::to_string(server.port())), "");
      ASSERT_EQ(socket->connect(), "");
    }
    loop.runUntil([&] { return !socket; }, 5000);
    loop.runUntil([] { return false; }, 50);
    EXPECT_FALSE(socket);
    EXPECT_TRUE(after.empty());
  }
}

TEST(AsyncSocket, ConnectsOverIpv6Loopback) {
  ScriptedServer server(
      [](ScriptedConnection& c) {
        c.send("six");
        c.close();
      },
      /*ipv6=*/true);
  if (!server.listening()) GTEST_SKIP() << "no IPv6 loopback here";
  PollLoop loop;
  AsyncSocket socket(loop);
  Recorder recorder(socket);
  ASSERT_EQ(socket.setAddr("::1"), "");
  ASSERT_EQ(socket.setPort(std::to_string(server.port())), "");
  ASSERT_EQ(socket.connect(), "");
  ASSERT_TRUE(loop.runUntil([&] { return recorder.closed > 0; }, 5000));
  EXPECT_EQ(recorder.received, "six");
}

}  // namespace
}  // namespace varnook
