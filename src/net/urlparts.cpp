#include "net/urlparts.h"

#include "base/asciicase.h"

namespace varnook {

namespace {

// "scheme://authority" of an absolute URL, without the path.
std::string_view schemeAndAuthority(std::string_view url) {
  const std::size_t separator = url.find("://");
  const std::size_t start = separator == std::string_view::npos ? 0 : separator + 3;
  const std::size_t slash = url.find('/', start);
  return slash == std::string_view::npos ? url : url.substr(0, slash);
}

}  // namespace

UrlParts splitUrl(std::string_view url) {
  UrlParts parts;
  if (url.empty()) return parts;
  std::string_view rest;
  if (const std::size_t separator = url.find("://"); separator != std::string_view::npos) {
    parts.scheme = url.substr(0, separator);
    rest = url.substr(separator + 3);
  } else if (url.front() == '/') {
    parts.scheme = "http";
    if (url.size() < 2 || url[1] != '/') {
      parts.path = url;
      return parts;
    }
    rest = url.substr(2);
  } else if (startsWithNoCase(url, "http:")) {
    parts.scheme = "http";
    if (url.size() >= 7 && url[6] != '/') {
      parts.path = url.substr(5);
      return parts;
    }
    rest = url.substr(5);
  } else if (startsWithNoCase(url, "mailto:")) {
    parts.scheme = "mailto";
    rest = url.substr(7);
  } else {
    rest = url;
  }

  const std::size_t slash = rest.find('/');
  const std::string_view authority = rest.substr(0, slash);
  if (slash != std::string_view::npos) parts.path = rest.substr(slash);

  const std::size_t at = authority.rfind('@');
  std::size_t colon = authority.rfind(':');
  // A colon inside an IPv6 address in brackets separates no port.
  const std::size_t bracket = authority.rfind(']');
  if (colon != std::string_view::npos && bracket != std::string_view::npos && colon < bracket &&
      (at == std::string_view::npos || bracket > at)) {
    colon = std::string_view::npos;
  }
  const std::size_t hostStart = at == std::string_view::npos ? 0 : at + 1;
  if (colon != std::string_view::npos && (at == std::string_view::npos || colon > at)) {
    parts.host = authority.substr(hostStart, colon - hostStart);
    parts.port = authority.substr(colon + 1);
  } else {
    parts.host = authority.substr(hostStart);
  }
  if (at != std::string_view::npos) {
    const std::string_view userInfo = authority.substr(0, at);
    const std::size_t split = userInfo.find(':');
    parts.user = userInfo.substr(0, split);
    if (split != std::string_view::npos) parts.password = userInfo.substr(split + 1);
  }
  return parts;
}

std::string resolveLocation(std::string_view base, std::string_view location) {
  if (location.find("://") != std::string_view::npos) return std::string(location);
  if (location.substr(0, 2) == "//") {
    const std::size_t separator = base.find("://");
    const std::string_view scheme =
        separator == std::string_view::npos ? std::string_view("http") : base.substr(0, separator);
    return std::string(scheme) + ":" + std::string(location);
  }
  const std::string_view origin = schemeAndAuthority(base);
  if (!location.empty() && location.front() == '/') {
    return std::string(origin) + std::string(location);
  }
  std::string_view path = base.substr(origin.size());
  if (const std::size_t query = path.find('?'); query != std::string_view::npos) {
    path = path.substr(0, query);
  }
  if (!location.empty() && location.front() == '?') {
    return std::string(origin) + std::string(path.empty() ? "/" : path) + std::string(location);
  }
  const std::size_t lastSlash = path.rfind('/');
  const std::string_view directory =
      lastSlash == std::string_view::npos ? std::string_view("/") : path.substr(0, lastSlash + 1);
  return std::string(origin) + std::string(directory) + std::string(location);
}

bool hasUnsafeUrlBytes(std::string_view text) {
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte == 0x7F) return true;
  }
  return false;
}

std::string encodeUnsafeUrlBytes(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte == 0x7F) {
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 15];
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace varnook
