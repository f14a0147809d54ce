#include "desktop/mimeapps.h"

#include <algorithm>
#include <filesystem>
#include <set>
#include <system_error>

#include "base/asciicase.h"
#include "base/wholefile.h"
#include "desktop/keyfile.h"
#include "desktop/launcher.h"

namespace varnook {

namespace {

std::vector<std::string> namedIn(const KeyFile& file, std::string_view group,
                                 std::string_view mimeType) {
  const KeyFile::Group* g = file.group(group);
  if (g == nullptr) return {};
  for (const auto& [key, value] : g->entries) {
    if (equalsNoCase(key, mimeType)) return splitList(value);
  }
  return {};
}

bool usable(const DesktopEntry& entry, const XdgDirs& dirs) {
  if (entry.type != "Application" || entry.hidden || entry.exec.empty()) return false;
  if (!entry.tryExec.empty() && !findProgram(entry.tryExec, dirs.path)) return false;
  return true;
}

std::optional<DesktopEntry> readEntry(const std::string& fileName, std::string id) {
  auto bytes = smallFileBytes(fileName);
  if (!bytes) return std::nullopt;
  auto entry = parseDesktopEntry(*bytes);
  if (!entry) return std::nullopt;
  entry->id = std::move(id);
  entry->path = fileName;
  return entry;
}

// Where a desktop id's file lies below one application folder: the id itself, or with
// one of its "-" standing for a sub-folder ("kde-konqueror.desktop" in "kde/").
std::optional<std::string> fileForId(const std::string& folder, std::string_view id) {
  std::error_code ec;
  std::string candidate = folder + "/" + std::string(id);
  if (std::filesystem::is_regular_file(candidate, ec)) return candidate;
  for (std::size_t dash = id.find('-'); dash != std::string_view::npos;
       dash = id.find('-', dash + 1)) {
    std::string nested(id);
    nested[dash] = '/';
    candidate = folder + "/" + nested;
    if (std::filesystem::is_regular_file(candidate, ec)) return candidate;
  }
  return std::nullopt;
}

// Every installed entry that declares the type, by folder importance; an id seen in a
// more important folder hides the same id further down.
std::vector<DesktopEntry> entriesDeclaring(const XdgDirs& dirs, std::string_view mimeType) {
  std::vector<DesktopEntry> found;
  std::set<std::string> seen;
  for (const std::string& folder : dirs.applicationFolders()) {
    std::error_code ec;
    std::vector<std::pair<std::string, std::string>> files;  // id, path
    std::filesystem::recursive_directory_iterator it(
        folder, std::filesystem::directory_options::skip_permission_denied, ec);
    for (; !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
      if (it.depth() > 4) {
        it.disable_recursion_pending();
        continue;
      }
      const auto& path = it->path();
      if (path.extension() != ".desktop" || !it->is_regular_file(ec)) continue;
      std::string id = path.lexically_relative(folder).generic_string();
      std::replace(id.begin(), id.end(), '/', '-');
      files.emplace_back(std::move(id), path.string());
    }
    std::sort(files.begin(), files.end());  // a stable order, whatever the file system gives
    for (auto& [id, fileName] : files) {
      if (!seen.insert(id).second) continue;
      auto entry = readEntry(fileName, id);
      if (!entry || !usable(*entry, dirs)) continue;
      const bool declares =
          std::any_of(entry->mimeTypes.begin(), entry->mimeTypes.end(),
                      [&](const std::string& t) { return equalsNoCase(t, mimeType); });
      if (declares) found.push_back(std::move(*entry));
    }
  }
  return found;
}

}  // namespace

std::vector<std::string> mimeappsListFiles(const XdgDirs& dirs) {
  std::vector<std::string> folders;
  if (!dirs.configHome.empty()) folders.push_back(dirs.configHome);
  for (const auto& d : dirs.configDirs) folders.push_back(d);
  if (!dirs.dataHome.empty()) folders.push_back(dirs.dataHome + "/applications");
  for (const auto& d : dirs.dataDirs) folders.push_back(d + "/applications");
  std::vector<std::string> files;
  for (const auto& folder : folders) {
    for (const auto& desktop : dirs.currentDesktops) {
      files.push_back(folder + "/" + desktop + "-mimeapps.list");
    }
    files.push_back(folder + "/mimeapps.list");
  }
  return files;
}

std::vector<std::string> listedApplications(std::string_view mimeappsText, std::string_view group,
                                            std::string_view mimeType) {
  return namedIn(KeyFile::parse(mimeappsText), group, mimeType);
}

std::optional<DesktopEntry> findInstalledEntry(const XdgDirs& dirs, std::string_view id) {
  if (id.empty() || id.find('/') != std::string_view::npos || id == "." || id == "..") {
    return std::nullopt;  // an id is a file name, never a path
  }
  for (const std::string& folder : dirs.applicationFolders()) {
    auto fileName = fileForId(folder, id);
    if (!fileName) continue;
    // The first folder holding the id decides, even when its entry is hidden: that is how
    // a user deletes a system entry.
    auto entry = readEntry(*fileName, std::string(id));
    if (entry && usable(*entry, dirs)) return entry;
    return std::nullopt;
  }
  return std::nullopt;
}

std::optional<DesktopEntry> defaultApplication(const XdgDirs& dirs, std::string_view mimeType) {
  std::vector<KeyFile> lists;
  for (const std::string& fileName : mimeappsListFiles(dirs)) {
    if (auto bytes = smallFileBytes(fileName)) lists.push_back(KeyFile::parse(*bytes));
  }
  for (const KeyFile& list : lists) {
    for (const std::string& id : namedIn(list, "Default Applications", mimeType)) {
      if (auto entry = findInstalledEntry(dirs, id)) return entry;
    }
  }
  std::set<std::string> removed;
  for (const KeyFile& list : lists) {
    for (const std::string& id : namedIn(list, "Added Associations", mimeType)) {
      if (removed.count(id) != 0) continue;
      if (auto entry = findInstalledEntry(dirs, id)) return entry;
    }
    for (std::string& id : namedIn(list, "Removed Associations", mimeType)) {
      removed.insert(std::move(id));
    }
  }
  for (DesktopEntry& entry : entriesDeclaring(dirs, mimeType)) {
    if (removed.count(entry.id) == 0) return std::move(entry);
  }
  return std::nullopt;
}

}  // namespace varnook
