#include "server/updateinfo.h"

#include <cstdio>
#include <sstream>

#include "server/textutil.h"
#include "varnook/version.h"

namespace varnook::server {
namespace {

constexpr const char* kNames[] = {"NewestVersion", "OldestValidVersion", "RevisionsURL",
                                  "MessageUrl", "MessageSubject"};

}  // namespace

std::string agentVersionString(std::string_view dottedVersion) {
  int parts[4] = {0, 0, 0, 0};
  int index = 0;
  for (char c : dottedVersion) {
    if (c == '.') {
      if (++index == 4) break;
    } else if (c >= '0' && c <= '9') {
      parts[index] = std::min(parts[index] * 10 + (c - '0'), 99999);
    } else {
      break;
    }
  }
  char text[64];
  std::snprintf(text, sizeof text, "%d.%02d.%02d.%02d", parts[0], parts[1], parts[2], parts[3]);
  return text;
}

UpdateInfo::UpdateInfo() {
  set("NewestVersion", agentVersionString(kVersion));
}

void UpdateInfo::set(const std::string& name, const std::string& value) {
  for (auto& entry : values_) {
    if (entry.first == name) {
      entry.second = value;
      return;
    }
  }
  values_.emplace_back(name, value);
}

std::optional<UpdateInfo> UpdateInfo::parse(std::string_view text, std::string_view name,
                                            std::string& error) {
  UpdateInfo info;
  std::istringstream lines{std::string(text)};
  std::string line;
  int number = 0;
  while (std::getline(lines, line)) {
    ++number;
    const std::string unfolded = singleLine(line);
    const std::string_view trimmed = trimBlanks(unfolded);
    if (trimmed.empty() || trimmed.front() == '#') continue;
    const std::size_t equals = trimmed.find('=');
    const std::string key(trimBlanks(trimmed.substr(0, equals)));
    bool known = false;
    for (const char* candidate : kNames) known = known || key == candidate;
    if (equals == std::string_view::npos || !known) {
      error = std::string(name) + ":" + std::to_string(number) +
              ": expected Name=value with a name of NewestVersion, OldestValidVersion, "
              "RevisionsURL, MessageUrl or MessageSubject";
      return std::nullopt;
    }
    info.set(key, std::string(trimBlanks(trimmed.substr(equals + 1))));
  }
  return info;
}

std::optional<UpdateInfo> UpdateInfo::load(const std::string& path, std::string& error) {
  const auto text = readConfigurationFile(path, error);
  if (!text) return std::nullopt;
  return parse(*text, path, error);
}

std::string UpdateInfo::text() const {
  std::string out;
  for (const auto& [name, value] : values_) out += name + "=" + value + "\n";
  return out;
}

}  // namespace varnook::server
