#pragma once

// A small HTTP/1.1 server (or HTTPS, through the library's TLS) on libmicrohttpd for the
// archive's GET endpoints. Requests are
// answered by a handler function on a pool of threads; slow or idle clients time out,
// oversized request lines and headers are refused by the library, and the number of
// connections is bounded, so no client can stall the others.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace varnook::server {

struct HttpRequest {
  std::string method;   // "GET", "HEAD", ...
  std::string version;  // "HTTP/1.0", "HTTP/1.1"
  std::string path;     // as sent, without the query
  std::string query;    // as sent, after the "?"
  std::string host;     // the Host header, empty when absent
  std::vector<std::pair<std::string, std::string>> parameters;  // decoded, in order

  // The first parameter with this name (ASCII case ignored).
  std::optional<std::string> parameter(std::string_view name) const;
};

struct HttpResponse {
  int status = 200;
  std::string contentType = "text/html; charset=utf-8";
  std::string body;
  std::vector<std::pair<std::string, std::string>> headers;
};

using HttpHandler = std::function<HttpResponse(const HttpRequest&)>;

// Splits "a=1&b=x+y%21" into decoded pairs; a key without "=" has an empty value.
std::vector<std::pair<std::string, std::string>> parseQueryString(std::string_view query);

class HttpServer {
 public:
  struct Options {
    std::string listen = "127.0.0.1:8119";  // "host:port", "[::1]:port", port 0 = any free
    unsigned threads = 4;
    unsigned connectionTimeoutSeconds = 15;  // idle connections are closed after this
    // The request line and headers must have arrived within this, however steadily
    // they trickle in; then the connection is closed.
    unsigned requestDeadlineSeconds = 30;
    unsigned connectionLimit = 512;
    unsigned perAddressLimit = 128;
    // The last `reservedConnections` are kept for addresses holding fewer than
    // `fewPerAddress` connections, so that a few greedy addresses cannot lock out the
    // rest. IPv6 addresses count by their /64 network.
    unsigned reservedConnections = 128;
    unsigned fewPerAddress = 8;
    std::size_t connectionMemory = 64 * 1024;  // request line and headers must fit
    // Requests this picks out run on `expensiveThreads` threads of their own, at most
    // `expensiveQueueLimit` waiting (more are answered 503), so that they never hold up
    // the other requests. Without it, every request runs on the serving threads.
    std::function<bool(const HttpRequest&)> isExpensive;
    unsigned expensiveThreads = 1;
    std::size_t expensiveQueueLimit = 64;
    // PEM texts of the certificate and its key (see loadTlsFiles): when given, HTTPS is
    // served instead of HTTP.
    std::string tlsCertificate;
    std::string tlsKey;
    // With TLS: every response tells browsers to come back over HTTPS only
    // ("Strict-Transport-Security").
    bool hsts = false;
  };

  // Binds and starts serving; returns null and sets `error` when the address cannot be
  // used. The handler is called from several threads at once and must not throw (a
  // throwing handler gets a 500 answer).
  static std::unique_ptr<HttpServer> start(const Options& options, HttpHandler handler,
                                           std::string& error);
  ~HttpServer();  // stops serving; waits for running requests
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  std::uint16_t port() const { return port_; }
  // "127.0.0.1:8119" or "[::1]:8119".
  std::string address() const { return address_; }

 private:
  HttpServer() = default;
  struct Daemon;
  std::unique_ptr<Daemon> daemon_;
  std::uint16_t port_ = 0;
  std::string address_;
};

}  // namespace varnook::server
