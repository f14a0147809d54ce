// The HTTP client against real servers started on loopback: nginx for documents,
// redirections and errors, tinyproxy for a proxy with basic authentication.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <tuple>

#include "net/httpclient.h"
#include "net/pollloop.h"
#include "support/realservers.h"

namespace varnook {
namespace {

using testing::NginxServer;
using testing::TinyProxyServer;

class RealServers : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    nginx_ = NginxServer::start(&error);
    if (!nginx_) GTEST_SKIP() << error;
    document_.resize(3u << 20);
    for (std::size_t i = 0; i < document_.size(); ++i) {
      document_[i] = static_cast<char>((i * 31) ^ (i >> 11));
    }
    ASSERT_TRUE(nginx_->writeDocument("big.bin", document_));
    ASSERT_TRUE(nginx_->writeDocument("page.html", "<html>page</html>"));
  }

  // Runs one GET to its end; the document lands in received_.
  void get(const std::string& url) {
    received_.clear();
    client_.receiveBuffer = &received_;
    bool done = false;
    client_.onRequestDone = [&](int, int error) {
      done = true;
      error_ = error;
    };
    client_.url = url;
    ASSERT_EQ(client_.getAsync(), "");
    ASSERT_TRUE(loop_.runUntil([&] { return done; }, 30000));
  }
  // Status, reason, the socket's and the request's error codes, and the document type.
  std::string outcome() const {
    return std::to_string(client_.statusCode()) + " " + client_.reasonPhrase() + " #" +
           std::to_string(client_.socketError()) + "/" + std::to_string(error_) + " " +
           client_.contentType();
  }

  std::unique_ptr<NginxServer> nginx_;
  std::string document_;
  PollLoop loop_;
  HttpClient client_{loop_};
  std::string received_;
  int error_ = -1;
};

TEST_F(RealServers, StaticDocumentsArriveIntactAndMissingOnesAre404) {
  std::size_t largestPiece = 0;
  client_.onDocData = [&](std::string_view piece) {
    largestPiece = std::max(largestPiece, piece.size());
  };
  get(nginx_->url("/big.bin"));
  EXPECT_EQ(outcome(), "200 OK #0/0 application/octet-stream");
  EXPECT_EQ(client_.contentLength(), static_cast<std::int64_t>(document_.size()));
  EXPECT_TRUE(received_ == document_);
  EXPECT_LE(largestPiece, HttpClient::kMaxPiece);
  get(nginx_->url("/page.html"));
  EXPECT_EQ(outcome() + " " + received_, "200 OK #0/0 text/html <html>page</html>");
  get(nginx_->url("/no/such/page.html"));
  EXPECT_EQ(outcome() + " [" + received_ + "]", "404 Not Found #0/0 text/html []");
}

TEST_F(RealServers, RedirectionsToAnotherPortAreFollowed) {
  int locationChanges = 0;
  client_.onLocationChange = [&] { ++locationChanges; };
  // 301 to the other port, and 302 back to the first one.
  for (const auto& [url, target, status] :
       {std::tuple(nginx_->url("/moved/page.html"), nginx_->otherUrl("/page.html"), "301"),
        std::tuple(nginx_->otherUrl("/found/page.html"), nginx_->url("/page.html"), "302")}) {
    get(url);
    EXPECT_EQ(outcome() + " " + received_, "200 OK #0/0 text/html <html>page</html>");
    EXPECT_EQ(client_.location(), target);
    EXPECT_EQ(client_.receivedHeader().front().substr(0, 12), std::string("HTTP/1.1 ") + status);
  }
  EXPECT_EQ(locationChanges, 2);
}

TEST_F(RealServers, ProxyWithBasicAuthentication) {
  std::string error;
  auto proxy = TinyProxyServer::start(&error, "alice", "s3cret");
  if (!proxy) GTEST_SKIP() << error;
  client_.proxy = "127.0.0.1:" + std::to_string(proxy->port());
  get(nginx_->url("/page.html"));
  EXPECT_EQ(client_.reasonPhrase() + " [" + received_ + "]", "Proxy Authentication Required []");
  EXPECT_EQ(client_.statusCode(), 407);

  client_.proxyUsername = "alice";
  client_.proxyPassword = "s3cret";
  get(nginx_->url("/big.bin"));
  EXPECT_EQ(client_.statusCode(), 200);
  EXPECT_TRUE(received_ == document_);
  // A redirection through the proxy: the new target goes to the proxy as a whole URL.
  get(nginx_->url("/moved/page.html"));
  EXPECT_EQ(outcome() + " " + received_, "200 OK #0/0 text/html <html>page</html>");
  EXPECT_EQ(client_.redirections(), 1);
}

}  // namespace
}  // namespace varnook
