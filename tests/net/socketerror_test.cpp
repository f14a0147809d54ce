#include "net/socketerror.h"

#include <gtest/gtest.h>
#include <netdb.h>

#include <cerrno>

#include "net/base64.h"

namespace varnook {
namespace {

TEST(SocketError, DescriptionsAndPlatformAndResolverCodesMapOntoOneTable) {
  const struct {
    int errnoValue, code;
    const char* description;
  } cases[] = {
      {ECONNREFUSED, 10061, "Connection refused"},
      {ETIMEDOUT, 10060, "Connection timed out"},
      {ECONNRESET, 10054, "Connection reset by peer"},
      {EPIPE, 10054, "Connection reset by peer"},
      {EHOSTUNREACH, 10065, "No route to host"},
      {ENETUNREACH, 10051, "Network is unreachable"},
      {EMFILE, 10024, "Too many open files"},
      {EAGAIN, 10035, "Operation would block"},
      {EINPROGRESS, 10036, "Operation now in progress"},
      {ENOTCONN, 10057, "Socket is not connected"},
      {EADDRNOTAVAIL, 10049, "Address not available"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.errnoValue);
    EXPECT_EQ(socketCodeFromErrno(c.errnoValue), c.code);
    EXPECT_EQ(socketErrorDescription(c.code), c.description);
  }
  EXPECT_EQ(socketErrorDescription(0), "No Error");
  EXPECT_EQ(socketErrorDescription(11004), "No Data");
  EXPECT_EQ(socketErrorDescription(EIO), "Not a WinSock error");
  EXPECT_EQ(socketCodeFromErrno(EIO), EIO);  // no counterpart: kept, described as unknown
  EXPECT_EQ(socketErrorMessage(99999, "Connect"),
            "Error 99999 in function Connect\r\nNot a WinSock error");
  EXPECT_EQ(socketCodeFromResolver(0, 0), 0);
  EXPECT_EQ(socketCodeFromResolver(EAI_NONAME, 0), 11001);
  EXPECT_EQ(socketCodeFromResolver(EAI_AGAIN, 0), 11002);
  EXPECT_EQ(socketCodeFromResolver(EAI_FAIL, 0), 11003);
  EXPECT_EQ(socketCodeFromResolver(EAI_SYSTEM, ETIMEDOUT), 10060);
  EXPECT_EQ(socketErrorDescription(socketCodeFromResolver(EAI_NONAME, 0)), "Host not found");
}

TEST(Base64, PadsTheLastGroup) {
  EXPECT_EQ(base64Encode(""), "");
  EXPECT_EQ(base64Encode("a"), "YQ==");
  EXPECT_EQ(base64Encode("ab"), "YWI=");
  EXPECT_EQ(base64Encode(std::string("\xff\x00\xfe", 3)), "/wD+");
}

}  // namespace
}  // namespace varnook
