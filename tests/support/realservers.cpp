#include "support/realservers.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <utility>

namespace varnook::testing {

namespace {
using Clock = std::chrono::steady_clock;
}  // namespace

TempFolder::TempFolder() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern =
      std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/varnook-test-XXXXXX";
  if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
}

bool writeFile(const std::string& path, std::string_view content) {
  std::error_code ignored;
  std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ignored);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
  return static_cast<bool>(out);
}

std::string readFile(const std::string& path) {
  std::ostringstream text;
  text << std::ifstream(path, std::ios::binary).rdbuf();
  return text.str();
}

std::string readFrom(int fd, int timeoutSeconds, bool* closed,
                     const std::function<bool(const std::string&)>& complete) {
  const auto deadline = Clock::now() + std::chrono::seconds(timeoutSeconds);
  std::string data;
  char buffer[65536];
  if (closed != nullptr) *closed = false;
  while (!complete || !complete(data)) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    pollfd waiting{fd, POLLIN, 0};
    if (left <= 0 || ::poll(&waiting, 1, static_cast<int>(left)) <= 0) break;
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got <= 0) {
      if (closed != nullptr) *closed = true;
      break;
    }
    data.append(buffer, static_cast<std::size_t>(got));
  }
  return data;
}

std::unique_ptr<ChildProcess> ChildProcess::start(const std::vector<std::string>& arguments,
                                                  const std::string& outputFile, bool quietErrors) {
  if (arguments.empty()) return nullptr;
  // Everything the child needs is prepared before fork: after it, only calls that are safe
  // in a child of a threaded process are made.
  std::vector<char*> argv;
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  int output[2] = {-1, -1};  // the pipe's ends, or only the file in output[1]
  if (outputFile.empty()
          ? ::pipe2(output, O_CLOEXEC) != 0
          : (output[1] =
                 ::open(outputFile.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600)) < 0)
    return nullptr;
  const int nothing = ::open("/dev/null", O_RDWR | O_CLOEXEC);
  const int errors = !outputFile.empty() ? output[1] : quietErrors ? nothing : 2;
  const pid_t parent = ::getpid();
  const pid_t pid = nothing < 0 ? -1 : ::fork();
  if (pid == 0) {
    ::setpgid(0, 0);
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);  // the program must not outlive a test that crashes
    if (::getppid() != parent) ::_exit(127);
    ::dup2(nothing, 0);
    ::dup2(output[1], 1);
    ::dup2(errors, 2);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  ::close(output[1]);
  if (nothing >= 0) ::close(nothing);
  if (pid > 0) return std::unique_ptr<ChildProcess>(new ChildProcess(pid, output[0]));
  if (output[0] >= 0) ::close(output[0]);
  return nullptr;
}

ChildProcess::~ChildProcess() {
  stop();
  if (output_ >= 0) ::close(output_);
}

bool ChildProcess::running() {
  if (!reaped_ && ::waitpid(pid_, &status_, WNOHANG) != 0) reaped_ = true;
  return !reaped_;
}

void ChildProcess::stop() {
  signal(SIGTERM);
  const auto deadline = Clock::now() + std::chrono::seconds(2);
  while (running() && Clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  signal(SIGKILL);
  wait();
}

void ChildProcess::signal(int number) {
  if (!reaped_) ::kill(pid_, number);
}

int ChildProcess::wait() {
  if (!reaped_ && ::waitpid(pid_, &status_, 0) != pid_) status_ = -1;
  reaped_ = true;
  if (status_ == -1) return -1;
  if (WIFEXITED(status_)) return WEXITSTATUS(status_);
  return WIFSIGNALED(status_) ? 128 + WTERMSIG(status_) : -1;
}

std::string ChildProcess::readLine(int timeoutSeconds) {
  if (buffer_.find('\n') == std::string::npos)
    buffer_ += readFrom(output_, timeoutSeconds, nullptr, [](const std::string& data) {
      return data.find('\n') != std::string::npos;
    });
  const std::size_t newline = std::min(buffer_.find('\n'), buffer_.size());
  std::string line = buffer_.substr(0, newline);
  buffer_.erase(0, newline + 1);
  return line;
}

std::string ChildProcess::readRest(int timeoutSeconds) {
  return std::exchange(buffer_, {}) + readFrom(output_, timeoutSeconds);
}

ProgramResult runProgram(const std::vector<std::string>& arguments, bool quietErrors) {
  const auto child = ChildProcess::start(arguments, {}, quietErrors);
  if (!child) return {};
  std::string output = child->readRest();
  return {child->wait(), std::move(output)};
}

int bindLoopback(bool ipv6, int backlog, int* port) {
  sockaddr_storage address{};
  auto* v4 = reinterpret_cast<sockaddr_in*>(&address);
  auto* v6 = reinterpret_cast<sockaddr_in6*>(&address);
  if (ipv6) {
    v6->sin6_family = AF_INET6;
    v6->sin6_addr = in6addr_loopback;
  } else {
    v4->sin_family = AF_INET;
    v4->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  }
  socklen_t length = ipv6 ? sizeof *v6 : sizeof *v4;
  const int fd = ::socket(address.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
      (backlog < 0 || ::listen(fd, backlog) == 0) &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
    *port = ntohs(ipv6 ? v6->sin6_port : v4->sin_port);
    return fd;
  }
  if (fd >= 0) ::close(fd);
  return -1;
}

int freeLoopbackPort() {
  int port = 0;
  const int fd = bindLoopback(false, -1, &port);
  if (fd >= 0) ::close(fd);
  return port;
}

int connectTo(int port, const char* address) {
  addrinfo hints{};
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
  addrinfo* found = nullptr;
  if (::getaddrinfo(address, std::to_string(port).c_str(), &hints, &found) != 0) return -1;
  int fd = ::socket(found->ai_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd >= 0 && ::connect(fd, found->ai_addr, found->ai_addrlen) != 0) {
    ::close(fd);
    fd = -1;
  }
  ::freeaddrinfo(found);
  return fd;
}

namespace {

// Waits until something accepts TCP connections on 127.0.0.1:`port`.
bool waitUntilListening(int port, int timeoutMs, ChildProcess* process) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (Clock::now() < deadline) {
    const int fd = connectTo(port);
    if (fd >= 0) {
      ::close(fd);
      return true;
    }
    if (process != nullptr && !process->running()) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

}  // namespace

std::string findProgram(std::string_view name) {
  for (const char* folder : {"/usr/sbin/", "/usr/bin/", "/sbin/", "/bin/"}) {
    std::string path = folder + std::string(name);
    if (::access(path.c_str(), X_OK) == 0) return path;
  }
  return {};
}

bool LoopbackServer::launch(const std::string& name, int portCount,
                            const std::function<std::vector<std::string>()>& configure,
                            std::string* error) {
  const std::string program = findProgram(name);
  if (program.empty()) {
    *error = name + " is not installed (scripts/install-deps.sh installs it)";
    return false;
  }
  if (folder_.path().empty()) {
    *error = "cannot create a temporary folder";
    return false;
  }
  for (int attempt = 0; attempt < 5; ++attempt) {
    ports_.clear();
    for (int i = 0; i < portCount; ++i) ports_.push_back(freeLoopbackPort());
    if (std::count(ports_.begin(), ports_.end(), ports_[0]) > 1) continue;
    std::vector<std::string> arguments = configure();
    if (arguments.empty()) {
      *error = "cannot write the " + name + " configuration";
      return false;
    }
    arguments.insert(arguments.begin(), program);
    process_ = ChildProcess::start(arguments, folder_ / "output.txt");
    if (!process_) {
      *error = "cannot start " + program;
      return false;
    }
    if (std::all_of(ports_.begin(), ports_.end(),
                    [&](int port) { return waitUntilListening(port, 5000, process_.get()); }))
      return true;
    process_.reset();
    *error = name + " did not start: " + readFile(folder_ / "log.txt") +
             readFile(folder_ / "output.txt");
  }
  return false;
}

std::unique_ptr<NginxServer> NginxServer::start(std::string* error,
                                                const std::vector<TlsSite>& sites) {
  auto server = std::make_unique<NginxServer>();
  const std::string dir = server->folder_.path();
  const auto configure = [&]() -> std::vector<std::string> {
    const std::string p1 = std::to_string(server->ports_[0]);
    std::string tls;
    for (const TlsSite& site : sites) {
      tls += "  server {\n    listen 127.0.0.1:@P3@" +
             std::string(&site == &sites.front() ? " ssl default_server backlog=4096" : " ssl") +
             ";\n    server_name " + site.serverName + ";\n    ssl_certificate " +
             site.certificate + ";\n    ssl_certificate_key " + site.key +
             ";\n    location /plain/ { rewrite ^/plain/(.*)$ http://127.0.0.1:@P1@/$1 redirect; "
             "}\n  }\n";
    }
    std::string config = readFile(VARNOOK_TEST_SUPPORT_DATA "/nginx.conf");
    if (config.empty()) return {};
    for (const auto& [name, value] :
         {std::pair<std::string, std::string>{"@TLS@", tls},
          {"@DIR@", dir},
          {"@P1@", p1},
          {"@P2@", std::to_string(server->ports_[1])},
          {"@P3@", sites.empty() ? "0" : std::to_string(server->ports_[2])}}) {
      for (std::size_t at; (at = config.find(name)) != std::string::npos;)
        config.replace(at, name.size(), value);
    }
    if (!writeFile(dir + "/nginx.conf", config) || !writeFile(dir + "/www/.keep", "") ||
        !writeFile(dir + "/tmp/.keep", ""))
      return {};
    return {"-p", dir + "/", "-c", dir + "/nginx.conf", "-e", dir + "/log.txt"};
  };
  return server->launch("nginx", sites.empty() ? 2 : 3, configure, error) ? std::move(server)
                                                                          : nullptr;
}

std::string NginxServer::url(std::string_view path) const {
  return "http://127.0.0.1:" + std::to_string(port()) + std::string(path);
}

std::string NginxServer::tlsUrl(std::string_view path, std::string_view host) const {
  return "https://" + std::string(host) + ":" + std::to_string(tlsPort()) + std::string(path);
}

bool NginxServer::writeDocument(std::string_view path, std::string_view content) const {
  while (!path.empty() && path.front() == '/') path.remove_prefix(1);
  return writeFile(documentRoot() + "/" + std::string(path), content);
}

std::unique_ptr<TinyProxyServer> TinyProxyServer::start(std::string* error, std::string_view user,
                                                        std::string_view password) {
  auto proxy = std::make_unique<TinyProxyServer>();
  const std::string dir = proxy->folder_.path();
  const auto configure = [&]() -> std::vector<std::string> {
    std::string config = "Port " + std::to_string(proxy->ports_[0]) + "\n";
    config += "Listen 127.0.0.1\nTimeout 60\nMaxClients 200\nLogLevel Info\n";
    config += "LogFile \"" + dir + "/log.txt\"\nPidFile \"" + dir + "/tinyproxy.pid\"\n";
    if (!user.empty())
      config += "BasicAuth " + std::string(user) + " " + std::string(password) + "\n";
    if (!writeFile(dir + "/tinyproxy.conf", config)) return {};
    return {"-d", "-c", dir + "/tinyproxy.conf"};
  };
  return proxy->launch("tinyproxy", 1, configure, error) ? std::move(proxy) : nullptr;
}

}  // namespace varnook::testing
