#include "net/tlsclient.h"

#include <arpa/inet.h>
#include <gnutls/gnutls.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>
#include <utility>

namespace varnook {

struct TlsCredentials {
  gnutls_certificate_credentials_t handle = nullptr;
  ~TlsCredentials() {
    if (handle != nullptr) gnutls_certificate_free_credentials(handle);
  }
};

namespace {

using Credentials = std::shared_ptr<TlsCredentials>;

Credentials loadCredentials(const std::string& file, std::string* error) {
  auto credentials = std::make_shared<TlsCredentials>();
  if (gnutls_certificate_allocate_credentials(&credentials->handle) < 0) {
    credentials->handle = nullptr;
    *error = "TLS credentials cannot be allocated";
    return nullptr;
  }
  // A machine without a trust store still reaches servers whose certificates it is given.
  gnutls_certificate_set_x509_system_trust(credentials->handle);
  if (!file.empty()) {
    const int count = gnutls_certificate_set_x509_trust_file(credentials->handle, file.c_str(),
                                                             GNUTLS_X509_FMT_PEM);
    if (count <= 0) {
      *error = "Trusted certificates \"" + file + "\" cannot be used: " +
               (count == 0 ? std::string("the file holds no certificate") : gnutls_strerror(count));
      return nullptr;
    }
  }
  return credentials;
}

// The credentials for `file`, read again when the file has changed since.
Credentials credentialsFor(const std::string& file, std::string* error) {
  static std::mutex mutex;
  static std::map<std::string, std::pair<std::string, Credentials>> cache;
  std::string stamp;
  if (!file.empty()) {
    struct stat status {};
    if (::stat(file.c_str(), &status) != 0) {
      *error = "Trusted certificates \"" + file + "\" cannot be used: " + std::strerror(errno);
      return nullptr;
    }
    stamp = std::to_string(status.st_mtim.tv_sec) + "." + std::to_string(status.st_mtim.tv_nsec) +
            "/" + std::to_string(status.st_size);
  }
  const std::lock_guard<std::mutex> lock(mutex);
  auto& entry = cache[file];
  if (entry.second == nullptr || entry.first != stamp) {
    auto loaded = loadCredentials(file, error);
    if (loaded == nullptr) return nullptr;
    entry = {stamp, std::move(loaded)};
  }
  return entry.second;
}

// The reason a verified certificate was refused, in the words a user can act on.
std::string verifyFailure(unsigned status) {
  struct Reason {
    unsigned flag;
    const char* text;
  };
  static constexpr Reason kReasons[] = {
      {GNUTLS_CERT_SIGNER_NOT_FOUND, "unknown issuer"},
      {GNUTLS_CERT_SIGNER_NOT_CA, "the issuer is no certificate authority"},
      {GNUTLS_CERT_REVOKED, "certificate revoked"},
      {GNUTLS_CERT_EXPIRED, "certificate expired"},
      {GNUTLS_CERT_NOT_ACTIVATED, "certificate not yet valid"},
      {GNUTLS_CERT_UNEXPECTED_OWNER, "host name mismatch"},
      {GNUTLS_CERT_INSECURE_ALGORITHM, "insecure algorithm"},
  };
  for (const Reason& reason : kReasons)
    if ((status & reason.flag) != 0) return reason.text;
  gnutls_datum_t text{};
  std::string described = "certificate refused";
  if (gnutls_certificate_verification_status_print(status, GNUTLS_CRT_X509, &text, 0) == 0) {
    described.assign(reinterpret_cast<const char*>(text.data), text.size);
    gnutls_free(text.data);
  }
  return described;
}

}  // namespace

TlsClientTrust::TlsClientTrust() = default;

TlsClientTrust::~TlsClientTrust() = default;

bool TlsClientTrust::prepare(gnutls_session_t session, const TlsClientSettings& settings,
                             std::string* error) {
  credentials_ = credentialsFor(settings.trustedCertificates, error);
  if (credentials_ == nullptr) return false;
  name_ = settings.serverName;
  if (name_.size() >= 2 && name_.front() == '[' && name_.back() == ']')
    name_ = name_.substr(1, name_.size() - 2);
  unsigned char address[16];
  const bool numeric = ::inet_pton(AF_INET, name_.c_str(), address) == 1 ||
                       ::inet_pton(AF_INET6, name_.c_str(), address) == 1;
  if (gnutls_set_default_priority(session) < 0 ||
      gnutls_credentials_set(session, GNUTLS_CRD_CERTIFICATE, credentials_->handle) < 0 ||
      (!numeric && !name_.empty() &&
       gnutls_server_name_set(session, GNUTLS_NAME_DNS, name_.data(), name_.size()) < 0)) {
    *error = "TLS session cannot be set up";
    return false;
  }
  // The chain and the name (or address) are checked inside the handshake, which fails
  // when they do not hold.
  gnutls_session_set_verify_cert(session, name_.c_str(), 0);
  return true;
}

std::string tlsHandshakeFailure(gnutls_session_t session, int result, int transportErrno) {
  if (result == GNUTLS_E_CERTIFICATE_VERIFICATION_ERROR)
    return "Certificate verify failed: " +
           verifyFailure(gnutls_session_get_verify_cert_status(session));
  if (result == GNUTLS_E_PREMATURE_TERMINATION)
    return "TLS handshake failed: the server closed the connection";
  if (transportErrno != 0)
    return std::string("TLS handshake failed: ") + std::strerror(transportErrno);
  return std::string("TLS handshake failed: ") + gnutls_strerror(result);
}

}  // namespace varnook
