// The HTTP client against real servers on loopback: nginx serving plain documents and TLS
// with certificates made for the test (documents, redirections across ports and across http
// and https, every way a certificate is refused), tinyproxy with basic authentication (plain
// requests and CONNECT tunnels).
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <memory>
#include <string>
#include <tuple>

#include "net/httpclient.h"
#include "net/pollloop.h"
#include "support/realservers.h"
#include "support/testcertificates.h"

namespace varnook {
namespace {

using testing::NginxServer;
using testing::TestCertificates;
using testing::TinyProxyServer;

class Tls : public ::testing::Test {
 protected:
  // The certificates and nginx are made once for all the tests.
  static void SetUpTestSuite() {
    certificates_ = TestCertificates::make(&skip_);
    if (certificates_) nginx_ = NginxServer::start(&skip_, certificates_->sites());
    for (std::size_t i = 0; i < document_.size(); ++i)
      document_[i] = static_cast<char>((i * 31) ^ (i >> 11));
    if (!nginx_) return;
    nginx_->writeDocument("big.bin", document_);
    nginx_->writeDocument("page.html", "<html>page</html>");
  }
  static void TearDownTestSuite() {
    nginx_.reset();
    certificates_.reset();
  }
  void SetUp() override {
    if (!nginx_) GTEST_SKIP() << skip_;
    client_.trustedCertificates = certificates_->authority();
  }

  // Runs one GET to its end: "<status> <reason> [<document>]".
  std::string get(const std::string& url) {
    received_.clear();
    client_.receiveBuffer = &received_;
    bool done = false;
    client_.onRequestDone = [&](int, int) { done = true; };
    client_.url = url;
    EXPECT_EQ(client_.getAsync(), "");
    EXPECT_TRUE(loop_.runUntil([&] { return done; }, 30000));
    return std::to_string(client_.statusCode()) + " " + client_.reasonPhrase() + " [" +
           (received_.size() > 100 ? "..." : received_) + "]";
  }

  static inline std::unique_ptr<TestCertificates> certificates_;
  static inline std::unique_ptr<NginxServer> nginx_;
  static inline std::string document_ = std::string(3u << 20, '\0');
  static inline std::string skip_;
  PollLoop loop_;
  HttpClient client_{loop_};
  std::string received_;
};

TEST_F(Tls, DocumentsRedirectionsAndRefusedCertificates) {
  const std::string page = "200 OK [<html>page</html>]";
  const std::string refused = "404 Certificate verify failed: ";
  struct Case {
    std::string url;
    std::string expected;
    std::string location;  // where it ended, when it was redirected
  };
  const Case cases[] = {
      {nginx_->tlsUrl("/page.html"), page, ""},
      {nginx_->tlsUrl("/page.html", "localhost"), page, ""},
      {nginx_->tlsUrl("/page.html", "good.localhost"), page, ""},
      {nginx_->url("/page.html"), page, ""},
      // http -> https is followed; https -> http is not.
      {nginx_->url("/secure/page.html"), page, nginx_->tlsUrl("/page.html")},
      {nginx_->tlsUrl("/plain/page.html"), "404 Redirect from HTTPS to HTTP refused []", ""},
      {nginx_->tlsUrl("/page.html", "expired.localhost"), refused + "certificate expired []", ""},
      {nginx_->tlsUrl("/page.html", "future.localhost"), refused + "certificate not yet valid []",
       ""},
      {nginx_->tlsUrl("/page.html", "wrong.localhost"), refused + "host name mismatch []", ""},
      {nginx_->tlsUrl("/page.html", "unknown.localhost"), refused + "unknown issuer []", ""},
      // A server that does not speak TLS.
      {"https://127.0.0.1:" + std::to_string(nginx_->port()) + "/page.html",
       "404 TLS handshake failed: ", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.url);
    const std::string outcome = get(c.url);
    EXPECT_EQ(outcome.substr(0, c.expected.size()), c.expected);
    if (!c.location.empty()) {
      EXPECT_EQ(std::tuple(client_.location(), client_.redirections()), std::tuple(c.location, 1));
    }
  }
  // The big document arrives whole, in pieces no larger than usual.
  for (const std::string& url : {nginx_->url("/big.bin"), nginx_->tlsUrl("/big.bin")}) {
    std::size_t largest = 0;
    client_.onDocData = [&](std::string_view piece) { largest = std::max(largest, piece.size()); };
    EXPECT_EQ(get(url), "200 OK [...]");
    EXPECT_TRUE(received_ == document_);
    EXPECT_LE(largest, HttpClient::kMaxPiece);
    EXPECT_EQ(std::tuple(client_.contentLength(), client_.contentType(), client_.socketError()),
              std::tuple(std::int64_t(document_.size()), "application/octet-stream", 0));
  }

  // Without the test authority only the system's store counts; a file that cannot be read
  // fails the transfer with its name.
  client_.trustedCertificates.clear();
  EXPECT_EQ(get(nginx_->tlsUrl("/page.html")), refused + "unknown issuer []");
  client_.trustedCertificates = certificates_->folder() / "missing.pem";
  EXPECT_EQ(get(nginx_->tlsUrl("/page.html")),
            "404 Trusted certificates \"" + client_.trustedCertificates +
                "\" cannot be used: No such file or directory []");
}

TEST_F(Tls, ThroughAProxyWithBasicAuthenticationPlainAndTunnelled) {
  std::string error;
  auto proxy = TinyProxyServer::start(&error, "alice", "s3cret");
  if (!proxy) GTEST_SKIP() << error;
  client_.proxy = "127.0.0.1:" + std::to_string(proxy->port());
  for (const std::string& url : {nginx_->url("/page.html"), nginx_->tlsUrl("/page.html")})
    EXPECT_EQ(get(url), "407 Proxy Authentication Required []");

  client_.proxyUsername = "alice";
  client_.proxyPassword = "s3cret";
  // Plain requests name the whole target to the proxy, also after a redirection.
  EXPECT_EQ(get(nginx_->url("/moved/page.html")), "200 OK [<html>page</html>]");
  EXPECT_EQ(client_.redirections(), 1);
  std::string requestLines;
  client_.onCommand = [&](const std::string& line) { requestLines += line + "\n"; };
  EXPECT_EQ(get(nginx_->tlsUrl("/big.bin")), "200 OK [...]");
  EXPECT_TRUE(received_ == document_);
  // Inside the tunnel the request is the server's: its own path, no proxy credentials.
  EXPECT_EQ(requestLines.substr(0, 25), "GET /big.bin HTTP/1.0\nHos");
  EXPECT_EQ(requestLines.find("Proxy-Authorization"), std::string::npos) << requestLines;
  // A plain request redirected to https goes on in a tunnel.
  EXPECT_EQ(get(nginx_->url("/secure/page.html")), "200 OK [<html>page</html>]");
  EXPECT_EQ(client_.location(), nginx_->tlsUrl("/page.html"));
  // The certificate is checked through the tunnel as it is without one.
  client_.trustedCertificates.clear();
  EXPECT_EQ(get(nginx_->tlsUrl("/page.html")), "404 Certificate verify failed: unknown issuer []");
}

// A server that takes the connection and never answers the handshake.
TEST_F(Tls, ASilentServerEndsTheHandshakeWhenTheSilenceLimitPasses) {
  int port = 0;
  const int listener = testing::bindLoopback(false, 4, &port);
  ASSERT_GE(listener, 0);
  client_.silenceTimeoutMs = 200;
  EXPECT_EQ(get("https://127.0.0.1:" + std::to_string(port) + "/"),
            "404 TLS handshake failed: Connection timed out []");
  ::close(listener);
}

}  // namespace
}  // namespace varnook
