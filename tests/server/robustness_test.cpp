// Bad input: requests the server must refuse clearly, clients that misbehave, and
// sources full of damaged articles. Nothing may crash or hang the server.

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "serversupport.h"

namespace varnook::server {
namespace {

using testing::indexArticles;
using testing::LocalServer;
using testing::TempFolder;

// A server over three articles, shared by the tests of this file.
const LocalServer& server() {
  static const TempFolder folder;
  static const LocalServer server(indexArticles(folder, testing::numberedArticles(3, "alpha")));
  return server;
}
bool serverAnswers() {
  return server().get("/varnook/update.txt").status == 200;
}
int statusOf(const std::string& answer) {
  return answer.size() > 12 && answer.starts_with("HTTP/1.") ? std::stoi(answer.substr(9, 3)) : 0;
}
int exchange(const std::string& request, int timeoutSeconds = 10) {
  return statusOf(testing::rawExchange(server().port(), request, timeoutSeconds));
}

TEST(RobustnessTest, OversizedRequestsGetClearErrors) {
  EXPECT_EQ(
      exchange("GET /dnquery.xp?QRY=" + std::string(3 << 20, 'a') + " HTTP/1.1\r\nHost: x\r\n\r\n"),
      414);
  EXPECT_EQ(
      exchange("GET / HTTP/1.1\r\nHost: x\r\nX-Big: " + std::string(200000, 'b') + "\r\n\r\n"),
      431);
  // Within the request limits but beyond the query's.
  const testing::HttpReply longQuery = server().get("/dnquery.xp?QRY=" + std::string(10000, 'a'));
  EXPECT_EQ(longQuery.status, 400);
  EXPECT_NE(longQuery.body.find("The query is too long."), std::string::npos);
  EXPECT_EQ(server().get("/dnquery.xp?QRY=" + std::string(200, '(') + "alpha").status, 400);
  EXPECT_TRUE(serverAnswers());
}

TEST(RobustnessTest, MalformedRequestsAreRefused) {
  for (const std::string& request : {
           std::string("\r\n\r\n"),
           std::string("GET\r\n\r\n"),
           std::string("GET / HTTP/9.9\r\n\r\n"),
           std::string("GET / HTTP/1.1\r\nno colon here\r\n\r\n"),
           std::string("GET /\0x HTTP/1.0\r\n\r\n", 20),
           std::string("\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03"),  // a TLS hello
           std::string("GET /dnquery.xp?QRY=%zz%%%&&&=&=& HTTP/1.0\r\n\r\n"),
       }) {
    const int status = exchange(request, 5);
    EXPECT_TRUE(status == 0 || status == 200 || (status >= 400 && status < 600)) << request;
  }
  EXPECT_TRUE(serverAnswers());
}

// A client that sends one byte per second holds only its own connection.
TEST(RobustnessTest, SlowClientDoesNotHoldUpOthers) {
  std::atomic<bool> slowDone{false};
  std::string slowAnswer;
  std::thread slow([&] {
    const std::string request = "GET /varnook/update.txt HTTP/1.0\r\n\r\n";
    const int socket = testing::connectTo(server().port());
    for (char c : request.substr(0, 6)) {  // the first bytes one per second, then the rest
      ::send(socket, &c, 1, MSG_NOSIGNAL);
      std::this_thread::sleep_for(std::chrono::seconds(1));
    }
    ::send(socket, request.data() + 6, request.size() - 6, MSG_NOSIGNAL);
    char buffer[4096];
    for (ssize_t got; (got = ::recv(socket, buffer, sizeof buffer, 0)) > 0;)
      slowAnswer.append(buffer, got);
    ::close(socket);
    slowDone = true;
  });
  int answered = 0;
  for (int i = 0; i < 20; ++i) answered += server().get("/dnquery.xp?QRY=alpha").status == 200;
  const bool othersFinishedFirst = !slowDone;
  slow.join();
  EXPECT_EQ(answered, 20);
  EXPECT_TRUE(othersFinishedFirst);
  EXPECT_EQ(statusOf(slowAnswer), 200);
}

TEST(RobustnessTest, IdleAndSurplusConnectionsAreHandled) {
  // An idle connection is closed by the server after its timeout.
  EXPECT_EQ(testing::rawExchange(server().port(), "", 60), "");
  // Many connections that say nothing leave the server answering.
  std::vector<int> idle;
  for (int i = 0; i < 60; ++i) idle.push_back(testing::connectTo(server().port()));
  EXPECT_TRUE(serverAnswers());
  for (int socket : idle) ::close(socket);
}

TEST(DamagedSources, AreSkippedWithWarningsAndTheRestIsServed) {
  TempFolder folder;
  std::string nested = "From: a@b\nSubject: nested\nMessage-ID: <n@n>\nMIME-Version: 1.0\n";
  for (int i = 0; i < 200; ++i)
    nested += "Content-Type: multipart/mixed; boundary=b" + std::to_string(i) + "\n\n--b" +
              std::to_string(i) + "\n";
  std::string mbox;
  for (int i = 0; i < 100; ++i)
    mbox += "From a Mon Apr  5 10:00:00 1993\nSubject: gz " + std::to_string(i) +
            "\nMessage-ID: <gz" + std::to_string(i) + "@x>\n\nzipped body\n\n";
  const std::string compressed = testing::gzip(mbox);
  for (const auto& [name, content] : {
           std::pair<std::string, std::string>{"binary", std::string("\x7f"
                                                                     "ELF\x02\x01\x01\0\0\0",
                                                                     10) +
                                                             std::string(5000, '\xff')},
           {"empty", ""},
           {"headers-only", "From: a@b\nSubject: headers only\nMessage-ID: <h@o>"},
           {"huge-header", "From: a@b\nSubject: " + std::string(1 << 20, 'x') +
                               "\nMessage-ID: <huge@h>\n\nhuge header body\n"},
           {"broken-mime",
            "From: a@b\nSubject: broken mime\nMessage-ID: <b@m>\nMIME-Version: 1.0\n"
            "Content-Type: multipart/mixed; boundary=\"never\"\n\n--never\n"
            "Content-Type: text/plain\nContent-Transfer-Encoding: base64\n\n"
            "!!!not base64 at all\n"},
           {"nested", nested + "Content-Type: text/plain\n\ndeep text\n"},
           {"mbox",
            "From x Mon Apr  5 10:00:00 1993\nSubject: first\nMessage-ID: <m1@x>\n\na\n\n"
            "From y garbage envelope\n\xff\xfe\x01\x02\n\n"
            "From z Mon Apr  5 11:00:00 1993\nSubject: third\nMessage-ID: <m3@x>\n\nc\n"},
           {"cut.mbox.gz", compressed.substr(0, compressed.size() / 2)},  // cut short
       })
    testing::writeFile(folder / ("sources/" + name), content);
  const IndexRunSummary summary = testing::indexPaths(folder / "index", {folder / "sources"});
  EXPECT_GT(summary.added, 5u);
  EXPECT_GE(summary.skipped, 2u);                // the binary file and the empty one
  EXPECT_GT(summary.warnings, summary.skipped);  // also the cut compressed file

  LocalServer server(folder / "index");
  for (const char* query : {"headers", "huge", "broken", "nested", "first", "third", "zipped"}) {
    const testing::ParsedPage page = server.search("QRY=" + std::string(query));
    ASSERT_EQ(page.error, "") << query;
    for (std::uint32_t number : page.numbers) server.articleText(number);  // reads back
  }
}

}  // namespace
}  // namespace varnook::server
