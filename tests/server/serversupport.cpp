#include "serversupport.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>
#include <zlib.h>

#include <functional>
#include <sstream>

#include "archive/articletext.h"
#include "archive/resultpage.h"
#include "collection/article.h"
#include "collection/collection.h"
#include "server/textutil.h"

namespace varnook::testing {

using namespace server;

constexpr std::size_t npos = std::string::npos;

SourceWalk walkSources(const std::vector<std::string>& paths,
                       const server::SourceOptions& options) {
  SourceWalk walked;
  server::walkArticleSources(
      paths,
      [&](server::RawArticle&& article) {
        walked.articles.push_back(std::move(article));
        return walked.articles.size() < 100;
      },
      [&](std::string_view text) { walked.warnings += std::string(text) + "\n"; }, walked.counters,
      options);
  return walked;
}

void writeGzip(const std::string& path, std::string_view data) {
  const gzFile file = gzopen(path.c_str(), "wb");
  const bool written = file && gzwrite(file, data.data(), static_cast<unsigned>(data.size())) ==
                                   static_cast<int>(data.size());
  EXPECT_TRUE(file && gzclose(file) == Z_OK && written) << path;
}

std::string rawExchange(std::uint16_t port, std::string_view bytes, int timeoutSeconds,
                        const char* address, bool* closed,
                        const std::function<bool(const std::string&)>& complete) {
  const int socket = connectTo(port, address);
  if (socket < 0) return {};
  for (std::size_t sent = 0; sent < bytes.size();) {
    const ssize_t n = ::send(socket, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) break;  // the server may refuse the rest of a huge request
    sent += static_cast<std::size_t>(n);
  }
  std::string answer = readFrom(socket, timeoutSeconds, closed, complete);
  ::close(socket);
  return answer;
}

HttpReply httpGet(std::uint16_t port, std::string_view target, std::string_view version,
                  std::string_view host, const char* address) {
  HttpReply reply;
  // HTTP/1.0: the answer ends when the server closes. HTTP/1.1: it ends after
  // Content-Length bytes of body.
  const auto complete = [&](const std::string& data) {
    const std::size_t headEnd = data.find("\r\n\r\n");
    if (version == "HTTP/1.0" || headEnd == npos) return false;
    const std::string head = asciiLowered(data.substr(0, headEnd));
    const std::size_t at = head.find("\r\ncontent-length:");
    return at != npos && data.size() >= headEnd + 4 + std::stoul(head.substr(at + 17));
  };
  const std::string data =
      rawExchange(port,
                  "GET " + std::string(target) + " " + std::string(version) + "\r\n" +
                      (host.empty() ? "" : "Host: " + std::string(host) + "\r\n") + "\r\n",
                  15, address, &reply.closedByServer, complete);
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

ProgramResult runArchive(const std::vector<std::string>& arguments, bool unprivileged) {
  const bool asNobody = unprivileged && ::geteuid() == 0;
  std::vector<std::string> command = {
      "/bin/sh", "-c",
      std::string("exec ") +
          (asNobody ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "") +
          "\"$0\" \"$@\" 2>&1",
      VARNOOK_ARCHIVE_PROGRAM};
  command.insert(command.end(), arguments.begin(), arguments.end());
  return runProgram(command);
}

std::string TestArticle::text() const {
  return "From: " + from + "\nNewsgroups: " + newsgroups + "\nSubject: " + subject + "\n" +
         (date.empty() ? "" : "Date: " + date + "\n") + "Message-ID: " + messageId + "\n" +
         headers + "\n" + body;
}

std::vector<TestArticle> threadArticles() {
  const struct {
    const char* name;
    const char* headers;
  } table[] = {
      {"root", ""},
      {"a", "References: <root@t>\n"},
      {"s1", "References: <lost@t>\n"},
      {"b", "References: <root@t>\n <a@t>\n"},  // folded, as long headers are
      {"c", "In-Reply-To: <root@t>\n"},
      {"s2", "References: <lost@t>\n"},
      {"re", ""},
      {"join", "References: <lost@t> <b@t>\n"},
  };
  std::vector<TestArticle> articles;
  int minute = 0;
  for (const auto& row : table) {
    TestArticle& article = articles.emplace_back();
    article.subject = row.name;
    article.messageId = "<" + std::string(row.name) + "@t>";
    article.headers = row.headers;
    article.date = "Mon, 5 Apr 1993 12:0" + std::to_string(minute++) + ":00 GMT";
    if (article.subject == "c") article.newsgroups = "alt.sex.test";
  }
  return articles;
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
    EXPECT_TRUE(writeFile(spool + "/" + std::to_string(number), article.text()));
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

}  // namespace varnook::testing
