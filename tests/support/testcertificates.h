#pragma once

// A certificate authority and server certificates made at test time with openssl, in a
// temporary folder (no private key is ever kept in the sources).

#include <memory>
#include <string>
#include <vector>

#include "support/realservers.h"

namespace varnook::testing {

class TestCertificates {
 public:
  // Makes the authority and the sites below. Null with the reason in `*error` when openssl
  // is missing or fails.
  static std::unique_ptr<TestCertificates> make(std::string* error);

  // The authority's certificate: the file a client is told to trust.
  std::string authority() const { return folder_ / "ca.pem"; }
  // Valid for "localhost", "good.localhost", the article servers "www.localhost",
  // "x1.localhost" and "x2.localhost", 127.0.0.1 and ::1 (wildcards for *.localhost are
  // refused by TLS libraries).
  const TlsSite& good() const { return sites_[0]; }
  // good() first, then one site per way a certificate is refused, named for the reason:
  // "expired.localhost", "future.localhost" (not yet valid), "wrong.localhost" (a certificate
  // for another name), "unknown.localhost" (signed by an authority nobody trusts).
  const std::vector<TlsSite>& sites() const { return sites_; }
  const TempFolder& folder() const { return folder_; }

 private:
  // Issues a certificate for `altNames` (subjectAltName entries such as "DNS:x" or
  // "IP:127.0.0.1") from the authority in `authority` ("ca" or "other"); `dates` are the
  // openssl ca options that set its validity.
  bool issue(const std::string& name, const std::string& authority, const std::string& altNames,
             const std::vector<std::string>& dates, std::string* error);
  bool makeAuthority(const std::string& name, std::string* error);
  bool openssl(std::vector<std::string> arguments, std::string* error);

  TempFolder folder_;
  std::string openssl_;
  std::vector<TlsSite> sites_;
};

}  // namespace varnook::testing
