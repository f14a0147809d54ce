// A proxy's answer to CONNECT on arbitrary bytes. The first byte chooses how the rest is
// cut into pieces; whatever the cuts, the answer must read the same as when fed at once.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <tuple>

#include "net/proxytunnel.h"

namespace {

void check(bool condition) {
  if (!condition) __builtin_trap();
}

std::tuple<varnook::ProxyTunnel::Answer, int, std::string> read(std::string_view bytes,
                                                                std::size_t step) {
  varnook::ProxyTunnel tunnel;
  varnook::ProxyTunnel::Answer answer = varnook::ProxyTunnel::Answer::NeedMore;
  std::size_t fed = 0;
  while (!bytes.empty()) {
    const std::string_view piece = bytes.substr(0, step);
    bytes.remove_prefix(piece.size());
    fed += piece.size();
    answer = tunnel.feed(piece);
    check(tunnel.bytesAfterAnswer() < fed);
  }
  if (answer == varnook::ProxyTunnel::Answer::Open) {
    check(tunnel.status() >= 200 && tunnel.status() <= 299);
  }
  return {answer, tunnel.status(), tunnel.reason()};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::size_t step = 1 + data[0] % 64;
  const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  check(read(bytes, step) == read(bytes, bytes.size() + 1));
  return 0;
}
