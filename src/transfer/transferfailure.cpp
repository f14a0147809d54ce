#include "transfer/transferfailure.h"

#include "base/asciicase.h"
#include "net/httpclient.h"
#include "net/socketerror.h"
#include "net/urlparts.h"

namespace varnook {
namespace {

// Socket codes that mean the host is out of reach rather than answering wrongly.
bool isOutageCode(int code) {
  switch (code) {
    case 10050:  // network is down
    case 10051:  // network is unreachable
    case socketcode::kTimedOut:
    case socketcode::kConnectionRefused:
    case 10064:  // host is down
    case 10065:  // no route to host
    case socketcode::kHostNotFound:
      return true;
    default:
      return false;
  }
}

TransferFailure fromSocketCode(int code) {
  return {std::string(socketErrorDescription(code)), isOutageCode(code),
          code == socketcode::kTimedOut};
}

}  // namespace

TransferFailure describeFailure(const HttpClient& client, int error) {
  if (error == HttpClient::kAbortError) return {client.reasonPhrase()};
  if (client.timedOut()) return {client.reasonPhrase(), true, true};
  // A refused certificate or a broken handshake says why in the client's own words.
  if (client.socketError() == socketcode::kTlsFailure) return {client.reasonPhrase()};
  if (client.ownFailure()) {
    if (client.reasonPhrase() == "can't resolve hostname to IP address")
      return {"Host not found: " + client.connectHost(), true};
    // A connection that could not be made carries the socket's code.
    if (client.socketError() != 0) return fromSocketCode(client.socketError());
    return {client.reasonPhrase()};
  }
  if (client.statusCode() >= 400)
    return {"HTTP " + std::to_string(client.statusCode()) + " " + client.reasonPhrase()};
  return fromSocketCode(client.socketError() != 0 ? client.socketError() : error);
}

std::string hostOfUrl(std::string_view url) {
  const UrlParts parts = splitUrl(url);
  std::string host = parts.host;
  for (char& c : host) c = asciiLower(c);
  if (!parts.port.empty()) return host + ":" + parts.port;
  return host + (equalsNoCase(parts.scheme, "https") ? ":443" : ":80");
}

void HostTimeouts::record(const std::string& host, bool timedOut) {
  if (timedOut)
    ++counts_[host];
  else
    counts_.erase(host);
}

bool HostTimeouts::notResponding(const std::string& host) const {
  const auto it = counts_.find(host);
  return it != counts_.end() && it->second >= kTimeoutsInARow;
}

}  // namespace varnook
