#include "serversupport.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "archive/resultpage.h"
#include "collection/collection.h"
#include "server/textutil.h"

namespace varnook::server::testing {
namespace {

namespace fs = std::filesystem;

int connectTo(std::uint16_t port, const char* address) {
  const bool v6 = std::strchr(address, ':') != nullptr;
  const int socket = ::socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (socket < 0) return -1;
  int result = -1;
  if (v6) {
    sockaddr_in6 target{};
    target.sin6_family = AF_INET6;
    target.sin6_port = htons(port);
    ::inet_pton(AF_INET6, address, &target.sin6_addr);
    result = ::connect(socket, reinterpret_cast<sockaddr*>(&target), sizeof target);
  } else {
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_port = htons(port);
    ::inet_pton(AF_INET, address, &target.sin_addr);
    result = ::connect(socket, reinterpret_cast<sockaddr*>(&target), sizeof target);
  }
  if (result != 0) {
    ::close(socket);
    return -1;
  }
  return socket;
}

// Reads until the peer closes or `timeoutSeconds` pass; `closed` tells which.
std::string readAll(int socket, int timeoutSeconds, bool& closed, std::size_t stopAt = 0) {
  std::string data;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
  closed = false;
  char buffer[65536];
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          deadline - std::chrono::steady_clock::now())
                          .count();
    if (left <= 0) return data;
    pollfd waiting{socket, POLLIN, 0};
    if (::poll(&waiting, 1, static_cast<int>(left)) <= 0) return data;
    const ssize_t got = ::read(socket, buffer, sizeof buffer);
    if (got <= 0) {
      closed = true;
      return data;
    }
    data.append(buffer, static_cast<std::size_t>(got));
    if (stopAt > 0 && data.size() >= stopAt) return data;
  }
}

}  // namespace

TempFolder::TempFolder() {
  static std::atomic<int> counter{0};
  fs::create_directories(VARNOOK_TEST_TEMP);
  path_ = std::string(VARNOOK_TEST_TEMP) + "/t" + std::to_string(::getpid()) + "-" +
          std::to_string(counter++);
  fs::remove_all(path_);
  fs::create_directories(path_);
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

void writeFile(const std::string& path, std::string_view content) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
  ASSERT_TRUE(out.good()) << path;
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

HttpReply httpGet(std::uint16_t port, std::string_view target, std::string_view version,
                  std::string_view host, const char* address) {
  HttpReply reply;
  const int socket = connectTo(port, address);
  if (socket < 0) return reply;
  std::string request = "GET " + std::string(target) + " " + std::string(version) + "\r\n";
  if (!host.empty()) request += "Host: " + std::string(host) + "\r\n";
  request += "\r\n";
  ::send(socket, request.data(), request.size(), MSG_NOSIGNAL);

  // HTTP/1.0: the answer ends when the server closes. HTTP/1.1: it ends after
  // Content-Length bytes of body.
  const bool toClose = version == "HTTP/1.0";
  bool closed = false;
  std::string data;
  std::size_t headerEnd = std::string::npos;
  std::size_t expected = std::string::npos;
  for (;;) {
    const std::string more = readAll(socket, 15, closed, 1);
    data += more;
    if (closed || more.empty()) break;
    if (headerEnd == std::string::npos &&
        (headerEnd = data.find("\r\n\r\n")) != std::string::npos) {
      const std::string head = asciiLowered(data.substr(0, headerEnd));
      const std::size_t at = head.find("\r\ncontent-length:");
      if (at != std::string::npos) expected = headerEnd + 4 + std::stoul(head.substr(at + 17));
    }
    if (!toClose && expected != std::string::npos && data.size() >= expected) break;
  }
  headerEnd = data.find("\r\n\r\n");
  if (headerEnd == std::string::npos) {
    ::close(socket);
    return reply;
  }
  std::istringstream head(data.substr(0, headerEnd));
  std::string line;
  std::getline(head, line);
  if (line.size() > 12) reply.status = std::stoi(line.substr(9, 3));
  while (std::getline(head, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    reply.headers[asciiLowered(line.substr(0, colon))] =
        std::string(trimBlanks(line.substr(colon + 1)));
  }
  reply.body = data.substr(headerEnd + 4);
  reply.closedByServer = closed;
  ::close(socket);
  return reply;
}

std::string rawExchange(std::uint16_t port, std::string_view bytes, int timeoutSeconds) {
  const int socket = connectTo(port, "127.0.0.1");
  if (socket < 0) return {};
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t n = ::send(socket, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) break;  // the server may refuse the rest of a huge request
    sent += static_cast<std::size_t>(n);
  }
  bool closed = false;
  std::string answer = readAll(socket, timeoutSeconds, closed);
  ::close(socket);
  return answer;
}

IndexRunSummary indexPaths(const std::string& database, const std::vector<std::string>& paths,
                           std::uint32_t firstNumber, bool termlist) {
  IndexRunOptions options;
  options.termlist = termlist;
  options.databasePath = database;
  options.paths = paths;
  options.firstNumber = firstNumber;
  std::ostringstream log;
  IndexRunSummary summary = runIndex(options, log, log);
  EXPECT_EQ(summary.error, "") << log.str();
  return summary;
}

LocalServer::LocalServer(const std::string& database, ServiceConfig config) {
  std::string error;
  index_ = ArchiveIndex::open(database, error);
  if (!index_) throw std::runtime_error(error);
  service_ = std::make_unique<ArchiveService>(*index_, std::move(config));
  HttpServer::Options options;
  options.listen = "127.0.0.1:0";
  options.threads = 2;
  options.connectionTimeoutSeconds = 3;
  ArchiveService* service = service_.get();
  http_ = HttpServer::start(
      options, [service](const HttpRequest& request) { return service->handle(request); }, error);
  if (!http_) throw std::runtime_error(error);
}

std::string TestArticle::text() const {
  std::string text =
      "From: " + from + "\nNewsgroups: " + newsgroups + "\nSubject: " + subject + "\n";
  if (!date.empty()) text += "Date: " + date + "\n";
  text += "Message-ID: " + messageId + "\n" + extraHeaders + "\n" + body;
  return text;
}

std::string writeSpool(const TempFolder& folder, const std::vector<TestArticle>& articles,
                       std::string_view name) {
  const std::string spool = folder / name;
  int number = 0;
  for (TestArticle article : articles) {
    ++number;
    if (article.messageId.empty())
      article.messageId = "<t" + std::to_string(number) + "." + std::string(name) + "@test>";
    writeFile(spool + "/" + std::to_string(number), article.text());
  }
  return spool;
}

ParsedPage parsePage(std::string_view page) {
  Collection collection(Collection::NameClock{[] { return 1000.0; }, [](double) {}});
  Request& request = collection.appendRequest(std::make_unique<Request>("Q#1.000000"));
  ParsedPage parsed;
  parsed.error = parseResultPage(page, request);
  parsed.expectedTotal = request.expectedTotal;
  parsed.nextUrl = request.url;
  for (const auto& article : collection.articles()) {
    parsed.numbers.push_back(article->number);
    parsed.subjects.push_back(article->subject);
    parsed.forums.push_back(article->forum);
    parsed.authors.push_back(article->author);
    parsed.dates.push_back(article->date);
  }
  return parsed;
}

std::string targetOf(std::string_view url) {
  const std::size_t scheme = url.find("://");
  const std::size_t slash = url.find('/', scheme == std::string_view::npos ? 0 : scheme + 3);
  return slash == std::string_view::npos ? "/" : std::string(url.substr(slash));
}

ChildProcess::ChildProcess(const std::vector<std::string>& arguments, bool quietErrors) {
  int pipeEnds[2];
  if (::pipe2(pipeEnds, O_CLOEXEC) != 0) return;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
  if (quietErrors)
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  // Its own process group: some servers (xapian-tcpsrv) signal their whole group when
  // they stop, which must not reach the test.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attributes, 0);
  std::vector<char*> argv;
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  if (posix_spawn(&pid_, argv[0], &actions, &attributes, argv.data(), environ) != 0) pid_ = -1;
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  ::close(pipeEnds[1]);
  output_ = pipeEnds[0];
}

ChildProcess::~ChildProcess() {
  if (pid_ > 0 && !reaped_) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  if (output_ >= 0) ::close(output_);
}

std::string ChildProcess::readLine(int timeoutSeconds) {
  for (;;) {
    const std::size_t newline = buffer_.find('\n');
    if (newline != std::string::npos) {
      std::string line = buffer_.substr(0, newline);
      buffer_.erase(0, newline + 1);
      return line;
    }
    bool closed = false;
    const std::string more = readAll(output_, timeoutSeconds, closed, 1);
    if (more.empty()) {
      std::string rest = std::move(buffer_);
      buffer_.clear();
      return rest;
    }
    buffer_ += more;
  }
}

std::string ChildProcess::readRest(int timeoutSeconds) {
  bool closed = false;
  std::string rest = std::move(buffer_) + readAll(output_, timeoutSeconds, closed);
  buffer_.clear();
  return rest;
}

void ChildProcess::signal(int number) {
  if (pid_ > 0 && !reaped_) ::kill(pid_, number);
}

int ChildProcess::wait() {
  if (pid_ <= 0) return -1;
  int status = 0;
  ::waitpid(pid_, &status, 0);
  reaped_ = true;
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

ProgramResult runProgram(const std::vector<std::string>& arguments, bool quietErrors) {
  ChildProcess child(arguments, quietErrors);
  ProgramResult result;
  result.output = child.readRest();
  result.status = child.wait();
  return result;
}

std::uint16_t freePort() {
  const int socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(socket, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t length = sizeof address;
  ::getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(socket);
  return ntohs(address.sin_port);
}

}  // namespace varnook::server::testing
