// What a news server sends to a pull: a whole reader session (greeting, capabilities,
// reader mode, login, group list, group, overview, STAT, pipelined articles) answered
// by the input, delivered in pieces whose sizes the input's first byte picks.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "server/nntpclient.h"
#include "server/pullsource.h"

namespace {

using namespace varnook::server;

class ReplayStream : public NntpStream {
 public:
  ReplayStream(std::string_view data, std::size_t piece) : data_(data), piece_(piece) {}
  long receive(char* buffer, std::size_t size, Milliseconds, std::string& error) override {
    if (data_.empty()) {
      error = "end of input";
      return -1;
    }
    const std::size_t count = std::min({size, piece_, data_.size()});
    data_.copy(buffer, count);
    data_.remove_prefix(count);
    return static_cast<long>(count);
  }
  bool send(std::string_view, Milliseconds, std::string&) override { return true; }

 private:
  std::string_view data_;
  std::size_t piece_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  NntpError error;
  auto connection =
      NntpConnection::open(std::make_unique<ReplayStream>(bytes, 1u + data[0]),
                           NntpLogin{"reader", "secret"}, NntpTimeouts{}, nullptr, error);
  if (!connection) {
    if (error.kind == NntpError::Kind::None) std::abort();
    return 0;
  }
  if (auto groups = connection->listActive("*,!alt.*")) {
    for (const ActiveGroup& group : *groups)
      if (group.name.empty()) std::abort();
  }
  bool missing = false;
  if (auto range = connection->selectGroup("misc.test", missing)) {
    if (auto entries = connection->overview(range->low, range->low + 50)) {
      for (const OverviewEntry& entry : *entries)
        if (entry.number < range->low || entry.number > range->low + 50) std::abort();
    }
    (void)connection->stat(range->low);
  }
  for (int i = 0; i < 3; ++i) connection->queue("ARTICLE " + std::to_string(i));
  connection->send();
  std::string article;
  bool oversized = false;
  for (int i = 0; i < 3; ++i) {
    const auto status = connection->readStatus();
    if (!status) break;
    if (status->code == 220 && !connection->readBlock(article, oversized, 4096)) break;
    if (article.size() > 4096) std::abort();
  }
  (void)decodePositions(bytes);
  return 0;
}
