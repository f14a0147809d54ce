#include "support/scriptedserver.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <sstream>

#include "base/asciicase.h"
#include "support/realservers.h"

namespace varnook::testing {

namespace {

using Clock = std::chrono::steady_clock;

int remainingMs(Clock::time_point deadline, int timeoutMs) {
  if (timeoutMs < 0) return -1;
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return left.count() < 0 ? 0 : static_cast<int>(left.count());
}

}  // namespace

std::optional<std::string> ReceivedRequest::header(std::string_view name) const {
  std::istringstream lines(head);
  std::string line;
  std::getline(lines, line);  // the request line
  while (std::getline(lines, line)) {
    if (line.ends_with('\r')) line.pop_back();
    const std::size_t colon = line.find(':');
    if (colon != std::string::npos && equalsNoCase(std::string_view(line).substr(0, colon), name))
      return line.substr(std::min(line.find_first_not_of(' ', colon + 1), line.size()));
  }
  return std::nullopt;
}

bool ScriptedConnection::stopping() const {
  return server_->stopping_.load();
}

bool ScriptedConnection::waitFor(short events, int timeoutMs) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
  for (;;) {
    if ((events != 0 && fd_ < 0) || stopping()) return false;
    // Without events the connection is left out, so that its end does not end the wait.
    pollfd fds[2] = {{events != 0 ? fd_ : -1, events, 0}, {stopFd_, POLLIN, 0}};
    const int ready = ::poll(fds, 2, remainingMs(deadline, timeoutMs));
    if (ready < 0 && errno == EINTR) continue;
    return ready > 0 && fds[1].revents == 0;
  }
}

std::optional<ReceivedRequest> ScriptedConnection::readRequest(int timeoutMs) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
  for (;;) {
    const std::size_t crlf = pending_.find("\r\n\r\n");
    const std::size_t lf = pending_.find("\n\n");
    const std::size_t end = std::min(crlf, lf);
    if (end != std::string::npos) {
      const std::size_t length = end == crlf ? 4 : 2;
      ReceivedRequest request;
      request.head = pending_.substr(0, end + length / 2);
      pending_.erase(0, end + length);
      std::istringstream first(request.head.substr(0, request.head.find('\n')));
      first >> request.method >> request.target >> request.version;
      server_->record(request);
      return request;
    }
    if (!waitFor(POLLIN, remainingMs(deadline, timeoutMs))) return std::nullopt;
    char buffer[4096];
    const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
    if (n <= 0) return std::nullopt;
    pending_.append(buffer, static_cast<std::size_t>(n));
  }
}

bool ScriptedConnection::send(std::string_view bytes) {
  while (!bytes.empty()) {
    if (fd_ < 0 || stopping()) return false;
    const ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n > 0) {
      bytes.remove_prefix(static_cast<std::size_t>(n));
    } else if (n == 0 || (errno != EINTR && (errno != EAGAIN || !waitFor(POLLOUT, -1)))) {
      return false;
    }
  }
  return true;
}

bool ScriptedConnection::sendInPieces(std::string_view bytes, std::size_t pieceSize, int delayMs) {
  for (; !bytes.empty(); bytes.remove_prefix(std::min(pieceSize, bytes.size())))
    if (!send(bytes.substr(0, pieceSize)) || (delayMs > 0 && !pause(delayMs))) return false;
  return true;
}

bool ScriptedConnection::pause(int milliseconds) {
  waitFor(0, milliseconds);
  return !stopping();
}

bool ScriptedConnection::waitForPeerClose(int timeoutMs) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
  for (;;) {
    if (!waitFor(POLLIN, remainingMs(deadline, timeoutMs))) return false;
    char buffer[4096];
    const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
    if (n <= 0) return true;
  }
}

void ScriptedConnection::close() {
  if (fd_ < 0) return;
  ::shutdown(fd_, SHUT_WR);
  ::close(fd_);
  fd_ = -1;
}

void ScriptedConnection::reset() {
  if (fd_ < 0) return;
  const linger abortive{1, 0};
  ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
  ::close(fd_);
  fd_ = -1;
}

ScriptedServer::ScriptedServer(Script script, bool ipv6) : script_(std::move(script)), ipv6_(ipv6) {
  stopFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (stopFd_ < 0) return;
  listenFd_ = bindLoopback(ipv6, 1024, &port_);
  if (listenFd_ >= 0) acceptThread_ = std::thread([this] { acceptLoop(); });
}

ScriptedServer::~ScriptedServer() {
  stop();
  if (stopFd_ >= 0) ::close(stopFd_);
}

void ScriptedServer::stop() {
  if (stopping_.exchange(true)) return;
  if (stopFd_ >= 0) {
    const std::uint64_t one = 1;
    [[maybe_unused]] ssize_t written = ::write(stopFd_, &one, sizeof one);
  }
  if (acceptThread_.joinable()) acceptThread_.join();
  for (Worker& worker : workers_) worker.thread.join();
  workers_.clear();
  if (listenFd_ >= 0) ::close(listenFd_);
  listenFd_ = -1;
}

void ScriptedServer::acceptLoop() {
  for (;;) {
    pollfd fds[2] = {{listenFd_, POLLIN, 0}, {stopFd_, POLLIN, 0}};
    const int ready = ::poll(fds, 2, -1);
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0 || fds[1].revents != 0) return;
    const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) continue;
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    // Threads of finished connections are joined as new ones come, so a long test with
    // many thousands of requests does not pile them up.
    std::erase_if(workers_, [](Worker& worker) {
      if (!worker.done->load()) return false;
      worker.thread.join();
      return true;
    });
    auto done = std::make_shared<std::atomic<bool>>(false);
    std::thread thread([this, fd, done] {
      ScriptedConnection connection(fd, stopFd_, this);
      script_(connection);
      connection.close();
      finished_.fetch_add(1);
      done->store(true);
    });
    workers_.push_back(Worker{std::move(thread), std::move(done)});
  }
}

void ScriptedServer::record(const ReceivedRequest& request) {
  std::lock_guard lock(mutex_);
  requests_.push_back(request);
}

std::vector<ReceivedRequest> ScriptedServer::requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

std::string ScriptedServer::host() const {
  return ipv6_ ? "[::1]" : "127.0.0.1";
}

std::string ScriptedServer::url(std::string_view path) const {
  return "http://" + host() + ":" + std::to_string(port_) + std::string(path);
}

ScriptedServer::Script ScriptedServer::respond(Responder responder) {
  return [responder = std::move(responder)](ScriptedConnection& connection) {
    const std::optional<ReceivedRequest> request = connection.readRequest();
    if (!request) return;
    connection.send(responder(*request));
    connection.close();
  };
}

ScriptedServer::Script ScriptedServer::reply(std::string reply) {
  return respond([reply = std::move(reply)](const ReceivedRequest&) { return reply; });
}

std::string httpResponse(int status, std::string_view reason, std::string_view body,
                         const std::vector<std::string>& headers, bool withLength) {
  std::string response = "HTTP/1.0 " + std::to_string(status) + " " + std::string(reason) + "\r\n";
  const bool hasType = std::any_of(headers.begin(), headers.end(), [](const std::string& h) {
    return startsWithNoCase(h, "content-type:");
  });
  if (!hasType) response += "Content-Type: text/html\r\n";
  if (withLength) response += "Content-Length: " + std::to_string(body.size()) + "\r\n";
  for (const std::string& header : headers) response += header + "\r\n";
  response += "\r\n";
  response += body;
  return response;
}

}  // namespace varnook::testing
