#pragma once

// Shared helpers of the archive server's tests: temporary folders, a plain HTTP client
// on raw sockets, an in-process server on a free loopback port, and small corpora
// written on the fly.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "server/archiveindex.h"
#include "server/archiveservice.h"
#include "server/httpserver.h"
#include "server/indexrun.h"

namespace varnook::server::testing {

// A fresh folder under the build tree, removed with the object.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::string& path() const { return path_; }
  std::string operator/(std::string_view name) const { return path_ + "/" + std::string(name); }

 private:
  std::string path_;
};

void writeFile(const std::string& path, std::string_view content);
std::string readFile(const std::string& path);

struct HttpReply {
  int status = 0;
  std::map<std::string, std::string> headers;  // names lower-cased
  std::string body;
  bool closedByServer = false;  // the server closed the connection after the answer
};

// Sends one GET over a new connection and reads the answer (to the close for
// HTTP/1.0, by Content-Length otherwise). `host` empty sends no Host header.
HttpReply httpGet(std::uint16_t port, std::string_view target,
                  std::string_view version = "HTTP/1.0", std::string_view host = "localhost:8119",
                  const char* address = "127.0.0.1");
// Sends raw bytes and returns everything the server answers until it closes (or the
// timeout passes).
std::string rawExchange(std::uint16_t port, std::string_view bytes, int timeoutSeconds = 10);

// Indexes `paths` into `database`; fails the test on an error.
IndexRunSummary indexPaths(const std::string& database, const std::vector<std::string>& paths,
                           std::uint32_t firstNumber = 1, bool termlist = false);

// The index, the service and the HTTP server in this process, on a free loopback port.
class LocalServer {
 public:
  explicit LocalServer(const std::string& database, ServiceConfig config = {});
  std::uint16_t port() const { return http_->port(); }
  ArchiveIndex& index() { return *index_; }
  HttpReply get(std::string_view target, std::string_view version = "HTTP/1.0") const {
    return httpGet(port(), target, version);
  }

 private:
  std::unique_ptr<ArchiveIndex> index_;
  std::unique_ptr<ArchiveService> service_;
  std::unique_ptr<HttpServer> http_;
};

// One article for a test corpus.
struct TestArticle {
  std::string from = "Tester <tester@example.com>";
  std::string subject = "test";
  std::string newsgroups = "test.group";
  std::string date = "Mon, 5 Apr 1993 12:00:00 GMT";
  std::string messageId;     // generated when empty
  std::string extraHeaders;  // whole lines, each ending in "\n"
  std::string body = "body\n";
  std::string text() const;
};

// Writes the articles as a spool folder (one file each) and returns its path.
std::string writeSpool(const TempFolder& folder, const std::vector<TestArticle>& articles,
                       std::string_view name = "spool");

// The result page's article numbers, in page order, read with the agent's parser; also
// its count and next-page URL.
struct ParsedPage {
  std::string error;  // the parser's error text ("" or "none" or a message)
  std::vector<std::uint32_t> numbers;
  std::vector<std::string> subjects, forums, authors;
  std::vector<double> dates;
  std::int32_t expectedTotal = 0;
  std::string nextUrl;
};
ParsedPage parsePage(std::string_view page);

// "http://host:port/path?query" -> "/path?query".
std::string targetOf(std::string_view url);

// A program started by a test, with its standard output on a pipe; stopped (SIGKILL) and
// reaped when the object goes, unless it was waited for.
class ChildProcess {
 public:
  // Starts `arguments[0]` (a path) with the rest as its arguments, in a process group
  // of its own; standard error goes to the test's own, or nowhere with `quietErrors`.
  explicit ChildProcess(const std::vector<std::string>& arguments, bool quietErrors = false);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // The next line of output (without its line feed); empty after `timeoutSeconds` or at
  // the end of the output.
  std::string readLine(int timeoutSeconds = 30);
  // Everything it writes until it ends.
  std::string readRest(int timeoutSeconds = 300);
  void signal(int number);
  // Waits for the end; the exit status, or 128 + the signal that ended it.
  int wait();
  int pid() const { return pid_; }

 private:
  int pid_ = -1;
  int output_ = -1;
  std::string buffer_;
  bool reaped_ = false;
};

struct ProgramResult {
  int status = -1;
  std::string output;
};
// Runs the program to its end.
ProgramResult runProgram(const std::vector<std::string>& arguments, bool quietErrors = false);

// A free loopback port (bound and released; for programs that need a port number given).
std::uint16_t freePort();

}  // namespace varnook::server::testing
