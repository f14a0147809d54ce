#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace varnook {

// A "key file" as the desktop uses them everywhere: .desktop files, mimeapps.list, and
// the INI-style settings of mail programs. "[Group]" lines open groups; "key=value" lines
// (blanks around "=" ignored) fill them; lines starting with "#" or ";" and lines that are
// neither are skipped, so a damaged file yields what it still says. Keys keep any locale
// suffix ("Name[de]"). Values are raw; unescapeValue decodes the string escapes.
class KeyFile {
 public:
  struct Group {
    std::string name;
    std::vector<std::pair<std::string, std::string>> entries;
  };

  static KeyFile parse(std::string_view bytes);

  const std::vector<Group>& groups() const { return groups_; }
  // The first group of that name, or null.
  const Group* group(std::string_view name) const;
  // The value of the first `key` in the first group `group`; nothing when either is absent.
  std::optional<std::string> value(std::string_view group, std::string_view key) const;

 private:
  std::vector<Group> groups_;
};

// The value of `key` in `group`, or nothing.
std::optional<std::string> groupValue(const KeyFile::Group& group, std::string_view key);

// Decodes the escapes of a key-file string: \s blank, \n, \t, \r, \\ backslash; any other
// backslash pair stays as it is, for the Exec key's own quoting to read.
std::string unescapeValue(std::string_view value);

// Splits a list value at ";" (a "\;" stays a ";" in the item); empty items are dropped.
std::vector<std::string> splitList(std::string_view value);

// Removes blanks and tabs at both ends.
std::string_view trimBlanks(std::string_view text);

}  // namespace varnook
