#include "net/tlssession.h"

#include <arpa/inet.h>
#include <gnutls/gnutls.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <utility>

namespace varnook {

namespace {

// Received bytes are taken from the socket in pieces this large and handed to the library
// record by record, so a large download costs few system calls.
constexpr std::size_t kInputSize = 64 * 1024;

std::string gnutlsText(int code) {
  return gnutls_strerror(code);
}

// Session tickets from earlier connections, each used once (as TLS 1.3 advises, so that
// connections cannot be linked by their ticket): a later connection to the same server,
// trusting the same certificates, resumes instead of repeating the full handshake with
// its certificate checks.
class ResumptionCache {
 public:
  static ResumptionCache& instance() {
    static ResumptionCache cache;
    return cache;
  }
  std::string take(const std::string& key) {
    const std::lock_guard<std::mutex> lock(mutex_);
    auto found = tickets_.find(key);
    if (found == tickets_.end() || found->second.empty()) return {};
    std::string ticket = std::move(found->second.front());
    found->second.pop_front();
    return ticket;
  }
  void put(const std::string& key, std::string ticket) {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (tickets_.size() > kMaxServers) tickets_.clear();
    auto& kept = tickets_[key];
    kept.push_back(std::move(ticket));
    if (kept.size() > kMaxPerServer) kept.pop_front();
  }

 private:
  static constexpr std::size_t kMaxServers = 64;
  static constexpr std::size_t kMaxPerServer = 16;
  std::mutex mutex_;
  std::map<std::string, std::deque<std::string>> tickets_;
};

// The server a ticket belongs to: the name it was verified for, what was trusted, and
// the address it was reached at.
std::string ticketKey(const TlsClientSettings& settings, int fd) {
  sockaddr_storage peer{};
  socklen_t length = sizeof peer;
  if (::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &length) != 0) return {};
  char address[INET6_ADDRSTRLEN] = {};
  std::uint16_t port = 0;
  if (peer.ss_family == AF_INET) {
    const auto* v4 = reinterpret_cast<const sockaddr_in*>(&peer);
    ::inet_ntop(AF_INET, &v4->sin_addr, address, sizeof address);
    port = ntohs(v4->sin_port);
  } else if (peer.ss_family == AF_INET6) {
    const auto* v6 = reinterpret_cast<const sockaddr_in6*>(&peer);
    ::inet_ntop(AF_INET6, &v6->sin6_addr, address, sizeof address);
    port = ntohs(v6->sin6_port);
  } else {
    return {};
  }
  return settings.serverName + "\n" + settings.trustedCertificates + "\n" + address + " " +
         std::to_string(port);
}

}  // namespace

struct TlsSession::Session {
  gnutls_session_t handle = nullptr;
  TlsClientTrust trust;  // the library keeps pointers into it for the whole session
  std::string resumptionKey;
  bool established = false;
  int fd = -1;
  SendBuffer* out = nullptr;
  std::unique_ptr<char[]> input = std::make_unique<char[]>(kInputSize);
  std::size_t inputBegin = 0;
  std::size_t inputEnd = 0;
  int readErrno = 0;

  ~Session() {
    if (handle == nullptr) return;
    // A ticket the server gave this connection serves the next one (asking for it before
    // one has come would wait for the network).
    gnutls_datum_t ticket{};
    if (established && !resumptionKey.empty() &&
        (gnutls_session_get_flags(handle) & GNUTLS_SFLAGS_SESSION_TICKET) != 0 &&
        gnutls_session_get_data2(handle, &ticket) == 0) {
      ResumptionCache::instance().put(
          resumptionKey, std::string(reinterpret_cast<const char*>(ticket.data), ticket.size));
      gnutls_free(ticket.data);
    }
    gnutls_deinit(handle);
  }

  static ssize_t push(gnutls_transport_ptr_t self, const void* data, std::size_t size) {
    static_cast<Session*>(self)->out->append(
        std::string_view(static_cast<const char*>(data), size));
    return static_cast<ssize_t>(size);
  }

  static ssize_t pull(gnutls_transport_ptr_t self, void* data, std::size_t size) {
    auto* session = static_cast<Session*>(self);
    if (session->inputBegin == session->inputEnd) {
      ssize_t got;
      do {
        got = ::recv(session->fd, session->input.get(), kInputSize, 0);
      } while (got < 0 && errno == EINTR);
      if (got <= 0) {
        if (got < 0) {
          if (errno != EAGAIN) session->readErrno = errno;
          gnutls_transport_set_errno(session->handle, errno);
        }
        return got;
      }
      session->inputBegin = 0;
      session->inputEnd = static_cast<std::size_t>(got);
    }
    const std::size_t count = std::min(size, session->inputEnd - session->inputBegin);
    std::memcpy(data, session->input.get() + session->inputBegin, count);
    session->inputBegin += count;
    return static_cast<ssize_t>(count);
  }

  // Never consulted on a non-blocking session; it answers without waiting all the same.
  static int pullTimeout(gnutls_transport_ptr_t self, unsigned int) {
    auto* session = static_cast<Session*>(self);
    if (session->inputBegin != session->inputEnd) return 1;
    char probe;
    const ssize_t got = ::recv(session->fd, &probe, 1, MSG_PEEK | MSG_DONTWAIT);
    return got >= 0 ? 1 : errno == EAGAIN ? 0 : -1;
  }
};

std::unique_ptr<TlsSession> TlsSession::client(const TlsClientSettings& settings, int fd,
                                               SendBuffer& out, std::string* error) {
  auto session = std::make_unique<Session>();
  session->fd = fd;
  session->out = &out;
  if (gnutls_init(&session->handle, GNUTLS_CLIENT | GNUTLS_NONBLOCK) < 0) {
    session->handle = nullptr;
    *error = "TLS session cannot be created";
    return nullptr;
  }
  gnutls_session_t handle = session->handle;
  if (!session->trust.prepare(handle, settings, error)) return nullptr;
  session->resumptionKey = ticketKey(settings, fd);
  if (!session->resumptionKey.empty()) {
    const std::string ticket = ResumptionCache::instance().take(session->resumptionKey);
    if (!ticket.empty()) gnutls_session_set_data(handle, ticket.data(), ticket.size());
  }
  gnutls_transport_set_ptr(handle, session.get());
  gnutls_transport_set_push_function(handle, &Session::push);
  gnutls_transport_set_pull_function(handle, &Session::pull);
  gnutls_transport_set_pull_timeout_function(handle, &Session::pullTimeout);
  return std::unique_ptr<TlsSession>(new TlsSession(std::move(session)));
}

TlsSession::TlsSession(std::unique_ptr<Session> session) : session_(std::move(session)) {}

TlsSession::~TlsSession() = default;

TlsSession::Progress TlsSession::handshake() {
  if (failed_) return Progress::Failed;
  for (;;) {
    const int result = gnutls_handshake(session_->handle);
    if (result == GNUTLS_E_SUCCESS) {
      session_->established = true;
      return Progress::Done;
    }
    if (result == GNUTLS_E_AGAIN) return Progress::Again;
    if (result == GNUTLS_E_INTERRUPTED || gnutls_error_is_fatal(result) == 0) continue;
    failed_ = true;
    transportErrno_ = session_->readErrno;
    failure_ = tlsHandshakeFailure(session_->handle, result, transportErrno_);
    return Progress::Failed;
  }
}

std::size_t TlsSession::read(char* buffer, std::size_t size) {
  std::size_t total = 0;
  // Warning alerts and a server's wish to renegotiate (declined by going on) are passed
  // over, a bounded number of times.
  int passedOver = 0;
  while (total < size && !ended_ && !failed_) {
    const ssize_t got = gnutls_record_recv(session_->handle, buffer + total, size - total);
    if (got > 0) {
      total += static_cast<std::size_t>(got);
    } else if (got == 0 || got == GNUTLS_E_PREMATURE_TERMINATION) {
      // The end of the stream, with or without the close_notify: HTTP/1.0 servers often
      // just close, and the HTTP layer checks the announced length.
      ended_ = true;
    } else if (got == GNUTLS_E_AGAIN) {
      break;
    } else if (got == GNUTLS_E_INTERRUPTED ||
               (gnutls_error_is_fatal(static_cast<int>(got)) == 0 && ++passedOver < 16)) {
      continue;
    } else {
      failed_ = true;
      transportErrno_ = session_->readErrno;
      failure_ = "TLS connection failed: " + gnutlsText(static_cast<int>(got));
    }
  }
  return total;
}

bool TlsSession::write(std::string_view data) {
  while (!data.empty() && !failed_) {
    const ssize_t sent = gnutls_record_send(session_->handle, data.data(), data.size());
    if (sent > 0) {
      data.remove_prefix(static_cast<std::size_t>(sent));
    } else {
      // Records go to the send buffer, which takes everything: no retry is ever asked for.
      failed_ = true;
      failure_ = "TLS connection failed: " + gnutlsText(static_cast<int>(sent));
    }
  }
  return !failed_;
}

void TlsSession::closeNotify() {
  if (!failed_) gnutls_bye(session_->handle, GNUTLS_SHUT_WR);
}

bool TlsSession::pending() const {
  return session_->inputBegin != session_->inputEnd ||
         gnutls_record_check_pending(session_->handle) > 0;
}

}  // namespace varnook
