#pragma once

// Files, processes and loopback ports for tests, and real servers started on loopback.

#include <sys/types.h>

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace varnook::testing {

// Writes a whole file, making its parent folders; false on failure.
bool writeFile(const std::string& path, std::string_view content);

// A temporary folder, removed with everything in it when the object dies.
class TempFolder {
 public:
  TempFolder();  // check path() is not empty
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::string& path() const { return path_; }
  std::string operator/(std::string_view name) const { return path_ + "/" + std::string(name); }
  bool write(std::string_view name, std::string_view content) const {
    return writeFile(*this / name, content);
  }

 private:
  std::string path_;
};

std::string readFile(const std::string& path);  // "" when it cannot be read

// Reads from `fd` until it closes (which sets `*closed`), `timeoutSeconds` pass, or
// `complete` says that the data read is all that is wanted.
std::string readFrom(int fd, int timeoutSeconds, bool* closed = nullptr,
                     const std::function<bool(const std::string&)>& complete = {});

// A program started by a test, in a process group of its own (some servers signal their
// whole group when they stop) and killed if the test dies. Its output goes to
// `outputFile`, or, when that is empty, standard output to a pipe read with readLine()
// and standard error to the test's (or nowhere when `quietErrors`). Stopped (SIGTERM, then
// SIGKILL after two seconds) and reaped when the object dies, unless it was waited for.
class ChildProcess {
 public:
  // `arguments[0]` is a path. Null when the program cannot be started.
  static std::unique_ptr<ChildProcess> start(const std::vector<std::string>& arguments,
                                             const std::string& outputFile = {},
                                             bool quietErrors = false);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  pid_t pid() const { return pid_; }
  bool running();  // true until it ended
  void stop();
  void signal(int number);
  int wait();  // the exit status, or 128 + the signal that ended it
  // The next line of the output pipe (without its line feed); empty after
  // `timeoutSeconds` or at the end of the output.
  std::string readLine(int timeoutSeconds = 30);
  std::string readRest(int timeoutSeconds = 300);  // all it writes until it ends

 private:
  ChildProcess(pid_t pid, int output) : pid_(pid), output_(output) {}
  pid_t pid_;
  int output_;
  int status_ = -1;
  bool reaped_ = false;
  std::string buffer_;
};

struct ProgramResult {
  int status = -1;
  std::string output;
};
// Runs the program to its end, its standard output collected.
ProgramResult runProgram(const std::vector<std::string>& arguments, bool quietErrors = false);

// A socket bound to 127.0.0.1 (or ::1) on a port the system picks, listening with
// `backlog` unless that is negative; its port in `*port`. -1 on failure.
int bindLoopback(bool ipv6, int backlog, int* port);
// A loopback port that was free a moment ago. Another process may take it first, so
// starters retry.
int freeLoopbackPort();
// A TCP connection to `address` (IPv4 or IPv6) on `port`; -1 when it cannot be made.
int connectTo(int port, const char* address = "127.0.0.1");
// Path of a program in /usr/sbin, /usr/bin, /sbin or /bin; empty when absent.
std::string findProgram(std::string_view name);

// A server program on free loopback ports, its files in a temporary folder.
class LoopbackServer {
 public:
  int port() const { return ports_[0]; }
  pid_t pid() const { return process_->pid(); }

 protected:
  // Picks `portCount` free ports, starts `name` with the arguments `configure` gives after
  // writing the configuration for them (none: it could not), and waits until every port
  // listens. Tries five times, as another process may take a free port first.
  bool launch(const std::string& name, int portCount,
              const std::function<std::vector<std::string>()>& configure, std::string* error);
  TempFolder folder_;
  std::unique_ptr<ChildProcess> process_;
  std::vector<int> ports_;
};

// A TLS site a test server answers for: requests naming `serverName` (by SNI) get this
// certificate. The first site of a list is the default, for requests that name none.
struct TlsSite {
  std::string serverName;
  std::string certificate;  // PEM file
  std::string key;          // PEM file
};

// nginx on two free loopback ports (a single process: it serves without workers):
//   port():       documents from documentRoot(); missing ones answer 404;
//                 "/moved/<x>" answers 301 to "http://127.0.0.1:<otherPort>/<x>";
//                 "/secure/<x>" answers 301 to "https://127.0.0.1:<tlsPort>/<x>";
//   otherPort():  the same documents; "/found/<x>" answers 302 to
//                 "http://127.0.0.1:<port>/<x>";
// and, when given TLS sites, a third:
//   tlsPort():    the same documents over TLS, each site with its certificate;
//                 "/plain/<x>" answers 302 to "http://127.0.0.1:<port>/<x>".
class NginxServer : public LoopbackServer {
 public:
  // Null with the reason in `*error` when nginx is missing or does not come up.
  static std::unique_ptr<NginxServer> start(std::string* error,
                                            const std::vector<TlsSite>& sites = {});
  int otherPort() const { return ports_[1]; }
  int tlsPort() const { return ports_.size() > 2 ? ports_[2] : 0; }
  std::string url(std::string_view path) const;
  // "https://<host>:<tlsPort><path>".
  std::string tlsUrl(std::string_view path, std::string_view host = "127.0.0.1") const;
  std::string documentRoot() const { return folder_ / "www"; }
  bool writeDocument(std::string_view path, std::string_view content) const;
};

// tinyproxy on a free loopback port, requiring basic authentication with the given user
// and password (none when the user is empty).
class TinyProxyServer : public LoopbackServer {
 public:
  static std::unique_ptr<TinyProxyServer> start(std::string* error, std::string_view user = {},
                                                std::string_view password = {});
};

}  // namespace varnook::testing
