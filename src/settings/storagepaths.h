#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace varnook {

// Where a file-mode store keeps its stream, from its path setting and the program file's
// full name. "\", ":" and "/" all count as path delimiters.
// - empty `path`: the program file's name with its extension replaced by ".CFG" (the
//   extension starts at the last "." behind the last delimiter; without one ".CFG" is
//   appended);
// - `path` without a delimiter: that name in the program file's folder;
// - otherwise `path` as it stands.
std::string storageFileName(std::string_view path, std::string_view programFile);

// The file that stands in for the registry value: "<config folder>/varnook/<valueName>",
// "options" when `valueName` is empty. Nothing when there is no configuration folder or
// the value name is not a plain file name (it holds "/" or NUL, or is "." or "..").
std::optional<std::string> registryFileName(std::string_view valueName);

// The full name of this process's program file ("" when it cannot be found).
std::string currentProgramFile();

}  // namespace varnook
