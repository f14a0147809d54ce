#pragma once

#include <sys/types.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace varnook::testsupport {

// A temporary folder, removed with everything in it when the object dies.
class TempFolder {
 public:
  TempFolder();  // check path() is not empty
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::string& path() const { return path_; }
  // Writes a file below the folder (parent folders are made). False on failure.
  bool write(std::string_view relativePath, std::string_view content) const;

 private:
  std::string path_;
};

// A program started with arguments, its output going to a file; stopped (SIGTERM, then
// SIGKILL after two seconds) and reaped when the object dies.
class ChildProcess {
 public:
  // Returns null when the program cannot be started.
  static std::unique_ptr<ChildProcess> start(const std::vector<std::string>& arguments,
                                             const std::string& outputFile);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  pid_t pid() const { return pid_; }
  // True while the program runs.
  bool running();
  void stop();

 private:
  explicit ChildProcess(pid_t pid) : pid_(pid) {}
  pid_t pid_;
  bool reaped_ = false;
};

// A loopback port that was free a moment ago (the system picked it for a socket that is
// closed again). Another process may take it first, so starters retry.
int freeLoopbackPort();
// Waits until something accepts TCP connections on 127.0.0.1:`port`.
bool waitUntilListening(int port, int timeoutMs, ChildProcess* process = nullptr);
// Path of a program in /usr/sbin, /usr/bin, /sbin or /bin; empty when absent.
std::string findProgram(std::string_view name);

// nginx on two free loopback ports, with generated configuration in a temporary folder:
//   port():       documents from documentRoot(); missing ones answer 404;
//                 "/moved/<x>" answers 301 to "http://127.0.0.1:<otherPort>/<x>";
//   otherPort():  the same documents; "/found/<x>" answers 302 to
//                 "http://127.0.0.1:<port>/<x>".
// `extraLocations` is added to the first server block as it stands.
class NginxServer {
 public:
  // Null with the reason in `*error` when nginx is missing or does not come up.
  static std::unique_ptr<NginxServer> start(std::string* error, std::string extraLocations = {});
  ~NginxServer();

  int port() const { return port_; }
  int otherPort() const { return otherPort_; }
  std::string url(std::string_view path) const;
  std::string otherUrl(std::string_view path) const;
  std::string documentRoot() const { return folder_.path() + "/www"; }
  bool writeDocument(std::string_view path, std::string_view content) const;
  // The folder with the configuration, logs and documents.
  const std::string& folder() const { return folder_.path(); }
  // The nginx process (a single process: it serves without workers).
  pid_t pid() const { return process_ ? process_->pid() : -1; }

 private:
  NginxServer() = default;
  TempFolder folder_;
  std::unique_ptr<ChildProcess> process_;
  int port_ = 0;
  int otherPort_ = 0;
};

// tinyproxy on a free loopback port, requiring basic authentication with the given user
// and password (none when the user is empty).
class TinyProxyServer {
 public:
  static std::unique_ptr<TinyProxyServer> start(std::string* error, std::string_view user = {},
                                                std::string_view password = {});
  ~TinyProxyServer();
  int port() const { return port_; }
  const std::string& folder() const { return folder_.path(); }

 private:
  TinyProxyServer() = default;
  TempFolder folder_;
  std::unique_ptr<ChildProcess> process_;
  int port_ = 0;
};

}  // namespace varnook::testsupport
