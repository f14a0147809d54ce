#include "server/nntpstream.h"

#include <gnutls/gnutls.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "net/tlsclient.h"

namespace varnook::server {
namespace {

using Clock = std::chrono::steady_clock;

int pollFor(int descriptor, short events, Milliseconds timeout) {
  pollfd waiting{descriptor, events, 0};
  int result;
  do {
    result = ::poll(&waiting, 1, static_cast<int>(timeout.count()));
  } while (result < 0 && errno == EINTR);
  return result;
}

// Servers write an answer's status line and its article separately; with Nagle's
// algorithm on their side, the article waits for our acknowledgement of the status line,
// which a delayed acknowledgement holds back for some 40 ms per article.
void acknowledgeAtOnce(int descriptor) {
  const int on = 1;
  ::setsockopt(descriptor, IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
}

// A connected non-blocking socket, or -1 with the reason in `error`.
int connectSocket(const std::string& host, std::uint16_t port, Milliseconds timeout,
                  std::string& error) {
  addrinfo hints{};
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICSERV;
  addrinfo* found = nullptr;
  const int lookup = ::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
  if (lookup != 0) {
    error = host + ": " + ::gai_strerror(lookup);
    return -1;
  }
  int connected = -1;
  error = host + ": no address";
  for (addrinfo* address = found; address && connected < 0; address = address->ai_next) {
    const int descriptor =
        ::socket(address->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (descriptor < 0) continue;
    int result = ::connect(descriptor, address->ai_addr, address->ai_addrlen);
    if (result != 0 && errno == EINPROGRESS) {
      int code = ETIMEDOUT;
      socklen_t length = sizeof code;
      if (pollFor(descriptor, POLLOUT, timeout) > 0)
        ::getsockopt(descriptor, SOL_SOCKET, SO_ERROR, &code, &length);
      errno = code;
      result = code == 0 ? 0 : -1;
    }
    if (result != 0) {
      error = host + " port " + std::to_string(port) + ": " + std::strerror(errno);
      ::close(descriptor);
      continue;
    }
    // Commands are small and their answers are waited for: send each at once.
    const int on = 1;
    ::setsockopt(descriptor, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    connected = descriptor;
  }
  ::freeaddrinfo(found);
  return connected;
}

class TcpStream : public NntpStream {
 public:
  explicit TcpStream(int descriptor) : descriptor_(descriptor) {}
  ~TcpStream() override { ::close(descriptor_); }
  TcpStream(const TcpStream&) = delete;
  TcpStream& operator=(const TcpStream&) = delete;

  long receive(char* buffer, std::size_t size, Milliseconds timeout, std::string& error) override {
    const int ready = pollFor(descriptor_, POLLIN, timeout);
    if (ready == 0) return 0;
    acknowledgeAtOnce(descriptor_);
    const ssize_t got = ready < 0 ? -1 : ::recv(descriptor_, buffer, size, 0);
    if (got > 0) return static_cast<long>(got);
    if (got < 0 && (errno == EAGAIN || errno == EINTR)) return 0;
    error = got == 0 ? "the server closed the connection" : std::strerror(errno);
    return -1;
  }

  bool send(std::string_view bytes, Milliseconds timeout, std::string& error) override {
    while (!bytes.empty()) {
      const ssize_t sent = ::send(descriptor_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
      if (sent > 0) {
        bytes.remove_prefix(static_cast<std::size_t>(sent));
        continue;
      }
      if (sent < 0 && errno != EAGAIN && errno != EINTR) {
        error = std::strerror(errno);
        return false;
      }
      if (pollFor(descriptor_, POLLOUT, timeout) <= 0) {
        error = "the server takes no more data";
        return false;
      }
    }
    return true;
  }

 private:
  int descriptor_;
};

// TLS over the non-blocking socket, the library reading and writing the descriptor
// itself; every wait is a poll bounded by the caller's timeout.
class TlsStream : public NntpStream {
 public:
  explicit TlsStream(int descriptor) : descriptor_(descriptor) {}
  ~TlsStream() override {
    if (session_ != nullptr) {
      // Our close_notify, if the socket takes it now; the server needs no answer to it.
      if (established_) gnutls_bye(session_, GNUTLS_SHUT_WR);
      gnutls_deinit(session_);
    }
    ::close(descriptor_);
  }
  TlsStream(const TlsStream&) = delete;
  TlsStream& operator=(const TlsStream&) = delete;

  // False with the reason in `error`; `refused` when the certificate (or the trust) is at
  // fault rather than the network.
  bool handshake(const TlsClientSettings& settings, Milliseconds timeout, std::string& error,
                 bool& refused) {
    refused = false;
    if (gnutls_init(&session_, GNUTLS_CLIENT | GNUTLS_NONBLOCK | GNUTLS_NO_SIGNAL) < 0) {
      session_ = nullptr;
      error = "TLS session cannot be created";
      return false;
    }
    if (!trust_.prepare(session_, settings, &error)) {
      refused = true;
      return false;
    }
    gnutls_transport_set_int(session_, descriptor_);
    const Clock::time_point deadline = Clock::now() + timeout;
    for (;;) {
      const int result = gnutls_handshake(session_);
      if (result == GNUTLS_E_SUCCESS) return established_ = true;
      if (result != GNUTLS_E_AGAIN && gnutls_error_is_fatal(result) != 0) {
        const bool transport = result == GNUTLS_E_PULL_ERROR || result == GNUTLS_E_PUSH_ERROR;
        error = tlsHandshakeFailure(session_, result, transport ? errno : 0);
        refused = result == GNUTLS_E_CERTIFICATE_VERIFICATION_ERROR;
        return false;
      }
      const auto left = std::chrono::duration_cast<Milliseconds>(deadline - Clock::now());
      const short direction = gnutls_record_get_direction(session_) == 1 ? POLLOUT : POLLIN;
      if (left.count() <= 0 ||
          (result == GNUTLS_E_AGAIN && pollFor(descriptor_, direction, left) <= 0)) {
        error = "TLS handshake failed: no answer from the server in " +
                std::to_string(timeout.count() / 1000) + " s";
        return false;
      }
    }
  }

  long receive(char* buffer, std::size_t size, Milliseconds timeout, std::string& error) override {
    // What the library has decrypted already is not announced by the socket again.
    if (gnutls_record_check_pending(session_) == 0) {
      const int ready = pollFor(descriptor_, POLLIN, timeout);
      if (ready == 0) return 0;
      if (ready < 0) {
        error = std::strerror(errno);
        return -1;
      }
      acknowledgeAtOnce(descriptor_);
    }
    const ssize_t got = gnutls_record_recv(session_, buffer, size);
    if (got > 0) return static_cast<long>(got);
    if (got == 0 || got == GNUTLS_E_PREMATURE_TERMINATION) {
      error = "the server closed the connection";
      return -1;
    }
    // A partial record, a warning alert, a wish to renegotiate (declined by going on):
    // nothing to hand over yet.
    if (gnutls_error_is_fatal(static_cast<int>(got)) == 0) return 0;
    error = failure(static_cast<int>(got));
    return -1;
  }

  bool send(std::string_view bytes, Milliseconds timeout, std::string& error) override {
    while (!bytes.empty()) {
      // After GNUTLS_E_AGAIN the same bytes are offered again, as the library asks.
      const ssize_t sent = gnutls_record_send(session_, bytes.data(), bytes.size());
      if (sent > 0) {
        bytes.remove_prefix(static_cast<std::size_t>(sent));
        continue;
      }
      if (sent != GNUTLS_E_AGAIN && sent != GNUTLS_E_INTERRUPTED) {
        error = failure(static_cast<int>(sent));
        return false;
      }
      if (sent == GNUTLS_E_AGAIN && pollFor(descriptor_, POLLOUT, timeout) <= 0) {
        error = "the server takes no more data";
        return false;
      }
    }
    return true;
  }

 private:
  static std::string failure(int code) {
    if (code == GNUTLS_E_PULL_ERROR || code == GNUTLS_E_PUSH_ERROR) return std::strerror(errno);
    return std::string("TLS connection failed: ") + gnutls_strerror(code);
  }

  int descriptor_;
  gnutls_session_t session_ = nullptr;
  TlsClientTrust trust_;  // ends after the session, which the destructor's body ends
  bool established_ = false;
};

}  // namespace

std::unique_ptr<NntpStream> connectTcp(const std::string& host, std::uint16_t port,
                                       Milliseconds timeout, std::string& error) {
  const int descriptor = connectSocket(host, port, timeout, error);
  if (descriptor < 0) return nullptr;
  return std::make_unique<TcpStream>(descriptor);
}

std::unique_ptr<NntpStream> connectTls(const std::string& host, std::uint16_t port,
                                       const std::string& trustedCertificates, Milliseconds timeout,
                                       std::string& error, bool& refused) {
  refused = false;
  const int descriptor = connectSocket(host, port, timeout, error);
  if (descriptor < 0) return nullptr;
  auto stream = std::make_unique<TlsStream>(descriptor);
  if (!stream->handshake({host, trustedCertificates}, timeout, error, refused)) return nullptr;
  return stream;
}

}  // namespace varnook::server
