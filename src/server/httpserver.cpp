#include "server/httpserver.h"

#include <arpa/inet.h>
#include <microhttpd.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <exception>

#include "archive/encoding.h"
#include "archive/textsearch.h"

namespace varnook::server {
namespace {

// What the URI callback hands to the request handler: the raw request target, before
// the library splits and decodes it.
struct RequestContext {
  std::string uri;
  bool headersSeen = false;
};

void* rememberUri(void*, const char* uri, MHD_Connection*) {
  auto* context = new RequestContext;
  if (uri) context->uri = uri;
  return context;
}

void forgetRequest(void*, MHD_Connection*, void** requestContext, MHD_RequestTerminationCode) {
  delete static_cast<RequestContext*>(*requestContext);
  *requestContext = nullptr;
}

// The library's own decoding is left out: parameters are decoded once, by
// parseQueryString, the way the agent encodes them.
std::size_t keepEscapes(void*, MHD_Connection*, char* text) {
  return std::strlen(text);
}

// A year, renewed by every answer.
constexpr const char* kHstsValue = "max-age=31536000";

MHD_Result send(MHD_Connection* connection, const HttpRequest& request,
                const HttpResponse& response, bool hsts) {
  MHD_Response* reply = MHD_create_response_from_buffer(
      response.body.size(), const_cast<char*>(response.body.data()), MHD_RESPMEM_MUST_COPY);
  if (!reply) return MHD_NO;
  MHD_add_response_header(reply, MHD_HTTP_HEADER_CONTENT_TYPE, response.contentType.c_str());
  for (const auto& [name, value] : response.headers)
    MHD_add_response_header(reply, name.c_str(), value.c_str());
  if (hsts) MHD_add_response_header(reply, "Strict-Transport-Security", kHstsValue);
  // An HTTP/1.0 client reads to the end of the connection.
  if (request.version == MHD_HTTP_VERSION_1_0)
    MHD_add_response_header(reply, MHD_HTTP_HEADER_CONNECTION, "close");
  const MHD_Result result =
      MHD_queue_response(connection, static_cast<unsigned>(response.status), reply);
  MHD_destroy_response(reply);
  return result;
}

struct ListenAddress {
  sockaddr_storage storage{};
  socklen_t length = 0;
};

// "host:port", "[v6]:port" or ":port" (all interfaces).
std::optional<ListenAddress> resolveListen(const std::string& text, std::string& error) {
  std::string host, port;
  if (!text.empty() && text.front() == '[') {
    const std::size_t close = text.find(']');
    if (close == std::string::npos || close + 1 >= text.size() || text[close + 1] != ':') {
      error = "expected [address]:port, got '" + text + "'";
      return std::nullopt;
    }
    host = text.substr(1, close - 1);
    port = text.substr(close + 2);
  } else {
    const std::size_t colon = text.rfind(':');
    if (colon == std::string::npos) {
      error = "expected address:port, got '" + text + "'";
      return std::nullopt;
    }
    host = text.substr(0, colon);
    port = text.substr(colon + 1);
  }
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
  addrinfo* found = nullptr;
  const int status =
      ::getaddrinfo(host.empty() ? nullptr : host.c_str(), port.c_str(), &hints, &found);
  if (status != 0 || !found) {
    error = "cannot resolve '" + text + "': " + gai_strerror(status);
    return std::nullopt;
  }
  ListenAddress address;
  std::memcpy(&address.storage, found->ai_addr, found->ai_addrlen);
  address.length = found->ai_addrlen;
  ::freeaddrinfo(found);
  return address;
}

std::string describe(const sockaddr_storage& storage, std::uint16_t& port) {
  char text[INET6_ADDRSTRLEN] = {};
  if (storage.ss_family == AF_INET6) {
    const auto* v6 = reinterpret_cast<const sockaddr_in6*>(&storage);
    ::inet_ntop(AF_INET6, &v6->sin6_addr, text, sizeof text);
    port = ntohs(v6->sin6_port);
    return "[" + std::string(text) + "]:" + std::to_string(port);
  }
  const auto* v4 = reinterpret_cast<const sockaddr_in*>(&storage);
  ::inet_ntop(AF_INET, &v4->sin_addr, text, sizeof text);
  port = ntohs(v4->sin_port);
  return std::string(text) + ":" + std::to_string(port);
}

}  // namespace

std::optional<std::string> HttpRequest::parameter(std::string_view name) const {
  for (const auto& [key, value] : parameters)
    if (equalsNoCase(key, name)) return value;
  return std::nullopt;
}

std::vector<std::pair<std::string, std::string>> parseQueryString(std::string_view query) {
  std::vector<std::pair<std::string, std::string>> parameters;
  std::size_t position = 0;
  while (position <= query.size()) {
    std::size_t end = query.find('&', position);
    if (end == std::string_view::npos) end = query.size();
    const std::string_view pair = query.substr(position, end - position);
    if (!pair.empty()) {
      const std::size_t equals = pair.find('=');
      if (equals == std::string_view::npos) {
        parameters.emplace_back(urlDecode(pair), std::string());
      } else {
        parameters.emplace_back(urlDecode(pair.substr(0, equals)),
                                urlDecode(pair.substr(equals + 1)));
      }
    }
    position = end + 1;
  }
  return parameters;
}

struct HttpServer::Daemon {
  HttpHandler handler;
  MHD_Daemon* daemon = nullptr;
  bool hsts = false;
  std::string tlsCertificate, tlsKey;  // the library reads them while it runs

  ~Daemon() {
    if (daemon) MHD_stop_daemon(daemon);
  }

  static MHD_Result answer(void* self, MHD_Connection* connection, const char*, const char* method,
                           const char* version, const char*, std::size_t* uploadSize,
                           void** requestContext) {
    auto* daemon = static_cast<Daemon*>(self);
    auto* context = static_cast<RequestContext*>(*requestContext);
    const bool readable =
        method && (std::strcmp(method, "GET") == 0 || std::strcmp(method, "HEAD") == 0);
    // A GET is answered on the call after the headers: an answer queued on the first call
    // makes the library close the connection, which would end HTTP/1.1 keep-alive.
    if (readable && context && !context->headersSeen) {
      context->headersSeen = true;
      return MHD_YES;
    }
    if (readable && *uploadSize > 0) {
      *uploadSize = 0;  // a body on a GET is ignored
      return MHD_YES;
    }
    HttpRequest request;
    request.method = method ? method : "";
    request.version = version ? version : "";
    std::string_view uri = context ? std::string_view(context->uri) : std::string_view();
    // An absolute-form target ("http://host/path", as sent to proxies) names the same path.
    for (std::string_view scheme : {"http://", "https://"}) {
      if (uri.size() > scheme.size() && equalsNoCase(uri.substr(0, scheme.size()), scheme)) {
        const std::size_t slash = uri.find('/', scheme.size());
        uri = slash == std::string_view::npos ? std::string_view("/") : uri.substr(slash);
      }
    }
    const std::size_t question = uri.find('?');
    request.path = uri.substr(0, question);
    if (question != std::string_view::npos) request.query = uri.substr(question + 1);
    if (const char* host = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, "Host"))
      request.host = host;

    HttpResponse response;
    if (!readable) {
      // A request body is never read: the answer goes out at once and the library
      // closes the connection after it.
      *uploadSize = 0;
      response.status = 405;
      response.contentType = "text/plain; charset=utf-8";
      response.body = "Only GET and HEAD are supported.\n";
      response.headers.emplace_back("Allow", "GET, HEAD");
      return send(connection, request, response, daemon->hsts);
    }
    request.parameters = parseQueryString(request.query);
    try {
      response = daemon->handler(request);
    } catch (const std::exception& e) {
      response = HttpResponse{
          500, "text/plain; charset=utf-8", std::string("Internal error: ") + e.what() + "\n", {}};
    }
    return send(connection, request, response, daemon->hsts);
  }
};

std::unique_ptr<HttpServer> HttpServer::start(const Options& options, HttpHandler handler,
                                              std::string& error) {
  const std::optional<ListenAddress> address = resolveListen(options.listen, error);
  if (!address) return nullptr;
  const int family = address->storage.ss_family;
  const int listener = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listener < 0) {
    error = std::string("socket: ") + std::strerror(errno);
    return nullptr;
  }
  const int yes = 1;
  ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  if (family == AF_INET6) ::setsockopt(listener, IPPROTO_IPV6, IPV6_V6ONLY, &yes, sizeof yes);
  if (::bind(listener, reinterpret_cast<const sockaddr*>(&address->storage), address->length) !=
          0 ||
      ::listen(listener, 256) != 0) {
    error = "cannot listen on " + options.listen + ": " + std::strerror(errno);
    ::close(listener);
    return nullptr;
  }
  sockaddr_storage bound{};
  socklen_t boundLength = sizeof bound;
  ::getsockname(listener, reinterpret_cast<sockaddr*>(&bound), &boundLength);

  std::unique_ptr<HttpServer> server(new HttpServer);
  server->address_ = describe(bound, server->port_);
  server->daemon_ = std::make_unique<Daemon>();
  server->daemon_->handler = std::move(handler);
  unsigned flags = MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_EPOLL | MHD_USE_ERROR_LOG;
  if (family == AF_INET6) flags |= MHD_USE_IPv6;
  // The TLS options go in as an array, empty for plain HTTP.
  Daemon& state = *server->daemon_;
  std::vector<MHD_OptionItem> tls;
  if (!options.tlsCertificate.empty()) {
    flags |= MHD_USE_TLS;
    state.tlsCertificate = options.tlsCertificate;
    state.tlsKey = options.tlsKey;
    state.hsts = options.hsts;
    tls.push_back({MHD_OPTION_HTTPS_MEM_CERT, 0, state.tlsCertificate.data()});
    tls.push_back({MHD_OPTION_HTTPS_MEM_KEY, 0, state.tlsKey.data()});
  }
  tls.push_back({MHD_OPTION_END, 0, nullptr});
  server->daemon_->daemon = MHD_start_daemon(
      flags, 0, nullptr, nullptr, &Daemon::answer, server->daemon_.get(), MHD_OPTION_LISTEN_SOCKET,
      listener, MHD_OPTION_THREAD_POOL_SIZE, std::max(1u, options.threads),
      MHD_OPTION_CONNECTION_TIMEOUT, options.connectionTimeoutSeconds, MHD_OPTION_CONNECTION_LIMIT,
      options.connectionLimit, MHD_OPTION_PER_IP_CONNECTION_LIMIT, options.perAddressLimit,
      MHD_OPTION_CONNECTION_MEMORY_LIMIT, options.connectionMemory, MHD_OPTION_URI_LOG_CALLBACK,
      &rememberUri, nullptr, MHD_OPTION_NOTIFY_COMPLETED, &forgetRequest, nullptr,
      MHD_OPTION_UNESCAPE_CALLBACK, &keepEscapes, nullptr, MHD_OPTION_ARRAY, tls.data(),
      MHD_OPTION_END);
  if (!server->daemon_->daemon) {
    ::close(listener);
    error = "the HTTP server could not be started on " + options.listen;
    return nullptr;
  }
  return server;
}

HttpServer::~HttpServer() = default;

}  // namespace varnook::server
