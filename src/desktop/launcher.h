#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace varnook {

// The full name of an executable program: `name` itself when it holds a "/", otherwise the
// first executable regular file of that name in the ":"-separated `searchPath` (empty and
// relative entries are skipped, so the current folder is never searched by accident).
std::optional<std::string> findProgram(std::string_view name, std::string_view searchPath);

struct LaunchResult {
  bool started = false;
  std::string error;  // why not, in the system's words
};

// Starts argv[0] (looked up in `searchPath`) with exactly these arguments, as a process of
// its own that this program neither waits for nor leaves behind as a zombie: no shell
// reads the arguments, so a URL with blanks, quotes, ";" or "$(...)" reaches the program
// as one argument and runs nothing else. Reports whether the program could be executed;
// its own later failure is its business. Descriptors other than 0, 1, 2 are not inherited.
LaunchResult startDetached(const std::vector<std::string>& argv, std::string_view searchPath);

}  // namespace varnook
