#pragma once

#include <string>
#include <vector>

namespace varnook {

// The folders of the XDG base directory scheme, and the environment facts that choosing a
// default application depends on. Taken from the environment once and passed around, so
// that every lookup of one command sees the same folders.
struct XdgDirs {
  std::string configHome;               // $XDG_CONFIG_HOME or ~/.config
  std::vector<std::string> configDirs;  // $XDG_CONFIG_DIRS or /etc/xdg
  std::string dataHome;                 // $XDG_DATA_HOME or ~/.local/share
  std::vector<std::string> dataDirs;    // $XDG_DATA_DIRS or /usr/local/share, /usr/share
  std::string cacheHome;                // $XDG_CACHE_HOME or ~/.cache
  std::string home;                     // $HOME (or the password database's entry)
  // $XDG_CURRENT_DESKTOP split at ":" and lowered ("gnome", "kde"), most specific first.
  std::vector<std::string> currentDesktops;
  // $BROWSER: the user's own browser command list, ":"-separated; consulted only when no
  // XDG handler is registered.
  std::string browserVariable;
  // $PATH, searched for the programs that handlers name.
  std::string path;

  // The folders as this process's environment gives them. Relative paths in the variables
  // are ignored, as the base directory scheme asks; a folder without a usable home is empty.
  static XdgDirs fromEnvironment();

  // The one rule for a base folder: `value` (the variable's content, null when unset) when
  // it is an absolute path, else `fallback` below `home` when that is known, else empty.
  // Relative paths are ignored, as the base directory scheme asks.
  static std::string baseFolder(const char* value, const std::string& home, const char* fallback);

  // "<cacheHome>/varnook": where message files and saved pages go (empty when unknown).
  std::string programCacheFolder() const;
  // "<configHome>/varnook" (empty when unknown).
  std::string programConfigFolder() const;
  // "<dataHome>/varnook": where the archive server keeps its index (empty when unknown).
  std::string programDataFolder() const;
  // The folders holding .desktop files, most important first: dataHome, then dataDirs,
  // each followed by "/applications".
  std::vector<std::string> applicationFolders() const;
};

}  // namespace varnook
