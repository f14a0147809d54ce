#include "server/pullsource.h"

#include <algorithm>

#include "base/asciicase.h"
#include "base/decimal.h"
#include "server/grouprules.h"
#include "server/textutil.h"

namespace varnook::server {
namespace {

constexpr std::string_view kStatePrefix = "varnook.pull.";

std::string percentDecoded(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto hex = [](char c) {
      return c >= '0' && c <= '9'                             ? c - '0'
             : (asciiLower(c) >= 'a' && asciiLower(c) <= 'f') ? asciiLower(c) - 'a' + 10
                                                              : -1;
    };
    if (text[i] == '%' && i + 2 < text.size() && hex(text[i + 1]) >= 0 && hex(text[i + 2]) >= 0) {
      out += static_cast<char>(hex(text[i + 1]) * 16 + hex(text[i + 2]));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

}  // namespace

std::string PullSource::url() const {
  const bool v6 = host.find(':') != std::string::npos;
  return std::string(tls ? "nntps://" : "news://") + (v6 ? "[" + host + "]" : host) +
         (port == (tls ? 563 : 119) ? "" : ":" + std::to_string(port));
}

std::string PullSource::stateKey() const {
  return std::string(kStatePrefix) + asciiLowered(host) + ":" + std::to_string(port);
}

std::optional<PullSource> parsePullUrl(std::string_view url, std::string& error) {
  PullSource source;
  error = "'" + std::string(url) + "' is not news://HOST[:PORT]/PATTERN or nntps://...";
  if (startsWithNoCase(url, "news://")) {
    url.remove_prefix(7);
  } else if (startsWithNoCase(url, "nntps://")) {
    url.remove_prefix(8);
    source.tls = true;
    source.port = 563;
  } else {
    return std::nullopt;
  }
  const std::size_t slash = url.find('/');
  if (slash == std::string_view::npos) return std::nullopt;
  std::string_view authority = url.substr(0, slash);
  source.pattern = percentDecoded(url.substr(slash + 1));
  if (authority.find('@') != std::string_view::npos) {
    error = "give the user name with --user, not in the URL";
    return std::nullopt;
  }
  std::string_view port;
  if (!authority.empty() && authority.front() == '[') {
    const std::size_t close = authority.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    source.host = std::string(authority.substr(1, close - 1));
    const std::string_view rest = authority.substr(close + 1);
    if (!rest.empty() && rest.front() != ':') return std::nullopt;
    if (!rest.empty()) port = rest.substr(1);
  } else {
    const std::size_t colon = authority.find(':');
    source.host = std::string(authority.substr(0, colon));
    if (colon != std::string_view::npos) port = authority.substr(colon + 1);
  }
  if (!port.empty() || authority.find(':') != std::string_view::npos) {
    const auto value = parseDecimal<std::uint16_t>(port);
    if (!value || *value == 0) return std::nullopt;
    source.port = *value;
  }
  // The pattern goes to the server inside a command line.
  const bool clean = std::none_of(source.pattern.begin(), source.pattern.end(), [](char c) {
    return static_cast<unsigned char>(c) <= ' ' || c == 127;
  });
  if (source.host.empty() || source.pattern.empty() || !clean) return std::nullopt;
  error.clear();
  return source;
}

bool wildmatMatch(std::string_view pattern, std::string_view name) {
  bool matched = false;
  while (!pattern.empty()) {
    const std::size_t comma = std::min(pattern.find(','), pattern.size());
    std::string_view element = pattern.substr(0, comma);
    pattern.remove_prefix(std::min(comma + 1, pattern.size()));
    const bool negated = !element.empty() && element.front() == '!';
    if (negated) element.remove_prefix(1);
    if (!element.empty() && wildcardMatch(element, name)) matched = !negated;
  }
  return matched;
}

std::string encodePositions(const std::vector<std::pair<std::string, GroupPosition>>& groups) {
  std::string text;
  for (const auto& [group, position] : groups)
    text += group + ' ' + std::to_string(position.last) + ' ' +
            std::to_string(position.checkNumber) + ' ' +
            (position.checkId.empty() ? "-" : position.checkId) + '\n';
  return text;
}

std::vector<std::pair<std::string, GroupPosition>> decodePositions(std::string_view text) {
  std::vector<std::pair<std::string, GroupPosition>> groups;
  while (!text.empty()) {
    const std::size_t end = std::min(text.find('\n'), text.size());
    std::string_view line = text.substr(0, end);
    text.remove_prefix(std::min(end + 1, text.size()));
    std::string_view words[4];
    for (std::string_view& word : words) {
      const std::size_t blank = std::min(line.find(' '), line.size());
      word = line.substr(0, blank);
      line.remove_prefix(std::min(blank + 1, line.size()));
    }
    GroupPosition position;
    const auto number = [](std::string_view word, std::uint64_t& value) {
      const auto parsed = parseDecimal<std::uint64_t>(word);
      value = parsed.value_or(0);
      return parsed.has_value();
    };
    if (words[0].empty() || !number(words[1], position.last) ||
        !number(words[2], position.checkNumber) || words[3].empty() || !line.empty())
      continue;
    if (words[3] != "-") position.checkId = std::string(words[3]);
    groups.emplace_back(std::string(words[0]), std::move(position));
  }
  return groups;
}

}  // namespace varnook::server
