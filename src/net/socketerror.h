#pragma once

#include <string>
#include <string_view>

namespace varnook {

// Socket error codes. Platform errno and resolver codes are mapped onto one numbering
// with one description table, so every message reads the same whatever the platform.
namespace socketcode {
inline constexpr int kNoError = 0;
inline constexpr int kInterrupted = 10004;  // also: a name lookup was cancelled
inline constexpr int kInvalidArgument = 10022;
inline constexpr int kWouldBlock = 10035;
inline constexpr int kNotSocket = 10038;
inline constexpr int kConnectionReset = 10054;
inline constexpr int kNotConnected = 10057;
inline constexpr int kTimedOut = 10060;
inline constexpr int kConnectionRefused = 10061;
inline constexpr int kHostNotFound = 11001;
// The TLS layer failed (a refused certificate, a broken handshake or record); the socket
// tells why in words (AsyncSocket::tlsFailure()). No system reports this code.
inline constexpr int kTlsFailure = 20001;
}  // namespace socketcode

// The description of a code: "Connection refused" for 10061, "No Error" for 0,
// "Not a WinSock error" for any code outside the table.
std::string_view socketErrorDescription(int code);

// The code for an errno value (ECONNREFUSED -> 10061, ETIMEDOUT -> 10060, ...). Values with
// no counterpart in the table are returned unchanged (their description is then
// "Not a WinSock error"); 0 stays 0.
int socketCodeFromErrno(int errnoValue);

// The code for a getaddrinfo result (EAI_NONAME -> 11001, EAI_AGAIN -> 11002,
// EAI_FAIL -> 11003, EAI_NODATA -> 11004, EAI_SYSTEM -> the errno code, ...).
// `savedErrno` is errno as it stood right after the call.
int socketCodeFromResolver(int gaiError, int savedErrno);

// The uniform message of a failing step:
// "Error <code> in function <step>" CR LF <description>.
std::string socketErrorMessage(int code, std::string_view step);

}  // namespace varnook
