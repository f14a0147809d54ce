#pragma once

// What every TLS client of Varnook does the same way, whatever carries its records (the
// asynchronous socket, or a blocking stream): which certificates it trusts, the name it
// sends and verifies, and the words for a handshake that failed. Sessions are GnuTLS ones;
// the header leaves the library's own header to the files that drive a session.

#include <memory>
#include <string>

struct gnutls_session_int;  // gnutls_session_t points to it

namespace varnook {

// What a TLS client checks the server against.
struct TlsClientSettings {
  // The server as the user named it: a host name, checked against the certificate and sent
  // as the server name indication, or an address (IPv4, or IPv6 with or without brackets),
  // checked against the certificate's addresses and not sent.
  std::string serverName;
  // A PEM file of certificates trusted besides the system's store (/etc/ssl/certs), for
  // servers with a private authority or a certificate of their own; empty: none.
  std::string trustedCertificates;
};

struct TlsCredentials;  // GnuTLS credentials: the certificates trusted

// The trust a client session is set up with. The system's store is read once and each
// extra file again only when it changes, shared by every session that names it. The
// library keeps pointers into this object: it must outlive the session it prepared.
class TlsClientTrust {
 public:
  TlsClientTrust();
  ~TlsClientTrust();
  TlsClientTrust(const TlsClientTrust&) = delete;
  TlsClientTrust& operator=(const TlsClientTrust&) = delete;

  // Sets up a new client `session` for `settings`: the certificates, the server name
  // indication for a host name, and the checks of the chain and of the name (or address)
  // that make the handshake fail when they do not hold. False, with the reason in
  // `*error`, when the trusted certificates cannot be read or the session refuses.
  bool prepare(gnutls_session_int* session, const TlsClientSettings& settings, std::string* error);

 private:
  std::shared_ptr<TlsCredentials> credentials_;
  std::string name_;
};

// Why the handshake of a prepared client `session` ended with the GnuTLS error `result`:
// "Certificate verify failed: <reason>" when the certificate was refused (reason "unknown
// issuer", "host name mismatch", "certificate expired", "certificate not yet valid", ...),
// otherwise "TLS handshake failed: <why>", told from `transportErrno` (the errno of a
// failing read or write, 0 when none) when the network broke it.
std::string tlsHandshakeFailure(gnutls_session_int* session, int result, int transportErrno);

}  // namespace varnook
