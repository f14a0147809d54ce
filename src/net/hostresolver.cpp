#include "net/hostresolver.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <system_error>
#include <thread>

#include "base/asciicase.h"
#include "net/socketerror.h"

namespace varnook {

namespace {

std::string addressText(const sockaddr* address) {
  char text[INET6_ADDRSTRLEN] = {};
  if (address->sa_family == AF_INET) {
    ::inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(address)->sin_addr, text,
                sizeof text);
  } else if (address->sa_family == AF_INET6) {
    ::inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr, text,
                sizeof text);
  }
  return text;
}

}  // namespace

bool isLoopbackName(std::string_view host) {
  if (!host.empty() && host.back() == '.') host.remove_suffix(1);
  constexpr std::string_view kName = "localhost";
  if (equalsNoCase(host, kName)) return true;
  return host.size() > kName.size() + 1 && host[host.size() - kName.size() - 1] == '.' &&
         equalsNoCase(host.substr(host.size() - kName.size()), kName);
}

std::optional<std::string> numericAddress(std::string_view host) {
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
    host = host.substr(1, host.size() - 2);
  }
  if (host.empty() || host.size() >= INET6_ADDRSTRLEN) return std::nullopt;
  const std::string text(host);
  unsigned char binary[sizeof(in6_addr)];
  char normal[INET6_ADDRSTRLEN] = {};
  if (::inet_pton(AF_INET, text.c_str(), binary) == 1) {
    ::inet_ntop(AF_INET, binary, normal, sizeof normal);
    return std::string(normal);
  }
  if (::inet_pton(AF_INET6, text.c_str(), binary) == 1) {
    ::inet_ntop(AF_INET6, binary, normal, sizeof normal);
    return std::string(normal);
  }
  return std::nullopt;
}

struct HostLookup::Shared {
  std::atomic<bool> cancelled{false};
  Done done;  // touched on the loop's thread only
};

LookupResult HostLookup::resolveNow(const std::string& host) {
  LookupResult result;
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_ADDRCONFIG;
  addrinfo* list = nullptr;
  errno = 0;
  const int status = ::getaddrinfo(host.c_str(), nullptr, &hints, &list);
  const int savedErrno = errno;
  if (status != 0) {
    result.error = socketCodeFromResolver(status, savedErrno);
    return result;
  }
  for (const addrinfo* entry = list; entry != nullptr; entry = entry->ai_next) {
    std::string text = addressText(entry->ai_addr);
    if (!text.empty() && std::find(result.addresses.begin(), result.addresses.end(), text) ==
                             result.addresses.end()) {
      result.addresses.push_back(std::move(text));
    }
  }
  ::freeaddrinfo(list);
  if (result.addresses.empty()) result.error = 11004;
  return result;
}

std::unique_ptr<HostLookup> HostLookup::start(EventLoop& loop, std::string host, Done done,
                                              int* startError) {
  auto shared = std::make_shared<Shared>();
  shared->done = std::move(done);
  std::shared_ptr<ThreadPoster> poster = loop.threadPoster();
  try {
    std::thread([shared, poster, host = std::move(host)]() {
      if (shared->cancelled.load()) return;
      LookupResult result = resolveNow(host);
      poster->post([shared, result = std::move(result)]() {
        if (shared->cancelled.load() || !shared->done) return;
        Done report = std::move(shared->done);
        shared->done = nullptr;
        report(result);
      });
    }).detach();
  } catch (const std::system_error& e) {
    if (startError != nullptr) *startError = socketCodeFromErrno(e.code().value());
    return nullptr;
  }
  return std::unique_ptr<HostLookup>(new HostLookup(std::move(shared)));
}

HostLookup::~HostLookup() {
  cancel();
}

void HostLookup::cancel() {
  shared_->cancelled.store(true);
  shared_->done = nullptr;
}

}  // namespace varnook
