#include "server/tlsfiles.h"

#include <gnutls/gnutls.h>
#include <gnutls/x509.h>

#include "base/wholefile.h"

namespace varnook::server {
namespace {

gnutls_datum_t datum(const std::string& text) {
  return {reinterpret_cast<unsigned char*>(const_cast<char*>(text.data())),
          static_cast<unsigned>(text.size())};
}

std::optional<std::string> readPem(const char* what, const std::string& file, std::string& error) {
  SmallFileRead read = readSmallFile(file);
  if (read.status == SmallFileRead::Status::Read) return std::move(read.bytes);
  error = std::string("cannot read the TLS ") + what + " \"" + file +
          "\": " + (read.status == SmallFileRead::Status::Missing ? "no such file" : read.error);
  return std::nullopt;
}

}  // namespace

std::optional<TlsFiles> loadTlsFiles(const std::string& certificateFile, const std::string& keyFile,
                                     std::string& error) {
  TlsFiles files;
  auto certificate = readPem("certificate", certificateFile, error);
  if (!certificate) return std::nullopt;
  auto key = readPem("key", keyFile, error);
  if (!key) return std::nullopt;
  files.certificate = std::move(*certificate);
  files.key = std::move(*key);

  const gnutls_datum_t certificateData = datum(files.certificate);
  const gnutls_datum_t keyData = datum(files.key);
  gnutls_x509_crt_t parsedCertificate = nullptr;
  int result = gnutls_x509_crt_init(&parsedCertificate);
  if (result >= 0) {
    result = gnutls_x509_crt_import(parsedCertificate, &certificateData, GNUTLS_X509_FMT_PEM);
    gnutls_x509_crt_deinit(parsedCertificate);
  }
  if (result < 0) {
    error = "the TLS certificate \"" + certificateFile +
            "\" is no PEM certificate: " + gnutls_strerror(result);
    return std::nullopt;
  }
  gnutls_x509_privkey_t parsedKey = nullptr;
  result = gnutls_x509_privkey_init(&parsedKey);
  if (result >= 0) {
    result = gnutls_x509_privkey_import2(parsedKey, &keyData, GNUTLS_X509_FMT_PEM, nullptr, 0);
    gnutls_x509_privkey_deinit(parsedKey);
  }
  if (result < 0) {
    error = "the TLS key \"" + keyFile + "\" is no PEM private key: " + gnutls_strerror(result);
    return std::nullopt;
  }
  gnutls_certificate_credentials_t credentials = nullptr;
  result = gnutls_certificate_allocate_credentials(&credentials);
  if (result >= 0) {
    result = gnutls_certificate_set_x509_key_mem(credentials, &certificateData, &keyData,
                                                 GNUTLS_X509_FMT_PEM);
    gnutls_certificate_free_credentials(credentials);
  }
  if (result == GNUTLS_E_CERTIFICATE_KEY_MISMATCH) {
    error = "the TLS key \"" + keyFile + "\" does not belong to the certificate \"" +
            certificateFile + "\"";
    return std::nullopt;
  }
  if (result < 0) {
    error = "the TLS certificate \"" + certificateFile + "\" and key \"" + keyFile +
            "\" cannot be used: " + gnutls_strerror(result);
    return std::nullopt;
  }
  return files;
}

}  // namespace varnook::server
