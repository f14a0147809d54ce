#include "net/httpclient.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "collection/daydate.h"
#include "net/pollloop.h"
#include "support/realservers.h"
#include "support/scriptedserver.h"

namespace varnook {
namespace {

using testsupport::httpResponse;
using testsupport::ReceivedRequest;
using testsupport::ScriptedConnection;
using testsupport::ScriptedServer;

// Hooks every event of a client and records them in order.
struct Trace {
  explicit Trace(HttpClient& client) : client(client) {
    client.receiveBuffer = &document;
    client.onStateChange = [this] {
      events.push_back("state" + std::to_string(int(this->client.state())));
    };
    client.onCommand = [this](const std::string& line) { commands.push_back(line); };
    client.onHeaderBegin = [this] { events.push_back("headerBegin"); };
    client.onHeaderEnd = [this] { events.push_back("headerEnd"); };
    client.onHeaderData = [this] { events.push_back("headerData"); };
    client.onDocBegin = [this] { events.push_back("docBegin"); };
    client.onDocData = [this](std::string_view piece) {
      pieces.emplace_back(piece);
      if (events.back() != "docData") events.push_back("docData");
    };
    client.onDocEnd = [this] { events.push_back("docEnd"); };
    client.onLocationChange = [this] { events.push_back("location"); };
    client.onRequestDone = [this](int type, int error) {
      events.push_back("done" + std::to_string(type) + "/" + std::to_string(error));
      ++done;
    };
  }
  // Starts a GET of `url` and waits for its end.
  bool get(PollLoop& loop, const std::string& url, int timeoutMs = 10000) {
    client.url = url;
    const int before = done;
    const std::string error = client.getAsync();
    EXPECT_EQ(error, "");
    if (!error.empty()) return false;
    return loop.runUntil([&] { return done > before; }, timeoutMs);
  }
  HttpClient& client;
  std::vector<std::string> events;
  std::vector<std::string> commands;
  std::vector<std::string> pieces;
  std::string document;
  int done = 0;
};

TEST(HttpClient, GetRunsThroughItsStatesAndEventsInOrder) {
  const std::string body = "<html>hello</html>";
  ScriptedServer server(ScriptedServer::reply(httpResponse(200, "OK", body)));
  PollLoop loop;
  HttpClient client(loop);
  Trace trace(client);
  client.onHeaderEnd = [&] {
    trace.events.push_back("headerEnd");
    client.writeRequestLine("X-Added: by handler");  // honoured only while writing the request
  };
  ASSERT_TRUE(trace.get(loop, server.url("/doc?x=1")));

  EXPECT_EQ(trace.events, (std::vector<std::string>{
                              "state1", "state2", "state1", "state3", "headerBegin", "headerEnd",
                              "headerBegin", "headerData", "headerData", "headerData", "state4",
                              "headerEnd", "docBegin", "docData", "docEnd", "state0", "done1/0"}));
  EXPECT_EQ(trace.document, body);
  EXPECT_EQ(client.statusCode(), 200);
  EXPECT_EQ(client.reasonPhrase(), "OK");
  EXPECT_EQ(client.contentLength(), static_cast<std::int64_t>(body.size()));
  EXPECT_EQ(client.contentType(), "text/html");
  EXPECT_EQ(client.receivedCount(), static_cast<std::int64_t>(body.size()));
  EXPECT_EQ(client.receivedHeader(),
            (std::vector<std::string>{"HTTP/1.0 200 OK", "Content-Type: text/html",
                                      "Content-Length: 18"}));
  EXPECT_EQ(client.state(), HttpClient::State::Ready);
  EXPECT_EQ(client.socketError(), 0);
  // Bytes that came with the end of the header are the first document data.
  EXPECT_EQ(trace.pieces.front(), body);

  const std::vector<ReceivedRequest> requests = server.requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].head, "GET /doc?x=1 HTTP/1.0\r\nHost: 127.0.0.1:" +
                                  std::to_string(server.port()) + "\r\nX-Added: by handler\r\n");
  EXPECT_EQ(trace.commands,
            (std::vector<std::string>{"GET /doc?x=1 HTTP/1.0",
                                      "Host: 127.0.0.1:" + std::to_string(server.port()),
                                      "X-Added: by handler", ""}));
  EXPECT_FALSE(client.writeRequestLine("too late"));
}

TEST(HttpClient, RequestLinesComeInTheirOrder) {
  ScriptedServer server(ScriptedServer::reply(httpResponse(200, "OK", "x")));
  PollLoop loop;
  HttpClient client(loop);
  Trace trace(client);
  client.sender = "me@example.org";
  client.reference = "http://ref.example/";
  client.agent = "Varnook/1.0";
  client.noCache = true;
  client.modifiedSince = *encodeDate(2024, 2, 29) + *encodeTime(13, 5, 9);
  client.username = "ignored";
  client.cookie = "a=b";
  // The URL's own credentials replace the settings.
  ASSERT_TRUE(trace.get(loop, "http://u:p@127.0.0.1:" + std::to_string(server.port()) + "/a/b?c"));
  EXPECT_EQ(client.username, "u");
  EXPECT_EQ(client.password, "p");
  ASSERT_EQ(server.requests().size(), 1u);
  EXPECT_EQ(server.requests()[0].head,
            "GET /a/b?c HTTP/1.0\r\n"
            "From: me@example.org\r\n"
            "Referer: http://ref.example/\r\n"
            "User-Agent: Varnook/1.0\r\n"
            "Host: 127.0.0.1:" +
                std::to_string(server.port()) +
                "\r\n"
                "Pragma: no-cache\r\n"
                "If-Modified-Since: Thu, 29 Feb 2024 13:05:09 GMT\r\n"
                "Authorization: Basic dTpw\r\n"
                "Cookie: a=b\r\n");
}

TEST(HttpClient, ThroughAProxyTheRequestNamesTheWholeTarget) {
  ScriptedServer proxy(ScriptedServer::reply(httpResponse(200, "OK", "via proxy")));
  PollLoop loop;
  HttpClient client(loop);
  Trace trace(client);
  client.proxy = "127.0.0.1:" + std::to_string(proxy.port());
  client.proxyUsername = "alice";
  client.proxyPassword = "s3cret";
  ASSERT_TRUE(trace.get(loop, "http://origin.example:8080/a/b?c"));
  EXPECT_EQ(trace.document, "via proxy");
  ASSERT_EQ(proxy.requests().size(), 1u);
  EXPECT_EQ(proxy.requests()[0].head,
            "GET http://origin.example:8080/a/b?c HTTP/1.0\r\n"
            "Host: origin.example:8080\r\n"
            "Proxy-Authorization: Basic YWxpY2U6czNjcmV0\r\n");

  // Without a port in the setting, proxyPort is used.
  client.proxy = "127.0.0.1";
  client.proxyPort = std::to_string(proxy.port());
  client.proxyUsername.clear();
  ASSERT_TRUE(trace.get(loop, "http://origin.example/p"));
  ASSERT_EQ(proxy.requests().size(), 2u);
  EXPECT_EQ(proxy.requests()[1].target, "http://origin.example/p");
  EXPECT_FALSE(proxy.requests()[1].header("Proxy-Authorization"));
}

TEST(HttpClient, ResponseInSingleBytesWithBareLineFeeds) {
  const std::string body(3000, 'b');
  const std::string response =
      "HTTP/1.1 200 Fine\nContent-Type:text/plain\nContent-Length: 3000\nX-Odd: 1\n\n" + body;
  ScriptedServer server([&](ScriptedConnection& c) {
    if (!c.readRequest()) return;
    c.sendInPieces(response.substr(0, 120), 1, 1);
    c.sendInPieces(response.substr(120), 1);
  });
  PollLoop loop;
  HttpClient client(loop);
  Trace trace(client);
  ASSERT_TRUE(trace.get(loop, server.url("/")));
  EXPECT_EQ(client.statusCode(), 200);
  EXPECT_EQ(client.reasonPhrase(), "Fine");
  EXPECT_EQ(client.contentType(), "ext/plain");  // one character is always skipped after ":"
  EXPECT_EQ(client.receivedHeader().size(), 4u);
  EXPECT_EQ(trace.document, body);
  EXPECT_EQ(client.receivedCount(), 3000);
  for (const std::string& piece : trace.pieces) EXPECT_LE(piece.size(), 8191u);
}

TEST(HttpClient, ErrorStatusEndsAtOnceWithoutDocument) {
  ScriptedServer server(ScriptedServer::reply(
      httpResponse(404, "Not Found", "<html>nothing here</html>", {"X-After: never read"})));
  PollLoop loop;
  HttpClient client(loop);
  Trace trace(client);
  ASSERT_TRUE(trace.get(loop, server.url("/missing")));
  EXPECT_EQ(client.statusCode(), 404);
  EXPECT_EQ(client.reasonPhrase(), "Not Found");
  EXPECT_EQ(client.receivedHeader(), std::vector<std::string>{"HTTP/1.0 404 Not Found"});
  EXPECT_TRUE(trace.document.empty());
  EXPECT_EQ(trace.events.back(), "done1/0");
  EXPECT_EQ(std::count(trace.events.begin(), trace.events.end(), "docBegin"), 0);
}

TEST(HttpClient, StatusCodeThatIsNoNumberIsAFailure) {
  ScriptedServer server(ScriptedServer::reply("HTTP/1.0 2x0 Odd\r\n\r\nbody"));
  PollLoop loop;
  HttpClient client(loop);
  Trace trace(client);
  ASSERT_TRUE(trace.get(loop, server.url("/")));
  EXPECT_EQ(client.statusCode(), 404);
  EXPECT_EQ(client.reasonPhrase(), "Invalid status line in response");
  EXPECT_TRUE(trace.document.empty());
}

TEST(HttpClient, DocumentCutShortIsAFailure) {
  ScriptedServer server([](ScriptedConnection& c) {
    if (!c.readRequest()) return;
    c.send("HTTP/1.0 200 OK\r\nContent-Length: 100\r\n\r\nfirst");
    c.pause(50);
    c.close();
  });
  PollLoop loop;
  HttpClient client(loop);
  Trace trace(client);
  ASSERT_TRUE(trace.get(loop, server.url("/")));
  EXPECT_EQ(client.statusCode(), 404);
  EXPECT_EQ(client.reasonPhrase(), "Connection closed after 5 of 100 document bytes");
  EXPECT_EQ(trace.document, "first");
  EXPECT_EQ(client.socketError(), 0);
  EXPECT_EQ(std::count(trace.events.begin(), trace.events.end(), "docEnd"), 1);
}

TEST(HttpClient, ConnectionResetMidDocumentLeavesTheSocketCode) {
  // The reset comes once the client has read the start of the document.
  std::atomic<bool> read{false};
  ScriptedServer server([&](ScriptedConnection& c) {
    if (!c.readRequest()) return;
    c.send("HTTP/1.0 200 OK\r\n\r\nsome");
    while (!read.load() && c.pause(1)) {
    }
    c.reset();
  });
  PollLoop loop;
  HttpClient client(loop);
  Trace trace(client);
  const auto traceData = client.onDocData;
  client.onDocData = [&](std::string_view piece) {
    traceData(piece);
    read = true;
  };
  ASSERT_TRUE(trace.get(loop, server.url("/")));
  EXPECT_EQ(client.statusCode(), 200);
  EXPECT_EQ(client.socketError(), 10054);
  EXPECT_EQ(trace.events.back(), "done1/0");
}

TEST(HttpClient, ConnectionClosedBeforeTheHeaderEndedIsAFailure) {
  ScriptedServer server([](ScriptedConnection& c) {
    if (!c.readRequest()) return;
    c.send("HTTP/1.0 200 OK\r\nContent-");
  });
  PollLoop loop;
  HttpClient client(loop);
  Trace trace(client);
  ASSERT_TRUE(trace.get(loop, server.url("/")));
  EXPECT_EQ(client.statusCode(), 404);
  EXPECT_EQ(client.reasonPhrase(), "Connection closed before the end of the response header");
}

TEST(HttpClient, ServerThatNeverAnswersTimesOut) {
  ScriptedServer server([](ScriptedConnection& c) { c.waitForPeerClose(); });
  PollLoop loop;
  HttpClient client(loop);
  Trace trace(client);
  client.silenceTimeoutMs = 200;
  ASSERT_TRUE(trace.get(loop, server.url("/")));
  EXPECT_EQ(client.socketError(), 10060);
  EXPECT_EQ(client.statusCode(), 0);
  EXPECT_EQ(trace.events.back(), "done1/0");
}

TEST(HttpClient, RedirectionsAreFollowedAndLimited) {
  ScriptedServer target(ScriptedServer::reply(httpResponse(200, "OK", "arrived")));
  const std::string targetUrl = target.url("/x");
  ScriptedServer first(ScriptedServer::respond([&](const ReceivedRequest& r) {
    if (r.target == "/relative/start") return httpResponse(302, "Found", "", {"Location: next"});
    if (r.target == "/relative/next")
      return httpResponse(301, "Moved", "", {"Location: " + targetUrl});
    return httpResponse(302, "Found", "", {"Location: /loop"});  // forever
  }));
  PollLoop loop;
  HttpClient client(loop);
  Trace trace(client);
  client.username = "u";  // credentials stay with the server they were given for
  ASSERT_TRUE(trace.get(loop, first.url("/relative/start")));
  EXPECT_EQ(client.statusCode(), 200);
  EXPECT_EQ(trace.document, "arrived");
  EXPECT_EQ(client.redirections(), 2);
  EXPECT_EQ(client.location(), targetUrl);
  EXPECT_EQ(std::count(trace.events.begin(), trace.events.end(), "location"), 2);
  // ReceivedHeader holds the lines of all three responses; OnHeaderBegin fired once for them.
  EXPECT_EQ(client.receivedHeader().size(), 4u + 4u + 3u);
  EXPECT_EQ(std::count(trace.events.begin(), trace.events.end(), "headerBegin"), 3 + 1);
  ASSERT_EQ(first.requests().size(), 2u);
  EXPECT_EQ(first.requests()[1].target, "/relative/next");
  EXPECT_TRUE(first.requests()[1].header("Authorization"));
  ASSERT_EQ(target.requests().size(), 1u);
  EXPECT_EQ(target.requests()[0].target, "/x");
  EXPECT_EQ(*target.requests()[0].header("Host"), "127.0.0.1:" + std::to_string(target.port()));
  EXPECT_FALSE(target.requests()[0].header("Authorization"));

  ASSERT_TRUE(trace.get(loop, first.url("/loop")));
  EXPECT_EQ(client.statusCode(), 404);
  EXPECT_EQ(client.reasonPhrase(), "Too many redirections");
  EXPECT_EQ(client.redirections(), HttpClient::kMaxRedirections);
  EXPECT_EQ(first.requests().size(), 2u + HttpClient::kMaxRedirections + 1);
}

TEST(HttpClient, RedirectionCutOffBeforeTheHeaderEndedIsNotFollowed) {
  // The connection closes after the Location line, before the empty line: no redirection
  // was accepted, so nothing is fetched again (and nothing can loop).
  ScriptedServer server([](ScriptedConnection& c) {
    if (!c.readRequest()) return;
    c.send("HTTP/1.0 302 Found\r\nLocation: /again\r\n");
  });
  PollLoop loop;
  HttpClient client(loop);
  Trace trace(client);
  ASSERT_TRUE(trace.get(loop, server.url("/start"), 5000));
  EXPECT_EQ(client.statusCode(), 404);
  EXPECT_EQ(client.reasonPhrase(), "Connection closed before the end of the response header");
  EXPECT_EQ(client.redirections(), 0);
  EXPECT_EQ(std::count(trace.events.begin(), trace.events.end(), "location"), 0);
  EXPECT_EQ(server.requests().size(), 1u);
}

TEST(HttpClient, RedirectionWhoseHeaderEndsInALaterReadIsFollowed) {
  ScriptedServer target(ScriptedServer::reply(httpResponse(200, "OK", "arrived")));
  std::atomic<bool> locationRead{false};
  ScriptedServer server([&](ScriptedConnection& c) {
    if (!c.readRequest()) return;
    c.send("HTTP/1.0 302 Found\r\nLocation: " + target.url("/x") + "\r\n");
    // The empty line comes in a read of its own, after the client has taken the Location.
    while (!locationRead.load() && c.pause(1)) {
    }
    c.send("\r\n");
  });
  PollLoop loop;
  HttpClient client(loop);
  Trace trace(client);
  const auto traceHeader = client.onHeaderData;
  client.onHeaderData = [&] {
    traceHeader();
    if (client.lastLine().rfind("Location:", 0) == 0) locationRead = true;
  };
  ASSERT_TRUE(trace.get(loop, server.url("/start"), 5000));
  EXPECT_EQ(client.statusCode(), 200);
  EXPECT_EQ(trace.document, "arrived");
  EXPECT_EQ(client.redirections(), 1);
  EXPECT_EQ(server.requests().size(), 1u);
}

TEST(HttpClient, HugeHeaderLineIsRefusedWithoutReadingItAll) {
  ScriptedServer server([](ScriptedConnection& c) {
    if (!c.readRequest()) return;
    c.send("HTTP/1.0 200 OK\r\nX-Huge: ");
    const std::string chunk(1 << 20, 'h');
    for (int i = 0; i < 10 && c.send(chunk); ++i) {
    }
    c.send("\r\n\r\nbody");
  });
  PollLoop loop;
  HttpClient client(loop);
  Trace trace(client);
  ASSERT_TRUE(trace.get(loop, server.url("/")));
  EXPECT_EQ(client.statusCode(), 404);
  EXPECT_EQ(client.reasonPhrase(), "Response header line too long");
  EXPECT_TRUE(trace.document.empty());
}

TEST(HttpClient, DocumentOverTheLimitEndsTheRequest) {
  // A server that sends without end: the client must stop taking it.
  ScriptedServer server([](ScriptedConnection& c) {
    if (!c.readRequest()) return;
    c.send("HTTP/1.0 200 OK\r\n\r\n");
    const std::string chunk(64 * 1024, 'd');
    while (c.send(chunk)) {
    }
  });
  PollLoop loop;
  HttpClient client(loop);
  Trace trace(client);
  client.maxDocumentSize = 1 << 20;
  ASSERT_TRUE(trace.get(loop, server.url("/")));
  EXPECT_EQ(client.statusCode(), 404);
  EXPECT_EQ(client.reasonPhrase(), "Document too large");
  EXPECT_LE(trace.document.size(), std::size_t{1} << 20);
  EXPECT_EQ(client.receivedCount(), static_cast<std::int64_t>(trace.document.size()));
  EXPECT_EQ(trace.events.back(), "done1/0");
}

TEST(HttpClient, FailuresBeforeAnyResponse) {
  PollLoop loop;
  HttpClient client(loop);
  Trace trace(client);

  ASSERT_TRUE(
      trace.get(loop, "http://127.0.0.1:" + std::to_string(testsupport::freeLoopbackPort()) + "/"));
  EXPECT_EQ(client.statusCode(), 404);
  EXPECT_EQ(client.reasonPhrase(), "Connection refused (Error #10061)");
  EXPECT_EQ(client.socketError(), 10061);
  EXPECT_EQ(trace.events.back(), "done1/0");

  ASSERT_TRUE(trace.get(loop, "http://no-such-host.invalid/", 60000));
  EXPECT_EQ(client.statusCode(), 404);
  EXPECT_EQ(client.reasonPhrase(), "can't resolve hostname to IP address");
  EXPECT_EQ(trace.events.back(), "done1/0");
}

TEST(HttpClient, StartRefusalsFireNothing) {
  PollLoop loop;
  HttpClient client(loop);
  Trace trace(client);
  client.url = "http:///nohost";
  EXPECT_EQ(client.getAsync(), "DNS lookup: invalid host name.");
  client.url = "http://127.0.0.1:http-alt-typo/";
  EXPECT_EQ(client.getAsync(), "SetPort: Cannot convert port 'http-alt-typo'");
  EXPECT_TRUE(trace.events.empty());
  EXPECT_EQ(client.state(), HttpClient::State::Ready);

  client.url = "http://resolver-bound.invalid/";
  ASSERT_EQ(client.getAsync(), "");
  EXPECT_EQ(client.getAsync(), "HTTP component is busy");
  client.abort();
  loop.runUntil([&] { return trace.done > 0; }, 5000);
}

TEST(HttpClient, AbortWhileResolvingEndsAtOnce) {
  PollLoop loop;
  HttpClient client(loop);
  Trace trace(client);
  client.url = "http://resolver-bound.invalid/";
  ASSERT_EQ(client.getAsync(), "");
  EXPECT_EQ(client.state(), HttpClient::State::ResolvingName);
  client.abort();
  client.abort();            // already aborting: nothing
  EXPECT_EQ(trace.done, 0);  // the end is posted, never inside abort()
  loop.processEvents(0);
  EXPECT_EQ(trace.events,
            (std::vector<std::string>{"state1", "state2", "state5", "state0", "done1/3"}));
  EXPECT_EQ(client.statusCode(), 404);
  EXPECT_EQ(client.reasonPhrase(), "Connection aborted on request");
  loop.runUntil([] { return false; }, 100);
  EXPECT_EQ(trace.done, 1);
}

TEST(HttpClient, AbortDuringTheTransferEndsWhenTheConnectionCloses) {
  ScriptedServer server([](ScriptedConnection& c) {
    if (!c.readRequest()) return;
    c.send("HTTP/1.0 200 OK\r\n\r\nstart of a long document");
    c.waitForPeerClose();
  });
  PollLoop loop;
  HttpClient client(loop);
  Trace trace(client);
  client.onDocData = [&](std::string_view) { client.abort(); };
  ASSERT_TRUE(trace.get(loop, server.url("/")));
  EXPECT_EQ(trace.events.back(), "done1/3");
  EXPECT_EQ(client.reasonPhrase(), "Connection aborted on request");
  loop.runUntil([] { return false; }, 50);
  EXPECT_EQ(trace.done, 1);
}

TEST(HttpClient, LoopbackNamesReachTheLocalServer) {
  ScriptedServer server(ScriptedServer::reply(httpResponse(200, "OK", "local")));
  PollLoop loop;
  HttpClient client(loop);
  Trace trace(client);
  ASSERT_TRUE(trace.get(loop, "http://x1.localhost:" + std::to_string(server.port()) + "/a"));
  EXPECT_EQ(trace.document, "local");
  EXPECT_EQ(*server.requests().at(0).header("Host"),
            "x1.localhost:" + std::to_string(server.port()));
}

TEST(HttpClient, NextRequestMayStartFromInsideRequestDone) {
  ScriptedServer server(ScriptedServer::respond(
      [](const ReceivedRequest& r) { return httpResponse(200, "OK", "page " + r.target); }));
  PollLoop loop;
  HttpClient client(loop);
  std::string page;
  client.receiveBuffer = &page;
  std::vector<std::string> pages;
  client.onRequestDone = [&](int, int) {
    pages.push_back(page);
    page.clear();
    if (pages.size() < 3) {
      client.url = server.url("/" + std::to_string(pages.size() + 1));
      EXPECT_EQ(client.getAsync(), "");
      EXPECT_TRUE(client.receivedHeader().empty());
    }
  };
  client.url = server.url("/1");
  ASSERT_EQ(client.getAsync(), "");
  ASSERT_TRUE(loop.runUntil([&] { return pages.size() == 3; }, 10000));
  EXPECT_EQ(pages, (std::vector<std::string>{"page /1", "page /2", "page /3"}));
}

TEST(HttpClient, DestroyingTheClientInsideAnyEventIsSafe) {
  ScriptedServer target(ScriptedServer::reply(httpResponse(200, "OK", std::string(40000, 'z'))));
  ScriptedServer server(ScriptedServer::respond([&](const ReceivedRequest& r) {
    if (r.target == "/start")
      return httpResponse(302, "Found", "", {"Location: " + target.url("/doc")});
    return httpResponse(500, "Unused", "");
  }));
  const char* stages[] = {"state",    "command",  "headerBegin", "headerEnd", "headerData",
                          "location", "docBegin", "docData",     "docEnd",    "done"};
  for (const char* stage : stages) {
    for (int occurrence = 1; occurrence <= 3; ++occurrence) {
      SCOPED_TRACE(std::string(stage) + " #" + std::to_string(occurrence));
      PollLoop loop;
      auto client = std::make_unique<HttpClient>(loop);
      std::string buffer;
      client->receiveBuffer = &buffer;
      int seen = 0;
      int afterDeath = 0;
      const std::string wanted = stage;
      auto event = [&](const char* name) {
        if (!client) {
          ++afterDeath;
          return;
        }
        if (wanted == name && ++seen == occurrence) client.reset();
      };
      client->onStateChange = [&] { event("state"); };
      client->onCommand = [&](const std::string&) { event("command"); };
      client->onHeaderBegin = [&] { event("headerBegin"); };
      client->onHeaderEnd = [&] { event("headerEnd"); };
      client->onHeaderData = [&] { event("headerData"); };
      client->onLocationChange = [&] { event("location"); };
      client->onDocBegin = [&] { event("docBegin"); };
      client->onDocData = [&](std::string_view) { event("docData"); };
      client->onDocEnd = [&] { event("docEnd"); };
      bool finished = false;
      client->onRequestDone = [&](int, int) {
        finished = true;
        event("done");
      };
      client->url = server.url("/start");
      client->getAsync();
      loop.runUntil([&] { return !client || finished; }, 10000);
      loop.runUntil([] { return false; }, 30);
      EXPECT_EQ(afterDeath, 0);
      client.reset();
    }
  }
}

}  // namespace
}  // namespace varnook
