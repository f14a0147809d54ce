#pragma once

// The archive's HTTP endpoints: search (any path ending in /dnquery.xp), articles
// (/getdoc.xp, as HTML or with fmt=text as the agent's plain text), posting profiles
// (/profile.xp), threads (/thread.xp), update information (/varnook/update.txt) and the front page
// (/).

#include <functional>
#include <string>
#include <string_view>

#include "server/archiveindex.h"
#include "server/httpserver.h"
#include "server/pagecontext.h"
#include "server/updateinfo.h"

namespace varnook::server {

struct ServiceConfig {
  std::string serviceHost = "localhost:8119";    // links when a request names no Host
  std::string serviceDomain = "localhost:8119";  // shown to agent users on the front page
  bool secure = false;                           // served over HTTPS: links say "https"
  UpdateInfo update;
  // Receives what the operator should know and a visitor should not see (file-system
  // paths, index failures); standard error when empty. Called from several threads.
  std::function<void(std::string_view)> log;
};

// Default and largest number of hits on a result page ("maxhits").
inline constexpr std::uint32_t kDefaultHits = 40;
inline constexpr std::uint32_t kMaxHits = 200;

class ArchiveService {
 public:
  // The index must outlive the service.
  ArchiveService(ArchiveIndex& index, ServiceConfig config);

  // Answers one request; never throws (index failures become 503 answers).
  HttpResponse handle(const HttpRequest& request);

  // Searches and posting profiles: the requests whose cost depends on the query and the
  // size of the archive (see HttpServer::Options::isExpensive).
  static bool isExpensive(const HttpRequest& request);

 private:
  HttpResponse search(const HttpRequest& request, const PageContext& context);
  HttpResponse article(const HttpRequest& request, const PageContext& context);
  HttpResponse profile(const HttpRequest& request, const PageContext& context);
  HttpResponse thread(const HttpRequest& request, const PageContext& context);
  HttpResponse front(const PageContext& context);
  PageContext contextFor(const HttpRequest& request) const;
  void log(const std::string& text) const;

  ArchiveIndex& index_;
  ServiceConfig config_;
};

// The host[:port] of a Host header when it is a plain name or address, else nothing.
std::optional<std::string> usableHost(std::string_view host);

}  // namespace varnook::server
