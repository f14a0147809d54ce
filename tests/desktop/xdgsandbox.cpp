#include "xdgsandbox.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace varnook::testing {

namespace fs = std::filesystem;

namespace {

// The variables a test changes, restored afterwards.
const char* const kVariables =
    "XDG_CONFIG_HOME XDG_DATA_HOME XDG_CACHE_HOME XDG_DATA_DIRS XDG_CONFIG_DIRS HOME "
    "XDG_CURRENT_DESKTOP BROWSER DESKTOP_SESSION KDE_FULL_SESSION GNOME_DESKTOP_SESSION_ID "
    "XDG_SESSION_DESKTOP";

}  // namespace

void writeTextFile(const std::string& fileName, const std::string& text, bool executable) {
  fs::create_directories(fs::path(fileName).parent_path());
  std::ofstream out(fileName, std::ios::binary | std::ios::trunc);
  if (!(out << text).flush()) throw std::runtime_error("cannot write " + fileName);
  if (executable) ::chmod(fileName.c_str(), 0755);
}

std::string readTextFile(const std::string& fileName) {
  std::ifstream in(fileName, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

XdgSandbox::XdgSandbox() {
  std::string pattern = (fs::temp_directory_path() / "varnook-xdg-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  root = pattern;
  home = root + "/home";
  configHome = root + "/config";
  dataHome = root + "/data";
  cacheHome = root + "/cache";
  systemData = root + "/system-data";
  systemConfig = root + "/system-config";
  for (const auto& folder : {home, configHome, dataHome + "/applications", cacheHome,
                             systemData + "/applications", systemConfig}) {
    fs::create_directories(folder);
  }
  std::istringstream names(kVariables);
  for (std::string name; names >> name;) {
    const char* value = std::getenv(name.c_str());
    saved_.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
    ::unsetenv(name.c_str());
  }
  ::setenv("HOME", home.c_str(), 1);
  ::setenv("XDG_CONFIG_HOME", configHome.c_str(), 1);
  ::setenv("XDG_DATA_HOME", dataHome.c_str(), 1);
  ::setenv("XDG_CACHE_HOME", cacheHome.c_str(), 1);
  ::setenv("XDG_DATA_DIRS", systemData.c_str(), 1);
  ::setenv("XDG_CONFIG_DIRS", systemConfig.c_str(), 1);
}

XdgSandbox::~XdgSandbox() {
  for (const auto& [name, value] : saved_) {
    if (value) {
      ::setenv(name.c_str(), value->c_str(), 1);
    } else {
      ::unsetenv(name.c_str());
    }
  }
  std::error_code ec;
  fs::remove_all(root, ec);
}

std::string XdgSandbox::recordFile(const std::string& id) const {
  return root + "/records/" + id + ".args";
}

void XdgSandbox::addRecorder(const std::string& id, const std::string& execArguments,
                             const std::string& extraLines) {
  const std::string script = root + "/bin/" + id + ".sh";
  const std::string record = recordFile(id);
  fs::create_directories(root + "/records");
  // Each argument ends with a NUL byte; the file appears whole through a rename.
  writeTextFile(script,
                "#!/bin/sh\nprintf '%s\\0' \"$@\" > '" + record + ".tmp'\nmv '" + record +
                    ".tmp' '" + record + "'\n",
                true);
  addDesktopFile(id, "[Desktop Entry]\nType=Application\nName=Recorder " + id + "\nExec=" + script +
                         " " + execArguments + "\n" + extraLines);
}

void XdgSandbox::addDesktopFile(const std::string& id, const std::string& text, bool system) {
  writeTextFile((system ? systemData : dataHome) + "/applications/" + id, text);
}

void XdgSandbox::setDefault(const std::string& mimeType, const std::string& id) {
  const pid_t child = ::fork();
  if (child == 0) {
    const char* argv[] = {"xdg-mime", "default", id.c_str(), mimeType.c_str(), nullptr};
    ::execvp("xdg-mime", const_cast<char**>(argv));
    ::_exit(127);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    throw std::runtime_error("xdg-mime default " + id + " " + mimeType + " failed");
  }
}

std::optional<std::vector<std::string>> XdgSandbox::waitForRecord(
    const std::string& id, std::chrono::milliseconds timeout) const {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  const std::string file = recordFile(id);
  while (!fs::exists(file)) {
    if (std::chrono::steady_clock::now() > deadline) return std::nullopt;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  std::istringstream bytes(readTextFile(file));
  std::vector<std::string> args;
  for (std::string arg; std::getline(bytes, arg, '\0');) args.push_back(arg);
  return args;
}

bool XdgSandbox::recorderRan(const std::string& id) const {
  return waitForRecord(id, std::chrono::milliseconds(300)).has_value();
}

}  // namespace varnook::testing
