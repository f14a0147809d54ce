#include "support/realservers.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

namespace varnook::testsupport {

namespace {

using Clock = std::chrono::steady_clock;

bool tryConnect(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  ::close(fd);
  return ok;
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

TempFolder::TempFolder() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern =
      std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/varnook-test-XXXXXX";
  if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
}

TempFolder::~TempFolder() {
  if (path_.empty()) return;
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

bool TempFolder::write(std::string_view relativePath, std::string_view content) const {
  if (path_.empty()) return false;
  const std::filesystem::path file = std::filesystem::path(path_) / relativePath;
  std::error_code error;
  std::filesystem::create_directories(file.parent_path(), error);
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
  return static_cast<bool>(out);
}

std::unique_ptr<ChildProcess> ChildProcess::start(const std::vector<std::string>& arguments,
                                                  const std::string& outputFile) {
  if (arguments.empty()) return nullptr;
  // Everything the child needs is prepared before fork: after it, only calls that are safe
  // in a child of a threaded process are made.
  std::vector<char*> argv;
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  const int output = ::open(outputFile.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
  const int input = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  if (output < 0 || input < 0) {
    if (output >= 0) ::close(output);
    if (input >= 0) ::close(input);
    return nullptr;
  }
  const pid_t parent = ::getpid();
  const pid_t pid = ::fork();
  if (pid == 0) {
    // The server must not outlive a test that crashes.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) ::_exit(127);
    ::dup2(input, 0);
    ::dup2(output, 1);
    ::dup2(output, 2);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  ::close(output);
  ::close(input);
  if (pid < 0) return nullptr;
  return std::unique_ptr<ChildProcess>(new ChildProcess(pid));
}

ChildProcess::~ChildProcess() {
  stop();
}

bool ChildProcess::running() {
  if (reaped_) return false;
  int status;
  const pid_t result = ::waitpid(pid_, &status, WNOHANG);
  if (result == pid_ || (result < 0 && errno == ECHILD)) reaped_ = true;
  return !reaped_;
}

void ChildProcess::stop() {
  if (!running()) return;
  ::kill(pid_, SIGTERM);
  const auto deadline = Clock::now() + std::chrono::seconds(2);
  while (running() && Clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (running()) {
    ::kill(pid_, SIGKILL);
    int status;
    ::waitpid(pid_, &status, 0);
    reaped_ = true;
  }
}

int freeLoopbackPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return 0;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  int port = 0;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
    port = ntohs(address.sin_port);
  }
  ::close(fd);
  return port;
}

bool waitUntilListening(int port, int timeoutMs, ChildProcess* process) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (Clock::now() < deadline) {
    if (tryConnect(port)) return true;
    if (process != nullptr && !process->running()) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

std::string findProgram(std::string_view name) {
  for (const char* folder : {"/usr/sbin/", "/usr/bin/", "/sbin/", "/bin/"}) {
    std::string path = folder + std::string(name);
    if (::access(path.c_str(), X_OK) == 0) return path;
  }
  return {};
}

std::unique_ptr<NginxServer> NginxServer::start(std::string* error, std::string extraLocations) {
  const std::string program = findProgram("nginx");
  if (program.empty()) {
    *error = "nginx is not installed (scripts/install-deps.sh installs it)";
    return nullptr;
  }
  for (int attempt = 0; attempt < 5; ++attempt) {
    std::unique_ptr<NginxServer> server(new NginxServer);
    const std::string& dir = server->folder_.path();
    if (dir.empty()) {
      *error = "cannot create a temporary folder";
      return nullptr;
    }
    server->port_ = freeLoopbackPort();
    server->otherPort_ = freeLoopbackPort();
    if (server->port_ == server->otherPort_) continue;
    const std::string p1 = std::to_string(server->port_);
    const std::string p2 = std::to_string(server->otherPort_);
    std::string config;
    config += "daemon off;\nmaster_process off;\nworker_processes 1;\n";
    config += "error_log " + dir + "/error.log warn;\npid " + dir + "/nginx.pid;\n";
    config += "events { worker_connections 4096; }\n";
    config += "http {\n  access_log off;\n";
    for (const char* kind : {"client_body", "proxy", "fastcgi", "uwsgi", "scgi"}) {
      config += "  " + std::string(kind) + "_temp_path " + dir + "/tmp/" + kind + ";\n";
    }
    config += "  sendfile on;\n  tcp_nopush on;\n";
    config += "  types { text/html html htm; text/plain txt; }\n";
    config += "  default_type application/octet-stream;\n";
    config += "  server {\n    listen 127.0.0.1:" + p1 + " backlog=4096;\n";
    config += "    root " + dir + "/www;\n";
    config += "    location /moved/ { rewrite ^/moved/(.*)$ http://127.0.0.1:" + p2 +
              "/$1 permanent; }\n";
    config += extraLocations + "\n  }\n";
    config += "  server {\n    listen 127.0.0.1:" + p2 + " backlog=4096;\n";
    config += "    root " + dir + "/www;\n";
    config += "    location /found/ { rewrite ^/found/(.*)$ http://127.0.0.1:" + p1 +
              "/$1 redirect; }\n  }\n}\n";
    if (!server->folder_.write("nginx.conf", config) || !server->folder_.write("www/.keep", "") ||
        !server->folder_.write("tmp/.keep", "")) {
      *error = "cannot write the nginx configuration";
      return nullptr;
    }
    server->process_ = ChildProcess::start(
        {program, "-p", dir + "/", "-c", dir + "/nginx.conf", "-e", dir + "/error.log"},
        dir + "/output.txt");
    if (!server->process_) {
      *error = "cannot start " + program;
      return nullptr;
    }
    if (waitUntilListening(server->port_, 5000, server->process_.get()) &&
        waitUntilListening(server->otherPort_, 5000, server->process_.get())) {
      return server;
    }
    *error = "nginx did not start: " + readFile(dir + "/error.log") + readFile(dir + "/output.txt");
  }
  return nullptr;
}

NginxServer::~NginxServer() {
  if (process_) process_->stop();
}

std::string NginxServer::url(std::string_view path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + std::string(path);
}

std::string NginxServer::otherUrl(std::string_view path) const {
  return "http://127.0.0.1:" + std::to_string(otherPort_) + std::string(path);
}

bool NginxServer::writeDocument(std::string_view path, std::string_view content) const {
  while (!path.empty() && path.front() == '/') path.remove_prefix(1);
  return folder_.write("www/" + std::string(path), content);
}

std::unique_ptr<TinyProxyServer> TinyProxyServer::start(std::string* error, std::string_view user,
                                                        std::string_view password) {
  const std::string program = findProgram("tinyproxy");
  if (program.empty()) {
    *error = "tinyproxy is not installed (scripts/install-deps.sh installs it)";
    return nullptr;
  }
  for (int attempt = 0; attempt < 5; ++attempt) {
    std::unique_ptr<TinyProxyServer> proxy(new TinyProxyServer);
    const std::string& dir = proxy->folder_.path();
    if (dir.empty()) {
      *error = "cannot create a temporary folder";
      return nullptr;
    }
    proxy->port_ = freeLoopbackPort();
    std::string config;
    config += "Port " + std::to_string(proxy->port_) + "\n";
    config += "Listen 127.0.0.1\nTimeout 60\nMaxClients 200\nLogLevel Info\n";
    config += "LogFile \"" + dir + "/tinyproxy.log\"\n";
    config += "PidFile \"" + dir + "/tinyproxy.pid\"\n";
    if (!user.empty()) {
      config += "BasicAuth " + std::string(user) + " " + std::string(password) + "\n";
    }
    if (!proxy->folder_.write("tinyproxy.conf", config)) {
      *error = "cannot write the tinyproxy configuration";
      return nullptr;
    }
    proxy->process_ =
        ChildProcess::start({program, "-d", "-c", dir + "/tinyproxy.conf"}, dir + "/output.txt");
    if (!proxy->process_) {
      *error = "cannot start " + program;
      return nullptr;
    }
    if (waitUntilListening(proxy->port_, 5000, proxy->process_.get())) return proxy;
    *error = "tinyproxy did not start: " + readFile(dir + "/output.txt") +
             readFile(dir + "/tinyproxy.log");
  }
  return nullptr;
}

TinyProxyServer::~TinyProxyServer() {
  if (process_) process_->stop();
}

}  // namespace varnook::testsupport
