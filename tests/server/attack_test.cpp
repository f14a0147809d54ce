// Hostile requests and clients: restrictions the parser refuses, markup and control
// bytes echoed into links, expensive queries, slow and greedy clients, protocol edges.
// Every loop is bounded; every address is a loopback one.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <thread>

#include "archive/encoding.h"
#include "server/queryparser.h"
#include "server/textutil.h"
#include "serversupport.h"

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

int statusOf(const std::string& answer) {
  return answer.starts_with("HTTP/1.") && answer.size() > 12 ? std::stoi(answer.substr(9, 3)) : 0;
}

TEST(HostileRequests, RestrictionsTheParserRefusesAreErrors) {
  std::string manyWords;
  for (int i = 0; i < 65; ++i) manyWords += "w" + std::to_string(i) + " ";
  for (const std::string& text :
       {std::string(33, '(') + "alpha", manyWords, std::string(5000, 'a')}) {
    const std::string error = parseQueryText(text, true).error;
    ASSERT_NE(error, "");
    for (const char* key : {"subjects", "authors"}) {
      const auto reply =
          server().get("/dnquery.xp?QRY=&" + std::string(key) + "=" + urlEncode(text, true));
      EXPECT_EQ(reply.status, 400) << key << " " << error;
      EXPECT_NE(reply.body.find(error), npos) << key << " " << error;
    }
  }
}

TEST(HostileRequests, EchoedTextCannotBreakThePageOrItsLinks) {
  for (const std::string path :
       {"/x\"><script>alert(1)</script>/dnquery.xp", "/\x01\x7f\xc3\x28\xff/dnquery.xp"}) {
    const auto reply = server().get(path + "?QRY=alpha&maxhits=1&x=%00%01%7F%FF%22%3C");
    ASSERT_EQ(reply.status, 200) << path;
    EXPECT_EQ(reply.body.find('\0'), npos);
    EXPECT_EQ(reply.body.find("<script>"), npos);
    EXPECT_TRUE(isValidUtf8(reply.body));
    for (std::size_t at = 0; (at = reply.body.find("href=\"", at)) != npos;) {
      at += 6;
      const std::string href = reply.body.substr(at, reply.body.find('"', at) - at);
      for (unsigned char c : href) EXPECT_TRUE(c > 0x20 && c < 0x7F && c != '<') << href;
    }
    const testing::ParsedPage page = testing::parsePage(reply.body);
    EXPECT_EQ(page.error, "");
    EXPECT_EQ(server().get(testing::targetOf(page.nextUrl)).status, 200) << page.nextUrl;
  }
}

// A server whose "/slow" requests wait until the test lets them go.
struct GatedServer {
  std::mutex mutex;
  std::condition_variable opened;
  bool open = false;
  std::unique_ptr<HttpServer> http;

  explicit GatedServer(HttpServer::Options options) {
    options.listen = "127.0.0.1:0";
    options.isExpensive = [](const HttpRequest& request) { return request.path == "/slow"; };
    std::string error;
    http = HttpServer::start(
        options,
        [this](const HttpRequest& request) {
          if (request.path == "/slow") {
            std::unique_lock lock(mutex);
            opened.wait_for(lock, std::chrono::seconds(30), [&] { return open; });
          }
          return HttpResponse{200, "text/plain", request.path, {}};
        },
        error);
    EXPECT_TRUE(http) << error;
  }
  void release() {
    std::lock_guard lock(mutex);
    open = true;
    opened.notify_all();
  }
};

TEST(ExpensiveRequests, DoNotHoldUpTheOthers) {
  HttpServer::Options options;
  options.threads = 2;
  options.expensiveThreads = 1;
  GatedServer gated(options);
  std::vector<int> slowStatus(4);
  std::vector<std::thread> slow;
  for (int& status : slowStatus)
    slow.emplace_back([&] { status = testing::httpGet(gated.http->port(), "/slow").status; });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const int fast = testing::httpGet(gated.http->port(), "/fast").status;
  gated.release();
  for (std::thread& thread : slow) thread.join();
  EXPECT_EQ(fast, 200);
  EXPECT_EQ(slowStatus, std::vector<int>(4, 200));
}

TEST(ExpensiveRequests, APhraseCheckReadsABoundedAmountOfText) {
  testing::TempFolder folder;
  std::string filler;
  while (filler.size() < (1u << 20)) filler += "alpha beta gamma delta\n";
  std::vector<testing::TestArticle> articles = testing::numberedArticles(6, "big");
  for (testing::TestArticle& article : articles) article.body = "quick brown fox\n" + filler;
  const auto index = testing::openIndex(testing::indexArticles(folder, articles));
  SearchParameters search;
  search.fields.keywords = "\"quick brown\"";
  const SearchOutcome outcome = index->search(search);
  EXPECT_FALSE(outcome.exact);  // 6 MB of text to check, more than one query may read
  EXPECT_EQ(outcome.total, 6u);
  EXPECT_EQ(outcome.hits.size(), 4u);
}

// A connection to the server from a loopback source address of our choice.
int connectFrom(const char* source, std::uint16_t port) {
  const int socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  ::inet_pton(AF_INET, source, &address.sin_addr);
  if (::bind(socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return -1;
  address.sin_port = htons(port);
  ::inet_pton(AF_INET, "127.0.0.1", &address.sin_addr);
  if (::connect(socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return -1;
  return socket;
}

bool closedByServer(int socket) {
  pollfd waiting{socket, POLLIN, 0};
  char byte;
  return ::poll(&waiting, 1, 0) > 0 && ::recv(socket, &byte, 1, MSG_DONTWAIT) <= 0;
}

TEST(SlowClients, ARequestTricklingInIsCutOffAtItsDeadline) {
  HttpServer::Options options;
  options.requestDeadlineSeconds = 2;
  options.connectionTimeoutSeconds = 3;
  GatedServer gated(options);
  const int socket = connectFrom("127.0.0.1", gated.http->port());
  const std::string start = "GET /fast HTTP/1.1\r\nHost: x\r\n";
  ::send(socket, start.data(), start.size(), MSG_NOSIGNAL);
  int lines = 0;
  for (; lines < 10 && !closedByServer(socket); ++lines) {  // one header line a second
    std::this_thread::sleep_for(std::chrono::seconds(1));
    ::send(socket, "X-Slow: 1\r\n", 11, MSG_NOSIGNAL);
  }
  EXPECT_LT(lines, 10);
  ::close(socket);
}

TEST(SlowClients, AddressesHoldingFewConnectionsStillGetOne) {
  HttpServer::Options options;
  options.connectionLimit = 16;
  options.perAddressLimit = 8;
  options.reservedConnections = 4;
  options.fewPerAddress = 2;
  GatedServer gated(options);
  std::vector<int> held;
  for (int i = 0; i < 8; ++i)
    for (const char* greedy : {"127.0.0.1", "127.0.0.2", "127.0.0.3", "127.0.0.4"}) {
      const int socket = connectFrom(greedy, gated.http->port());
      ::send(socket, "GET /fast HTTP/1.1\r\n", 20, MSG_NOSIGNAL);
      held.push_back(socket);
    }
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  const int socket = connectFrom("127.0.0.5", gated.http->port());
  const std::string request = "GET /fast HTTP/1.0\r\n\r\n";
  ::send(socket, request.data(), request.size(), MSG_NOSIGNAL);
  pollfd waiting{socket, POLLIN, 0};
  char answer[64] = {};
  if (::poll(&waiting, 1, 5000) > 0) (void)::recv(socket, answer, sizeof answer - 1, 0);
  EXPECT_EQ(statusOf(answer), 200);
  ::close(socket);
  for (int greedy : held) ::close(greedy);
}

TEST(ProtocolEdges, Http11WithoutHostIsRefused) {
  EXPECT_EQ(statusOf(testing::rawExchange(server().port(), "GET / HTTP/1.1\r\n\r\n", 5)), 400);
  EXPECT_EQ(statusOf(testing::rawExchange(server().port(), "GET / HTTP/1.0\r\n\r\n", 5)), 200);
}

TEST(ProtocolEdges, AMissingIndexIsLoggedNotShown) {
  testing::TempFolder folder;
  std::mutex mutex;
  std::string logged;
  ServiceConfig config;
  config.log = [&](std::string_view text) {
    std::lock_guard lock(mutex);
    logged += text;
  };
  const LocalServer local(testing::indexArticles(folder, testing::numberedArticles(1, "gone")),
                          config);
  std::filesystem::remove_all(folder / "index");
  std::this_thread::sleep_for(std::chrono::milliseconds(1200));  // the index looks again
  const auto reply = local.get("/dnquery.xp?QRY=gone");
  EXPECT_EQ(reply.status, 503);
  EXPECT_EQ(reply.body.find(folder.path()), npos) << reply.body;
  std::lock_guard lock(mutex);
  EXPECT_NE(logged.find(folder.path()), npos) << logged;
}

}  // namespace
}  // namespace varnook::server
