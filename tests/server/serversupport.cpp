#include "serversupport.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <netdb.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "archive/articletext.h"
#include "archive/resultpage.h"
#include "collection/article.h"
#include "collection/collection.h"
#include "server/textutil.h"

namespace varnook::server::testing {
namespace {

constexpr std::size_t npos = std::string::npos;

// Reads from `fd` until it closes (which sets `closed`), `timeoutSeconds` pass, or
// `complete` says that the data read is all that is wanted.
std::string readUntil(int fd, int timeoutSeconds, bool& closed,
                      const std::function<bool(const std::string&)>& complete = {}) {
  using namespace std::chrono;
  const auto deadline = steady_clock::now() + seconds(timeoutSeconds);
  std::string data;
  char buffer[65536];
  closed = false;
  while (!complete || !complete(data)) {
    const auto left = duration_cast<milliseconds>(deadline - steady_clock::now()).count();
    pollfd waiting{fd, POLLIN, 0};
    if (left <= 0 || ::poll(&waiting, 1, static_cast<int>(left)) <= 0) break;
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got <= 0) {
      closed = true;
      break;
    }
    data.append(buffer, static_cast<std::size_t>(got));
  }
  return data;
}

void sendAll(int socket, std::string_view bytes) {
  for (std::size_t sent = 0; sent < bytes.size();) {
    const ssize_t n = ::send(socket, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return;  // the server may refuse the rest of a huge request
    sent += static_cast<std::size_t>(n);
  }
}

}  // namespace

void writeFile(const std::string& path, std::string_view content) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
  ASSERT_TRUE(out.good()) << path;
}

std::string readFile(const std::string& path) {
  std::ostringstream text;
  text << std::ifstream(path, std::ios::binary).rdbuf();
  return text.str();
}

std::string gzip(std::string_view data) {
  z_stream stream{};
  deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&stream, data.size()), '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  stream.avail_in = static_cast<uInt>(data.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(deflate(&stream, Z_FINISH), Z_STREAM_END);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  return out;
}

int connectTo(std::uint16_t port, const char* address) {
  addrinfo hints{};
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
  addrinfo* found = nullptr;
  if (::getaddrinfo(address, std::to_string(port).c_str(), &hints, &found) != 0) return -1;
  int socket = ::socket(found->ai_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (socket >= 0 && ::connect(socket, found->ai_addr, found->ai_addrlen) != 0) {
    ::close(socket);
    socket = -1;
  }
  ::freeaddrinfo(found);
  return socket;
}

HttpReply httpGet(std::uint16_t port, std::string_view target, std::string_view version,
                  std::string_view host, const char* address) {
  HttpReply reply;
  const int socket = connectTo(port, address);
  if (socket < 0) return reply;
  sendAll(socket, "GET " + std::string(target) + " " + std::string(version) + "\r\n" +
                      (host.empty() ? "" : "Host: " + std::string(host) + "\r\n") + "\r\n");
  // HTTP/1.0: the answer ends when the server closes. HTTP/1.1: it ends after
  // Content-Length bytes of body.
  const auto complete = [&](const std::string& data) {
    const std::size_t headEnd = data.find("\r\n\r\n");
    if (version == "HTTP/1.0" || headEnd == npos) return false;
    const std::string head = asciiLowered(data.substr(0, headEnd));
    const std::size_t at = head.find("\r\ncontent-length:");
    return at != npos && data.size() >= headEnd + 4 + std::stoul(head.substr(at + 17));
  };
  const std::string data = readUntil(socket, 15, reply.closedByServer, complete);
  ::close(socket);
  const std::size_t headEnd = data.find("\r\n\r\n");
  if (headEnd == npos) return reply;
  std::istringstream head(data.substr(0, headEnd));
  std::string line;
  std::getline(head, line);
  if (line.size() > 12) reply.status = std::stoi(line.substr(9, 3));
  while (std::getline(head, line)) {
    if (line.ends_with('\r')) line.pop_back();
    const std::size_t colon = line.find(':');
    if (colon != npos)
      reply.headers[asciiLowered(line.substr(0, colon))] =
          std::string(trimBlanks(line.substr(colon + 1)));
  }
  reply.body = data.substr(headEnd + 4);
  return reply;
}

std::string rawExchange(std::uint16_t port, std::string_view bytes, int timeoutSeconds) {
  const int socket = connectTo(port);
  if (socket < 0) return {};
  sendAll(socket, bytes);
  bool closed = false;
  std::string answer = readUntil(socket, timeoutSeconds, closed);
  ::close(socket);
  return answer;
}

std::string TestArticle::text() const {
  return "From: " + from + "\nNewsgroups: " + newsgroups + "\nSubject: " + subject + "\n" +
         (date.empty() ? "" : "Date: " + date + "\n") + "Message-ID: " + messageId + "\n" +
         extraHeaders + "\n" + body;
}

std::vector<TestArticle> numberedArticles(int count, const std::string& tag) {
  std::vector<TestArticle> articles(static_cast<std::size_t>(count));
  for (int i = 1; i <= count; ++i) {
    articles[i - 1].subject = tag + " article " + std::to_string(i);
    articles[i - 1].messageId = "<" + tag + std::to_string(i) + "@test>";
  }
  return articles;
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

IndexRunSummary indexPaths(const std::string& database, const std::vector<std::string>& paths,
                           std::uint32_t firstNumber, bool termlist,
                           std::string_view expectedError) {
  IndexRunOptions options;
  options.termlist = termlist;
  options.databasePath = database;
  options.paths = paths;
  options.firstNumber = firstNumber;
  std::ostringstream log;
  IndexRunSummary summary = runIndex(options, log, log);
  if (expectedError.empty()) {
    EXPECT_EQ(summary.error, "") << log.str();
  } else {
    EXPECT_NE(summary.error.find(expectedError), npos) << summary.error;
  }
  return summary;
}

std::string indexArticles(const TempFolder& folder, const std::vector<TestArticle>& articles) {
  indexPaths(folder / "index", {writeSpool(folder, articles)});
  return folder / "index";
}

std::unique_ptr<ArchiveIndex> openIndex(const std::string& database) {
  std::string error;
  auto index = ArchiveIndex::open(database, error);
  EXPECT_TRUE(index) << database << ": " << error;
  return index;
}

std::string messageIdOf(ArchiveIndex& index, std::uint32_t number) {
  const auto article = index.article(number);
  return article ? article->messageId : "";
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

ParsedArticle parseArticle(std::string_view text) {
  Article a(0, "");
  std::string error = parseArticleText(text, a);
  return {std::move(error), a.subject,    a.author, a.forum,
          a.messageId,      a.references, a.text,   a.date};
}

std::string targetOf(std::string_view url) {
  const std::size_t scheme = url.find("://");
  const std::size_t slash = url.find('/', scheme == npos ? 0 : scheme + 3);
  return slash == npos ? "/" : std::string(url.substr(slash));
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

ParsedPage LocalServer::search(std::string_view parameters) const {
  return parsePage(get("/dnquery.xp?" + std::string(parameters)).body);
}

std::vector<ParsedPage> LocalServer::allPages(std::string target) const {
  std::vector<ParsedPage> pages;
  std::size_t entries = 0;
  while (!target.empty() && pages.size() < 1000) {
    const HttpReply reply = get(target);
    EXPECT_EQ(reply.status, 200) << target << "\n" << reply.body;
    ParsedPage page = parsePage(reply.body);
    if (page.error == "none") break;
    EXPECT_EQ(page.error, "") << target;
    const std::int32_t total = pages.empty() ? page.expectedTotal : pages[0].expectedTotal;
    EXPECT_EQ(page.expectedTotal, total) << "the count changes at " << target;
    target = page.nextUrl.empty() ? "" : targetOf(page.nextUrl);
    entries += page.numbers.size();
    pages.push_back(std::move(page));
  }
  const std::size_t total = pages.empty() ? 0 : pages[0].expectedTotal;
  EXPECT_EQ(entries, total) << "entries of all pages";
  return pages;
}

ParsedArticle LocalServer::articleText(std::uint32_t number) const {
  const HttpReply reply = get("/getdoc.xp?AN=" + std::to_string(number) + "&fmt=text");
  EXPECT_EQ(reply.status, 200) << number;
  ParsedArticle parsed = parseArticle(reply.body);
  EXPECT_EQ(parsed.error, "") << number;
  return parsed;
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
  signal(SIGKILL);
  if (pid_ > 0 && !reaped_) ::waitpid(pid_, nullptr, 0);
  if (output_ >= 0) ::close(output_);
}

std::string ChildProcess::readLine(int timeoutSeconds) {
  bool closed = false;
  if (buffer_.find('\n') == npos)
    buffer_ += readUntil(output_, timeoutSeconds, closed,
                         [](const std::string& data) { return data.find('\n') != npos; });
  const std::size_t newline = buffer_.find('\n');
  std::string line = buffer_.substr(0, newline);
  buffer_.erase(0, newline == npos ? npos : newline + 1);
  return line;
}

std::string ChildProcess::readRest(int timeoutSeconds) {
  bool closed = false;
  return std::exchange(buffer_, {}) + readUntil(output_, timeoutSeconds, closed);
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
  return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
}

ProgramResult runProgram(const std::vector<std::string>& arguments, bool quietErrors) {
  ChildProcess child(arguments, quietErrors);
  std::string output = child.readRest();
  return {child.wait(), std::move(output)};
}

}  // namespace varnook::server::testing
