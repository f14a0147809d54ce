#include "settings/storagepaths.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace varnook {

namespace {

constexpr std::string_view kDelimiters = "\\:/";

bool isAbsolute(const char* path) {
  return path != nullptr && path[0] == '/';
}

}  // namespace

std::string storageFileName(std::string_view path, std::string_view programFile) {
  const std::size_t lastDelimiter = programFile.find_last_of(kDelimiters);
  const std::size_t nameStart = lastDelimiter == std::string_view::npos ? 0 : lastDelimiter + 1;
  if (path.empty()) {
    const std::size_t dot = programFile.rfind('.');
    const bool hasExtension = dot != std::string_view::npos && dot >= nameStart;
    std::string name(programFile.substr(0, hasExtension ? dot : programFile.size()));
    name += ".CFG";
    return name;
  }
  if (path.find_first_of(kDelimiters) == std::string_view::npos) {
    std::string name(programFile.substr(0, nameStart));
    name += path;
    return name;
  }
  return std::string(path);
}

std::optional<std::string> userConfigFolder(const char* xdgConfigHome, const char* home) {
  // A relative XDG_CONFIG_HOME is invalid and must be ignored.
  if (isAbsolute(xdgConfigHome)) return std::string(xdgConfigHome);
  if (isAbsolute(home)) return std::string(home) + "/.config";
  return std::nullopt;
}

std::optional<std::string> userConfigFolder() {
  const char* home = std::getenv("HOME");
  std::string fromPasswd;
  if (home == nullptr) {
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
        found->pw_dir) {
      fromPasswd = found->pw_dir;
      home = fromPasswd.c_str();
    }
  }
  return userConfigFolder(std::getenv("XDG_CONFIG_HOME"), home);
}

std::optional<std::string> registryFileName(std::string_view valueName) {
  if (valueName.empty()) valueName = "options";
  if (valueName == "." || valueName == ".." ||
      valueName.find_first_of(std::string_view("/\0", 2)) != std::string_view::npos) {
    return std::nullopt;
  }
  auto folder = userConfigFolder();
  if (!folder) return std::nullopt;
  *folder += "/varnook/";
  *folder += valueName;
  return folder;
}

std::string currentProgramFile() {
  std::vector<char> buffer(4096);
  const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
  if (length <= 0 || static_cast<std::size_t>(length) >= buffer.size()) return {};
  return std::string(buffer.data(), static_cast<std::size_t>(length));
}

}  // namespace varnook
