#pragma once

// What a pull is told and what it records: the news:// URLs naming servers and groups,
// the wildmats choosing groups, and where each group stands, as kept in the index.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace varnook::server {

// news://host[:port]/PATTERN or nntps://host[:port]/PATTERN.
struct PullSource {
  std::string host;  // without the brackets of an IPv6 address
  std::uint16_t port = 119;
  bool tls = false;
  std::string pattern;  // a wildmat: "comp.lang.c++", "comp.os.*", "*,!alt.binaries.*"
  std::string url() const;
  std::string stateKey() const;  // the index metadata key of its positions
};
// Nothing, with the reason in `error`, for a URL of another form.
std::optional<PullSource> parsePullUrl(std::string_view url, std::string& error);

// A wildmat: comma-separated patterns of "*" and "?", each "!"-prefixed one excluding;
// the last pattern that matches the name decides. Letter case is ignored.
bool wildmatMatch(std::string_view pattern, std::string_view name);

// Where a group of a server stands: the last article number taken, and an article whose
// Message-ID tells, on the next pull, whether the server has renumbered the group.
struct GroupPosition {
  std::uint64_t last = 0;
  std::uint64_t checkNumber = 0;
  std::string checkId;
};
// The metadata value holding a server's positions: a line "<group> <last> <number> <id>"
// per group. Lines that do not read are dropped.
std::string encodePositions(const std::vector<std::pair<std::string, GroupPosition>>& groups);
std::vector<std::pair<std::string, GroupPosition>> decodePositions(std::string_view text);

}  // namespace varnook::server
