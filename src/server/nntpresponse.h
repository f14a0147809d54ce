#pragma once

// Reads what a news server sends (RFC 3977): status lines and the multi-line blocks that
// follow some of them, from bytes fed in as they arrive. It owns no socket, so the client
// feeds it from any stream and the tests and the fuzzer feed it from memory.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace varnook::server {

struct NntpStatus {
  int code = 0;      // 100 to 599
  std::string text;  // the rest of the line, without the line end
};

class NntpResponseReader {
 public:
  enum class Result { NeedMore, Done, Bad };

  void feed(std::string_view bytes) { buffer_.append(bytes); }
  // Forgets everything fed (after the connection was replaced).
  void clear();

  // The next status line: Bad when it is longer than 4 KB or has no three-digit code.
  Result readStatus(NntpStatus& status);
  // The block after a status line, up to its terminating "." line: lines dot-unstuffed,
  // CRLF (or a bare LF) made LF. Bytes beyond `limit` are read and dropped, and
  // `oversized` is set. `out` is filled across calls until the result is Done.
  Result readBlock(std::string& out, bool& oversized, std::size_t limit);

  // Bytes fed and not read yet.
  std::size_t pending() const { return buffer_.size() - position_; }

 private:
  void compact();

  std::string buffer_;
  std::size_t position_ = 0;
  bool inBlock_ = false;
  bool atLineStart_ = true;
};

// "211 <count> <low> <high> <group>", the answer to GROUP.
struct GroupRange {
  std::uint64_t count = 0, low = 0, high = 0;
};
std::optional<GroupRange> parseGroupStatus(std::string_view text);

// A line of LIST ACTIVE: "<group> <high> <low> <status>".
struct ActiveGroup {
  std::string name;
  std::uint64_t high = 0, low = 0;
};
std::optional<ActiveGroup> parseActiveLine(std::string_view line);

// A line of OVER (or XOVER): its article number and Message-ID (the fifth field).
struct OverviewEntry {
  std::uint64_t number = 0;
  std::string messageId;
};
std::optional<OverviewEntry> parseOverviewLine(std::string_view line);

// The article number and Message-ID of a STAT answer ("223 <n> <message-id>").
std::optional<OverviewEntry> parseStatStatus(std::string_view text);

}  // namespace varnook::server
