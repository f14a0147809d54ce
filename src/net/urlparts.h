#pragma once

#include <string>
#include <string_view>

namespace varnook {

// The pieces of a URL as the HTTP client uses them. Every piece may be empty.
struct UrlParts {
  std::string scheme;
  std::string user;
  std::string password;
  std::string host;  // an IPv6 address keeps its brackets
  std::string port;
  std::string path;  // from the first "/" after the authority, query included
};

// Splits a URL the forgiving way the client needs: "host:port" and "user:pw@host" without
// a scheme are understood (a proxy setting is split the same way), a text starting with
// "/" is a path of the "http" scheme, "http:" without slashes and "mailto:" are handled,
// and the last "@" and the last ":" after it delimit the authority's parts. Never fails.
UrlParts splitUrl(std::string_view url);

// Where a redirection leads: `location` (a "Location" header value) taken relative to the
// absolute URL `base` ("http://host[:port]/path"). Absolute URLs are returned as they are,
// "//host/path" takes the base's scheme, "/path" the base's authority, and any other
// value replaces the last segment of the base's path. Returns an absolute URL.
std::string resolveLocation(std::string_view base, std::string_view location);

// True when `text` holds a byte that must never reach the wire inside a URL: one at or
// below 0x20 (controls, blank) or 0x7F. A CR LF there would end the request line and let a
// page add lines of its own to the request.
bool hasUnsafeUrlBytes(std::string_view text);
// `text` with every such byte percent-encoded ("%0D%0A", "%20"); other bytes unchanged.
std::string encodeUnsafeUrlBytes(std::string_view text);

}  // namespace varnook
