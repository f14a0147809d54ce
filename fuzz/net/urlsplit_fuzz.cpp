// URL splitting and redirection targets on arbitrary text: a base URL and a "Location"
// value, separated by the first line feed.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "net/urlparts.h"

namespace {

void check(bool condition) {
  if (!condition) __builtin_trap();
}

// Every piece of a split is a piece of the input.
void checkParts(std::string_view url) {
  const varnook::UrlParts parts = varnook::splitUrl(url);
  for (const std::string* piece :
       {&parts.user, &parts.password, &parts.host, &parts.port, &parts.path}) {
    check(piece->empty() || url.find(*piece) != std::string_view::npos);
  }
  check(parts.host.size() + parts.port.size() + parts.path.size() <= url.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t newline = input.find('\n');
  const std::string_view first = input.substr(0, newline);
  const std::string_view second =
      newline == std::string_view::npos ? std::string_view() : input.substr(newline + 1);
  checkParts(first);
  checkParts(second);
  const std::string resolved = varnook::resolveLocation(first, second);
  checkParts(resolved);
  return 0;
}
