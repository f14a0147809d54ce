#pragma once

#include <string>
#include <string_view>
#include <unordered_map>

namespace varnook {

class HttpClient;

// Why a transfer failed, in the words of the failure line ("HTTP 500 Internal Server
// Error", "Connection refused", "Host not found: x1.example"), and what kind of failure it
// was: an outage (the host could not be reached or did not answer in time) and, among
// those, a timeout.
struct TransferFailure {
  std::string reason;
  bool outage = false;
  bool timeout = false;
};

// Reads the end of a failed request from its client: `error` as onRequestDone gave it.
TransferFailure describeFailure(const HttpClient& client, int error);

// The host a URL's transfer goes to, as "host:port" (the scheme's port when the URL names
// none), the key under which its timeouts are counted.
std::string hostOfUrl(std::string_view url);

// Counts timeouts in a row per host. After kTimeoutsInARow the host counts as not
// responding: further transfers to it fail at once instead of costing a timeout each.
// Any answer, or a failure that is no timeout, starts the count again.
class HostTimeouts {
 public:
  static constexpr int kTimeoutsInARow = 3;

  void record(const std::string& host, bool timedOut);
  bool notResponding(const std::string& host) const;
  // Gives the hosts another chance (the user resumed the downloads, or sent a query).
  void forgive(const std::string& host) { counts_.erase(host); }
  void forgiveAll() { counts_.clear(); }

 private:
  std::unordered_map<std::string, int> counts_;
};

}  // namespace varnook
