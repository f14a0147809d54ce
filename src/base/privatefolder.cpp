#include "base/privatefolder.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace varnook {

std::string createPrivateFolder(const std::string& folder) {
  if (folder.empty()) return "no folder";
  // Walk down from the top so that every missing level is created with the same mode.
  std::size_t next = folder.find('/', 1);
  for (;;) {
    const std::string level = folder.substr(0, next);
    if (::mkdir(level.c_str(), S_IRWXU) != 0 && errno != EEXIST) return std::strerror(errno);
    if (next == std::string::npos) break;
    next = folder.find('/', next + 1);
  }
  struct stat info {};
  if (::stat(folder.c_str(), &info) != 0) return std::strerror(errno);
  if (!S_ISDIR(info.st_mode)) return std::strerror(ENOTDIR);
  return {};
}

}  // namespace varnook
