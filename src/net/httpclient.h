#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "net/asyncsocket.h"
#include "net/chunkeddecoder.h"
#include "net/eventloop.h"
#include "net/httpresponsereader.h"
#include "net/proxytunnel.h"

namespace varnook {

// An HTTP/1.0 GET client on an EventLoop: one request at a time, "http" or "https" (TLS on
// the same socket; through a proxy, a CONNECT tunnel), direct or through a proxy, following
// redirections, reporting through events. getAsync() returns at once;
// the request ends with exactly one onRequestDone, after state() has returned to Ready.
// Success means error 0 and statusCode() below 400; the document is then everything
// appended to the receive buffer.
//
// Failures of the client itself end the request with statusCode() 404 and the reason in
// reasonPhrase():
//   "can't resolve hostname to IP address"              (error 0)
//   "can't connect: <description> (Error #<code>)"      (error: the socket's code)
//   "<description> (Error #<code>)"                     the connection failed (error 0)
//   "Connection aborted on request"                     abort() (error 3)
//   "Too many redirections"                             more than kMaxRedirections
//   "Response header line too long" / "Response header too long"
//   "Invalid status line in response"                   status code not three digits
//   "Connection closed before the end of the response header"
//   "Connection closed after <n> of <m> document bytes" fewer bytes than announced
//   "Document too large"                                more than maxDocumentSize bytes
//   "Certificate verify failed: <reason>"               the server's certificate is refused
//                                                       (unknown issuer, host name mismatch,
//                                                       certificate expired, ...)
//   "TLS handshake failed: <reason>", "TLS connection failed: <reason>"
//   "Redirect from HTTPS to HTTP refused"               a secure request is never continued
//                                                       in clear text
//   "Invalid answer from the proxy"                     to a CONNECT
//   "Not an HTTP response"                              no status line first
//   "Unrequested Content-Encoding: <value>"             a coding the client never asked for
//   "Unsupported Transfer-Encoding: <value>"            anything but chunked
//   "Invalid chunked document" / "Connection closed before the end of the chunked document"
//   "Transfer timed out after <n> s"                    deadlineMs passed (timedOut())
// A chunked document is decoded, and ends with its last chunk. A proxy that refuses a
// tunnel with a status of 400 or more ends the request with its status and reason (407
// "Proxy Authentication Required"); with another status, with "Proxy refused the tunnel:
// <status> <reason>".
// A server status of 400 or more ends the request at once with the server's code and
// reason. A connection that breaks, or stays silent for silenceTimeoutMs (code 10060
// "Connection timed out"), leaves its code in socketError().
//
// Destroying the client is allowed at any time, also from inside any of its own event
// handlers; no event fires after that. The receive buffer is never owned.
class HttpClient {
 public:
  enum class State {
    Ready = 0,
    Connecting = 1,
    ResolvingName = 2,
    SendingRequest = 3,
    WaitingForReply = 4,
    Aborting = 5,
  };
  // Request types reported by onRequestDone; only get is ever issued.
  static constexpr int kRequestGet = 1;
  static constexpr int kRequestPost = 2;
  static constexpr int kRequestHead = 3;
  // The error of an aborted request.
  static constexpr int kAbortError = 3;
  static constexpr int kMaxRedirections = 20;
  // Document data arrives in pieces of at most this many bytes.
  static constexpr std::size_t kMaxPiece = 8191;

  static constexpr std::string_view kBusy = "HTTP component is busy";

  // The loop must outlive the client.
  explicit HttpClient(EventLoop& loop);
  ~HttpClient();
  HttpClient(const HttpClient&) = delete;
  HttpClient& operator=(const HttpClient&) = delete;

  // Request settings, read when getAsync() is called.
  std::string url;
  std::string proxy;  // "host" or "host:port"; empty: direct connection
  std::string proxyPort = "80";
  std::string username;  // "Authorization: Basic"; replaced by a user named in the URL
  std::string password;
  std::string proxyUsername;  // "Proxy-Authorization: Basic", sent to the proxy alone
  std::string proxyPassword;
  // For https: a PEM file of certificates trusted besides the system's store.
  std::string trustedCertificates;
  std::string sender;        // "From:"
  std::string agent;         // "User-Agent:"
  std::string reference;     // "Referer:"
  bool noCache = false;      // "Pragma: no-cache"
  double modifiedSince = 0;  // day-count date; "If-Modified-Since:" when not 0
  std::string cookie;        // "Cookie:"
  // Every document byte is appended here when set. Not owned.
  std::string* receiveBuffer = nullptr;
  // A lookup, connection attempt or connection silent this long (milliseconds) ends with
  // socket code 10060, so a dead server cannot hold a transfer forever; 0: no limit.
  int silenceTimeoutMs = 60000;
  // A document that would grow past this many bytes ends the request (the part received
  // stays delivered), so a server that sends without end cannot fill the memory; 0: no
  // limit.
  std::int64_t maxDocumentSize = 0;
  // A request not done this many milliseconds after getAsync() (redirections included)
  // ends, however steadily bytes trickle in; 0: no limit.
  int deadlineMs = 0;

  // Starts a GET of `url`. Returns an empty text when the request has started (its end
  // comes through onRequestDone), or why nothing started: kBusy when state() is not
  // Ready, AsyncSocket::kInvalidHostName for a URL without host, a port that is no
  // number ("SetPort: Cannot convert port '...'"), control characters or blanks in the
  // URL's scheme, host or port ("Control characters in the URL's host name"). Bytes at or
  // below 0x20 and 0x7F in the path are sent percent-encoded. Nothing fires when nothing
  // started.
  std::string getAsync();

  // Cancels the running request: it ends with "Connection aborted on request" and error
  // 3, at once while a name is being resolved, otherwise once the connection has closed.
  // Nothing happens while already aborting or once the request's end is under way.
  void abort();

  // Adds a line to the request header being written; meant for onHeaderEnd handlers while
  // the request is written (state SendingRequest, before the empty line). onCommand
  // fires with the line first. Returns false, writing nothing, at any other time.
  bool writeRequestLine(std::string_view line);

  State state() const { return state_; }
  int statusCode() const { return statusCode_; }
  const std::string& reasonPhrase() const { return reasonPhrase_; }
  // The last Content-Length and Content-Type this client received (kept across requests).
  std::int64_t contentLength() const { return contentLength_; }
  const std::string& contentType() const { return contentType_; }
  // Every non-empty response header line of the request, status lines included, over all
  // its redirections, in arrival order.
  const std::vector<std::string>& receivedHeader() const { return receivedHeader_; }
  // Document bytes received so far in this request.
  std::int64_t receivedCount() const { return receivedCount_; }
  // The header line being processed (for onHeaderData).
  const std::string& lastLine() const { return lastLine_; }
  // "WWW-Authenticate" values of the request.
  const std::vector<std::string>& authChallenges() const { return authChallenges_; }
  // The URL being fetched now: the request's URL, or where redirections have led.
  const std::string& location() const { return location_; }
  int redirections() const { return redirections_; }
  // The socket's last error code: 0, or why the connection failed or broke.
  int socketError() const { return socket_.lastError(); }
  // Whether statusCode() and reasonPhrase() are the client's own (a failure listed above)
  // rather than the server's.
  bool ownFailure() const { return ownFailure_; }
  // The request ended because deadlineMs passed.
  bool timedOut() const { return timedOut_; }
  // The host connected to: the URL's (or where it redirected), or the proxy.
  const std::string& connectHost() const { return connectHost_; }

  // Events; all fire from the loop, never from inside getAsync() except onStateChange
  // and what a numeric address lets happen at once (lookup done, connecting).
  std::function<void()> onStateChange;                     // after every change of state()
  std::function<void(const std::string& line)> onCommand;  // each request line, before writing
  std::function<void()> onHeaderBegin;  // request header starts; first response line comes
  std::function<void()> onHeaderEnd;  // request lines written (add more now); response header ended
  std::function<void()> onHeaderData;  // a response header line was processed (lastLine())
  std::function<void()> onDocBegin;    // before the first document data
  std::function<void(std::string_view piece)> onDocData;  // before the piece is appended
  std::function<void()> onDocEnd;          // the connection closed after document data
  std::function<void()> onLocationChange;  // a redirection was accepted, before reconnecting
  std::function<void(int requestType, int error)> onRequestDone;

 private:
  // Each returns false when the handler destroyed the client.
  bool fire(const std::function<void()>& handler);
  bool setState(State state);

  bool applyTarget(const std::string& absoluteUrl, std::string* error);
  void startLookup();
  void handleLookupDone(int error);
  void handleConnected(int error);
  void openTunnel();
  void handleTunnelAnswer(std::string_view data);
  void writeRequest();
  void handleDataAvailable();
  void handleReceived(std::string_view data);
  bool processHeaderLine(std::string_view line);
  bool headerEnded();
  // False, having ended the request, for a coding the client cannot take off.
  bool acceptCodings();
  bool receiveDocument(std::string_view data);
  bool deliver(std::string_view data);
  bool deliverPiece(std::string_view piece);
  void handleSessionClosed();
  void failOwn(std::string reason);
  void endRequest();
  void deadlinePassed();
  std::string formatModifiedSince() const;

  EventLoop& loop_;
  std::shared_ptr<char> life_ = std::make_shared<char>();
  AsyncSocket socket_;
  HttpResponseReader reader_;
  ChunkedDecoder chunks_;
  // Reads start small and grow while the network keeps filling them, so a large download
  // takes few system calls and an idle client little memory.
  std::vector<char> readBuffer_;
  bool reading_ = false;

  State state_ = State::Ready;
  int requestType_ = kRequestGet;
  int error_ = 0;
  int statusCode_ = 0;
  std::string reasonPhrase_;
  std::int64_t contentLength_ = 0;
  std::string contentType_;
  std::vector<std::string> receivedHeader_;
  std::int64_t receivedCount_ = 0;
  std::string lastLine_;
  std::vector<std::string> authChallenges_;

  // Where the request goes.
  std::string location_;          // absolute URL now fetched
  std::string urlHost_;           // for "Host:"
  std::string urlOrigin_;         // host:port now fetched
  std::string credentialOrigin_;  // host:port the credentials were given for
  std::string connectHost_;
  std::string connectPort_;
  std::string requestPath_;
  std::string serverName_;  // the host the certificate must be for
  bool viaProxy_ = false;
  bool secure_ = false;  // the URL now fetched is "https"
  bool tunnel_ = false;  // ... and goes through the proxy's CONNECT tunnel
  std::string tunnelAuthority_;
  ProxyTunnel tunnelAnswer_;
  std::string pendingLocation_;

  std::uint64_t request_ = 0;  // counts requests, so stale posted work is dropped
  int headerLines_ = 0;
  int docPieces_ = 0;
  int redirections_ = 0;
  long long announcedLength_ = -1;  // Content-Length of the current response
  bool locationSeen_ = false;       // the response header being read names a new location
  bool statusSeen_ = false;         // the response being read began with its status line
  std::string contentEncoding_;     // of the response being read
  std::string transferEncoding_;
  bool chunked_ = false;     // its document comes in chunks
  bool relocating_ = false;  // a redirection was accepted: the close goes on there
  bool writingRequest_ = false;
  bool ownFailure_ = false;  // the client has set statusCode() and reasonPhrase() itself
  bool ending_ = false;      // the request's end is under way
  bool timedOut_ = false;
  EventLoop::TimerId deadlineTimer_ = 0;
  std::string requestBuffer_;
};

}  // namespace varnook
