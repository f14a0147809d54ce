#pragma once

// A reader's connection to a news server (RFC 3977, with AUTHINFO USER/PASS from
// RFC 4643): blocking, with timeouts, and able to keep several commands in flight. The
// bytes travel through an NntpStream, plain TCP or TLS, which the protocol code does not
// tell apart.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "server/nntpresponse.h"
#include "server/nntpstream.h"

namespace varnook::server {

struct NntpError {
  enum class Kind {
    None,
    Lost,    // connection failed, closed, timed out or answered nonsense: worth a retry
    Denied,  // login missing or refused, or access denied: retrying will not help
    Stopped  // the caller asked to stop
  };
  Kind kind = Kind::None;
  std::string text;
};

struct NntpLogin {
  std::string user;  // empty: no AUTHINFO unless the server asks (which then fails)
  std::string password;
};

struct NntpTimeouts {
  Milliseconds connect{30000};
  Milliseconds idle{120000};  // longest wait for an answer
};

class NntpConnection {
 public:
  // Reads the greeting, asks for the capabilities, switches to reader mode when the
  // server needs that, and logs in when a user is given. `stop` (may be null) ends any
  // wait early. Null with `error` set on a failure.
  static std::unique_ptr<NntpConnection> open(std::unique_ptr<NntpStream> stream,
                                              const NntpLogin& login, const NntpTimeouts& timeouts,
                                              const std::atomic<bool>* stop, NntpError& error);

  // The first failure; every call after it fails too.
  const NntpError& error() const { return error_; }
  bool failed() const { return error_.kind != NntpError::Kind::None; }

  // Adds a command to those waiting to be sent; send() sends them all. Answers come back
  // in order, read with readStatus and readBlock: several commands may be in flight.
  void queue(std::string_view command);
  bool send();
  // The next status line. A 480 (login required) or 502 (access denied) fails the
  // connection as Denied.
  std::optional<NntpStatus> readStatus();
  // The block after a status line that announces one (see NntpResponseReader).
  bool readBlock(std::string& out, bool& oversized, std::size_t limit);

  // One command and its status line.
  std::optional<NntpStatus> command(std::string_view line);

  // LIST ACTIVE with a wildmat. Nothing on a failure.
  std::optional<std::vector<ActiveGroup>> listActive(std::string_view pattern);
  // GROUP: the range, or nothing; `missing` tells a 411 (no such group) from a failure.
  std::optional<GroupRange> selectGroup(std::string_view group, bool& missing);
  // The numbers and Message-IDs of the articles from `low` to `high` of the selected
  // group, through OVER or XOVER. Nothing when the server has no overview (or failed).
  std::optional<std::vector<OverviewEntry>> overview(std::uint64_t low, std::uint64_t high);
  // STAT by number: the Message-ID there, or nothing (gone, or failed).
  std::optional<OverviewEntry> stat(std::uint64_t number);

  bool hasOverview() const { return overview_ != Overview::None; }

 private:
  enum class Overview { Over, XOver, None };
  NntpConnection(std::unique_ptr<NntpStream> stream, const NntpTimeouts& timeouts,
                 const std::atomic<bool>* stop)
      : stream_(std::move(stream)), timeouts_(timeouts), stop_(stop) {}
  bool fail(NntpError::Kind kind, std::string text);
  bool receiveMore();
  std::optional<std::vector<std::string>> capabilities();
  bool start(const NntpLogin& login);
  bool login(const NntpLogin& login);

  std::unique_ptr<NntpStream> stream_;
  NntpTimeouts timeouts_;
  const std::atomic<bool>* stop_;
  NntpResponseReader reader_;
  std::string outgoing_;
  NntpError error_;
  Overview overview_ = Overview::Over;
};

}  // namespace varnook::server
