#include "server/httpserver.h"

#include <arpa/inet.h>
#include <microhttpd.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <unordered_set>

#include "archive/encoding.h"
#include "archive/textsearch.h"

namespace varnook::server {
namespace {

using Clock = std::chrono::steady_clock;

// What the URI callback hands to the request handler: the raw request target, before
// the library splits and decodes it; and the answer of a request that ran elsewhere.
struct RequestContext {
  std::string uri;
  bool headersSeen = false;
  std::string version;
  std::optional<HttpResponse> answer;  // set before the connection is resumed
};

void* rememberUri(void*, const char* uri, MHD_Connection*) {
  auto* context = new RequestContext;
  if (uri) context->uri = uri;
  return context;
}

HttpResponse plainResponse(int status, std::string body) {
  return HttpResponse{status, "text/plain; charset=utf-8", std::move(body), {}};
}

HttpResponse callHandler(const HttpHandler& handler, const HttpRequest& request) {
  try {
    return handler(request);
  } catch (const std::exception& e) {
    return plainResponse(500, std::string("Internal error: ") + e.what() + "\n");
  }
}

// Keeps count of the open connections per address, decides which new ones are let in,
// and cuts off connections whose request takes longer than the deadline to arrive.
// The library's own timeout is reset by every byte, so a client that trickles in a
// header line now and then would otherwise hold its connection for ever.
class ConnectionGuard {
 public:
  struct Connection {
    std::string address;  // the counting key
    int socket = -1;
    Clock::time_point waitingSince;  // for the next request to arrive
    bool inRequest = false;          // the request has arrived and is being answered
    bool cut = false;
  };

  explicit ConnectionGuard(const HttpServer::Options& options)
      : limit_(options.connectionLimit),
        perAddress_(options.perAddressLimit),
        reserved_(std::min(options.reservedConnections, options.connectionLimit / 2)),
        few_(options.fewPerAddress),
        deadline_(std::chrono::seconds(options.requestDeadlineSeconds)),
        watchdog_([this] { watch(); }) {}

  ~ConnectionGuard() {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    wake_.notify_all();
    watchdog_.join();
  }

  static MHD_Result admits(void* self, const sockaddr* address, socklen_t) {
    auto& guard = *static_cast<ConnectionGuard*>(self);
    const std::string key = addressKey(address);
    std::lock_guard lock(guard.mutex_);
    const auto found = guard.perAddressCount_.find(key);
    const unsigned held = found == guard.perAddressCount_.end() ? 0 : found->second;
    if (held >= guard.perAddress_) return MHD_NO;
    if (guard.connections_.size() + guard.reserved_ >= guard.limit_ && held >= guard.few_)
      return MHD_NO;
    return MHD_YES;
  }

  static void notify(void* self, MHD_Connection* connection, void** socketContext,
                     MHD_ConnectionNotificationCode code) {
    auto& guard = *static_cast<ConnectionGuard*>(self);
    if (code == MHD_CONNECTION_NOTIFY_STARTED) {
      auto entry = std::make_unique<Connection>();
      if (const auto* info =
              MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS))
        entry->address = addressKey(info->client_addr);
      if (const auto* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD))
        entry->socket = info->connect_fd;
      entry->waitingSince = Clock::now();
      std::lock_guard lock(guard.mutex_);
      ++guard.perAddressCount_[entry->address];
      *socketContext = entry.get();
      guard.connections_.insert(entry.release());
    } else if (auto* entry = static_cast<Connection*>(*socketContext)) {
      // The library closes the socket only after this notice.
      std::lock_guard lock(guard.mutex_);
      if (--guard.perAddressCount_[entry->address] == 0)
        guard.perAddressCount_.erase(entry->address);
      guard.connections_.erase(entry);
      delete entry;
      *socketContext = nullptr;
    }
  }

  // The request line and headers have arrived.
  void requestArrived(MHD_Connection* connection) { mark(connection, true); }
  // The answer has gone out: the deadline for the next request starts.
  void requestDone(MHD_Connection* connection) { mark(connection, false); }

 private:
  // IPv4 addresses count one by one; IPv6 ones by their /64 network, which one
  // subscriber usually holds whole.
  static std::string addressKey(const sockaddr* address) {
    if (!address) return {};
    if (address->sa_family == AF_INET) {
      const auto& v4 = reinterpret_cast<const sockaddr_in*>(address)->sin_addr;
      return std::string(reinterpret_cast<const char*>(&v4), 4);
    }
    if (address->sa_family == AF_INET6) {
      const auto& v6 = reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr;
      return std::string(reinterpret_cast<const char*>(&v6), 8);
    }
    return {};
  }

  void mark(MHD_Connection* connection, bool inRequest) {
    const auto* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_SOCKET_CONTEXT);
    if (!info || !info->socket_context) return;
    std::lock_guard lock(mutex_);
    auto* entry = static_cast<Connection*>(info->socket_context);
    entry->inRequest = inRequest;
    if (!inRequest) entry->waitingSince = Clock::now();
  }

  void watch() {
    std::unique_lock lock(mutex_);
    while (!wake_.wait_for(lock, std::chrono::milliseconds(250), [&] { return stopping_; })) {
      const Clock::time_point now = Clock::now();
      for (Connection* entry : connections_) {
        if (entry->inRequest || entry->cut || now - entry->waitingSince < deadline_) continue;
        // The library notices the closed socket and ends the connection itself; it
        // closes the descriptor only after telling us, under this lock.
        ::shutdown(entry->socket, SHUT_RDWR);
        entry->cut = true;
      }
    }
  }

  const unsigned limit_, perAddress_, reserved_, few_;
  const Clock::duration deadline_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::unordered_set<Connection*> connections_;
  std::unordered_map<std::string, unsigned> perAddressCount_;
  bool stopping_ = false;
  std::thread watchdog_;  // last: starts when everything it reads is ready
};

// Runs the expensive requests on threads of their own while their connections are
// suspended, so that the serving threads stay free for the others.
class ExpensiveWork {
 public:
  ExpensiveWork(const HttpHandler& handler, unsigned threads, std::size_t queueLimit)
      : handler_(handler), queueLimit_(queueLimit) {
    for (unsigned i = 0; i < std::max(1u, threads); ++i) threads_.emplace_back([this] { work(); });
  }

  ~ExpensiveWork() { stop(); }

  // Finishes the requests under way and answers the waiting ones 503: every suspended
  // connection must be resumed before the library stops. Later requests are refused.
  void stop() {
    std::deque<Job> waiting;
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
      waiting.swap(queue_);
    }
    available_.notify_all();
    for (std::thread& thread : threads_) thread.join();
    threads_.clear();
    for (Job& job : waiting) finish(job, plainResponse(503, "The archive is shutting down.\n"));
  }

  // Queues the request and suspends its connection (with `suspend`, under the queue's
  // lock, so that the answer cannot come before it). False when too many wait already.
  bool submit(MHD_Connection* connection, RequestContext* context, HttpRequest request,
              const std::function<void()>& suspend) {
    std::lock_guard lock(mutex_);
    if (stopping_ || queue_.size() >= queueLimit_) return false;
    suspend();
    queue_.push_back(Job{connection, context, std::move(request)});
    available_.notify_one();
    return true;
  }

 private:
  struct Job {
    MHD_Connection* connection;
    RequestContext* context;
    HttpRequest request;
  };

  static void finish(Job& job, HttpResponse response) {
    job.context->answer = std::move(response);
    MHD_resume_connection(job.connection);
  }

  void work() {
    for (;;) {
      Job job;
      {
        std::unique_lock lock(mutex_);
        available_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
        if (queue_.empty()) return;
        job = std::move(queue_.front());
        queue_.pop_front();
      }
      finish(job, callHandler(handler_, job.request));
    }
  }

  const HttpHandler& handler_;
  const std::size_t queueLimit_;
  std::mutex mutex_;
  std::condition_variable available_;
  std::deque<Job> queue_;
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};

// The library's own decoding is left out: parameters are decoded once, by
// parseQueryString, the way the agent encodes them.
std::size_t keepEscapes(void*, MHD_Connection*, char* text) {
  return std::strlen(text);
}

// A year, renewed by every answer.
constexpr const char* kHstsValue = "max-age=31536000";

MHD_Result send(MHD_Connection* connection, std::string_view version, const HttpResponse& response,
                bool hsts) {
  MHD_Response* reply = MHD_create_response_from_buffer(
      response.body.size(), const_cast<char*>(response.body.data()), MHD_RESPMEM_MUST_COPY);
  if (!reply) return MHD_NO;
  MHD_add_response_header(reply, MHD_HTTP_HEADER_CONTENT_TYPE, response.contentType.c_str());
  for (const auto& [name, value] : response.headers)
    MHD_add_response_header(reply, name.c_str(), value.c_str());
  if (hsts) MHD_add_response_header(reply, "Strict-Transport-Security", kHstsValue);
  // An HTTP/1.0 client reads to the end of the connection.
  if (version == MHD_HTTP_VERSION_1_0)
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
  explicit Daemon(const Options& options, HttpHandler handler)
      : handler(std::move(handler)), isExpensive(options.isExpensive), guard(options) {
    if (isExpensive)
      expensive.emplace(this->handler, options.expensiveThreads, options.expensiveQueueLimit);
  }
  ~Daemon() {
    if (expensive) expensive->stop();  // resumes every suspended connection
    if (daemon) MHD_stop_daemon(daemon);
  }

  HttpHandler handler;
  std::function<bool(const HttpRequest&)> isExpensive;
  ConnectionGuard guard;
  std::optional<ExpensiveWork> expensive;
  MHD_Daemon* daemon = nullptr;
  bool hsts = false;
  std::string tlsCertificate, tlsKey;  // the library reads them while it runs

  static void completed(void* self, MHD_Connection* connection, void** requestContext,
                        MHD_RequestTerminationCode) {
    static_cast<Daemon*>(self)->guard.requestDone(connection);
    delete static_cast<RequestContext*>(*requestContext);
    *requestContext = nullptr;
  }

  static MHD_Result answer(void* self, MHD_Connection* connection, const char*, const char* method,
                           const char* version, const char*, std::size_t* uploadSize,
                           void** requestContext) {
    auto* daemon = static_cast<Daemon*>(self);
    auto* context = static_cast<RequestContext*>(*requestContext);
    if (context && context->answer)
      return send(connection, context->version, *context->answer, daemon->hsts);
    const bool readable =
        method && (std::strcmp(method, "GET") == 0 || std::strcmp(method, "HEAD") == 0);
    // A GET is answered on the call after the headers: an answer queued on the first call
    // makes the library close the connection, which would end HTTP/1.1 keep-alive.
    if (readable && context && !context->headersSeen) {
      context->headersSeen = true;
      daemon->guard.requestArrived(connection);
      return MHD_YES;
    }
    if (readable && *uploadSize > 0) {
      *uploadSize = 0;  // a body on a GET is ignored
      return MHD_YES;
    }
    if (!readable) daemon->guard.requestArrived(connection);
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
    const char* host = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, "Host");
    if (host) request.host = host;

    if (!readable) {
      // A request body is never read: the answer goes out at once and the library
      // closes the connection after it.
      *uploadSize = 0;
      HttpResponse response = plainResponse(405, "Only GET and HEAD are supported.\n");
      response.headers.emplace_back("Allow", "GET, HEAD");
      return send(connection, request.version, response, daemon->hsts);
    }
    if (!host && request.version == MHD_HTTP_VERSION_1_1) {
      HttpResponse refused = plainResponse(400, "An HTTP/1.1 request needs a Host header.\n");
      refused.headers.emplace_back(MHD_HTTP_HEADER_CONNECTION, "close");
      return send(connection, request.version, refused, daemon->hsts);
    }
    request.parameters = parseQueryString(request.query);
    if (daemon->isExpensive && context && daemon->isExpensive(request)) {
      context->version = request.version;
      const bool queued = daemon->expensive->submit(connection, context, std::move(request),
                                                    [&] { MHD_suspend_connection(connection); });
      if (queued) return MHD_YES;
      HttpResponse busy = plainResponse(503, "The archive is busy; please try again shortly.\n");
      busy.headers.emplace_back("Retry-After", "5");
      return send(connection, context->version, busy, daemon->hsts);
    }
    return send(connection, request.version, callHandler(daemon->handler, request), daemon->hsts);
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
  server->daemon_ = std::make_unique<Daemon>(options, std::move(handler));
  Daemon* daemon = server->daemon_.get();
  unsigned flags = MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_EPOLL | MHD_USE_ERROR_LOG |
                   MHD_ALLOW_SUSPEND_RESUME;
  if (family == AF_INET6) flags |= MHD_USE_IPv6;
  // The TLS options go in as an array, empty for plain HTTP.
  std::vector<MHD_OptionItem> tls;
  if (!options.tlsCertificate.empty()) {
    flags |= MHD_USE_TLS;
    daemon->tlsCertificate = options.tlsCertificate;
    daemon->tlsKey = options.tlsKey;
    daemon->hsts = options.hsts;
    tls.push_back({MHD_OPTION_HTTPS_MEM_CERT, 0, daemon->tlsCertificate.data()});
    tls.push_back({MHD_OPTION_HTTPS_MEM_KEY, 0, daemon->tlsKey.data()});
  }
  tls.push_back({MHD_OPTION_END, 0, nullptr});
  daemon->daemon = MHD_start_daemon(
      flags, 0, &ConnectionGuard::admits, &daemon->guard, &Daemon::answer, daemon,
      MHD_OPTION_LISTEN_SOCKET, listener, MHD_OPTION_THREAD_POOL_SIZE,
      std::max(1u, options.threads), MHD_OPTION_CONNECTION_TIMEOUT,
      options.connectionTimeoutSeconds, MHD_OPTION_CONNECTION_LIMIT, options.connectionLimit,
      MHD_OPTION_PER_IP_CONNECTION_LIMIT, options.perAddressLimit,
      MHD_OPTION_CONNECTION_MEMORY_LIMIT, options.connectionMemory, MHD_OPTION_URI_LOG_CALLBACK,
      &rememberUri, nullptr, MHD_OPTION_NOTIFY_COMPLETED, &Daemon::completed, daemon,
      MHD_OPTION_NOTIFY_CONNECTION, &ConnectionGuard::notify, &daemon->guard,
      MHD_OPTION_UNESCAPE_CALLBACK, &keepEscapes, nullptr, MHD_OPTION_ARRAY, tls.data(),
      MHD_OPTION_END);
  if (!daemon->daemon) {
    ::close(listener);
    error = "the HTTP server could not be started on " + options.listen;
    return nullptr;
  }
  return server;
}

HttpServer::~HttpServer() = default;

}  // namespace varnook::server
