#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "net/eventloop.h"

namespace varnook {

// Outcome of a name lookup: a socket error code (0 on success, 11001 "Host not found",
// ...) and the addresses found, in the resolver's order, in numeric form.
struct LookupResult {
  int error = 0;
  std::vector<std::string> addresses;
};

// "localhost", "localhost." and any name ending in ".localhost" (any case): names that
// always mean this machine and never go to the system resolver.
bool isLoopbackName(std::string_view host);

// The normalised text of a numeric IPv4 address in dotted form or of an IPv6 address
// ("::0:1" becomes "::1"; an IPv6 address may stand in brackets), or nothing when `host`
// is no such address.
std::optional<std::string> numericAddress(std::string_view host);

// One lookup of a host name through the system resolver, run on a thread of its own so the
// loop never blocks. The result is handed back through the loop's ThreadPoster and `done`
// runs on the loop's thread, unless the lookup was cancelled (or this object destroyed)
// before. The thread itself cannot be interrupted; a cancelled lookup finishes unseen.
class HostLookup {
 public:
  using Done = std::function<void(const LookupResult&)>;

  // Starts the lookup. Returns null and sets `*startError` to the socket error code when
  // no thread could be started.
  static std::unique_ptr<HostLookup> start(EventLoop& loop, std::string host, Done done,
                                           int* startError);
  ~HostLookup();
  HostLookup(const HostLookup&) = delete;
  HostLookup& operator=(const HostLookup&) = delete;

  // `done` will not be called. Must be called on the loop's thread.
  void cancel();

  // The blocking lookup itself, as the thread runs it (also usable by tests).
  static LookupResult resolveNow(const std::string& host);

 private:
  struct Shared;
  explicit HostLookup(std::shared_ptr<Shared> shared) : shared_(std::move(shared)) {}
  std::shared_ptr<Shared> shared_;
};

}  // namespace varnook
