#pragma once

// A private XDG world for one test: its own home, config, data and cache folders set in
// the environment (and restored afterwards), and handlers that record their arguments,
// registered the way a user's desktop does it, through xdg-mime.

#include <sys/stat.h>

#include <chrono>
#include <initializer_list>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/xdgdirs.h"
#include "support/realservers.h"

namespace varnook::testing {

class XdgSandbox {
 public:
  XdgSandbox();
  ~XdgSandbox();
  XdgSandbox(const XdgSandbox&) = delete;
  XdgSandbox& operator=(const XdgSandbox&) = delete;

  XdgDirs dirs() const { return XdgDirs::fromEnvironment(); }

  // Installs "<id>" in the data home: a .desktop file whose Exec runs a script that
  // records its arguments; `execArguments` follows the script in the Exec line.
  void addRecorder(const std::string& id, const std::string& execArguments = "%u");
  // A recorder that is the default handler of every one of `mimeTypes`.
  void addHandler(const std::string& id, std::initializer_list<const char*> mimeTypes,
                  const std::string& execArguments = "%u");
  // A .desktop file with this exact text, in the data home (or the system data folder).
  void addDesktopFile(const std::string& id, const std::string& text, bool system = false);
  // Makes `id` the default for `mimeType` with xdg-mime, as a user would.
  void setDefault(const std::string& mimeType, const std::string& id);
  // The arguments (without the program) of the recorder's last start, waiting up to
  // `timeout` for the detached process to write them; nothing when it did not run. The
  // record is taken: the next call waits for the next start.
  std::optional<std::vector<std::string>> waitForRecord(
      const std::string& id, std::chrono::milliseconds timeout = std::chrono::seconds(5)) const;
  // Whether the recorder ran at all, after waiting briefly.
  bool recorderRan(const std::string& id) const {
    return waitForRecord(id, std::chrono::milliseconds(300)).has_value();
  }

  TempFolder folder;
  const std::string root = folder.path();
  std::string home, configHome, dataHome, cacheHome;
  std::string systemData;    // the only XDG_DATA_DIRS entry
  std::string systemConfig;  // the only XDG_CONFIG_DIRS entry

 private:
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

// Writes a shell script that may be run, creating its folders.
void writeProgram(const std::string& fileName, const std::string& text);
// The access bits of a file or folder, 0 when it is missing.
inline unsigned fileMode(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 ? info.st_mode & 0777 : 0;
}

}  // namespace varnook::testing
