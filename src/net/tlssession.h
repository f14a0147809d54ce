#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "net/sendbuffer.h"
#include "net/tlsclient.h"

namespace varnook {

// The client side of one TLS connection (GnuTLS), run over a non-blocking socket by its
// owner, AsyncSocket. It reads records straight from the descriptor and writes them into
// the owner's send buffer, which the owner drains as the network takes it: so no call here
// ever blocks or waits for the network to accept a write, and the owner's loop needs to
// watch only for readability. The certificate is verified during the handshake, against
// the system's trust store and the extra trusted certificates, for the server's name.
class TlsSession {
 public:
  enum class Progress { Done, Again, Failed };

  // A session for `settings` over `fd` (not owned), its records queued in `out` (which must
  // outlive it). Null, with the reason in `*error`, when the trusted certificates cannot be
  // read.
  static std::unique_ptr<TlsSession> client(const TlsClientSettings& settings, int fd,
                                            SendBuffer& out, std::string* error);
  ~TlsSession();
  TlsSession(const TlsSession&) = delete;
  TlsSession& operator=(const TlsSession&) = delete;

  // Takes the handshake as far as the bytes received allow; its records go to the send
  // buffer. Failed: failure() tells why, "Certificate verify failed: <reason>" when the
  // server's certificate was refused.
  Progress handshake();

  // Reads up to `size` decrypted bytes: as many as have arrived, across records. After the
  // call, ended() tells whether the peer has ended the stream (with or without its
  // close_notify) and failed() whether the connection broke (failure() says how,
  // transportError() holds the errno of a failing read).
  std::size_t read(char* buffer, std::size_t size);
  // Encrypts `data` into the send buffer.
  bool write(std::string_view data);
  // Queues the close_notify alert that ends our side of the stream.
  void closeNotify();

  // Bytes that arrived and wait here rather than in the socket, so the descriptor will not
  // announce them again.
  bool pending() const;
  bool ended() const { return ended_; }
  bool failed() const { return failed_; }
  const std::string& failure() const { return failure_; }
  int transportError() const { return transportErrno_; }

 private:
  struct Session;
  explicit TlsSession(std::unique_ptr<Session> session);
  std::unique_ptr<Session> session_;
  bool ended_ = false;
  bool failed_ = false;
  std::string failure_;
  int transportErrno_ = 0;
};

}  // namespace varnook
