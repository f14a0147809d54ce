#include "desktop/launcher.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

extern char** environ;

namespace varnook {

namespace {

bool isExecutableFile(const std::string& fileName) {
  struct stat info {};
  return ::stat(fileName.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
         ::access(fileName.c_str(), X_OK) == 0;
}

bool writeErrno(int fd, int error) {
  return ::write(fd, &error, sizeof error) == static_cast<ssize_t>(sizeof error);
}

// Runs in the forked child, where only async-signal-safe calls are allowed: everything it
// needs was prepared before the fork.
[[noreturn]] void runChild(int reportFd, const char* program, char* const* args) {
  ::setsid();
  const pid_t grandchild = ::fork();
  if (grandchild < 0) {
    writeErrno(reportFd, errno);
    ::_exit(1);
  }
  if (grandchild > 0) ::_exit(0);  // the grandchild is adopted by init: no zombie here

  sigset_t none;
  sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
  struct sigaction byDefault {};
  byDefault.sa_handler = SIG_DFL;
  ::sigaction(SIGPIPE, &byDefault, nullptr);
#ifdef CLOSE_RANGE_CLOEXEC
  ::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC);
#endif
  ::execve(program, args, environ);
  writeErrno(reportFd, errno);
  ::_exit(127);
}

}  // namespace

std::optional<std::string> findProgram(std::string_view name, std::string_view searchPath) {
  if (name.empty()) return std::nullopt;
  if (name.find('/') != std::string_view::npos) {
    std::string fileName(name);
    if (isExecutableFile(fileName)) return fileName;
    return std::nullopt;
  }
  std::size_t start = 0;
  while (start <= searchPath.size()) {
    std::size_t end = searchPath.find(':', start);
    if (end == std::string_view::npos) end = searchPath.size();
    const std::string_view folder = searchPath.substr(start, end - start);
    start = end + 1;
    if (folder.empty() || folder.front() != '/') continue;
    std::string candidate = std::string(folder) + "/" + std::string(name);
    if (isExecutableFile(candidate)) return candidate;
  }
  return std::nullopt;
}

LaunchResult startDetached(const std::vector<std::string>& argv, std::string_view searchPath) {
  LaunchResult result;
  if (argv.empty() || argv.front().empty()) {
    result.error = "no program";
    return result;
  }
  const auto program = findProgram(argv.front(), searchPath);
  if (!program) {
    result.error = argv.front() + ": " + std::strerror(ENOENT);
    return result;
  }
  std::vector<char*> args;
  args.reserve(argv.size() + 1);
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);

  int report[2];
  if (::pipe2(report, O_CLOEXEC) != 0) {
    result.error = std::strerror(errno);
    return result;
  }
  const pid_t child = ::fork();
  if (child < 0) {
    result.error = std::strerror(errno);
    ::close(report[0]);
    ::close(report[1]);
    return result;
  }
  if (child == 0) {
    ::close(report[0]);
    runChild(report[1], program->c_str(), args.data());
  }
  ::close(report[1]);
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  // The pipe closes without a word when execve succeeded (close-on-exec); otherwise the
  // child or grandchild wrote its errno.
  int error = 0;
  ssize_t got;
  do {
    got = ::read(report[0], &error, sizeof error);
  } while (got < 0 && errno == EINTR);
  ::close(report[0]);
  if (got == static_cast<ssize_t>(sizeof error)) {
    result.error = std::strerror(error);
    return result;
  }
  result.started = true;
  return result;
}

}  // namespace varnook
