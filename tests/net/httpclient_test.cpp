#include "net/httpclient.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "base/daydate.h"
#include "net/pollloop.h"
#include "support/fixtures.h"
#include "support/realservers.h"
#include "support/scriptedserver.h"

namespace varnook {
namespace {

using testing::httpResponse;
using testing::ReceivedRequest;
using testing::ScriptedConnection;
using testing::ScriptedServer;
using Lines = std::vector<std::string>;

// Waits in the script until `flag` is set or the server stops.
void waitFor(ScriptedConnection& c, const std::atomic<bool>& flag) {
  while (!flag.load() && c.pause(1)) {
  }
}

// A client on its own loop with every event recorded in order.
class HttpClientTest : public ::testing::Test {
 protected:
  HttpClientTest() {
    const auto record = [this](const char* event) {
      return [this, event] { events_.push_back(event); };
    };
    client_.receiveBuffer = &document_;
    client_.onStateChange = [this] {
      events_.push_back("state" + std::to_string(int(client_.state())));
    };
    client_.onCommand = [this](const std::string& line) { commands_.push_back(line); };
    client_.onHeaderBegin = record("headerBegin");
    client_.onHeaderEnd = record("headerEnd");
    client_.onHeaderData = record("headerData");
    client_.onDocBegin = record("docBegin");
    client_.onDocData = [this](std::string_view piece) {
      pieces_.emplace_back(piece);
      if (events_.back() != "docData") events_.push_back("docData");
      docDataSeen_ = true;
    };
    client_.onDocEnd = record("docEnd");
    client_.onLocationChange = record("location");
    client_.onRequestDone = [this](int type, int error) {
      events_.push_back("done" + std::to_string(type) + "/" + std::to_string(error));
      ++done_;
    };
  }
  // Starts a GET of `url` and waits for its end.
  bool get(const std::string& url, int timeoutMs = 10000) {
    client_.url = url;
    const int before = done_;
    const std::string error = client_.getAsync();
    EXPECT_EQ(error, "");
    return error.empty() && loop_.runUntil([&] { return done_ > before; }, timeoutMs);
  }
  long count(const std::string& event) const {
    return std::count(events_.begin(), events_.end(), event);
  }
  // How the last request ended: status, reason, socket error code and the last event.
  std::string ending() const {
    return std::to_string(client_.statusCode()) + " " + client_.reasonPhrase() + " #" +
           std::to_string(client_.socketError()) + " " + events_.back();
  }

  PollLoop loop_;
  HttpClient client_{loop_};
  Lines events_, commands_, pieces_;
  std::string document_;
  int done_ = 0;
  std::atomic<bool> docDataSeen_{false};
};

// The request lines in their order, each announced; the URL's own credentials replace
// the settings, and loopback names reach the local server.
TEST_F(HttpClientTest, GetRunsThroughItsStatesAndEventsInOrderAndSendsItsRequestLines) {
  const std::string body = "<html>hello</html>";
  ScriptedServer server(ScriptedServer::reply(httpResponse(200, "OK", body)));
  client_.onHeaderEnd = [&] {
    events_.push_back("headerEnd");
    client_.writeRequestLine("X-Added: by handler");  // honoured only while writing the request
  };
  client_.sender = "me@example.org";
  client_.reference = "http://ref.example/";
  client_.agent = "Varnook/1.0";
  client_.noCache = true;
  client_.modifiedSince = *encodeDate(2024, 2, 29) + *encodeTime(13, 5, 9);
  client_.username = "ignored";
  client_.cookie = "a=b";
  const std::string host = "x1.localhost:" + std::to_string(server.port());
  ASSERT_TRUE(get("http://u:p@" + host + "/doc?x=1"));

  EXPECT_EQ(events_, (Lines{"state1", "state2", "state1", "state3", "headerBegin", "headerEnd",
                            "headerBegin", "headerData", "headerData", "headerData", "state4",
                            "headerEnd", "docBegin", "docData", "docEnd", "state0", "done1/0"}));
  EXPECT_EQ(ending(), "200 OK #0 done1/0");
  EXPECT_EQ(std::tuple(client_.contentLength(), client_.contentType(), client_.receivedCount()),
            std::tuple(18, "text/html", 18));
  EXPECT_EQ(document_, body);
  EXPECT_EQ(client_.receivedHeader(),
            (Lines{"HTTP/1.0 200 OK", "Content-Type: text/html", "Content-Length: 18"}));
  // Bytes that came with the end of the header are the first document data.
  EXPECT_EQ(pieces_.front(), body);

  EXPECT_EQ(std::tie(client_.username, client_.password), std::tuple("u", "p"));
  const std::string head =
      "GET /doc?x=1 HTTP/1.0\r\nFrom: me@example.org\r\nReferer: http://ref.example/\r\n"
      "User-Agent: Varnook/1.0\r\nHost: " +
      host +
      "\r\nPragma: no-cache\r\nIf-Modified-Since: Thu, 29 Feb 2024 13:05:09 GMT\r\n"
      "Authorization: Basic dTpw\r\nCookie: a=b\r\nX-Added: by handler\r\n";
  ASSERT_EQ(server.requests().size(), 1u);
  EXPECT_EQ(server.requests()[0].head, head);
  std::string announced;
  for (const std::string& line : commands_) announced += line + "\r\n";
  EXPECT_EQ(announced, head + "\r\n");
  EXPECT_FALSE(client_.writeRequestLine("too late"));
}

// However a response ends, the request is done without error code, nothing is fetched
// again, and every document begun is also ended.
TEST_F(HttpClientTest, ResponsesEndWithTheirStatusAndReason) {
  // Reads the request, sends `head`, `megabytes` of filler and `tail`, and closes.
  const auto sends = [](std::string head, std::size_t megabytes = 0, std::string tail = "") {
    return [=](ScriptedConnection& c) {
      if (!c.readRequest()) return;
      c.send(head);
      const std::string chunk(1 << 20, 'h');
      for (std::size_t i = 0; i < megabytes && c.send(chunk); ++i) {
      }
      c.send(tail);
      c.pause(50);
    };
  };
  // The reset comes once the client has read the start of the document.
  const auto resets = [this](ScriptedConnection& c) {
    if (!c.readRequest()) return;
    c.send("HTTP/1.0 200 OK\r\n\r\nsome");
    waitFor(c, docDataSeen_);
    c.reset();
  };
  // Sends a byte now and then, never ending the document.
  const auto trickles = [](ScriptedConnection& c) {
    if (!c.readRequest() || !c.send("HTTP/1.0 200 OK\r\n\r\n")) return;
    for (int i = 0; i < 500 && c.send("x") && c.pause(20); ++i) {
    }
  };
  struct Case {
    std::string name;
    ScriptedServer::Script script;
    std::string ending;
    std::optional<std::string> document;  // none: not known in advance
    std::size_t headerLines;
    int silenceTimeoutMs = 10000;
    int deadlineMs = 0;
  };
  // Chunked coding is taken off, also for an HTTP/1.0 client, and the last chunk ends the
  // document while the server keeps the connection open.
  const auto chunked = [](ScriptedConnection& c) {
    if (!c.readRequest()) return;
    c.sendInPieces(
        "HTTP/1.1 200 OK\r\nTransfer-Encoding: Chunked\r\nContent-Length: 3\r\n\r\n"
        "6;name=value\r\n<html>\r\nA\r\n0123456789\r\n0\r\nX-Trailer: t\r\n\r\n",
        7);
    c.waitForPeerClose();
  };
  std::vector<Case> cases = {
      {"chunked", chunked, "200 OK #0 done1/0", "<html>0123456789", 3},
      {"connection reset inside the document", resets, "200 OK #10054 done1/0", "some", 1},
      {"server that never answers",
       [](ScriptedConnection& c) {
         if (c.readRequest()) c.waitForPeerClose();
       },
       "0  #10060 done1/0", "", 0, 200},
      // Bytes that keep coming, too slowly to ever trip the silence limit.
      {"trickle past the deadline", trickles, "404 Transfer timed out after 0.15 s #0 done1/0",
       std::nullopt, 1, 10000, 150},
  };
  for (auto row : testing::readTable("net/data/responses.txt")) {
    row.resize(7);
    cases.push_back({row[0], sends(row[1], std::stoul(row[2]), row[3]), row[4] + " #0 done1/0",
                     row[5] == "?" ? std::nullopt : std::optional(row[5]), std::stoul(row[6])});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedServer server(c.script);
    events_.clear();
    document_.clear();
    docDataSeen_ = false;
    client_.maxDocumentSize = 1 << 20;
    client_.silenceTimeoutMs = c.silenceTimeoutMs;
    client_.deadlineMs = c.deadlineMs;
    ASSERT_TRUE(get(server.url("/start")));
    EXPECT_EQ(client_.timedOut(), c.deadlineMs != 0);
    EXPECT_EQ(ending(), c.ending);
    if (c.document) {
      EXPECT_EQ(document_, *c.document);
    }
    EXPECT_LE(document_.size(), std::size_t{1} << 20);
    EXPECT_EQ(client_.receivedCount(), static_cast<std::int64_t>(document_.size()));
    EXPECT_EQ(client_.receivedHeader().size(), c.headerLines);
    EXPECT_EQ(count("docBegin"), document_.empty() ? 0 : 1);
    EXPECT_EQ(count("docEnd"), count("docBegin"));
    EXPECT_EQ(count("location") + client_.redirections(), 0);
    EXPECT_EQ(server.requests().size(), 1u);
  }
}

// Bytes at or below 0x20 and 0x7F in a URL, from a page or a redirection, are sent
// percent-encoded (in the host name they refuse the start, below).
TEST_F(HttpClientTest, UnsafeBytesInUrlsNeverReachTheWire) {
  ScriptedServer origin(ScriptedServer::respond([](const ReceivedRequest& r) {
    if (r.target.starts_with("/moved"))
      return httpResponse(302, "Found", "", {"Location: /to a\rb\x7f\tc"});
    return httpResponse(200, "OK", "ok");
  }));
  ScriptedServer proxy(ScriptedServer::reply(httpResponse(200, "OK", "ok")));
  const struct {
    std::string url, proxy, target;
  } cases[] = {
      {origin.url("/p?a=1\r\nMAIL FROM:<x@y>\r\n"), "", "/p?a=1%0D%0AMAIL%20FROM:<x@y>%0D%0A"},
      {origin.url("/moved"), "", "/to%20a%0Db%7F%09c"},
      {"http://origin.example/a\nb c", "127.0.0.1:" + std::to_string(proxy.port()),
       "http://origin.example/a%0Ab%20c"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.target);
    client_.proxy = c.proxy;
    ASSERT_TRUE(get(c.url));
    EXPECT_EQ(ending(), "200 OK #0 done1/0");
    const auto requests = (c.proxy.empty() ? origin : proxy).requests();
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(requests.back().target, c.target);
    EXPECT_EQ(std::count(requests.back().head.begin(), requests.back().head.end(), '\n'), 2);
  }
}

TEST_F(HttpClientTest, RedirectionsAreFollowedAndLimited) {
  ScriptedServer target(ScriptedServer::reply(httpResponse(200, "OK", "arrived")));
  const std::string targetUrl = target.url("/x");
  ScriptedServer first(ScriptedServer::respond([&](const ReceivedRequest& r) {
    if (r.target == "/relative/start") return httpResponse(302, "Found", "", {"Location: next"});
    if (r.target == "/relative/next")
      return httpResponse(301, "Moved", "", {"Location: " + targetUrl});
    return httpResponse(302, "Found", "", {"Location: /loop"});  // forever
  }));
  client_.username = "u";  // credentials stay with the server they were given for
  ASSERT_TRUE(get(first.url("/relative/start")));
  EXPECT_EQ(ending(), "200 OK #0 done1/0");
  EXPECT_EQ(document_, "arrived");
  EXPECT_EQ(std::tuple(client_.redirections(), count("location")), std::tuple(2, 2));
  EXPECT_EQ(client_.location(), targetUrl);
  // ReceivedHeader holds the lines of all three responses; OnHeaderBegin fired once for them.
  EXPECT_EQ(client_.receivedHeader().size(), 4u + 4u + 3u);
  EXPECT_EQ(count("headerBegin"), 3 + 1);
  ASSERT_EQ(first.requests().size(), 2u);
  EXPECT_EQ(first.requests()[1].target, "/relative/next");
  EXPECT_TRUE(first.requests()[1].header("Authorization"));
  ASSERT_EQ(target.requests().size(), 1u);
  EXPECT_EQ(target.requests()[0].head,
            "GET /x HTTP/1.0\r\nHost: 127.0.0.1:" + std::to_string(target.port()) + "\r\n");

  ASSERT_TRUE(get(first.url("/loop")));
  EXPECT_EQ(ending(), "404 Too many redirections #0 done1/0");
  EXPECT_EQ(client_.redirections(), HttpClient::kMaxRedirections);
  EXPECT_EQ(first.requests().size(), 2u + HttpClient::kMaxRedirections + 1);
}

TEST_F(HttpClientTest, RedirectionWhoseHeaderEndsInALaterReadIsFollowed) {
  ScriptedServer target(ScriptedServer::reply(httpResponse(200, "OK", "arrived")));
  std::atomic<bool> locationRead{false};
  ScriptedServer server([&](ScriptedConnection& c) {
    if (!c.readRequest()) return;
    c.send("HTTP/1.0 302 Found\r\nLocation: " + target.url("/x") + "\r\n");
    // The empty line comes in a read of its own, after the client has taken the Location.
    waitFor(c, locationRead);
    c.send("\r\n");
  });
  client_.onHeaderData = [&] {
    if (client_.lastLine().rfind("Location:", 0) == 0) locationRead = true;
  };
  ASSERT_TRUE(get(server.url("/start"), 5000));
  EXPECT_EQ(ending(), "200 OK #0 done1/0");
  EXPECT_EQ(document_, "arrived");
  EXPECT_EQ(std::tuple(client_.redirections(), server.requests().size()), std::tuple(1, 1u));
}

TEST_F(HttpClientTest, FailuresBeforeAnyResponse) {
  ASSERT_TRUE(get("http://127.0.0.1:" + std::to_string(testing::freeLoopbackPort()) + "/"));
  EXPECT_EQ(ending(), "404 Connection refused (Error #10061) #10061 done1/0");
  ASSERT_TRUE(get("http://no-such-host.invalid/", 60000));
  EXPECT_EQ(std::tuple(client_.statusCode(), client_.reasonPhrase(), events_.back()),
            std::tuple(404, "can't resolve hostname to IP address", "done1/0"));
}

// An abort while resolving ends at once; one during the transfer when the connection closes.
TEST_F(HttpClientTest, StartRefusalsFireNothingAndAbortsEndTheRequestOnce) {
  client_.url = "http:///nohost";
  EXPECT_EQ(client_.getAsync(), "DNS lookup: invalid host name.");
  client_.url = "http://127.0.0.1:http-alt-typo/";
  EXPECT_EQ(client_.getAsync(), "SetPort: Cannot convert port 'http-alt-typo'");
  client_.url = "http://127.0.0.1\r\nX-Injected: 1:80/";
  EXPECT_EQ(client_.getAsync(), "Control characters in the URL's host name");
  EXPECT_TRUE(events_.empty());
  EXPECT_EQ(client_.state(), HttpClient::State::Ready);

  client_.url = "http://resolver-bound.invalid/";
  ASSERT_EQ(client_.getAsync(), "");
  EXPECT_EQ(client_.getAsync(), "HTTP component is busy");
  EXPECT_EQ(client_.state(), HttpClient::State::ResolvingName);
  client_.abort();
  client_.abort();      // already aborting: nothing
  EXPECT_EQ(done_, 0);  // the end is posted, never inside abort()
  loop_.processEvents(0);
  EXPECT_EQ(events_, (Lines{"state1", "state2", "state5", "state0", "done1/3"}));
  EXPECT_EQ(ending(), "404 Connection aborted on request #0 done1/3");
  loop_.runUntil([] { return false; }, 100);
  EXPECT_EQ(done_, 1);

  ScriptedServer server([](ScriptedConnection& c) {
    if (!c.readRequest()) return;
    c.send("HTTP/1.0 200 OK\r\n\r\nstart of a long document");
    c.waitForPeerClose();
  });
  client_.onDocData = [&](std::string_view) { client_.abort(); };
  ASSERT_TRUE(get(server.url("/")));
  EXPECT_EQ(client_.reasonPhrase() + " " + events_.back(), "Connection aborted on request done1/3");
  loop_.runUntil([] { return false; }, 50);
  EXPECT_EQ(done_, 2);
}

TEST_F(HttpClientTest, NextRequestMayStartFromInsideRequestDone) {
  ScriptedServer server(ScriptedServer::respond(
      [](const ReceivedRequest& r) { return httpResponse(200, "OK", "page " + r.target); }));
  Lines pages;
  client_.onRequestDone = [&](int, int) {
    pages.push_back(std::exchange(document_, {}));
    if (pages.size() < 3) {
      client_.url = server.url("/" + std::to_string(pages.size() + 1));
      EXPECT_EQ(client_.getAsync(), "");
      EXPECT_TRUE(client_.receivedHeader().empty());
    }
  };
  client_.url = server.url("/1");
  ASSERT_EQ(client_.getAsync(), "");
  ASSERT_TRUE(loop_.runUntil([&] { return pages.size() == 3; }, 10000));
  EXPECT_EQ(pages, (Lines{"page /1", "page /2", "page /3"}));
}

// A GET that is redirected once and then reads a document of several pieces; the owner
// destroys the client inside the given occurrence of an event, and no event comes after.
TEST(HttpClient, DestroyingTheClientInsideAnyEventIsSafe) {
  ScriptedServer target(ScriptedServer::reply(httpResponse(200, "OK", std::string(40000, 'z'))));
  ScriptedServer server(
      ScriptedServer::reply(httpResponse(302, "Found", "", {"Location: " + target.url("/doc")})));
  // Each event's first and last occurrence, and those where the redirection is taken and
  // the second request starts: 9 state changes, 3 request lines per request, a header
  // begins for each request and for the responses, 4 header lines of the redirection and
  // 3 of the document, and at least 5 pieces of document.
  const std::pair<const char*, int> when[] = {
      {"state", 1},       {"state", 5},       {"state", 9},      {"command", 1},
      {"command", 3},     {"command", 4},     {"command", 6},    {"headerBegin", 1},
      {"headerBegin", 2}, {"headerBegin", 3}, {"headerEnd", 1},  {"headerEnd", 2},
      {"headerEnd", 3},   {"headerData", 1},  {"headerData", 4}, {"headerData", 5},
      {"headerData", 7},  {"location", 1},    {"docBegin", 1},   {"docData", 1},
      {"docData", 5},     {"docEnd", 1},      {"done", 1},
  };
  for (const auto& [stage, occurrence] : when) {
    SCOPED_TRACE(std::string(stage) + " #" + std::to_string(occurrence));
    PollLoop loop;
    auto client = std::make_unique<HttpClient>(loop);
    std::string buffer;
    client->receiveBuffer = &buffer;
    int seen = 0;
    int afterDeath = 0;
    const auto event = [&](std::string_view name) {
      if (!client) {
        ++afterDeath;
      } else if (name == stage && ++seen == occurrence) {
        client.reset();
      }
    };
    const auto on = [&](const char* name) { return [&event, name] { event(name); }; };
    client->onStateChange = on("state");
    client->onCommand = [&](const std::string&) { event("command"); };
    client->onHeaderBegin = on("headerBegin");
    client->onHeaderEnd = on("headerEnd");
    client->onHeaderData = on("headerData");
    client->onLocationChange = on("location");
    client->onDocBegin = on("docBegin");
    client->onDocData = [&](std::string_view) { event("docData"); };
    client->onDocEnd = on("docEnd");
    client->onRequestDone = [&](int, int) { event("done"); };
    client->url = server.url("/start");
    client->getAsync();
    loop.runUntil([&] { return !client; }, 10000);
    loop.runUntil([] { return false; }, 30);
    EXPECT_FALSE(client);
    EXPECT_EQ(afterDeath, 0);
  }
}

}  // namespace
}  // namespace varnook
