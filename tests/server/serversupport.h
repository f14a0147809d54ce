#pragma once

// Shared helpers of the archive server's tests: a plain HTTP client on raw sockets, an
// in-process server on a free loopback port, small corpora written on the fly, and the
// agent's own readers of result pages and article texts.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/daydate.h"
#include "server/archiveindex.h"
#include "server/archiveservice.h"
#include "server/articlesource.h"
#include "server/httpserver.h"
#include "server/indexrun.h"
#include "support/realservers.h"

namespace varnook::testing {

using server::ArchiveIndex;
using server::IndexRunSummary;

// Writes `data` as a .gz file; a failure to write it fails the test.
void writeGzip(const std::string& path, std::string_view data);

// What a walk over article sources delivers (it stops at 100 articles, so an endless walk
// ends), its warnings one a line, and its counters.
struct SourceWalk {
  std::vector<server::RawArticle> articles;
  std::string warnings;
  server::SourceCounters counters;
};
SourceWalk walkSources(const std::vector<std::string>& paths,
                       const server::SourceOptions& options = {});

struct HttpReply {
  int status = 0;
  std::map<std::string, std::string> headers;  // names lower-cased
  std::string body;
  bool closedByServer = false;  // the server closed the connection after the answer
};
// Sends one GET over a new connection and reads the answer (to the close for HTTP/1.0,
// by Content-Length otherwise). `host` empty sends no Host header.
HttpReply httpGet(std::uint16_t port, std::string_view target,
                  std::string_view version = "HTTP/1.0", std::string_view host = "localhost:8119",
                  const char* address = "127.0.0.1");
// varnook-archive run to its end, standard error joined to its output; as nobody when
// `unprivileged` and we are root, whom file permissions do not stop.
ProgramResult runArchive(const std::vector<std::string>& arguments, bool unprivileged = false);

// Sends raw bytes over a new connection; returns what the server answers until it closes
// (which sets `*closed`), the timeout passes or `complete` says it is all there.
std::string rawExchange(std::uint16_t port, std::string_view bytes, int timeoutSeconds = 10,
                        const char* address = "127.0.0.1", bool* closed = nullptr,
                        const std::function<bool(const std::string&)>& complete = {});

// One article for a test corpus.
struct TestArticle {
  std::string from = "Tester <tester@example.com>";
  std::string subject = "test";
  std::string newsgroups = "test.group";
  std::string date = "Mon, 5 Apr 1993 12:00:00 GMT";
  std::string messageId;  // generated when empty
  std::string body = "body\n";
  std::string headers;  // more header lines, each ending in "\n"
  std::string text() const;
};
// `count` articles "<tag> article <i>" with Message-IDs "<<tag><i>@test>", i from 1.
std::vector<TestArticle> numberedArticles(int count, const std::string& tag);
// Conversations, each article's subject its name, dated in this order: "root";
// "a" answers root; "s1" answers a root the archive lacks; "b" answers a; "c" answers
// root from the adult archive (alt.sex.test); "s2" answers the lost root too; "re" lost its
// References; "join" answers b and the lost root, joining both threads. As a tree: root,
// a, b, join, c, s1, s2 at depths 0 1 2 3 1 0 0; "re" alone.
std::vector<TestArticle> threadArticles();
// Writes the articles as a spool folder (one file each) and returns its path.
std::string writeSpool(const TempFolder& folder, const std::vector<TestArticle>& articles,
                       std::string_view name = "spool");

// Indexes `paths` into `database`. The run must end without an error, or with one that
// contains `expectedError` when that is given.
IndexRunSummary indexPaths(const std::string& database, const std::vector<std::string>& paths,
                           std::uint32_t firstNumber = 1, bool termlist = false,
                           std::string_view expectedError = {});
// Writes the articles as a spool and indexes them into folder/"index"; returns its path.
std::string indexArticles(const TempFolder& folder, const std::vector<TestArticle>& articles);
// Opens an index; fails the test (and returns null) when it cannot.
std::unique_ptr<ArchiveIndex> openIndex(const std::string& database);
// The Message-ID of article `number`; "" when the index does not hold it.
std::string messageIdOf(ArchiveIndex& index, std::uint32_t number);

// A result page read with the agent's parser.
struct ParsedPage {
  std::string error;  // the parser's error text ("" or "none" or a message)
  std::vector<std::uint32_t> numbers;
  std::vector<std::string> subjects, forums, authors;
  std::vector<DayDate> dates;
  std::int32_t expectedTotal = 0;
  std::string nextUrl;
};
ParsedPage parsePage(std::string_view page);
// An article text read with the agent's parser: the fields of its Article.
struct ParsedArticle {
  std::string error;
  std::string subject, author, forum, messageId, references, text;
  DayDate date = 0;
};
ParsedArticle parseArticle(std::string_view text);
// "http://host:port/path?query" -> "/path?query".
std::string targetOf(std::string_view url);

// The index, the service and the HTTP server in this process, on a free loopback port.
class LocalServer {
 public:
  explicit LocalServer(const std::string& database, server::ServiceConfig config = {});
  std::uint16_t port() const { return http_->port(); }
  ArchiveIndex& index() const { return *index_; }
  HttpReply get(std::string_view target, std::string_view version = "HTTP/1.0") const {
    return httpGet(port(), target, version);
  }
  // "/dnquery.xp?<parameters>", read with the agent's parser.
  ParsedPage search(std::string_view parameters) const;
  // Follows "Next matches" from `target` to the last page. Every page must answer 200,
  // read without error and give the same count, which the entries of all pages add up
  // to. A page without matches ends the list (and is not in it).
  std::vector<ParsedPage> allPages(std::string target) const;
  // "/getdoc.xp?AN=<number>&fmt=text", which must answer 200 and read without error.
  ParsedArticle articleText(std::uint32_t number) const;

 private:
  std::unique_ptr<ArchiveIndex> index_;
  std::unique_ptr<server::ArchiveService> service_;
  std::unique_ptr<server::HttpServer> http_;
};

}  // namespace varnook::testing
