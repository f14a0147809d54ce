#pragma once

// A private XDG world for one test: its own config, data and cache folders set in the
// environment (and restored afterwards), with helpers to install a recording handler the
// way a user's desktop would, through xdg-mime.

#include <chrono>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/xdgdirs.h"

namespace varnook::testing {

class XdgSandbox {
 public:
  XdgSandbox();
  ~XdgSandbox();
  XdgSandbox(const XdgSandbox&) = delete;
  XdgSandbox& operator=(const XdgSandbox&) = delete;

  XdgDirs dirs() const { return XdgDirs::fromEnvironment(); }

  // Installs "<id>" in the data home: a .desktop file whose Exec runs a script that
  // records its arguments. `execArguments` follows the program in the Exec line.
  void addRecorder(const std::string& id, const std::string& execArguments = "%u",
                   const std::string& extraLines = "");
  // A .desktop file with this exact text, in the data home (or the system data folder).
  void addDesktopFile(const std::string& id, const std::string& text, bool system = false);
  // Makes `id` the default for `mimeType` with xdg-mime, as a user would.
  void setDefault(const std::string& mimeType, const std::string& id);
  // The arguments the recorder `id` was started with (without the program), waiting up
  // to `timeout` for the detached process to write them; nothing when it never ran.
  std::optional<std::vector<std::string>> waitForRecord(
      const std::string& id, std::chrono::milliseconds timeout = std::chrono::seconds(5)) const;
  // Whether the recorder `id` ran at all, after waiting briefly.
  bool recorderRan(const std::string& id) const;

  std::string root;
  std::string configHome;
  std::string dataHome;
  std::string cacheHome;
  std::string systemData;    // the only XDG_DATA_DIRS entry
  std::string systemConfig;  // the only XDG_CONFIG_DIRS entry
  std::string home;

 private:
  std::string recordFile(const std::string& id) const;
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

// Writes a file, creating its folders.
void writeTextFile(const std::string& fileName, const std::string& text, bool executable = false);
std::string readTextFile(const std::string& fileName);

}  // namespace varnook::testing
