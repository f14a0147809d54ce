// Bad input: requests the server must refuse clearly, clients that misbehave, and
// sources full of damaged articles. Nothing may crash or hang the server.

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <zlib.h>

#include <atomic>
#include <thread>

#include "archive/articletext.h"
#include "collection/article.h"
#include "serversupport.h"

namespace varnook::server {
namespace {

using testing::LocalServer;
using testing::TempFolder;

class RobustnessTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    folder_ = new TempFolder;
    std::vector<testing::TestArticle> articles(3);
    articles[0].subject = "alpha";
    articles[1].subject = "beta";
    articles[2].subject = "gamma";
    testing::indexPaths(*folder_ / "index", {testing::writeSpool(*folder_, articles)});
    server_ = new LocalServer(*folder_ / "index");
  }
  static void TearDownTestSuite() {
    delete server_;
    delete folder_;
  }
  static bool serverAnswers() { return server_->get("/varnook/update.txt").status == 200; }

  static TempFolder* folder_;
  static LocalServer* server_;
};

TempFolder* RobustnessTest::folder_ = nullptr;
LocalServer* RobustnessTest::server_ = nullptr;

int statusOf(const std::string& answer) {
  return answer.size() > 12 && answer.rfind("HTTP/1.", 0) == 0 ? std::stoi(answer.substr(9, 3)) : 0;
}

TEST_F(RobustnessTest, OversizedRequestsGetClearErrors) {
  EXPECT_EQ(statusOf(testing::rawExchange(server_->port(),
                                          "GET /dnquery.xp?QRY=" + std::string(3 << 20, 'a') +
                                              " HTTP/1.1\r\nHost: x\r\n\r\n")),
            414);
  EXPECT_EQ(statusOf(testing::rawExchange(
                server_->port(),
                "GET / HTTP/1.1\r\nHost: x\r\nX-Big: " + std::string(200000, 'b') + "\r\n\r\n")),
            431);
  // Within the request limits but beyond the query's.
  const testing::HttpReply longQuery = server_->get("/dnquery.xp?QRY=" + std::string(10000, 'a'));
  EXPECT_EQ(longQuery.status, 400);
  EXPECT_NE(longQuery.body.find("The query is too long."), std::string::npos);
  EXPECT_EQ(server_->get("/dnquery.xp?QRY=" + std::string(200, '(') + "alpha").status, 400);
  EXPECT_TRUE(serverAnswers());
}

TEST_F(RobustnessTest, MalformedRequestsAreRefused) {
  const std::string garbage[] = {
      "\r\n\r\n",
      "GET\r\n\r\n",
      "GET / HTTP/9.9\r\n\r\n",
      "GET / HTTP/1.1\r\nno colon here\r\n\r\n",
      std::string("GET /\0x HTTP/1.0\r\n\r\n", 20),
      "\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03",  // a TLS hello
      "GET /dnquery.xp?QRY=%zz%%%&&&=&=& HTTP/1.0\r\n\r\n",
  };
  for (const std::string& request : garbage) {
    const std::string answer = testing::rawExchange(server_->port(), request, 5);
    const int status = statusOf(answer);
    EXPECT_TRUE(status == 0 || status == 200 || (status >= 400 && status < 600)) << answer;
  }
  EXPECT_TRUE(serverAnswers());
}

// A client that sends one byte per second holds only its own connection.
TEST_F(RobustnessTest, SlowClientDoesNotHoldUpOthers) {
  std::atomic<bool> slowDone{false};
  std::string slowAnswer;
  std::thread slow([&] {
    const int port = server_->port();
    const std::string request = "GET /varnook/update.txt HTTP/1.0\r\n\r\n";
    // Sends the first bytes one per second, then the rest, and reads the answer.
    const std::string first = request.substr(0, 6);
    const std::string rest = request.substr(6);
    int socket = -1;
    {
      // A raw connection kept open between the bytes.
      sockaddr_in target{};
      target.sin_family = AF_INET;
      target.sin_port = htons(static_cast<std::uint16_t>(port));
      target.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      socket = ::socket(AF_INET, SOCK_STREAM, 0);
      ::connect(socket, reinterpret_cast<sockaddr*>(&target), sizeof target);
    }
    for (char c : first) {
      ::send(socket, &c, 1, MSG_NOSIGNAL);
      std::this_thread::sleep_for(std::chrono::seconds(1));
    }
    ::send(socket, rest.data(), rest.size(), MSG_NOSIGNAL);
    char buffer[4096];
    ssize_t got;
    while ((got = ::recv(socket, buffer, sizeof buffer, 0)) > 0) slowAnswer.append(buffer, got);
    ::close(socket);
    slowDone = true;
  });
  int answered = 0;
  for (int i = 0; i < 20; ++i) answered += server_->get("/dnquery.xp?QRY=alpha").status == 200;
  const bool othersFinishedFirst = !slowDone;
  slow.join();
  EXPECT_EQ(answered, 20);
  EXPECT_TRUE(othersFinishedFirst);
  EXPECT_EQ(statusOf(slowAnswer), 200);
}

TEST_F(RobustnessTest, IdleAndSurplusConnectionsAreHandled) {
  // An idle connection is closed by the server after its timeout.
  bool closed = false;
  {
    const std::string answer = testing::rawExchange(server_->port(), "", 60);
    closed = answer.empty();
  }
  EXPECT_TRUE(closed);
  // Many connections that say nothing leave the server answering.
  std::vector<int> idle;
  for (int i = 0; i < 60; ++i) {
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_port = htons(server_->port());
    target.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const int socket = ::socket(AF_INET, SOCK_STREAM, 0);
    ::connect(socket, reinterpret_cast<sockaddr*>(&target), sizeof target);
    idle.push_back(socket);
  }
  EXPECT_TRUE(serverAnswers());
  for (int socket : idle) ::close(socket);
}

TEST(DamagedSources, AreSkippedWithWarningsAndTheRestIsServed) {
  TempFolder folder;
  const std::string sources = folder / "sources";
  testing::writeFile(sources + "/binary", std::string("\x7f"
                                                      "ELF\x02\x01\x01\0\0\0",
                                                      10) +
                                              std::string(5000, '\xff'));
  testing::writeFile(sources + "/empty", "");
  testing::writeFile(sources + "/headers-only",
                     "From: a@b\nSubject: headers only\nMessage-ID: <h@o>");
  testing::writeFile(sources + "/huge-header", "From: a@b\nSubject: " + std::string(1 << 20, 'x') +
                                                   "\nMessage-ID: <huge@h>\n\nhuge header body\n");
  testing::writeFile(sources + "/broken-mime",
                     "From: a@b\nSubject: broken mime\nMessage-ID: <b@m>\nMIME-Version: 1.0\n"
                     "Content-Type: multipart/mixed; boundary=\"never\"\n\n--never\n"
                     "Content-Type: text/plain\nContent-Transfer-Encoding: base64\n\n"
                     "!!!not base64 at all\n");
  std::string nested = "From: a@b\nSubject: nested\nMessage-ID: <n@n>\nMIME-Version: 1.0\n";
  for (int i = 0; i < 200; ++i)
    nested += "Content-Type: multipart/mixed; boundary=b" + std::to_string(i) + "\n\n--b" +
              std::to_string(i) + "\n";
  testing::writeFile(sources + "/nested", nested + "Content-Type: text/plain\n\ndeep text\n");
  testing::writeFile(sources + "/mbox",
                     "From x Mon Apr  5 10:00:00 1993\nSubject: first\nMessage-ID: <m1@x>\n\na\n\n"
                     "From y garbage envelope\n\xff\xfe\x01\x02\n\n"
                     "From z Mon Apr  5 11:00:00 1993\nSubject: third\nMessage-ID: <m3@x>\n\nc\n");
  {
    // Compressed data cut short.
    const std::string whole = folder / "whole.gz";
    gzFile file = gzopen(whole.c_str(), "wb");
    std::string mbox;
    for (int i = 0; i < 100; ++i)
      mbox += "From a Mon Apr  5 10:00:00 1993\nSubject: gz " + std::to_string(i) +
              "\nMessage-ID: <gz" + std::to_string(i) + "@x>\n\nzipped body\n\n";
    gzwrite(file, mbox.data(), static_cast<unsigned>(mbox.size()));
    gzclose(file);
    const std::string compressed = testing::readFile(whole);
    testing::writeFile(sources + "/cut.mbox.gz", compressed.substr(0, compressed.size() / 2));
  }
  const IndexRunSummary summary = testing::indexPaths(folder / "index", {sources});
  EXPECT_GT(summary.added, 5u);
  EXPECT_GE(summary.skipped, 2u);                // the binary file and the empty one
  EXPECT_GT(summary.warnings, summary.skipped);  // also the cut compressed file

  LocalServer server(folder / "index");
  for (const char* query : {"headers", "huge", "broken", "nested", "first", "third", "zipped"}) {
    const testing::ParsedPage page =
        testing::parsePage(server.get("/dnquery.xp?QRY=" + std::string(query)).body);
    ASSERT_EQ(page.error, "") << query;
    for (std::uint32_t number : page.numbers) {
      const testing::HttpReply reply =
          server.get("/getdoc.xp?AN=" + std::to_string(number) + "&fmt=text");
      Article article(number, "");
      EXPECT_EQ(parseArticleText(reply.body, article), "") << query;
    }
  }
}

}  // namespace
}  // namespace varnook::server
