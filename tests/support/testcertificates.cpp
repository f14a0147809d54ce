#include "support/testcertificates.h"

namespace varnook::testing {

bool TestCertificates::openssl(std::vector<std::string> arguments, std::string* error) {
  arguments.insert(arguments.begin(), openssl_);
  if (runProgram(arguments, true).status == 0) return true;
  *error = "openssl failed:";
  for (const std::string& argument : arguments) *error += " " + argument;
  return false;
}

std::unique_ptr<TestCertificates> TestCertificates::make(std::string* error) {
  std::unique_ptr<TestCertificates> made(new TestCertificates);
  made->openssl_ = findProgram("openssl");
  if (made->openssl_.empty()) {
    *error = "openssl is not installed (scripts/install-deps.sh installs it)";
    return nullptr;
  }
  const TempFolder& dir = made->folder_;
  const std::vector<std::string> newKey = {"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256",
                                           "-nodes"};
  // Two authorities: "ca", which the tests trust, and "other". openssl ca signs from a
  // database of its own in each authority's folder.
  for (const std::string name : {"ca", "other"}) {
    const std::string config =
        "[ req ]\ndistinguished_name = dn\nprompt = no\n[ dn ]\nCN = Test authority " + name +
        "\n[ authority ]\nbasicConstraints = critical, CA:TRUE\nkeyUsage = critical, "
        "keyCertSign\nsubjectKeyIdentifier = hash\n[ ca ]\ndefault_ca = signing\n[ signing ]\n"
        "database = " +
        dir / name + "/index.txt\nnew_certs_dir = " + dir / name + "\nserial = " + dir / name +
        "/serial\ndefault_md = sha256\npolicy = any\n[ any ]\ncommonName = supplied\n";
    std::vector<std::string> request = {
        "req",   "-x509", "-config", dir / name + "/cnf",     "-extensions", "authority",
        "-days", "30",    "-keyout", dir / name + "/key.pem", "-out",        dir / (name + ".pem")};
    request.insert(request.end(), newKey.begin(), newKey.end());
    if (!writeFile(dir / name + "/cnf", config) || !writeFile(dir / name + "/index.txt", "") ||
        !writeFile(dir / name + "/serial", "1000\n") || !made->openssl(request, error))
      return nullptr;
  }
  const std::vector<std::string> valid = {"-days", "30"};
  const struct {
    const char* name;
    const char* authority;
    std::string altNames;
    std::vector<std::string> dates;
  } sites[] = {
      {"localhost", "ca",
       "DNS:localhost, DNS:good.localhost, DNS:www.localhost, DNS:x1.localhost, "
       "DNS:x2.localhost, IP:127.0.0.1, IP:::1",
       valid},
      {"expired.localhost",
       "ca",
       "DNS:expired.localhost",
       {"-startdate", "20010101000000Z", "-enddate", "20020101000000Z"}},
      {"future.localhost",
       "ca",
       "DNS:future.localhost",
       {"-startdate", "20900101000000Z", "-enddate", "20910101000000Z"}},
      {"wrong.localhost", "ca", "DNS:other.localhost", valid},
      {"unknown.localhost", "other", "DNS:unknown.localhost", valid},
  };
  for (const auto& site : sites) {
    const std::string base = dir / site.name;
    std::vector<std::string> request = {
        "req",     "-new",        "-subj", std::string("/CN=") + site.name,
        "-keyout", base + ".key", "-out",  base + ".csr"};
    request.insert(request.end(), newKey.begin(), newKey.end());
    const std::string ca = dir / site.authority;
    std::vector<std::string> sign = {
        "ca",          "-batch", "-notext",     "-extensions", "server",        "-config",
        ca + "/cnf",   "-cert",  ca + ".pem",   "-keyfile",    ca + "/key.pem", "-in",
        base + ".csr", "-out",   base + ".pem", "-extfile",    base + ".ext"};
    sign.insert(sign.end(), site.dates.begin(), site.dates.end());
    if (!writeFile(base + ".ext",
                   "[ server ]\nbasicConstraints = CA:FALSE\n"
                   "extendedKeyUsage = serverAuth\nsubjectAltName = " +
                       site.altNames + "\n") ||
        !made->openssl(request, error) || !made->openssl(sign, error))
      return nullptr;
    made->sites_.push_back({site.name, base + ".pem", base + ".key"});
  }
  return made;
}

}  // namespace varnook::testing
