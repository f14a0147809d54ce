#include "settings/storagepaths.h"

#include <unistd.h>

#include <vector>

#include "base/xdgdirs.h"

namespace varnook {

namespace {

constexpr std::string_view kDelimiters = "\\:/";

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

std::optional<std::string> registryFileName(std::string_view valueName) {
  if (valueName.empty()) valueName = "options";
  if (valueName == "." || valueName == ".." ||
      valueName.find_first_of(std::string_view("/\0", 2)) != std::string_view::npos) {
    return std::nullopt;
  }
  std::string folder = XdgDirs::fromEnvironment().programConfigFolder();
  if (folder.empty()) return std::nullopt;
  return folder + "/" + std::string(valueName);
}

std::string currentProgramFile() {
  std::vector<char> buffer(4096);
  const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
  if (length <= 0 || static_cast<std::size_t>(length) >= buffer.size()) return {};
  return std::string(buffer.data(), static_cast<std::size_t>(length));
}

}  // namespace varnook
