#include "net/httpclient.h"

#include <cmath>
#include <cstdio>

#include "base/asciicase.h"
#include "base/daydate.h"
#include "net/base64.h"
#include "net/socketerror.h"
#include "net/urlparts.h"

namespace varnook {

namespace {

std::string describe(int code) {
  return std::string(socketErrorDescription(code)) + " (Error #" + std::to_string(code) + ")";
}

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// A header value as a failure text may show it: short, without control bytes.
std::string shown(std::string_view value) {
  std::string text(value.substr(0, 60));
  for (char& c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) c = '?';
  }
  return text;
}

}  // namespace

HttpClient::HttpClient(EventLoop& loop) : loop_(loop), socket_(loop) {
  socket_.onDnsLookupDone = [this](int error) { handleLookupDone(error); };
  socket_.onSessionConnected = [this](int error) { handleConnected(error); };
  socket_.onDataAvailable = [this](int) { handleDataAvailable(); };
  socket_.onSessionClosed = [this](int) { handleSessionClosed(); };
  // A send that fails without closing the connection: end it, the code stays readable.
  socket_.onError = [this](const std::string&) { socket_.close(); };
}

HttpClient::~HttpClient() {
  life_.reset();
  if (deadlineTimer_ != 0) loop_.cancelTimer(deadlineTimer_);
}

bool HttpClient::fire(const std::function<void()>& handler) {
  if (!handler) return true;
  const std::weak_ptr<char> alive = life_;
  const std::function<void()> call = handler;
  call();
  return !alive.expired();
}

bool HttpClient::setState(State state) {
  if (state_ == state) return true;
  state_ = state;
  return fire(onStateChange);
}

std::string HttpClient::getAsync() {
  if (state_ != State::Ready) return std::string(kBusy);

  const UrlParts parts = splitUrl(url);
  viaProxy_ = !proxy.empty();
  if (viaProxy_) {
    const UrlParts proxyParts = splitUrl(proxy);
    connectHost_ = proxyParts.host;
    connectPort_ = proxyParts.port.empty() ? proxyPort : proxyParts.port;
    if (connectHost_.empty() || parts.host.empty())
      return std::string(AsyncSocket::kInvalidHostName);
  }
  std::string scheme = parts.scheme.empty() ? "http" : parts.scheme;
  std::string absolute = scheme + "://" + parts.host;
  if (!parts.port.empty()) absolute += ":" + parts.port;
  absolute += parts.path;
  std::string error;
  if (!applyTarget(absolute, &error)) return error;
  if (!parts.user.empty()) {
    username = parts.user;
    password = parts.password;
  }
  credentialOrigin_ = urlOrigin_;

  ++request_;
  receivedHeader_.clear();
  requestType_ = kRequestGet;
  error_ = 0;
  statusCode_ = 0;
  reasonPhrase_.clear();
  receivedCount_ = 0;
  authChallenges_.clear();
  headerLines_ = 0;
  docPieces_ = 0;
  redirections_ = 0;
  relocating_ = false;
  locationSeen_ = false;
  writingRequest_ = false;
  ownFailure_ = false;
  ending_ = false;
  timedOut_ = false;
  if (deadlineTimer_ != 0) loop_.cancelTimer(deadlineTimer_);
  deadlineTimer_ = 0;
  if (deadlineMs > 0) {
    deadlineTimer_ = loop_.startTimer(deadlineMs, [alive = std::weak_ptr<char>(life_), this] {
      if (!alive.expired()) deadlinePassed();
    });
  }
  if (!setState(State::Connecting)) return {};
  if (state_ == State::Connecting && !ending_) startLookup();
  return {};
}

bool HttpClient::applyTarget(const std::string& absoluteUrl, std::string* error) {
  const UrlParts parts = splitUrl(absoluteUrl);
  const std::string scheme = parts.scheme.empty() ? "http" : parts.scheme;
  const bool secure = equalsNoCase(scheme, "https");
  const std::string defaultPort = secure ? "443" : "80";
  const std::string port = parts.port.empty() ? defaultPort : parts.port;
  std::string connectHost = viaProxy_ ? connectHost_ : parts.host;
  std::string connectPort = viaProxy_ ? connectPort_ : port;
  if (connectHost.empty() || parts.host.empty()) {
    *error = AsyncSocket::kInvalidHostName;
    return false;
  }
  // A link from a page goes on the wire: nothing in it may end a request line.
  if (hasUnsafeUrlBytes(scheme) || hasUnsafeUrlBytes(parts.host) || hasUnsafeUrlBytes(parts.port)) {
    *error = "Control characters in the URL's host name";
    return false;
  }
  if (connectPort.empty()) {
    *error = "Connect: No Port Specified";
    return false;
  }
  if (AsyncSocket::parsePort(connectPort) == 0) {
    *error = "SetPort: Cannot convert port '" + connectPort + "'";
    return false;
  }
  std::string authority = parts.host;
  if (!parts.port.empty()) authority += ":" + parts.port;
  const std::string path = encodeUnsafeUrlBytes(parts.path);
  location_ = scheme + "://" + authority + (path.empty() ? "/" : path);
  // The Host line names the port when it is not the default: a server behind another
  // port builds its absolute links (the next result page) from it.
  urlHost_ =
      parts.port.empty() || parts.port == defaultPort ? parts.host : parts.host + ":" + parts.port;
  urlOrigin_ = parts.host + ":" + port;
  connectHost_ = std::move(connectHost);
  connectPort_ = std::move(connectPort);
  serverName_ = parts.host;
  secure_ = secure;
  // A secure request goes through a proxy in a tunnel, where it reads as sent directly.
  tunnel_ = viaProxy_ && secure;
  tunnelAuthority_ = parts.host + ":" + port;
  // Through a proxy the request names the whole target; the port stays in it, or the
  // proxy would fetch from port 80.
  requestPath_ = viaProxy_ && !tunnel_ ? scheme + "://" + authority + path
                                       : (path.empty() ? std::string("/") : path);
  return true;
}

void HttpClient::startLookup() {
  if (!setState(State::ResolvingName)) return;
  if (state_ != State::ResolvingName) return;
  socket_.idleTimeoutMs = silenceTimeoutMs;
  const std::weak_ptr<char> alive = life_;
  const std::string error = socket_.dnsLookup(connectHost_);
  if (alive.expired()) return;
  if (!error.empty() && state_ == State::ResolvingName) {
    failOwn("can't resolve hostname to IP address");
    endRequest();
  }
}

void HttpClient::handleLookupDone(int error) {
  if (state_ != State::ResolvingName || timedOut_) return;
  if (error != 0) {
    failOwn("can't resolve hostname to IP address");
    endRequest();
    return;
  }
  if (!setState(State::Connecting)) return;
  if (state_ != State::Connecting) return;
  std::string failure = socket_.setAddr(socket_.dnsResult());
  if (failure.empty()) failure = socket_.setPort(connectPort_);
  if (failure.empty()) failure = socket_.setProto("tcp");
  socket_.tlsSettings.reset();
  if (secure_ && !tunnel_)
    socket_.tlsSettings = TlsClientSettings{serverName_, trustedCertificates};
  if (failure.empty()) failure = socket_.connect();
  if (failure.empty()) return;
  const int code = socket_.lastError();
  error_ = code;
  failOwn("can't connect: " + (code != 0 ? describe(code) : failure));
  socket_.close();
  endRequest();
}

void HttpClient::handleConnected(int error) {
  if (state_ != State::Connecting) return;
  if (error != 0) {
    // The socket closes itself next; the request ends with that close.
    failOwn(error == socketcode::kTlsFailure ? socket_.tlsFailure() : describe(error));
    return;
  }
  if (tunnel_ && !socket_.secured()) {
    openTunnel();
    return;
  }
  writeRequest();
}

void HttpClient::openTunnel() {
  tunnelAnswer_.reset();
  const std::weak_ptr<char> alive = life_;
  const std::uint64_t request = request_;
  std::string failure;
  if (socket_.send(ProxyTunnel::request(tunnelAuthority_, proxyUsername, proxyPassword, agent),
                   &failure) < 0 &&
      !alive.expired() && request_ == request && socket_.state() != AsyncSocket::State::Closed) {
    socket_.close();  // the code stays in socketError()
  }
}

void HttpClient::handleTunnelAnswer(std::string_view data) {
  switch (tunnelAnswer_.feed(data)) {
    case ProxyTunnel::Answer::NeedMore:
      return;
    case ProxyTunnel::Answer::Open:
      // The server speaks only after the client's first TLS flight.
      if (tunnelAnswer_.bytesAfterAnswer() == 0) {
        const std::string error =
            socket_.startTls(TlsClientSettings{serverName_, trustedCertificates});
        if (error.empty()) return;  // onSessionConnected follows the handshake
        failOwn(error);
      } else {
        failOwn("Invalid answer from the proxy");
      }
      break;
    case ProxyTunnel::Answer::Refused:
      if (tunnelAnswer_.status() >= 400) {
        statusCode_ = tunnelAnswer_.status();
        reasonPhrase_ = tunnelAnswer_.reason();
        ownFailure_ = true;
      } else {
        failOwn("Proxy refused the tunnel: " + std::to_string(tunnelAnswer_.status()) + " " +
                tunnelAnswer_.reason());
      }
      break;
    case ProxyTunnel::Answer::Bad:
      failOwn("Invalid answer from the proxy");
      break;
  }
  socket_.close();  // the close ends the request
}

bool HttpClient::writeRequestLine(std::string_view line) {
  if (!writingRequest_ || state_ != State::SendingRequest) return false;
  const std::string text(line);
  const std::weak_ptr<char> alive = life_;
  if (onCommand) {
    const auto call = onCommand;
    call(text);
    if (alive.expired()) return false;
    if (!writingRequest_ || state_ != State::SendingRequest) return false;
  }
  requestBuffer_ += text;
  requestBuffer_ += "\r\n";
  return true;
}

std::string HttpClient::formatModifiedSince() const {
  static const char* const kWeekdays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  const auto days = static_cast<long long>(std::floor(modifiedSince));
  // Day 0, 30 December 1899, was a Saturday.
  const int weekday = static_cast<int>(((days + 6) % 7 + 7) % 7);
  const CivilDate date = decodeDate(modifiedSince);
  const TimeOfDay time = decodeTime(modifiedSince);
  char text[64];
  std::snprintf(text, sizeof text, "%s, %2.2d %s %4.4d %2.2d:%2.2d:%2.2d GMT", kWeekdays[weekday],
                date.day, monthAbbreviation(date.month), date.year, time.hour, time.minute,
                time.second);
  return text;
}

void HttpClient::writeRequest() {
  if (!setState(State::SendingRequest)) return;
  if (state_ != State::SendingRequest) return;
  const std::weak_ptr<char> alive = life_;
  const std::uint64_t request = request_;
  auto stillWriting = [&] {
    return !alive.expired() && request_ == request && state_ == State::SendingRequest &&
           writingRequest_;
  };
  requestBuffer_.clear();
  writingRequest_ = true;
  if (!fire(onHeaderBegin) || !stillWriting()) return;

  auto line = [&](const std::string& text) { return writeRequestLine(text) && stillWriting(); };
  if (!line("GET " + requestPath_ + " HTTP/1.0")) return;
  if (!sender.empty() && !line("From: " + sender)) return;
  if (!reference.empty() && !line("Referer: " + reference)) return;
  if (!agent.empty() && !line("User-Agent: " + agent)) return;
  if (!line("Host: " + urlHost_)) return;
  if (noCache && !line("Pragma: no-cache")) return;
  if (modifiedSince != 0 && !line("If-Modified-Since: " + formatModifiedSince())) return;
  // Credentials go only to the server they were given for, not to where it redirects.
  if (!username.empty() && urlOrigin_ == credentialOrigin_ &&
      !line("Authorization: Basic " + base64Encode(username + ":" + password))) {
    return;
  }
  if (viaProxy_ && !tunnel_ && !proxyUsername.empty() &&
      !line("Proxy-Authorization: Basic " + base64Encode(proxyUsername + ":" + proxyPassword))) {
    return;
  }
  if (!cookie.empty() && !line("Cookie: " + cookie)) return;
  if (!fire(onHeaderEnd) || !stillWriting()) return;
  if (!line(std::string())) return;
  writingRequest_ = false;

  reader_.reset();
  chunks_.reset();
  announcedLength_ = -1;
  statusSeen_ = false;
  chunked_ = false;
  contentEncoding_.clear();
  transferEncoding_.clear();
  std::string failure;
  const std::string request_text = std::move(requestBuffer_);
  requestBuffer_.clear();
  if (socket_.send(request_text, &failure) < 0 && !alive.expired() && request_ == request &&
      socket_.state() != AsyncSocket::State::Closed) {
    socket_.close();  // the code stays in socketError()
  }
}

void HttpClient::handleDataAvailable() {
  constexpr std::size_t kFirstRead = 8192;
  constexpr std::size_t kLargestRead = 128 * 1024;
  // A handler running a nested wait must not let this client read over the bytes still
  // being handed out; the data waits for the outer round.
  if (reading_) return;
  if (readBuffer_.empty()) readBuffer_.resize(kFirstRead);
  const std::ptrdiff_t count = socket_.receive(readBuffer_.data(), readBuffer_.size());
  if (count <= 0) return;
  const bool filled = static_cast<std::size_t>(count) == readBuffer_.size();
  const std::weak_ptr<char> alive = life_;
  reading_ = true;
  handleReceived(std::string_view(readBuffer_.data(), static_cast<std::size_t>(count)));
  if (alive.expired()) return;
  reading_ = false;
  if (filled && readBuffer_.size() < kLargestRead) readBuffer_.resize(readBuffer_.size() * 2);
}

void HttpClient::handleReceived(std::string_view data) {
  if (state_ == State::WaitingForReply) {
    receiveDocument(data);
    return;
  }
  if (state_ == State::Connecting && tunnel_) {
    handleTunnelAnswer(data);
    return;
  }
  if (state_ != State::SendingRequest || relocating_) return;  // aborting: dropped

  reader_.feed(data);
  std::string_view item;
  for (;;) {
    switch (reader_.next(&item)) {
      case HttpResponseReader::Item::NeedMore:
        return;
      case HttpResponseReader::Item::HeaderLine:
        if (!processHeaderLine(item)) return;
        break;
      case HttpResponseReader::Item::HeaderEnd:
        if (!headerEnded()) return;
        break;
      case HttpResponseReader::Item::DocumentData:
        if (!receiveDocument(item)) return;
        break;
      case HttpResponseReader::Item::Bad:
        failOwn(reader_.failure() == HttpResponseReader::Failure::LineTooLong
                    ? "Response header line too long"
                    : "Response header too long");
        socket_.close();
        return;
    }
  }
}

bool HttpClient::processHeaderLine(std::string_view line) {
  const std::weak_ptr<char> alive = life_;
  const std::uint64_t request = request_;
  auto stillReading = [&] {
    return !alive.expired() && request_ == request && state_ == State::SendingRequest;
  };
  if (headerLines_++ == 0) {
    if (!fire(onHeaderBegin) || !stillReading()) return false;
  }
  receivedHeader_.emplace_back(line);
  lastLine_.assign(line);

  int code = 0;
  std::string_view reason;
  std::string name;
  std::string_view value;
  const StatusLineKind kind = parseStatusLine(lastLine_, &code, &reason);
  if (kind == StatusLineKind::Valid) {
    statusCode_ = code;
    reasonPhrase_.assign(reason);
    statusSeen_ = true;
  } else if (kind == StatusLineKind::Malformed) {
    failOwn("Invalid status line in response");
  } else if (!statusSeen_) {
    failOwn("Not an HTTP response");
  } else if (splitHeaderField(lastLine_, &name, &value)) {
    if (name == "location") {
      if (!value.empty()) {
        locationSeen_ = true;
        pendingLocation_ = resolveLocation(location_, value);
      }
    } else if (name == "content-length") {
      announcedLength_ = parseContentLength(value);
      contentLength_ = announcedLength_ < 0 ? 0 : announcedLength_;
    } else if (name == "content-type") {
      contentType_.assign(value);
    } else if (name == "www-authenticate") {
      authChallenges_.emplace_back(value);
    } else if (name == "content-encoding") {
      contentEncoding_.assign(trimmed(value));
    } else if (name == "transfer-encoding") {
      transferEncoding_.assign(trimmed(value));
    }
  }
  if (!fire(onHeaderData) || !stillReading()) return false;
  if (statusCode_ >= 400) {
    // No further header line and no document is read.
    locationSeen_ = false;
    socket_.close();
    return false;
  }
  return true;
}

bool HttpClient::headerEnded() {
  if (!statusSeen_) {
    failOwn("Not an HTTP response");
    socket_.close();
    return false;
  }
  if (locationSeen_) {
    // The redirection is accepted only here, at the end of its header: a connection that
    // ends before leaves nothing to follow.
    locationSeen_ = false;
    std::string error;
    if (redirections_ >= kMaxRedirections) {
      failOwn("Too many redirections");
    } else if (secure_ && equalsNoCase(splitUrl(pendingLocation_).scheme, "http")) {
      failOwn("Redirect from HTTPS to HTTP refused");
    } else if (!applyTarget(pendingLocation_, &error)) {
      failOwn("can't resolve hostname to IP address");
    } else {
      ++redirections_;
      relocating_ = true;
    }
    // With relocating_ set, the close continues at the new target.
    socket_.close();
    return false;
  }
  if (!acceptCodings()) return false;
  const std::weak_ptr<char> alive = life_;
  const std::uint64_t request = request_;
  if (!setState(State::WaitingForReply)) return false;
  if (request_ != request || state_ != State::WaitingForReply) return false;
  if (!fire(onHeaderEnd)) return false;
  return !alive.expired() && request_ == request && state_ == State::WaitingForReply;
}

bool HttpClient::acceptCodings() {
  // No Accept-Encoding is sent: a compressed page would be taken for text.
  if (!contentEncoding_.empty() && !equalsNoCase(contentEncoding_, "identity")) {
    failOwn("Unrequested Content-Encoding: " + shown(contentEncoding_));
  } else if (equalsNoCase(transferEncoding_, "chunked")) {
    chunked_ = true;
    return true;
  } else if (!transferEncoding_.empty() && !equalsNoCase(transferEncoding_, "identity")) {
    failOwn("Unsupported Transfer-Encoding: " + shown(transferEncoding_));
  } else {
    return true;
  }
  socket_.close();
  return false;
}

bool HttpClient::receiveDocument(std::string_view data) {
  if (!chunked_) return deliver(data);
  chunks_.feed(data);
  std::string_view piece;
  for (;;) {
    switch (chunks_.next(&piece)) {
      case ChunkedDecoder::Item::NeedMore:
        return true;
      case ChunkedDecoder::Item::Data:
        if (!deliver(piece)) return false;
        break;
      case ChunkedDecoder::Item::End:
        // The document is complete, whether or not the server closes: the close ends it.
        socket_.close();
        return false;
      case ChunkedDecoder::Item::Bad:
        failOwn("Invalid chunked document");
        socket_.close();
        return false;
    }
  }
}

bool HttpClient::deliver(std::string_view data) {
  while (!data.empty()) {
    const std::string_view piece = data.substr(0, kMaxPiece);
    data.remove_prefix(piece.size());
    if (!deliverPiece(piece)) return false;
  }
  return true;
}

bool HttpClient::deliverPiece(std::string_view piece) {
  if (maxDocumentSize > 0 &&
      receivedCount_ + static_cast<std::int64_t>(piece.size()) > maxDocumentSize) {
    failOwn("Document too large");
    socket_.close();  // the close ends the request
    return false;
  }
  const std::weak_ptr<char> alive = life_;
  const std::uint64_t request = request_;
  if (docPieces_++ == 0) {
    if (!fire(onDocBegin)) return false;
    if (request_ != request || state_ != State::WaitingForReply) return false;
  }
  receivedCount_ += static_cast<std::int64_t>(piece.size());
  if (onDocData) {
    const auto call = onDocData;
    call(piece);
    if (alive.expired()) return false;
    if (request_ != request) return false;
  }
  if (receiveBuffer != nullptr) receiveBuffer->append(piece);
  return state_ == State::WaitingForReply;
}

void HttpClient::handleSessionClosed() {
  if (state_ == State::Ready || ending_) return;
  if (relocating_ && state_ != State::Aborting) {
    const std::uint64_t request = request_;
    loop_.post([alive = std::weak_ptr<char>(life_), this, request]() {
      if (alive.expired() || request_ != request || ending_ || state_ == State::Aborting) return;
      relocating_ = false;
      if (!fire(onLocationChange)) return;
      if (request_ != request || ending_ || state_ == State::Aborting) return;
      startLookup();
    });
    return;
  }
  endRequest();
}

void HttpClient::failOwn(std::string reason) {
  statusCode_ = 404;
  reasonPhrase_ = std::move(reason);
  ownFailure_ = true;
}

void HttpClient::endRequest() {
  if (ending_) return;
  ending_ = true;
  if (deadlineTimer_ != 0) loop_.cancelTimer(deadlineTimer_);
  deadlineTimer_ = 0;
  if (socket_.state() != AsyncSocket::State::Closed) {
    const std::weak_ptr<char> alive = life_;
    socket_.close();
    if (alive.expired()) return;
  }
  if (!ownFailure_ && state_ != State::Aborting && !socket_.tlsFailure().empty())
    failOwn(socket_.tlsFailure());
  // HTTP/1.0 ends a document by closing, so a clean close can hide a cut connection.
  // Report what the server's own announcements show to be incomplete.
  if (!ownFailure_ && state_ != State::Aborting && error_ == 0 && socket_.lastError() == 0) {
    if (state_ == State::SendingRequest && statusCode_ < 400) {
      failOwn("Connection closed before the end of the response header");
    } else if (state_ == State::WaitingForReply && chunked_) {
      if (!chunks_.ended()) failOwn("Connection closed before the end of the chunked document");
    } else if (state_ == State::WaitingForReply && announcedLength_ >= 0 &&
               receivedCount_ < announcedLength_) {
      failOwn("Connection closed after " + std::to_string(receivedCount_) + " of " +
              std::to_string(announcedLength_) + " document bytes");
    }
  }
  if (docPieces_ > 0 && !fire(onDocEnd)) return;
  const std::uint64_t request = request_;
  loop_.post([alive = std::weak_ptr<char>(life_), this, request]() {
    if (alive.expired() || request_ != request) return;
    const int requestType = requestType_;
    const int error = error_;
    if (!setState(State::Ready)) return;
    if (onRequestDone) {
      const auto call = onRequestDone;
      call(requestType, error);
    }
  });
}

void HttpClient::deadlinePassed() {
  deadlineTimer_ = 0;
  if (state_ == State::Ready || state_ == State::Aborting || ending_) return;
  char text[64];
  std::snprintf(text, sizeof text, "Transfer timed out after %g s",
                static_cast<double>(deadlineMs) / 1000);
  failOwn(text);
  timedOut_ = true;
  const std::weak_ptr<char> alive = life_;
  if (state_ == State::ResolvingName) {
    socket_.cancelDnsLookup();
    if (alive.expired()) return;
  } else if (socket_.state() != AsyncSocket::State::Closed) {
    socket_.close();  // ends the request, unless a redirection was under way
    if (alive.expired()) return;
  }
  endRequest();
}

void HttpClient::abort() {
  if (state_ == State::Aborting) return;
  if (state_ == State::Ready) {
    if (socket_.state() != AsyncSocket::State::Closed) socket_.close();
    return;
  }
  if (ending_) return;
  const bool resolving = state_ == State::ResolvingName;
  const std::weak_ptr<char> alive = life_;
  if (!setState(State::Aborting)) return;
  if (state_ != State::Aborting || ending_) return;
  failOwn("Connection aborted on request");
  error_ = kAbortError;
  if (resolving) {
    socket_.cancelDnsLookup();
    if (alive.expired()) return;
    endRequest();
    return;
  }
  if (socket_.state() != AsyncSocket::State::Closed) {
    socket_.close();  // the close ends the request
    if (alive.expired()) return;
  }
  endRequest();
}

}  // namespace varnook
