#pragma once

// The byte streams a news server is read through: plain TCP (news://), or TLS from the
// first byte (nntps://). Both block, every wait bounded by the timeout the caller gives.

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace varnook::server {

using Milliseconds = std::chrono::milliseconds;

// A connected byte stream. Implementations report failures as text in `error`.
class NntpStream {
 public:
  virtual ~NntpStream() = default;
  // Waits at most `timeout` for bytes and reads what has arrived, up to `size`. Returns
  // the count, 0 when nothing arrived in time, -1 when the stream closed or failed.
  virtual long receive(char* buffer, std::size_t size, Milliseconds timeout,
                       std::string& error) = 0;
  // Sends all of `bytes`, waiting at most `timeout` for room; false on a failure.
  virtual bool send(std::string_view bytes, Milliseconds timeout, std::string& error) = 0;
};

// A TCP connection to `host` (a name, or an address) on `port`; every address the name
// has is tried in turn. Null with the reason in `error`.
std::unique_ptr<NntpStream> connectTcp(const std::string& host, std::uint16_t port,
                                       Milliseconds timeout, std::string& error);

// A TCP connection as connectTcp makes it, then the TLS handshake, within `timeout` too.
// The server's certificate must chain to the system's trust store (/etc/ssl/certs) or to
// the PEM file `trustedCertificates` (empty: none), and name `host`; the name is sent
// (SNI) unless it is an address. Null with the reason in `error`, and `refused` set when
// trying again cannot help: the certificate was refused ("Certificate verify failed:
// <reason>"), or the trusted certificates cannot be read.
std::unique_ptr<NntpStream> connectTls(const std::string& host, std::uint16_t port,
                                       const std::string& trustedCertificates, Milliseconds timeout,
                                       std::string& error, bool& refused);

}  // namespace varnook::server
