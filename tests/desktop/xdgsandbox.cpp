#include "xdgsandbox.h"

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace varnook::testing {

namespace fs = std::filesystem;

void writeProgram(const std::string& fileName, const std::string& text) {
  if (!writeFile(fileName, text)) throw std::runtime_error("cannot write " + fileName);
  ::chmod(fileName.c_str(), 0755);
}

XdgSandbox::XdgSandbox() {
  if (root.empty()) throw std::runtime_error("no temporary folder");
  // The variables that pick folders, handlers and the desktop: none of the machine's.
  for (const char* name :
       {"XDG_CURRENT_DESKTOP", "BROWSER", "DESKTOP_SESSION", "KDE_FULL_SESSION",
        "GNOME_DESKTOP_SESSION_ID", "XDG_SESSION_DESKTOP", "HOME", "XDG_CONFIG_HOME",
        "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_DATA_DIRS", "XDG_CONFIG_DIRS"}) {
    const char* value = std::getenv(name);
    saved_.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
    ::unsetenv(name);
  }
  const std::pair<std::string*, const char*> folders[] = {{&home, "HOME"},
                                                          {&configHome, "XDG_CONFIG_HOME"},
                                                          {&dataHome, "XDG_DATA_HOME"},
                                                          {&cacheHome, "XDG_CACHE_HOME"},
                                                          {&systemData, "XDG_DATA_DIRS"},
                                                          {&systemConfig, "XDG_CONFIG_DIRS"}};
  for (const auto& [folder, variable] : folders) {
    *folder = root + "/" + variable;
    fs::create_directories(*folder);
    ::setenv(variable, folder->c_str(), 1);
  }
  fs::create_directories(dataHome + "/applications");
  fs::create_directories(systemData + "/applications");
}

XdgSandbox::~XdgSandbox() {
  for (const auto& [name, value] : saved_) {
    if (value) {
      ::setenv(name.c_str(), value->c_str(), 1);
    } else {
      ::unsetenv(name.c_str());
    }
  }
}

void XdgSandbox::addRecorder(const std::string& id, const std::string& execArguments) {
  const std::string script = root + "/bin/" + id + ".sh";
  const std::string record = root + "/records/" + id + ".args";
  fs::create_directories(root + "/records");
  // Each argument ends with a NUL byte; the file appears whole through a rename.
  writeProgram(script, "#!/bin/sh\nprintf '%s\\0' \"$@\" > '" + record + ".tmp'\nmv '" + record +
                           ".tmp' '" + record + "'\n");
  addDesktopFile(id, "[Desktop Entry]\nType=Application\nName=Recorder " + id + "\nExec=" + script +
                         " " + execArguments + "\n");
}

void XdgSandbox::addHandler(const std::string& id, std::initializer_list<const char*> mimeTypes,
                            const std::string& execArguments) {
  addRecorder(id, execArguments);
  for (const char* type : mimeTypes) setDefault(type, id);
}

void XdgSandbox::addDesktopFile(const std::string& id, const std::string& text, bool system) {
  writeFile((system ? systemData : dataHome) + "/applications/" + id, text);
}

void XdgSandbox::setDefault(const std::string& mimeType, const std::string& id) {
  // Both come from the test itself, without quotes in them.
  const std::string command = "xdg-mime default '" + id + "' '" + mimeType + "'";
  if (std::system(command.c_str()) != 0) throw std::runtime_error(command + " failed");
}

std::optional<std::vector<std::string>> XdgSandbox::waitForRecord(
    const std::string& id, std::chrono::milliseconds timeout) const {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  const std::string file = root + "/records/" + id + ".args";
  while (!fs::exists(file)) {
    if (std::chrono::steady_clock::now() > deadline) return std::nullopt;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  std::istringstream bytes(readFile(file));
  fs::remove(file);
  std::vector<std::string> args;
  for (std::string arg; std::getline(bytes, arg, '\0');) args.push_back(arg);
  return args;
}

}  // namespace varnook::testing
