#include "net/asyncsocket.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>

#include "net/socketerror.h"

namespace varnook {

namespace {

// Reads per readiness event before other descriptors get their turn.
constexpr int kMaxReadRounds = 64;

// Failures of connect() that concern the peer or the route rather than the call: they are
// reported like a connection attempt that failed later, whatever the system knew at once.
bool isPeerFailure(int errnoValue) {
  switch (errnoValue) {
    case ECONNREFUSED:
    case ENETUNREACH:
    case EHOSTUNREACH:
    case ETIMEDOUT:
    case ECONNRESET:
    case ECONNABORTED:
    case ENETDOWN:
    case EHOSTDOWN:
      return true;
    default:
      return false;
  }
}

bool fillAddress(const std::string& address, int port, sockaddr_storage* storage,
                 socklen_t* length) {
  std::memset(storage, 0, sizeof *storage);
  auto* v4 = reinterpret_cast<sockaddr_in*>(storage);
  if (::inet_pton(AF_INET, address.c_str(), &v4->sin_addr) == 1) {
    v4->sin_family = AF_INET;
    v4->sin_port = htons(static_cast<std::uint16_t>(port));
    *length = sizeof(sockaddr_in);
    return true;
  }
  auto* v6 = reinterpret_cast<sockaddr_in6*>(storage);
  if (::inet_pton(AF_INET6, address.c_str(), &v6->sin6_addr) == 1) {
    v6->sin6_family = AF_INET6;
    v6->sin6_port = htons(static_cast<std::uint16_t>(port));
    *length = sizeof(sockaddr_in6);
    return true;
  }
  return false;
}

}  // namespace

AsyncSocket::AsyncSocket(EventLoop& loop) : loop_(loop) {}

AsyncSocket::~AsyncSocket() {
  life_.reset();
  if (lookup_) lookup_->cancel();
  if (idleTimer_ != 0) loop_.cancelTimer(idleTimer_);
  if (watch_ != 0) loop_.removeWatch(watch_);
  if (fd_ >= 0) ::close(fd_);
}

bool AsyncSocket::fire(const std::function<void(int)>& handler, int error) {
  if (!handler) return true;
  const std::weak_ptr<char> alive = life_;
  const std::function<void(int)> call = handler;  // the handler may replace or destroy it
  call(error);
  return !alive.expired();
}

bool AsyncSocket::setState(State state) {
  if (state == state_) return true;
  const State old = state_;
  state_ = state;
  if (!onChangeState) return true;
  const std::weak_ptr<char> alive = life_;
  const auto call = onChangeState;
  call(old, state);
  return !alive.expired();
}

std::string AsyncSocket::setAddr(std::string_view address) {
  if (isOpen()) return "Cannot change Addr if not closed";
  if (address.empty()) {
    addr_.clear();
    return {};
  }
  if (auto numeric = numericAddress(address)) {
    addr_ = *numeric;
    return {};
  }
  if (isLoopbackName(address)) {
    addr_ = "127.0.0.1";
    return {};
  }
  return "SetAddr: Cannot convert host address '" + std::string(address) + "'";
}

int AsyncSocket::parsePort(std::string_view port) {
  if (port.empty()) return 0;
  int number = 0;
  const auto [end, ec] = std::from_chars(port.data(), port.data() + port.size(), number);
  if (ec == std::errc() && end == port.data() + port.size()) {
    return number >= 1 && number <= 65535 ? number : 0;
  }
  if (port.front() >= '0' && port.front() <= '9') return 0;
  const std::string name(port);
  servent entry{};
  servent* found = nullptr;
  char scratch[1024];
  if (::getservbyname_r(name.c_str(), "tcp", &entry, scratch, sizeof scratch, &found) != 0 ||
      found == nullptr) {
    return 0;
  }
  return ntohs(static_cast<std::uint16_t>(found->s_port));
}

std::string AsyncSocket::setPort(std::string_view port) {
  if (isOpen()) return "Cannot change Port if not closed";
  const int number = parsePort(port);
  if (number == 0 && !port.empty()) {
    return "SetPort: Cannot convert port '" + std::string(port) + "'";
  }
  portText_ = std::string(port);
  portNumber_ = number;
  return {};
}

std::string AsyncSocket::setProto(std::string_view proto) {
  if (isOpen()) return "Cannot change Proto if not closed";
  if (proto == "tcp" || proto == "TCP" || proto == "6") {
    proto_ = "tcp";
    return {};
  }
  if (proto.empty()) {
    proto_.clear();
    return {};
  }
  return "SetProto: Cannot convert protocol '" + std::string(proto) + "'";
}

std::string AsyncSocket::dnsLookup(std::string_view host) {
  if (host.empty()) {
    lastError_ = 10022;
    return std::string(kInvalidHostName);
  }
  if (lookup_) {
    lookup_->cancel();
    lookup_.reset();
  }
  dnsResult_.clear();
  dnsResultList_.clear();
  if (auto numeric = numericAddress(host)) {
    dnsResult_ = *numeric;
    dnsResultList_.push_back(*numeric);
    updateIdleTimer();
    fire(onDnsLookupDone, 0);
    return {};
  }
  if (isLoopbackName(host)) {
    dnsResult_ = "127.0.0.1";
    dnsResultList_ = {"127.0.0.1", "::1"};
    updateIdleTimer();
    fire(onDnsLookupDone, 0);
    return {};
  }
  int startError = 0;
  std::string name(host);
  lookup_ = HostLookup::start(
      loop_, name, [this](const LookupResult& result) { onLookupDone(result); }, &startError);
  if (!lookup_) {
    lastError_ = startError;
    return name + ": can't start DNS lookup, error #" + std::to_string(startError);
  }
  touch();
  updateIdleTimer();
  return {};
}

void AsyncSocket::onLookupDone(const LookupResult& result) {
  lookup_.reset();
  dnsResultList_ = result.addresses;
  if (!dnsResultList_.empty()) dnsResult_ = dnsResultList_.front();
  if (result.error != 0) lastError_ = result.error;
  updateIdleTimer();
  fire(onDnsLookupDone, result.error);
}

void AsyncSocket::cancelDnsLookup() {
  if (!lookup_) return;
  lookup_->cancel();
  lookup_.reset();
  updateIdleTimer();
  fire(onDnsLookupDone, socketcode::kInterrupted);
}

std::string AsyncSocket::connect() {
  if (isOpen()) return "Connect: Socket already in use";
  if (portText_.empty()) return "Connect: No Port Specified";
  if (addr_.empty()) return "Connect: No IP Address Specified";
  if (proto_.empty()) return "Connect: No Protocol Specified";

  sockaddr_storage address;
  socklen_t addressLength = 0;
  if (!fillAddress(addr_, portNumber_, &address, &addressLength)) {
    lastError_ = 10049;
    return socketErrorMessage(lastError_, "Connect");
  }
  const int fd = ::socket(address.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    lastError_ = socketCodeFromErrno(errno);
    return socketErrorMessage(lastError_, "Connect (socket)");
  }
  fd_ = fd;
  ++connection_;
  sessionClosedFired_ = false;
  peerEnded_ = receiveFailed_ = false;
  pendingConnectError_ = 0;
  readCount_ = 0;
  lastError_ = 0;
  sendBuffer_.clear();
  tlsFailure_.clear();

  auto optionFailed = [this](const char* step) {
    lastError_ = socketCodeFromErrno(errno);
    releaseDescriptor();
    return socketErrorMessage(lastError_, step);
  };
  const int on = 1;
  if (::setsockopt(fd_, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on) != 0) {
    return optionFailed("setsockopt(SO_KEEPALIVE)");
  }
  if (::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0) {
    return optionFailed("setsockopt(SO_REUSEADDR)");
  }
  if (lingerOnOff != Linger::NoSet) {
    linger value{lingerOnOff == Linger::On ? 1 : 0, lingerTimeout};
    if (::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &value, sizeof value) != 0) {
      return optionFailed("setsockopt(SO_LINGER)");
    }
  }

  int result;
  do {
    result = ::connect(fd_, reinterpret_cast<const sockaddr*>(&address), addressLength);
  } while (result != 0 && errno == EINTR);
  if (result != 0 && errno != EINPROGRESS) {
    if (!isPeerFailure(errno)) return optionFailed("Connect");
    pendingConnectError_ = socketCodeFromErrno(errno);
  }
  // A connection known to have failed waits for nothing: its end is posted below.
  watchEvents_ = pendingConnectError_ != 0 ? 0u : unsigned{EventLoop::kWritable};
  watch_ = loop_.addWatch(fd_, watchEvents_, [this](unsigned kinds) { onReady(kinds); });
  touch();
  updateIdleTimer();

  const std::uint64_t connection = connection_;
  if (pendingConnectError_ != 0) {
    loop_.post([alive = std::weak_ptr<char>(life_), this, connection]() {
      if (alive.expired() || connection_ != connection || state_ != State::Connecting) return;
      const int error = pendingConnectError_;
      pendingConnectError_ = 0;
      completeConnect(error);
    });
  }
  if (!setState(State::Opened)) return {};
  if (connection_ == connection && isOpen()) setState(State::Connecting);
  return {};
}

void AsyncSocket::onReady(unsigned kinds) {
  const std::weak_ptr<char> alive = life_;
  const std::uint64_t connection = connection_;
  auto stillHere = [&] {
    return !alive.expired() && connection_ == connection && state_ == State::Connected;
  };
  if (state_ == State::Connecting) {
    if (pendingConnectError_ != 0) return;
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
    completeConnect(socketCodeFromErrno(error));
    if (!stillHere()) return;
  }
  if (state_ != State::Connected) return;
  if (tlsStage_ == TlsStage::Handshaking) {
    // The handshake's records wait in the send buffer like any other data.
    if ((kinds & EventLoop::kWritable) && !sendBuffer_.empty()) {
      std::string error;
      if (!trySend(&error)) {
        if (connection_ == connection && isOpen()) failTls("TLS handshake failed: " + error);
        return;
      }
    }
    if ((kinds & EventLoop::kReadable) && connection_ == connection) {
      touch();
      continueHandshake();
    }
    return;
  }
  if (kinds & EventLoop::kReadable) {
    handleReadable();
    if (!stillHere()) return;
  }
  if (kinds & EventLoop::kWritable) handleWritable();
}

void AsyncSocket::completeConnect(int error) {
  const std::uint64_t connection = connection_;
  if (error == 0) {
    if (!setState(State::Connected)) return;
    if (connection_ != connection || state_ != State::Connected) return;
    touch();
    if (tlsSettings) {
      beginHandshake(*tlsSettings);
      return;
    }
    updateWatch();
    fire(onSessionConnected, 0);
    return;
  }
  lastError_ = error;
  if (!fire(onSessionConnected, error)) return;
  if (connection_ == connection && isOpen()) close();
}

void AsyncSocket::handleReadable() {
  const std::uint64_t connection = connection_;
  for (int round = 0; round < kMaxReadRounds; ++round) {
    lastError_ = 0;
    receiveCalled_ = receiveFilled_ = false;
    if (onDataAvailable) {
      if (!fire(onDataAvailable, 0)) return;
    } else {
      // Nobody reads: drop the data rather than be woken for it forever.
      char scratch[4096];
      while (receive(scratch, sizeof scratch) > 0) {
      }
    }
    if (connection_ != connection || state_ != State::Connected) return;
    // A short read usually means drained; a peer that has finished often sent its end with
    // the last data, and noticing it now saves a round of the loop per connection. When the
    // owner left data unread, the end of the stream must not go unnoticed either. (A TLS
    // read finds the end itself, and bytes on the socket may be records already taken.)
    if ((!receiveCalled_ || !receiveFilled_) && !peerEnded_ && !receiveFailed_ && !tls_) {
      char probe;
      const ssize_t n = ::recv(fd_, &probe, 1, MSG_PEEK | MSG_DONTWAIT);
      if (n == 0) {
        peerEnded_ = true;
      } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
        lastError_ = socketCodeFromErrno(errno);
        receiveFailed_ = true;
      }
    }
    if (peerEnded_ || receiveFailed_) {
      endSession(receiveFailed_ ? lastError_ : 0);
      return;
    }
    if (!receiveCalled_ || !receiveFilled_) break;
  }
  // What the TLS layer has taken from the socket is not announced by the socket again.
  if (tls_ && tls_->pending()) readTlsLater();
}

void AsyncSocket::readTlsLater() {
  if (tlsReadPosted_) return;
  tlsReadPosted_ = true;
  loop_.post([alive = std::weak_ptr<char>(life_), this, connection = connection_]() {
    if (alive.expired()) return;
    tlsReadPosted_ = false;
    if (connection_ == connection && state_ == State::Connected && secured()) handleReadable();
  });
}

void AsyncSocket::handleWritable() {
  if (sendBuffer_.empty()) {
    updateWatch();
    return;
  }
  if (flushSendBuffer() && sendBuffer_.empty()) fire(onDataSent, 0);
}

bool AsyncSocket::flushSendBuffer() {
  std::string error;
  const std::uint64_t connection = connection_;
  if (trySend(&error)) return true;
  if (connection_ != connection || !isOpen()) return false;  // closed (the socket may be gone)
  if (onError) {
    const auto call = onError;
    call(error);
  } else {
    close();
  }
  return false;
}

std::ptrdiff_t AsyncSocket::sendFront(std::size_t* offered) {
  iovec pieces[16];
  const int count = sendBuffer_.frontPieces(pieces, 16);
  *offered = 0;
  for (int i = 0; i < count; ++i) *offered += pieces[i].iov_len;
  msghdr message{};
  message.msg_iov = pieces;
  message.msg_iovlen = static_cast<std::size_t>(count);
  const int flags = MSG_NOSIGNAL | (sendFlags == SendFlags::Urgent ? MSG_OOB : 0);
  const ssize_t sent = ::sendmsg(fd_, &message, flags);
  if (sent > 0) sendBuffer_.consume(static_cast<std::size_t>(sent));
  return sent;
}

bool AsyncSocket::trySend(std::string* error) {
  const std::uint64_t connection = connection_;
  while (!sendBuffer_.empty()) {
    std::size_t offered = 0;
    const std::ptrdiff_t sent = sendFront(&offered);
    if (sent >= 0) {
      touch();
      if (static_cast<std::size_t>(sent) < offered) break;  // the network takes no more now
      continue;
    }
    if (errno == EINTR) continue;
    if (errno == EAGAIN) break;
    const int code = socketCodeFromErrno(errno);
    lastError_ = code;
    if (code == 10054 || code == 10038 || code == 10057 || code == 10022) {
      // The connection is gone: end it; the code stays in lastError().
      close();
      return false;
    }
    if (error != nullptr) *error = socketErrorMessage(code, "TryToSend failed");
    return false;
  }
  if (connection_ == connection && isOpen()) updateWatch();
  return true;
}

std::ptrdiff_t AsyncSocket::send(std::string_view data, std::string* error) {
  if (state_ != State::Connected || tlsStage_ == TlsStage::Handshaking) {
    lastError_ = socketcode::kNotConnected;
    const std::string message = socketErrorMessage(lastError_, "Send");
    if (error != nullptr) *error = message;
    if (isOpen()) close();
    return -1;
  }
  const auto size = static_cast<std::ptrdiff_t>(data.size());
  if (!tls_) {
    sendBuffer_.append(data);
  } else if (!tls_->write(data)) {
    tlsFailure_ = tls_->failure();
    lastError_ = socketcode::kTlsFailure;
    if (error != nullptr) *error = tlsFailure_;
    return -1;
  }
  const std::weak_ptr<char> alive = life_;
  const std::uint64_t connection = connection_;
  std::string failure;
  if (!trySend(&failure)) {
    if (alive.expired() || connection_ != connection || !isOpen()) return size;
    if (error != nullptr) *error = failure;
    return -1;
  }
  if (sendBuffer_.empty() && !dataSentPosted_) {
    // Everything went out at once: announce it after the caller has returned.
    dataSentPosted_ = true;
    loop_.post([alive, this, connection]() {
      if (alive.expired()) return;
      dataSentPosted_ = false;
      if (connection_ != connection || state_ != State::Connected || !sendBuffer_.empty()) return;
      fire(onDataSent, 0);
    });
  }
  return size;
}

std::ptrdiff_t AsyncSocket::receive(char* buffer, std::size_t size) {
  if (state_ != State::Connected || fd_ < 0) {
    lastError_ = socketcode::kNotConnected;
    return -1;
  }
  receiveCalled_ = true;
  if (tls_) return receiveTls(buffer, size);
  for (;;) {
    const ssize_t n = ::recv(fd_, buffer, size, 0);
    if (n > 0) {
      readCount_ += n;
      receiveFilled_ = static_cast<std::size_t>(n) == size;
      touch();
      return n;
    }
    if (n == 0) {
      if (size > 0) peerEnded_ = true;
      return 0;
    }
    if (errno == EINTR) continue;
    if (errno == EAGAIN) return 0;
    lastError_ = socketCodeFromErrno(errno);
    receiveFailed_ = true;
    return -1;
  }
}

std::ptrdiff_t AsyncSocket::receiveTls(char* buffer, std::size_t size) {
  if (tlsStage_ != TlsStage::Secured) return 0;
  const std::size_t count = tls_->read(buffer, size);
  readCount_ += static_cast<std::int64_t>(count);
  receiveFilled_ = count == size;
  if (count > 0) touch();
  if (tls_->ended()) peerEnded_ = true;
  if (tls_->failed()) {
    receiveFailed_ = true;
    tlsFailure_ = tls_->failure();
    lastError_ = tls_->transportError() != 0 ? socketCodeFromErrno(tls_->transportError())
                                             : socketcode::kTlsFailure;
    if (count == 0) return -1;
  }
  return static_cast<std::ptrdiff_t>(count);
}

std::string AsyncSocket::startTls(const TlsClientSettings& settings) {
  if (state_ != State::Connected) {
    lastError_ = socketcode::kNotConnected;
    return socketErrorMessage(lastError_, "StartTls");
  }
  if (tls_) return "StartTls: the connection is secured already";
  std::string error;
  tls_ = TlsSession::client(settings, fd_, sendBuffer_, &error);
  if (!tls_) return error;
  tlsStage_ = TlsStage::Handshaking;
  // The first flight goes out now; what it leads to comes through the loop.
  loop_.post([alive = std::weak_ptr<char>(life_), this, connection = connection_]() {
    if (!alive.expired() && connection_ == connection && tlsStage_ == TlsStage::Handshaking)
      continueHandshake();
  });
  return {};
}

void AsyncSocket::beginHandshake(const TlsClientSettings& settings) {
  std::string error;
  tls_ = TlsSession::client(settings, fd_, sendBuffer_, &error);
  if (!tls_) {
    failTls(error);
    return;
  }
  tlsStage_ = TlsStage::Handshaking;
  continueHandshake();
}

void AsyncSocket::continueHandshake() {
  const TlsSession::Progress progress = tls_->handshake();
  const std::uint64_t connection = connection_;
  if (progress == TlsSession::Progress::Done) {
    tlsStage_ = TlsStage::Secured;
    // The last flight waits for the owner's first bytes, so that both leave in one segment:
    // a request sent on its own behind it would wait for the server's delayed ACK.
    if (!fire(onSessionConnected, 0)) return;
    if (connection_ != connection || !secured()) return;
    if (!flushSendBuffer()) return;
    updateWatch();
    // Data that came with the handshake's last flight is not announced by the socket again.
    if (tls_->pending()) readTlsLater();
    return;
  }
  std::string error;
  if (!trySend(&error)) {
    if (connection_ == connection && isOpen()) failTls("TLS handshake failed: " + error);
    return;
  }
  if (connection_ != connection || !isOpen()) return;
  if (progress == TlsSession::Progress::Again) {
    updateWatch();
    return;
  }
  failTls(tls_->failure());
}

void AsyncSocket::failTls(const std::string& message) {
  tlsStage_ = TlsStage::Off;
  tlsFailure_ = message;
  lastError_ = socketcode::kTlsFailure;
  const std::uint64_t connection = connection_;
  if (!fire(onSessionConnected, socketcode::kTlsFailure)) return;
  if (connection_ == connection && isOpen()) close();
}

int AsyncSocket::rcvdCount() {
  if (fd_ < 0) return -1;
  int count = 0;
  if (::ioctl(fd_, FIONREAD, &count) != 0) {
    lastError_ = socketCodeFromErrno(errno);
    return -1;
  }
  return count;
}

void AsyncSocket::endSession(int error) {
  const std::uint64_t connection = connection_;
  if (!sessionClosedFired_) {
    sessionClosedFired_ = true;
    if (!fire(onSessionClosed, error)) return;
  }
  if (connection_ != connection || !isOpen()) return;
  releaseDescriptor();
  setState(State::Closed);
}

void AsyncSocket::close() {
  if (!isOpen()) return;
  if (secured() && state_ == State::Connected && !peerEnded_ && !receiveFailed_) {
    // The close_notify tells the peer the stream ended here and was not cut; it goes out
    // if the network takes it now.
    tls_->closeNotify();
    std::size_t offered = 0;
    while (!sendBuffer_.empty() && sendFront(&offered) > 0) {
    }
  }
  const bool announce = !sessionClosedFired_;
  sessionClosedFired_ = true;
  releaseDescriptor();
  if (!setState(State::Closed)) return;
  if (announce) fire(onSessionClosed, 0);
}

void AsyncSocket::releaseDescriptor() {
  if (watch_ != 0) loop_.removeWatch(watch_);
  watch_ = 0;
  watchEvents_ = 0;
  if (fd_ >= 0) {
    // Once the peer has ended, close() alone ends our side as well.
    if (state_ == State::Connected && !peerEnded_) ::shutdown(fd_, SHUT_WR);
    ::close(fd_);
  }
  fd_ = -1;
  pendingConnectError_ = 0;
  tls_.reset();
  tlsStage_ = TlsStage::Off;
  sendBuffer_.clear();
  updateIdleTimer();
}

void AsyncSocket::updateWatch() {
  if (watch_ == 0) return;
  unsigned events = 0;
  if (state_ == State::Connecting) {
    events = EventLoop::kWritable;
  } else if (state_ == State::Connected) {
    events = EventLoop::kReadable | (sendBuffer_.empty() ? 0u : unsigned{EventLoop::kWritable});
  }
  if (events != watchEvents_) {
    watchEvents_ = events;
    loop_.setWatchEvents(watch_, events);
  }
}

void AsyncSocket::updateIdleTimer() {
  const bool active = lookup_ != nullptr || isOpen();
  if (active && idleTimer_ == 0 && idleTimeoutMs > 0) {
    activeIdleTimeoutMs_ = idleTimeoutMs;
    idleTimer_ = loop_.startTimer(idleTimeoutMs, [this]() {
      idleTimer_ = 0;
      onIdleTimer();
    });
  } else if (!active && idleTimer_ != 0) {
    loop_.cancelTimer(idleTimer_);
    idleTimer_ = 0;
  }
}

void AsyncSocket::onIdleTimer() {
  if (lookup_ == nullptr && !isOpen()) return;
  const auto limit = std::chrono::milliseconds(activeIdleTimeoutMs_);
  const auto silent = Clock::now() - lastActivity_;
  if (silent < limit) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(limit - silent);
    idleTimer_ = loop_.startTimer(static_cast<int>(left.count()), [this]() {
      idleTimer_ = 0;
      onIdleTimer();
    });
    return;
  }
  lastError_ = socketcode::kTimedOut;
  if (lookup_) {
    lookup_->cancel();
    lookup_.reset();
    updateIdleTimer();
    fire(onDnsLookupDone, socketcode::kTimedOut);
    return;
  }
  if (state_ == State::Connecting || state_ == State::Opened) {
    completeConnect(socketcode::kTimedOut);
    return;
  }
  if (tlsStage_ == TlsStage::Handshaking) {
    failTls("TLS handshake failed: " + std::string(socketErrorDescription(socketcode::kTimedOut)));
    return;
  }
  endSession(socketcode::kTimedOut);
}

}  // namespace varnook
