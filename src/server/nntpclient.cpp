#include "server/nntpclient.h"

#include <algorithm>

#include "base/asciicase.h"
#include "server/textutil.h"

namespace varnook::server {
namespace {

using Clock = std::chrono::steady_clock;

// Status lines, capability lists, active files and overview chunks; articles have their
// own limit.
constexpr std::size_t kMaxListBytes = 64u << 20;
// How often a wait looks at the stop flag.
constexpr Milliseconds kStopCheck{200};

bool isCapability(const std::vector<std::string>& capabilities, std::string_view name) {
  return std::any_of(capabilities.begin(), capabilities.end(), [&](const std::string& line) {
    return equalsNoCase(std::string_view(line).substr(0, line.find(' ')), name);
  });
}

std::string describe(const NntpStatus& status) {
  return std::to_string(status.code) + " " + status.text;
}

}  // namespace

std::unique_ptr<NntpConnection> NntpConnection::open(std::unique_ptr<NntpStream> stream,
                                                     const NntpLogin& login,
                                                     const NntpTimeouts& timeouts,
                                                     const std::atomic<bool>* stop,
                                                     NntpError& error) {
  std::unique_ptr<NntpConnection> connection(new NntpConnection(std::move(stream), timeouts, stop));
  if (connection->start(login)) return connection;
  error = connection->error_;
  return nullptr;
}

bool NntpConnection::fail(NntpError::Kind kind, std::string text) {
  if (!failed()) error_ = NntpError{kind, std::move(text)};
  return false;
}

bool NntpConnection::receiveMore() {
  if (failed()) return false;
  char buffer[64 * 1024];
  const Clock::time_point deadline = Clock::now() + timeouts_.idle;
  for (;;) {
    if (stop_ && stop_->load()) return fail(NntpError::Kind::Stopped, "stopped");
    const auto left = std::chrono::duration_cast<Milliseconds>(deadline - Clock::now());
    if (left.count() <= 0)
      return fail(NntpError::Kind::Lost, "no answer from the server in " +
                                             std::to_string(timeouts_.idle.count() / 1000) + " s");
    std::string text;
    const long got = stream_->receive(buffer, sizeof buffer, std::min(left, kStopCheck), text);
    if (got < 0) return fail(NntpError::Kind::Lost, text);
    if (got > 0) {
      reader_.feed(std::string_view(buffer, static_cast<std::size_t>(got)));
      return true;
    }
  }
}

void NntpConnection::queue(std::string_view command) {
  outgoing_.append(command);
  outgoing_.append("\r\n");
}

bool NntpConnection::send() {
  if (failed()) return false;
  std::string text;
  const bool sent = stream_->send(outgoing_, timeouts_.idle, text);
  outgoing_.clear();
  return sent || fail(NntpError::Kind::Lost, text);
}

std::optional<NntpStatus> NntpConnection::readStatus() {
  NntpStatus status;
  for (;;) {
    if (failed()) return std::nullopt;
    switch (reader_.readStatus(status)) {
      case NntpResponseReader::Result::Done:
        if (status.code == 480)
          fail(NntpError::Kind::Denied, "the server requires a login (" + describe(status) + ")");
        if (status.code == 502)
          fail(NntpError::Kind::Denied, "access denied (" + describe(status) + ")");
        if (failed()) return std::nullopt;
        return status;
      case NntpResponseReader::Result::Bad:
        fail(NntpError::Kind::Lost, "the server sent an unreadable answer");
        return std::nullopt;
      case NntpResponseReader::Result::NeedMore:
        if (!receiveMore()) return std::nullopt;
    }
  }
}

bool NntpConnection::readBlock(std::string& out, bool& oversized, std::size_t limit) {
  for (;;) {
    if (failed()) return false;
    if (reader_.readBlock(out, oversized, limit) == NntpResponseReader::Result::Done) return true;
    if (!receiveMore()) return false;
  }
}

std::optional<NntpStatus> NntpConnection::command(std::string_view line) {
  queue(line);
  if (!send()) return std::nullopt;
  return readStatus();
}

std::optional<std::vector<std::string>> NntpConnection::capabilities() {
  const auto status = command("CAPABILITIES");
  if (!status || status->code != 101) return std::nullopt;
  std::string block;
  bool oversized = false;
  if (!readBlock(block, oversized, kMaxListBytes)) return std::nullopt;
  std::vector<std::string> lines;
  for (std::string_view rest = block; !rest.empty();) {
    const std::size_t end = std::min(rest.find('\n'), rest.size());
    lines.emplace_back(trimBlanks(rest.substr(0, end)));
    rest.remove_prefix(std::min(end + 1, rest.size()));
  }
  return lines;
}

bool NntpConnection::start(const NntpLogin& credentials) {
  const auto greeting = readStatus();
  if (!greeting) return false;
  if (greeting->code != 200 && greeting->code != 201)
    return fail(NntpError::Kind::Lost, "the server is not available (" + describe(*greeting) + ")");
  auto capabilityList = capabilities();
  if (failed()) return false;
  // A server that needs MODE READER says so; one too old for CAPABILITIES gets it anyway.
  const bool reader = capabilityList && isCapability(*capabilityList, "READER");
  if (!reader && (!capabilityList || isCapability(*capabilityList, "MODE-READER"))) {
    const auto mode = command("MODE READER");
    if (!mode) return false;
    if (mode->code != 200 && mode->code != 201 && mode->code != 500 && mode->code != 501)
      return fail(NntpError::Kind::Lost, "no reading on this server now (" + describe(*mode) + ")");
    if (mode->code != 500 && mode->code != 501) capabilityList = capabilities();
    if (failed()) return false;
  }
  if (capabilityList && !isCapability(*capabilityList, "OVER")) overview_ = Overview::XOver;
  return credentials.user.empty() || login(credentials);
}

bool NntpConnection::login(const NntpLogin& credentials) {
  auto status = command("AUTHINFO USER " + credentials.user);
  if (status && status->code == 381) status = command("AUTHINFO PASS " + credentials.password);
  if (!status) return false;
  if (status->code == 281) return true;
  return fail(NntpError::Kind::Denied, "login refused (" + describe(*status) + ")");
}

std::optional<std::vector<ActiveGroup>> NntpConnection::listActive(std::string_view pattern) {
  auto status = command("LIST ACTIVE " + std::string(pattern));
  // Servers from before RFC 3977 may know only a bare LIST; the caller filters the names.
  if (status && (status->code == 500 || status->code == 501)) status = command("LIST");
  if (!status) return std::nullopt;
  if (status->code != 215) {
    fail(NntpError::Kind::Lost, "the server cannot list its groups (" + describe(*status) + ")");
    return std::nullopt;
  }
  std::string block;
  bool oversized = false;
  if (!readBlock(block, oversized, kMaxListBytes)) return std::nullopt;
  std::vector<ActiveGroup> groups;
  for (std::string_view rest = block; !rest.empty();) {
    const std::size_t end = std::min(rest.find('\n'), rest.size());
    if (auto group = parseActiveLine(rest.substr(0, end))) groups.push_back(std::move(*group));
    rest.remove_prefix(std::min(end + 1, rest.size()));
  }
  return groups;
}

std::optional<GroupRange> NntpConnection::selectGroup(std::string_view group, bool& missing) {
  missing = false;
  const auto status = command("GROUP " + std::string(group));
  if (!status) return std::nullopt;
  missing = status->code == 411;
  if (status->code == 211) {
    if (auto range = parseGroupStatus(status->text)) return range;
  }
  if (!missing)
    fail(NntpError::Kind::Lost, "GROUP " + std::string(group) + ": " + describe(*status));
  return std::nullopt;
}

std::optional<std::vector<OverviewEntry>> NntpConnection::overview(std::uint64_t low,
                                                                   std::uint64_t high) {
  const std::string range = std::to_string(low) + "-" + std::to_string(high);
  while (overview_ != Overview::None) {
    const auto status = command((overview_ == Overview::Over ? "OVER " : "XOVER ") + range);
    if (!status) return std::nullopt;
    if (status->code == 423 || status->code == 420) return std::vector<OverviewEntry>();
    if (status->code != 224) {
      // Unknown command, or no overview kept for this group: try the older name, then
      // fetch every number instead.
      overview_ = overview_ == Overview::Over ? Overview::XOver : Overview::None;
      continue;
    }
    std::string block;
    bool oversized = false;
    if (!readBlock(block, oversized, kMaxListBytes)) return std::nullopt;
    std::vector<OverviewEntry> entries;
    for (std::string_view rest = block; !rest.empty();) {
      const std::size_t end = std::min(rest.find('\n'), rest.size());
      if (auto entry = parseOverviewLine(rest.substr(0, end)))
        if (entry->number >= low && entry->number <= high) entries.push_back(std::move(*entry));
      rest.remove_prefix(std::min(end + 1, rest.size()));
    }
    std::sort(entries.begin(), entries.end(),
              [](const auto& a, const auto& b) { return a.number < b.number; });
    return entries;
  }
  return std::nullopt;
}

std::optional<OverviewEntry> NntpConnection::stat(std::uint64_t number) {
  const auto status = command("STAT " + std::to_string(number));
  if (!status || status->code != 223) return std::nullopt;
  return parseStatStatus(status->text);
}

}  // namespace varnook::server
