#pragma once

#include <sys/types.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace varnook {

// The full name of an executable program: `name` itself when it holds a "/", otherwise the
// first executable regular file of that name in the ":"-separated `searchPath` (empty and
// relative entries are skipped, so the current folder is never searched by accident).
std::optional<std::string> findProgram(std::string_view name, std::string_view searchPath);

// How a started program's first moments went: it failed when it ended within the watch
// time with a status other than 0 (or by a signal). `message` is the end of what it wrote
// to its standard error (a few lines), or its status when it wrote nothing.
struct EarlyExit {
  bool failed = false;
  std::string message;
};

// Watches a program started by startDetached for its first moments, from a small watcher
// process of its own. The descriptor becomes readable when the watch is over: the program
// has ended or the time has passed. Destroying the watch ends the watcher at once; the
// program runs on either way.
class StartWatch {
 public:
  StartWatch(int descriptor, pid_t watcher) : descriptor_(descriptor), watcher_(watcher) {}
  ~StartWatch();
  StartWatch(const StartWatch&) = delete;
  StartWatch& operator=(const StartWatch&) = delete;

  int descriptor() const { return descriptor_; }
  // What the watcher saw; waits for the end of the watch. Once only: the watch is then over.
  EarlyExit finish();

 private:
  int descriptor_ = -1;
  pid_t watcher_ = -1;
};

struct LaunchResult {
  bool started = false;
  std::string error;  // why not, in the system's words
  // Present when the start was watched and the program was executed.
  std::shared_ptr<StartWatch> watch;
};

// Starts argv[0] (looked up in `searchPath`) with exactly these arguments, as a process of
// its own that this program neither waits for nor leaves behind as a zombie: no shell
// reads the arguments, so a URL with blanks, quotes, ";" or "$(...)" reaches the program
// as one argument and runs nothing else. Reports whether the program could be executed.
// With a `watch` time, the first 64 KiB the program writes to its standard error are kept
// (in memory), and a StartWatch tells whether it failed within that time; without one, its
// later failure is its business. Descriptors other than 0, 1, 2 are not inherited.
LaunchResult startDetached(const std::vector<std::string>& argv, std::string_view searchPath,
                           std::chrono::milliseconds watch = std::chrono::milliseconds(0));

}  // namespace varnook
