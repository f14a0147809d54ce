#include "net/urlparts.h"

#include <gtest/gtest.h>

#include <tuple>

namespace varnook {
namespace {

TEST(SplitUrl, Table) {
  struct Case {
    const char* url;
    UrlParts expected;  // scheme, user, password, host, port, path
  };
  const Case cases[] = {
      {"", {}},
      {"http://example.org/a/b?c=1", {"http", "", "", "example.org", "", "/a/b?c=1"}},
      {"http://u:p@h.example:8080/a/b?c", {"http", "u", "p", "h.example", "8080", "/a/b?c"}},
      {"http://user@host", {"http", "user", "", "host", "", ""}},
      {"ftp://host:21", {"ftp", "", "", "host", "21", ""}},
      {"/only/a/path", {"http", "", "", "", "", "/only/a/path"}},
      {"//host:81/p", {"http", "", "", "host", "81", "/p"}},
      {"HTTP:/x", {"http", "", "", "", "", "/x"}},
      {"http:xy", {"http", "", "", "", "", "xy"}},
      {"http:x", {"http", "", "", "x", "", ""}},
      {"mailto:someone@example.org", {"mailto", "someone", "", "example.org", "", ""}},
      {"proxy.example:3128", {"", "", "", "proxy.example", "3128", ""}},
      {"proxy.example", {"", "", "", "proxy.example", "", ""}},
      {"a:b@c@d:9/p", {"", "a", "b@c", "d", "9", "/p"}},  // the last "@" ends the user part
      {"u:p:q@h", {"", "u", "p:q", "h", "", ""}},         // a ":" before the "@" is no port
      {"http://[::1]:8119/x", {"http", "", "", "[::1]", "8119", "/x"}},
      {"http://[::1]/x", {"http", "", "", "[::1]", "", "/x"}},
      {"http://h:/", {"http", "", "", "h", "", "/"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.url);
    const auto fields = [](const UrlParts& p) {
      return std::tie(p.scheme, p.user, p.password, p.host, p.port, p.path);
    };
    EXPECT_EQ(fields(splitUrl(c.url)), fields(c.expected));
  }
}

TEST(ResolveLocation, Table) {
  struct Case {
    const char* base;
    const char* location;
    const char* expected;
  };
  const Case cases[] = {
      {"http://a:81/x/y?q", "http://b/z", "http://b/z"},
      {"http://a:81/x/y?q", "//c:82/w", "http://c:82/w"},
      {"http://a:81/x/y?q", "/abs?k=v", "http://a:81/abs?k=v"},
      {"http://a:81/x/y?q", "rel.html", "http://a:81/x/rel.html"},
      {"http://a:81/x/y/z?q=/s", "?page=2", "http://a:81/x/y/z?page=2"},
      {"http://a/", "next", "http://a/next"},
      {"http://a", "next", "http://a/next"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.base) + " + " + c.location);
    EXPECT_EQ(resolveLocation(c.base, c.location), c.expected);
  }
}

}  // namespace
}  // namespace varnook
