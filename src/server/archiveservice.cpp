#include "server/archiveservice.h"

#include <xapian.h>

#include <algorithm>
#include <iostream>

#include "archive/encoding.h"
#include "archive/queryurl.h"
#include "archive/textsearch.h"
#include "base/decimal.h"
#include "server/pages.h"
#include "server/textutil.h"
#include "server/threads.h"

namespace varnook::server {
namespace {

// The parameters the search reads through the agent's own query reader.
constexpr const char* kQueryKeys[] = {"QRY",    "query",     "subjects", "authors",
                                      "groups", "defaultOp", "fromdate", "todate",
                                      "LNG",    "DBS",       "thread"};

// Articles the thread page lists at most; the result list pages through any number.
constexpr std::size_t kThreadPageLimit = 1000;

bool endsWithNoCase(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() &&
         equalsNoCase(text.substr(text.size() - suffix.size()), suffix);
}

HttpResponse htmlResponse(int status, std::string body) {
  HttpResponse response;
  response.status = status;
  response.body = std::move(body);
  return response;
}

HttpResponse errorResponse(const PageContext& context, int status, std::string_view title,
                           std::string_view message) {
  return htmlResponse(status, errorPage(context, status, title, message));
}

// The form's date fields send "yyyy-mm-dd"; the query reader takes "yyyy/mm/dd".
std::string normalizedDate(std::string value) {
  if (value.size() == 10 && value[4] == '-' && value[7] == '-') {
    value[4] = '/';
    value[7] = '/';
  }
  return value;
}

std::optional<std::uint64_t> parseCount(std::string_view text) {
  text = trimBlanks(text);
  if (text.size() > 12) return std::nullopt;
  return parseDecimal<std::uint64_t>(text);
}

}  // namespace

std::optional<std::string> usableHost(std::string_view host) {
  if (host.empty() || host.size() > 255) return std::nullopt;
  for (char c : host) {
    const bool allowed = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                         (c >= '0' && c <= '9') || c == '.' || c == '-' || c == ':' || c == '[' ||
                         c == ']' || c == '_';
    if (!allowed) return std::nullopt;
  }
  return std::string(host);
}

ArchiveService::ArchiveService(ArchiveIndex& index, ServiceConfig config)
    : index_(index), config_(std::move(config)) {}

void ArchiveService::log(const std::string& text) const {
  if (config_.log) {
    config_.log(text);
  } else {
    std::cerr << "varnook-archive: " + text + "\n" << std::flush;
  }
}

bool ArchiveService::isExpensive(const HttpRequest& request) {
  return endsWithNoCase(request.path, "/dnquery.xp") ||
         endsWithNoCase(request.path, "/profile.xp") || endsWithNoCase(request.path, "/thread.xp");
}

PageContext ArchiveService::contextFor(const HttpRequest& request) const {
  PageContext context;
  context.host = usableHost(request.host).value_or(config_.serviceHost);
  context.scheme = config_.secure ? "https" : "http";
  context.path = linkPath(request.path);
  context.serviceHost = config_.serviceHost;
  context.serviceDomain = config_.serviceDomain;
  return context;
}

HttpResponse ArchiveService::handle(const HttpRequest& request) {
  const PageContext context = contextFor(request);
  try {
    const std::string& path = request.path;
    if (endsWithNoCase(path, "/dnquery.xp")) return search(request, context);
    if (endsWithNoCase(path, "/getdoc.xp")) return article(request, context);
    if (endsWithNoCase(path, "/profile.xp")) return profile(request, context);
    if (endsWithNoCase(path, "/thread.xp")) return thread(request, context);
    if (path == "/varnook/update.txt") {
      HttpResponse response;
      response.contentType = "text/plain; charset=utf-8";
      response.body = config_.update.text();
      return response;
    }
    if (path == "/" || path == "/index.html") return front(context);
    return errorResponse(context, 404, "Not Found",
                         "There is no page at this address. The search form is on the front "
                         "page.");
  } catch (const Xapian::Error& e) {
    // The description names the index's place on disk: for the operator, not a visitor.
    log("index failure on " + context.path + ": " + e.get_description());
    return errorResponse(context, 503, "Service Unavailable",
                         "The archive's index cannot be read right now. Please try again "
                         "later.");
  } catch (const std::exception& e) {
    log("internal error on " + context.path + ": " + e.what());
    return errorResponse(context, 500, "Internal Server Error",
                         "The archive could not answer this request.");
  }
}

HttpResponse ArchiveService::search(const HttpRequest& request, const PageContext& context) {
  // The query fields go through the same reader the agent uses to read its URLs back, so
  // both sides agree on every parameter. Values are re-encoded without "?" so that the
  // reader takes the whole text.
  std::string parameters;
  for (const char* key : kQueryKeys) {
    const std::optional<std::string> value = request.parameter(key);
    if (!value) continue;
    const bool isDate = equalsNoCase(key, "fromdate") || equalsNoCase(key, "todate");
    parameters +=
        "&" + std::string(key) + "=" + urlEncode(isDate ? normalizedDate(*value) : *value, true);
  }
  SearchParameters search;
  if (std::string error = parseQueryParameters(search.fields, parameters); !error.empty())
    return errorResponse(context, 400, "Bad Request", error);

  search.maxHits = kDefaultHits;
  if (auto hits = request.parameter("maxhits")) {
    if (auto count = parseCount(*hits))
      search.maxHits = static_cast<std::uint32_t>(std::clamp<std::uint64_t>(*count, 1, kMaxHits));
  }
  if (auto start = request.parameter("start")) {
    if (auto count = parseCount(*start))
      search.start = static_cast<std::uint32_t>(std::min<std::uint64_t>(*count, 100000000));
  }
  search.newestFirst = equalsNoCase(request.parameter("sort").value_or(""), "date");

  // A thread parameter that names no article number matches nothing (rather than all).
  const bool noThread =
      search.fields.thread == 0 && !trimBlanks(request.parameter("thread").value_or("")).empty();
  const SearchOutcome outcome = noThread ? SearchOutcome{} : index_.search(search);
  if (!outcome.error.empty()) return errorResponse(context, 400, "Bad Request", outcome.error);
  return htmlResponse(200, resultPage(context, request.parameters, search, outcome));
}

HttpResponse ArchiveService::article(const HttpRequest& request, const PageContext& context) {
  const std::string numberText = request.parameter("AN").value_or("");
  // "123.1" (a hit number after the point) names article 123.
  std::size_t digits = 0;
  while (digits < numberText.size() && numberText[digits] >= '0' && numberText[digits] <= '9')
    ++digits;
  const auto number = parseCount(std::string_view(numberText).substr(0, digits));
  std::optional<StoredArticle> found;
  if (number && *number > 0 && *number <= 0xFFFFFFFFu)
    found = index_.article(static_cast<std::uint32_t>(*number));
  if (!found)
    return errorResponse(context, 404, "Not Found",
                         "The archive holds no article with the number " + numberText + ".");
  if (equalsNoCase(request.parameter("fmt").value_or(""), "text")) {
    HttpResponse response;
    response.body = found->plainText();
    response.contentType = isValidUtf8(response.body) ? "text/plain; charset=utf-8" : "text/plain";
    return response;
  }
  ArticleLinks links;
  links.threadSize = index_.threadSize(found->number);
  links.references = index_.articlesByMessageId(messageIdTokens(found->references));
  return htmlResponse(200, articlePage(context, *found, links));
}

HttpResponse ArchiveService::thread(const HttpRequest& request, const PageContext& context) {
  const std::string numberText = request.parameter("AN").value_or("");
  const auto number = parseCount(numberText);
  ThreadListing listing;
  if (number && *number > 0 && *number <= 0xFFFFFFFFu)
    listing = index_.thread(static_cast<std::uint32_t>(*number), kThreadPageLimit);
  if (listing.total == 0)
    return errorResponse(context, 404, "Not Found",
                         "The archive holds no article with the number " + numberText + ".");
  return htmlResponse(200, threadPage(context, listing, static_cast<std::uint32_t>(*number)));
}

HttpResponse ArchiveService::profile(const HttpRequest& request, const PageContext& context) {
  const std::string author(trimBlanks(request.parameter("author").value_or("")));
  if (author.empty())
    return errorResponse(context, 400, "Bad Request", "The profile address names no author.");
  return htmlResponse(200, profilePage(context, index_.profile(author)));
}

HttpResponse ArchiveService::front(const PageContext& context) {
  return htmlResponse(200, frontPage(context, index_.statistics()));
}

}  // namespace varnook::server
