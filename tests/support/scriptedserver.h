#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace varnook::testing {

// A request as the scripted server read it.
struct ReceivedRequest {
  std::string head;     // request line and header lines, line ends included
  std::string method;   // "GET"
  std::string target;   // "/path?query" or, through a proxy, "http://host/path"
  std::string version;  // "HTTP/1.0"
  // The value of the first header field of that name (any case), after ": ".
  std::optional<std::string> header(std::string_view name) const;
};

// One accepted connection, handed to the script on a thread of its own. Every wait also
// ends when the server stops, so a script that waits forever cannot hang a test.
class ScriptedConnection {
 public:
  // Reads up to the empty line that ends a request header. Returns nothing when the peer
  // closed first, the time ran out, or the server is stopping. The request is also
  // recorded in the server's requests().
  std::optional<ReceivedRequest> readRequest(int timeoutMs = 10000);
  // Sends all bytes; false when the peer is gone or the server stops.
  bool send(std::string_view bytes);
  // Sends in pieces of `pieceSize` bytes (at least 1), each in its own write, waiting
  // `delayMs` after each.
  bool sendInPieces(std::string_view bytes, std::size_t pieceSize, int delayMs = 0);
  // Waits, ending early when the server stops. Returns false when it stopped.
  bool pause(int milliseconds);
  // Waits until the peer closes (reading and dropping what it sends) or the time runs out
  // (negative: until the server stops). Returns true when the peer closed.
  bool waitForPeerClose(int timeoutMs = -1);
  // Ends the connection normally (FIN), or with a reset (RST).
  void close();
  void reset();
  int descriptor() const { return fd_; }

 private:
  friend class ScriptedServer;
  ScriptedConnection(int fd, int stopFd, class ScriptedServer* server)
      : fd_(fd), stopFd_(stopFd), server_(server) {}
  bool stopping() const;
  // Waits for `events` on the connection (none: only for the time); false on stop or timeout.
  bool waitFor(short events, int timeoutMs);

  int fd_;
  int stopFd_;
  ScriptedServer* server_;
  std::string pending_;  // bytes read past the last request
};

// A small HTTP server for tests: a loopback listener on an ephemeral port, its own accept
// thread, and one thread per connection running the test's script. It does what real
// servers will not: split replies into single bytes, stall, cut documents short, send
// enormous header lines, never answer, redirect forever.
class ScriptedServer {
 public:
  using Script = std::function<void(ScriptedConnection&)>;
  // Builds the whole reply to one request (see httpResponse).
  using Responder = std::function<std::string(const ReceivedRequest&)>;

  // Listens on 127.0.0.1 (or ::1) at once; check listening() before use.
  explicit ScriptedServer(Script script, bool ipv6 = false);
  // Stops: wakes every waiting script, closes the connections, joins all threads.
  ~ScriptedServer();
  ScriptedServer(const ScriptedServer&) = delete;
  ScriptedServer& operator=(const ScriptedServer&) = delete;

  // A script that reads one request, sends what `responder` makes of it, and closes.
  static Script respond(Responder responder);
  // A script that reads one request and sends `reply` as it stands, then closes.
  static Script reply(std::string reply);

  bool listening() const { return listenFd_ >= 0; }
  int port() const { return port_; }
  // "127.0.0.1" or "[::1]".
  std::string host() const;
  // "http://127.0.0.1:<port>" + path.
  std::string url(std::string_view path = "/") const;

  // Every request read so far, in order (thread-safe copy).
  std::vector<ReceivedRequest> requests() const;
  // Connections whose script has returned.
  int finishedCount() const { return finished_.load(); }

  void stop();

 private:
  friend class ScriptedConnection;
  void acceptLoop();
  void record(const ReceivedRequest& request);

  Script script_;
  bool ipv6_;
  int listenFd_ = -1;
  int stopFd_ = -1;
  int port_ = 0;
  std::atomic<bool> stopping_{false};
  std::atomic<int> finished_{0};
  std::thread acceptThread_;
  mutable std::mutex mutex_;
  struct Worker {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> done;
  };
  std::vector<Worker> workers_;  // touched by the accept thread, then by stop()
  std::vector<ReceivedRequest> requests_;
};

// An HTTP/1.0 response: status line, "Content-Type: text/html" unless `headers` has
// one, "Content-Length" when `withLength`, the extra `headers` ("Name: value"), the empty
// line, the body. Lines end with CR LF.
std::string httpResponse(int status, std::string_view reason, std::string_view body,
                         const std::vector<std::string>& headers = {}, bool withLength = true);

}  // namespace varnook::testing
