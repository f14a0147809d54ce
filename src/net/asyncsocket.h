#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "net/eventloop.h"
#include "net/hostresolver.h"
#include "net/sendbuffer.h"
#include "net/tlssession.h"

namespace varnook {

// An asynchronous TCP client socket on an EventLoop. Every call returns at once; outcomes
// come back as events, raised from the loop, in this order for one connection:
// onDnsLookupDone, onSessionConnected, onDataAvailable (repeated while received data
// waits), onDataSent (whenever the send buffer has emptied), and exactly one
// onSessionClosed, whether the peer ended the connection, it failed, or the owner called
// close().
//
// Failures are values: calls that can fail return the message text (empty on success),
// in the form "Error <code> in function <step>" CR LF <description> for failing system
// calls, or one of the fixed texts below; lastError() holds the code. Failures found while
// handling a loop event go to onError, or close the connection when nobody listens.
//
// The connection may be secured with TLS (tlsSettings, startTls): the handshake, the records
// and the close_notify run on the same loop, and the owner sends and receives plaintext
// through the same calls and events.
//
// Any event handler may destroy the socket; no further event then fires.
class AsyncSocket {
 public:
  enum class State {
    InvalidState,
    Opened,
    Bound,
    Connecting,
    Connected,
    Accepting,
    Listening,
    Closed
  };
  enum class SendFlags { Normal, Urgent };
  enum class Linger { Off, On, NoSet };

  static constexpr std::string_view kInvalidHostName = "DNS lookup: invalid host name.";

  // The loop must outlive the socket.
  explicit AsyncSocket(EventLoop& loop);
  // Closes an open connection without firing onSessionClosed and drops a pending lookup.
  ~AsyncSocket();
  AsyncSocket(const AsyncSocket&) = delete;
  AsyncSocket& operator=(const AsyncSocket&) = delete;

  // The remote address: a numeric IPv4 or IPv6 address, or a name that always means this
  // machine ("localhost", "x.localhost"); other names are refused, since resolving them
  // here would block ("SetAddr: Cannot convert host address '<text>'"). Empty clears it.
  // Like port and protocol, it may only change while the socket is closed.
  const std::string& addr() const { return addr_; }
  std::string setAddr(std::string_view address);
  // A port number (1..65535) or a service name; empty clears it.
  const std::string& port() const { return portText_; }
  std::string setPort(std::string_view port);
  // The number of a port text (digits or a service name), 0 when it names no port.
  static int parsePort(std::string_view port);
  // "tcp" (the default); no other protocol is supported.
  const std::string& proto() const { return proto_; }
  std::string setProto(std::string_view proto);

  // Starts resolving `host`. A numeric address, "localhost" and names ending in
  // ".localhost" are answered before the call returns (onDnsLookupDone fires inside it,
  // with 0); other names go to a resolver thread and the answer comes through the loop.
  // A lookup already pending is dropped without an event. An empty name fails with
  // kInvalidHostName and no event.
  std::string dnsLookup(std::string_view host);
  // Cancels a pending lookup: onDnsLookupDone fires at once with 10004.
  void cancelDnsLookup();
  bool dnsLookupPending() const { return lookup_ != nullptr; }
  // The first address found by the last lookup, and all of them, in numeric form.
  const std::string& dnsResult() const { return dnsResult_; }
  const std::vector<std::string>& dnsResultList() const { return dnsResultList_; }

  // Starts connecting to addr()/port(). Fails with "Connect: Socket already in use",
  // "Connect: No Port Specified", "Connect: No IP Address Specified",
  // "Connect: No Protocol Specified", or a system call's message ("Connect (socket)",
  // "Connect", ...). A refused or unreachable peer is not a failure of this call: it is
  // reported by onSessionConnected with the code, also when the system knows it at once.
  std::string connect();

  // Appends `data` to the send buffer and sends what the network takes now; the rest
  // goes out as the network accepts it. Returns data.size(), or -1 with the message in
  // `*error` when not connected ("Error 10057 in function Send" ...) or when the system
  // refuses the data. onDataSent fires, after the caller has returned, once the buffer is
  // empty.
  std::ptrdiff_t send(std::string_view data, std::string* error = nullptr);

  // Reads up to `size` received bytes into `buffer`. Returns the count, 0 when nothing is
  // waiting (the end of the stream is announced by onSessionClosed once the handler
  // returns), or -1 on failure with the code in lastError().
  std::ptrdiff_t receive(char* buffer, std::size_t size);

  // Ends the connection (the sending side is shut down first, after the close_notify of a
  // secured one). onSessionClosed fires with 0 unless it already fired for this
  // connection. Nothing happens on a closed socket.
  void close();

  // TLS. When set, connect() secures the connection before it counts as made: the
  // handshake follows the TCP connection, and onSessionConnected fires once it has ended,
  // with 0, or with socketcode::kTlsFailure and the reason in tlsFailure() (the connection
  // is then closed): "Certificate verify failed: <reason>" (unknown issuer, host name
  // mismatch, certificate expired, certificate not yet valid, ...), "TLS handshake failed:
  // <reason>", or why the trusted certificates cannot be used. Read when connect() is
  // called.
  std::optional<TlsClientSettings> tlsSettings;
  // Secures a connection already made (one tunnelled through a proxy): the handshake starts
  // now, and onSessionConnected fires again once it has ended, as above. Fails, and nothing
  // fires, when the socket is not connected or already secured, or the trusted
  // certificates cannot be used.
  std::string startTls(const TlsClientSettings& settings);
  // True once the handshake has succeeded, until the connection ends.
  bool secured() const { return tlsStage_ == TlsStage::Secured; }
  // Why TLS failed on the last connection; empty when it did not.
  const std::string& tlsFailure() const { return tlsFailure_; }

  State state() const { return state_; }
  // The last error code (0 for none). Kept after the connection ends, so an owner can
  // tell a broken connection from a finished one.
  int lastError() const { return lastError_; }
  // Bytes received since the connection was opened.
  std::int64_t readCount() const { return readCount_; }
  // Bytes waiting to be read now, as the system reports them; -1 on failure.
  int rcvdCount();
  // True while nothing waits in the send buffer.
  bool allSent() const { return sendBuffer_.empty(); }
  std::size_t sendBufferSize() const { return sendBuffer_.size(); }

  // Silence limit in milliseconds, 0 for none: a lookup, a connection attempt or a
  // connection during which nothing is received or sent for that long ends with 10060
  // ("Connection timed out"): onDnsLookupDone(10060), onSessionConnected(10060), or
  // onSessionClosed(10060). Read when a lookup or connection starts.
  int idleTimeoutMs = 0;
  SendFlags sendFlags = SendFlags::Normal;
  // Applied when connecting; NoSet keeps the system's default.
  Linger lingerOnOff = Linger::NoSet;
  int lingerTimeout = 0;  // seconds

  std::function<void(int error)> onDnsLookupDone;
  std::function<void(int error)> onSessionConnected;
  std::function<void(int error)> onDataAvailable;
  std::function<void(int error)> onDataSent;
  std::function<void(int error)> onSessionClosed;
  std::function<void(State oldState, State newState)> onChangeState;
  std::function<void(const std::string& message)> onError;

 private:
  using Clock = std::chrono::steady_clock;
  enum class TlsStage { Off, Handshaking, Secured };

  bool isOpen() const { return fd_ >= 0; }
  // Each returns false when the socket was destroyed by the handler.
  bool setState(State state);
  bool fire(const std::function<void(int)>& handler, int error);

  void onReady(unsigned kinds);
  void completeConnect(int error);
  void handleReadable();
  void handleWritable();
  // Sends what the network takes. Returns false when the connection was closed by it.
  bool trySend(std::string* error);
  // The same, a failure going to onError (or closing the connection when nobody listens);
  // false after a failure.
  bool flushSendBuffer();
  // Sends from the front of the send buffer once (`*offered` bytes offered); the system
  // call's result.
  std::ptrdiff_t sendFront(std::size_t* offered);
  std::ptrdiff_t receiveTls(char* buffer, std::size_t size);
  void beginHandshake(const TlsClientSettings& settings);
  void continueHandshake();
  void failTls(const std::string& message);
  void readTlsLater();
  void endSession(int error);
  void releaseDescriptor();
  void updateWatch();
  void touch() { lastActivity_ = Clock::now(); }
  void updateIdleTimer();
  void onIdleTimer();
  void onLookupDone(const LookupResult& result);

  EventLoop& loop_;
  std::shared_ptr<char> life_ = std::make_shared<char>();

  std::string addr_;
  std::string portText_;
  int portNumber_ = 0;
  std::string proto_ = "tcp";

  std::unique_ptr<HostLookup> lookup_;
  std::string dnsResult_;
  std::vector<std::string> dnsResultList_;

  int fd_ = -1;
  State state_ = State::Closed;
  EventLoop::WatchId watch_ = 0;
  unsigned watchEvents_ = 0;
  std::uint64_t connection_ = 0;  // counts connections, so stale posted events are dropped
  bool sessionClosedFired_ = false;
  int pendingConnectError_ = 0;

  SendBuffer sendBuffer_;
  bool dataSentPosted_ = false;

  // Declared after the send buffer, which it writes into.
  std::unique_ptr<TlsSession> tls_;
  TlsStage tlsStage_ = TlsStage::Off;
  std::string tlsFailure_;
  bool tlsReadPosted_ = false;

  int lastError_ = 0;
  std::int64_t readCount_ = 0;
  // What receive() saw during the current onDataAvailable.
  bool receiveCalled_ = false;
  bool receiveFilled_ = false;
  bool peerEnded_ = false;
  bool receiveFailed_ = false;

  EventLoop::TimerId idleTimer_ = 0;
  int activeIdleTimeoutMs_ = 0;
  Clock::time_point lastActivity_{};
};

}  // namespace varnook
