#pragma once

// The certificate and key the archive serves HTTPS with.

#include <optional>
#include <string>

namespace varnook::server {

struct TlsFiles {
  std::string certificate;  // PEM: the certificate, then any intermediate ones
  std::string key;          // PEM: its private key
};

// Reads both files and checks them with the TLS library: each must be what it claims, and
// the key must belong to the certificate. Nothing, with the reason in `error`, otherwise:
// "cannot read the TLS certificate "<file>": <reason>", "the TLS key "<file>" is no PEM
// private key: <reason>", "the TLS key "<file>" does not belong to the certificate
// "<file>"", ...
std::optional<TlsFiles> loadTlsFiles(const std::string& certificateFile, const std::string& keyFile,
                                     std::string& error);

}  // namespace varnook::server
