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
  // Null with the reason in `*error` when openssl is missing or fails.
  static std::unique_ptr<TestCertificates> make(std::string* error);

  // The authority's certificate: the file a client is told to trust.
  std::string authority() const { return folder_ / "ca.pem"; }
  // Valid for "localhost", "good.localhost", the article servers "www.localhost",
  // "x1.localhost" and "x2.localhost", 127.0.0.1 and ::1 (TLS libraries refuse wildcards
  // for *.localhost).
  const TlsSite& good() const { return sites_[0]; }
  // good(), then one site per way a certificate is refused, named for it:
  // "expired.localhost", "future.localhost" (not yet valid), "wrong.localhost" (made for
  // another name), "unknown.localhost" (signed by an authority nobody trusts).
  const std::vector<TlsSite>& sites() const { return sites_; }
  const TempFolder& folder() const { return folder_; }

 private:
  bool openssl(std::vector<std::string> arguments, std::string* error);
  TempFolder folder_;
  std::string openssl_;
  std::vector<TlsSite> sites_;
};

}  // namespace varnook::testing
