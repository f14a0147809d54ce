#include "support/testcertificates.h"

namespace varnook::testing {

namespace {

// What openssl ca needs to sign: its files in the authority's folder, and the extensions
// of a server certificate (the names come from a file of their own per certificate).
std::string authorityConfig(const std::string& dir) {
  return "[ req ]\ndistinguished_name = dn\nprompt = no\n[ dn ]\nCN = Varnook Test CA\n"
         "[ authority ]\nbasicConstraints = critical, CA:TRUE\n"
         "keyUsage = critical, keyCertSign, cRLSign\nsubjectKeyIdentifier = hash\n"
         "[ ca ]\ndefault_ca = signing\n[ signing ]\ndatabase = " +
         dir + "/index.txt\nnew_certs_dir = " + dir + "\nserial = " + dir +
         "/serial\ndefault_md = sha256\npolicy = anything\nunique_subject = no\n"
         "[ anything ]\ncommonName = supplied\n";
}

}  // namespace

bool TestCertificates::openssl(std::vector<std::string> arguments, std::string* error) {
  arguments.insert(arguments.begin(), openssl_);
  const ProgramResult result = runProgram(arguments, true);
  if (result.status == 0) return true;
  std::string command;
  for (const std::string& argument : arguments) command += " " + argument;
  *error = "openssl failed:" + command;
  return false;
}

bool TestCertificates::makeAuthority(const std::string& name, std::string* error) {
  const std::string dir = folder_ / name;
  if (!writeFile(dir + "/authority.cnf", authorityConfig(dir)) ||
      !writeFile(dir + "/index.txt", "") || !writeFile(dir + "/serial", "1000\n")) {
    *error = "cannot write the authority's files";
    return false;
  }
  return openssl({"genpkey", "-algorithm", "EC", "-pkeyopt", "ec_paramgen_curve:P-256", "-out",
                  dir + "/key.pem"},
                 error) &&
         openssl(
             {"req", "-x509", "-new", "-config", dir + "/authority.cnf", "-extensions", "authority",
              "-key", dir + "/key.pem", "-days", "30", "-out", folder_ / (name + ".pem")},
             error);
}

bool TestCertificates::issue(const std::string& name, const std::string& authority,
                             const std::string& altNames, const std::vector<std::string>& dates,
                             std::string* error) {
  const std::string base = folder_ / name;
  const std::string dir = folder_ / authority;
  if (!writeFile(base + ".ext",
                 "[ server ]\nbasicConstraints = CA:FALSE\nkeyUsage = critical, "
                 "digitalSignature\nextendedKeyUsage = serverAuth\nsubjectAltName = " +
                     altNames + "\n")) {
    *error = "cannot write " + base + ".ext";
    return false;
  }
  std::vector<std::string> sign = {"ca",
                                   "-batch",
                                   "-notext",
                                   "-config",
                                   dir + "/authority.cnf",
                                   "-cert",
                                   folder_ / (authority + ".pem"),
                                   "-keyfile",
                                   dir + "/key.pem",
                                   "-in",
                                   base + ".csr",
                                   "-out",
                                   base + ".pem",
                                   "-extfile",
                                   base + ".ext",
                                   "-extensions",
                                   "server"};
  sign.insert(sign.end(), dates.begin(), dates.end());
  return openssl({"genpkey", "-algorithm", "EC", "-pkeyopt", "ec_paramgen_curve:P-256", "-out",
                  base + ".key"},
                 error) &&
         openssl(
             {"req", "-new", "-key", base + ".key", "-subj", "/CN=" + name, "-out", base + ".csr"},
             error) &&
         openssl(sign, error);
}

std::unique_ptr<TestCertificates> TestCertificates::make(std::string* error) {
  std::unique_ptr<TestCertificates> made(new TestCertificates);
  made->openssl_ = findProgram("openssl");
  if (made->openssl_.empty()) {
    *error = "openssl is not installed (scripts/install-deps.sh installs it)";
    return nullptr;
  }
  const std::vector<std::string> valid = {"-days", "30"};
  struct Site {
    const char* name;
    const char* authority;
    std::string altNames;
    std::vector<std::string> dates;
  };
  const Site sites[] = {
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
  if (!made->makeAuthority("ca", error) || !made->makeAuthority("other", error)) return nullptr;
  for (const Site& site : sites) {
    if (!made->issue(site.name, site.authority, site.altNames, site.dates, error)) return nullptr;
    const std::string base = made->folder_ / site.name;
    made->sites_.push_back({site.name, base + ".pem", base + ".key"});
  }
  return made;
}

}  // namespace varnook::testing
