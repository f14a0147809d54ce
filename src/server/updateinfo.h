#pragma once

// The answer of /varnook/update.txt: name=value lines that tell the agent whether a newer
// version exists ("NewestVersion", by default the server's own version), and optionally
// "OldestValidVersion", "RevisionsURL", "MessageUrl" and "MessageSubject" from a
// configuration file.

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace varnook::server {

// "1.2.3" -> "1.02.03.00": the agent's version-string form (major, then minor, release
// and build as two digits each).
std::string agentVersionString(std::string_view dottedVersion);

class UpdateInfo {
 public:
  // NewestVersion = this program's version.
  UpdateInfo();

  // Reads name=value lines ("#" comments and blank lines allowed) over the defaults;
  // names other than the five known ones are refused. Returns nothing and sets `error`
  // ("<file>:<line>: ...") on failure.
  static std::optional<UpdateInfo> load(const std::string& path, std::string& error);
  static std::optional<UpdateInfo> parse(std::string_view text, std::string_view name,
                                         std::string& error);

  // The text/plain answer, one "Name=value" line per value, line-feed line ends.
  std::string text() const;

  const std::vector<std::pair<std::string, std::string>>& values() const { return values_; }

 private:
  void set(const std::string& name, const std::string& value);
  std::vector<std::pair<std::string, std::string>> values_;
};

}  // namespace varnook::server
