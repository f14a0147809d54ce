// Hostile requests, clients and sources: restrictions the parser refuses, markup and
// control bytes echoed into links, expensive queries, slow and greedy clients, oversized
// and malformed requests, damaged articles. Nothing may crash or hang the server. Every
// loop is bounded; every address is a loopback one.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <future>
#include <thread>

#include "archive/encoding.h"
#include "server/queryparser.h"
#include "server/textutil.h"
#include "serversupport.h"
#include "support/fixtures.h"

namespace varnook::server {
namespace {

using testing::LocalServer;
constexpr std::size_t npos = std::string::npos;

const LocalServer& server() {
  static const testing::TempFolder folder;
  static const LocalServer server(
      testing::indexArticles(folder, testing::numberedArticles(3, "alpha")));
  return server;
}

int statusOf(std::string_view answer) {
  return answer.starts_with("HTTP/1.") && answer.size() > 12
             ? std::stoi(std::string(answer.substr(9, 3)))
             : 0;
}

TEST(HostileRequests, RestrictionsTheParserRefusesAreErrors) {
  std::string words;
  for (int i = 0; i < 65; ++i) words += "w" + std::to_string(i) + " ";
  for (const std::string& text : {std::string(33, '(') + "alpha", words, std::string(5000, 'a')}) {
    const std::string error = parseQueryText(text, true).error;
    for (const std::string key : {"QRY=", "QRY=&subjects=", "QRY=&authors="}) {
      const auto reply = server().get("/dnquery.xp?" + key + urlEncode(text, true));
      EXPECT_EQ(reply.status, 400) << key << " " << error;
      EXPECT_NE(reply.body.find(error), npos) << key << " " << error;
    }
  }
}

TEST(HostileRequests, EchoedTextCannotBreakThePageOrItsLinks) {
  for (const std::string path :
       {"/x\"><script>x</script>/dnquery.xp", "/\x01\x7f\xc3\x28\xff/dnquery.xp"}) {
    const auto reply = server().get(path + "?QRY=alpha&maxhits=1&x=%00%01%7F%FF%22%3C");
    ASSERT_EQ(reply.status, 200) << path;
    EXPECT_EQ(reply.body.find('\0'), npos);
    EXPECT_EQ(reply.body.find("<script>"), npos);
    EXPECT_TRUE(isValidUtf8(reply.body));
    for (std::size_t at = 0; (at = reply.body.find("href=\"", at)) != npos;)
      for (at += 6; reply.body[at] != '"'; ++at)
        EXPECT_TRUE(reply.body[at] > 0x20 && reply.body[at] < 0x7F && reply.body[at] != '<');
    const testing::ParsedPage page = testing::parsePage(reply.body);
    EXPECT_EQ(page.error, "");
    EXPECT_EQ(server().get(testing::targetOf(page.nextUrl)).status, 200) << page.nextUrl;
  }
}

// A server whose "/slow" requests are expensive and wait for `gate` (30 s at most).
std::unique_ptr<HttpServer> gatedServer(HttpServer::Options options,
                                        std::shared_future<void> gate = {}) {
  options.listen = "127.0.0.1:0";
  options.isExpensive = [](const HttpRequest& request) { return request.path == "/slow"; };
  std::string error;
  auto http = HttpServer::start(
      options,
      [gate](const HttpRequest& request) {
        if (request.path == "/slow") gate.wait_for(std::chrono::seconds(30));
        return HttpResponse{200, "text/plain", request.path, {}};
      },
      error);
  EXPECT_TRUE(http) << error;
  return http;
}

TEST(ExpensiveRequests, DoNotHoldUpTheOthers) {
  HttpServer::Options options;
  options.threads = 2;
  std::promise<void> gate;
  const auto http = gatedServer(options, gate.get_future().share());
  std::vector<int> slow(4);
  std::vector<std::thread> clients;
  for (int& status : slow)
    clients.emplace_back([&] { status = testing::httpGet(http->port(), "/slow").status; });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(testing::httpGet(http->port(), "/fast").status, 200);
  gate.set_value();
  for (std::thread& client : clients) client.join();
  EXPECT_EQ(slow, std::vector<int>(4, 200));
}

// A connection from a loopback source address of our choice, with `bytes` sent.
int connectFrom(const char* source, std::uint16_t port, std::string_view bytes) {
  const int socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{AF_INET, 0, {}, {}};
  ::inet_pton(AF_INET, source, &address.sin_addr);
  ::bind(socket, reinterpret_cast<sockaddr*>(&address), sizeof address);
  address.sin_port = htons(port);
  ::inet_pton(AF_INET, "127.0.0.1", &address.sin_addr);
  ::connect(socket, reinterpret_cast<sockaddr*>(&address), sizeof address);
  ::send(socket, bytes.data(), bytes.size(), MSG_NOSIGNAL);
  return socket;
}

TEST(SlowClients, ARequestTricklingInIsCutOffAtItsDeadlineAndAnIdleOneAtItsTimeout) {
  HttpServer::Options options;
  options.requestDeadlineSeconds = 2;
  options.connectionTimeoutSeconds = 3;
  const auto http = gatedServer(options);
  const int socket = connectFrom("127.0.0.1", http->port(), "GET / HTTP/1.1\r\nHost: x\r\n");
  int lines = 0;  // one header line a second, until the server closes the connection
  for (pollfd waiting{socket, POLLIN, 0}; lines < 10 && ::poll(&waiting, 1, 1000) == 0; ++lines)
    ::send(socket, "X-Slow: 1\r\n", 11, MSG_NOSIGNAL);
  EXPECT_LT(lines, 10);
  ::close(socket);
  // A connection that sends nothing is closed after its timeout.
  const int idle = testing::connectTo(http->port());
  bool closed = false;
  testing::readFrom(idle, 10, &closed);
  EXPECT_TRUE(closed);
  ::close(idle);
}

TEST(SlowClients, AddressesHoldingFewConnectionsStillGetOne) {
  HttpServer::Options options;
  options.connectionLimit = 16;
  options.perAddressLimit = 8;
  options.reservedConnections = 4;
  options.fewPerAddress = 2;
  const auto http = gatedServer(options);
  std::vector<int> held;
  for (int i = 0; i < 8; ++i)
    for (const char* greedy : {"127.0.0.1", "127.0.0.2", "127.0.0.3", "127.0.0.4"})
      held.push_back(connectFrom(greedy, http->port(), "GET / HTTP/1.1\r\n"));
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  held.push_back(connectFrom("127.0.0.5", http->port(), "GET / HTTP/1.0\r\n\r\n"));
  EXPECT_EQ(statusOf(testing::readFrom(held.back(), 5, nullptr,
                                       [](const std::string& data) { return data.size() > 12; })),
            200);
  for (int socket : held) ::close(socket);
}

TEST(ProtocolEdges, OversizedMalformedAndHostlessRequestsAndAMissingIndex) {
  const std::pair<std::string, int> cases[] = {
      {"GET /dnquery.xp?QRY=" + std::string(3 << 20, 'a') + " HTTP/1.1\r\nHost: x\r\n\r\n", 414},
      {"GET / HTTP/1.1\r\nHost: x\r\nX-Big: " + std::string(200000, 'b') + "\r\n\r\n", 431},
      {"GET / HTTP/1.1\r\n\r\n", 400},  // HTTP/1.0 needs no Host: ServiceTest.HttpSemantics
  };
  for (const auto& [request, want] : cases)
    EXPECT_EQ(statusOf(testing::rawExchange(server().port(), request)), want)
        << request.substr(0, 40);
  for (const auto& row : testing::readTable("server/data/malformed-requests.txt", 1)) {
    const int status = statusOf(testing::rawExchange(server().port(), row[0]));
    EXPECT_TRUE(status == 0 || status == 200 || (status >= 400 && status < 600)) << row[0];
  }
  EXPECT_EQ(server().get("/varnook/update.txt").status, 200);

  testing::TempFolder folder;
  std::string logged;  // written by the one request below
  ServiceConfig config;
  config.log = [&](std::string_view text) { logged += text; };
  const LocalServer local(testing::indexArticles(folder, testing::numberedArticles(1, "gone")),
                          config);
  std::filesystem::remove_all(folder / "index");
  std::this_thread::sleep_for(std::chrono::milliseconds(1200));  // the index looks again
  const auto reply = local.get("/dnquery.xp?QRY=gone");
  EXPECT_EQ(reply.status, 503);
  EXPECT_EQ(reply.body.find(folder.path()), npos) << reply.body;
  EXPECT_NE(logged.find(folder.path()), npos) << logged;
}

TEST(DamagedSources, AreSkippedWithWarningsAndTheRestIsServed) {
  testing::TempFolder folder;
  std::string nested = "From: a@b\nSubject: nested\nMessage-ID: <n@n>\nMIME-Version: 1.0\n";
  for (int i = 0; i < 200; ++i)
    nested += "Content-Type: multipart/mixed; boundary=b" + std::to_string(i) + "\n\n--b" +
              std::to_string(i) + "\n";
  folder.write("sources/binary",
               std::string("\177ELF\2\1\1\0\0\0", 10) + std::string(5000, '\xff'));
  folder.write("sources/empty", "");
  folder.write("sources/huge-header", "From: a@b\nSubject: " + std::string(1 << 20, 'x') +
                                          "\nMessage-ID: <huge@h>\n\nhuge header body\n");
  folder.write("sources/nested", nested + "Content-Type: text/plain\n\ndeep text\n");
  // More in data/damaged: an article without a body, a broken MIME part, a bad mbox envelope.
  const IndexRunSummary summary = testing::indexPaths(
      folder / "index", {folder / "sources", VARNOOK_SOURCE_DIR "/tests/server/data/damaged"});
  EXPECT_GT(summary.added, 5u);
  EXPECT_GE(summary.skipped, 2u);  // the binary file and the empty one

  const LocalServer served(folder / "index");
  for (const char* query : {"headers", "huge", "broken", "nested", "first", "third"}) {
    const testing::ParsedPage page = served.search("QRY=" + std::string(query));
    ASSERT_EQ(page.error, "") << query;
    for (std::uint32_t number : page.numbers) served.articleText(number);  // reads back
  }
}

}  // namespace
}  // namespace varnook::server
