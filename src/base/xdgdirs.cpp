#include "base/xdgdirs.h"

#include <pwd.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <string_view>

namespace varnook {

namespace {

std::string variable(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? std::string() : std::string(value);
}

std::vector<std::string> split(std::string_view text, char separator) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find(separator, start);
    if (end == std::string_view::npos) end = text.size();
    if (end > start) parts.emplace_back(text.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

std::vector<std::string> absoluteOnly(std::vector<std::string> folders) {
  std::vector<std::string> kept;
  for (auto& folder : folders) {
    if (!folder.empty() && folder.front() == '/') kept.push_back(std::move(folder));
  }
  return kept;
}

std::string homeFolder() {
  std::string home = variable("HOME");
  if (!home.empty() && home.front() == '/') return home;
  if (const passwd* entry = ::getpwuid(::getuid()); entry != nullptr && entry->pw_dir) {
    home = entry->pw_dir;
    if (!home.empty() && home.front() == '/') return home;
  }
  return {};
}

}  // namespace

std::string XdgDirs::baseFolder(const char* value, const std::string& home, const char* fallback) {
  if (value != nullptr && value[0] == '/') return value;
  return home.empty() ? std::string() : home + fallback;
}

XdgDirs XdgDirs::fromEnvironment() {
  XdgDirs dirs;
  dirs.home = homeFolder();
  dirs.configHome = baseFolder(std::getenv("XDG_CONFIG_HOME"), dirs.home, "/.config");
  dirs.dataHome = baseFolder(std::getenv("XDG_DATA_HOME"), dirs.home, "/.local/share");
  dirs.cacheHome = baseFolder(std::getenv("XDG_CACHE_HOME"), dirs.home, "/.cache");
  dirs.configDirs = absoluteOnly(split(variable("XDG_CONFIG_DIRS"), ':'));
  if (dirs.configDirs.empty()) dirs.configDirs = {"/etc/xdg"};
  dirs.dataDirs = absoluteOnly(split(variable("XDG_DATA_DIRS"), ':'));
  if (dirs.dataDirs.empty()) dirs.dataDirs = {"/usr/local/share", "/usr/share"};
  for (std::string desktop : split(variable("XDG_CURRENT_DESKTOP"), ':')) {
    for (char& c : desktop) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    dirs.currentDesktops.push_back(std::move(desktop));
  }
  dirs.browserVariable = variable("BROWSER");
  dirs.path = variable("PATH");
  if (dirs.path.empty()) dirs.path = "/usr/local/bin:/usr/bin:/bin";
  return dirs;
}

std::string XdgDirs::programCacheFolder() const {
  return cacheHome.empty() ? std::string() : cacheHome + "/varnook";
}

std::string XdgDirs::programConfigFolder() const {
  return configHome.empty() ? std::string() : configHome + "/varnook";
}

std::string XdgDirs::programDataFolder() const {
  return dataHome.empty() ? std::string() : dataHome + "/varnook";
}

std::vector<std::string> XdgDirs::applicationFolders() const {
  std::vector<std::string> folders;
  if (!dataHome.empty()) folders.push_back(dataHome + "/applications");
  for (const auto& dir : dataDirs) folders.push_back(dir + "/applications");
  return folders;
}

}  // namespace varnook
