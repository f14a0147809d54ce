#include "desktop/launcher.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string_view>

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

// The watcher's report on a program that failed early: its wait status, then the end of
// what it wrote to its standard error. Small enough to arrive in one write.
constexpr std::size_t kReportTail = 2048;
constexpr long kPollNanoseconds = 20'000'000;
constexpr off_t kErrorFileSize = 64 * 1024;

// The program itself, in the grandchild: only async-signal-safe calls from here on.
[[noreturn]] void runProgram(int reportFd, int errorFd, const char* program, char* const* args) {
  sigset_t none;
  sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
  struct sigaction byDefault {};
  byDefault.sa_handler = SIG_DFL;
  ::sigaction(SIGPIPE, &byDefault, nullptr);
  if (errorFd >= 0) ::dup2(errorFd, 2);  // the copy on 2 is inherited by the program
#ifdef CLOSE_RANGE_CLOEXEC
  ::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC);
#endif
  ::execve(program, args, environ);
  writeErrno(reportFd, errno);
  ::_exit(127);
}

// Runs in the forked child, where only async-signal-safe calls are allowed: everything it
// needs was prepared before the fork. It starts the program in a grandchild, which init
// adopts once this process ends, so no zombie is left; while it watches (up to `watchMs`)
// it waits for the grandchild by polling, and reports an early failure on `watchFd`.
[[noreturn]] void runWatcher(int reportFd, int watchFd, int errorFd, long watchMs,
                             const char* program, char* const* args) {
  ::setsid();
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  ::sigaction(SIGPIPE, &ignore, nullptr);  // the reader may be gone
  const pid_t grandchild = ::fork();
  if (grandchild < 0) {
    writeErrno(reportFd, errno);
    ::_exit(1);
  }
  if (grandchild == 0) runProgram(reportFd, errorFd, program, args);
  ::close(reportFd);
  if (watchFd < 0) ::_exit(0);
  int status = 0;
  bool ended = false;
  for (long waited = 0; waited <= watchMs && !ended; waited += kPollNanoseconds / 1'000'000) {
    const pid_t done = ::waitpid(grandchild, &status, WNOHANG);
    if (done == grandchild) ended = true;
    if (done < 0 && errno != EINTR) break;
    if (!ended) {
      const timespec pause{0, kPollNanoseconds};
      ::nanosleep(&pause, nullptr);
    }
  }
  if (ended && !(WIFEXITED(status) && WEXITSTATUS(status) == 0)) {
    char report[sizeof status + kReportTail];
    std::memcpy(report, &status, sizeof status);
    ssize_t tail = 0;
    if (errorFd >= 0) {
      // The file has its full size from the start: the program's write position (shared
      // with this descriptor) says how much it wrote.
      const off_t size = ::lseek(errorFd, 0, SEEK_CUR);
      const off_t from =
          size > static_cast<off_t>(kReportTail) ? size - static_cast<off_t>(kReportTail) : 0;
      if (size > 0)
        tail =
            ::pread(errorFd, report + sizeof status, static_cast<std::size_t>(size - from), from);
    }
    if (::write(watchFd, report, sizeof status + static_cast<std::size_t>(tail < 0 ? 0 : tail)) < 0)
      ::_exit(1);
  }
  ::_exit(0);
}

// The last few lines a program wrote, without blank ones.
std::string lastLines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    while (!line.empty() && static_cast<unsigned char>(line.back()) <= ' ') line.remove_suffix(1);
    if (!line.empty()) lines.push_back(line);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
  }
  std::string joined;
  for (std::size_t i = lines.size() > 3 ? lines.size() - 3 : 0; i < lines.size(); ++i)
    joined.append(joined.empty() ? "" : "\n").append(lines[i]);
  return joined;
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

StartWatch::~StartWatch() {
  if (watcher_ > 0) {
    ::kill(watcher_, SIGKILL);
    while (::waitpid(watcher_, nullptr, 0) < 0 && errno == EINTR) {
    }
  }
  if (descriptor_ >= 0) ::close(descriptor_);
}

EarlyExit StartWatch::finish() {
  std::string report;
  char buffer[4096];
  ssize_t got;
  while (descriptor_ >= 0 &&
         ((got = ::read(descriptor_, buffer, sizeof buffer)) > 0 || (got < 0 && errno == EINTR)))
    if (got > 0) report.append(buffer, static_cast<std::size_t>(got));
  if (descriptor_ >= 0) ::close(descriptor_);
  descriptor_ = -1;
  if (watcher_ > 0) {
    while (::waitpid(watcher_, nullptr, 0) < 0 && errno == EINTR) {
    }
  }
  watcher_ = -1;
  EarlyExit result;
  int status = 0;
  if (report.size() < sizeof status) return result;
  std::memcpy(&status, report.data(), sizeof status);
  result.failed = true;
  result.message = lastLines(std::string_view(report).substr(sizeof status));
  if (result.message.empty()) {
    result.message = WIFSIGNALED(status) ? "ended by signal " + std::to_string(WTERMSIG(status))
                                         : "exit status " + std::to_string(WEXITSTATUS(status));
  }
  return result;
}

LaunchResult startDetached(const std::vector<std::string>& argv, std::string_view searchPath,
                           std::chrono::milliseconds watch) {
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
  // A start that cannot be watched is still a start.
  int watchPipe[2] = {-1, -1};
  int errorFd = -1;
  if (watch.count() > 0 && ::pipe2(watchPipe, O_CLOEXEC) == 0) {
    // The program's standard error, kept in memory of a fixed size: a program that runs
    // on and writes much to it fills it and then its writes fail, instead of growing it.
    errorFd = ::memfd_create("varnook-start", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    if (errorFd >= 0 && (::ftruncate(errorFd, kErrorFileSize) != 0 ||
                         ::fcntl(errorFd, F_ADD_SEALS, F_SEAL_GROW | F_SEAL_SHRINK) != 0)) {
      ::close(errorFd);
      errorFd = -1;
    }
  }
  const pid_t child = ::fork();
  if (child < 0) {
    result.error = std::strerror(errno);
    for (const int fd : {report[0], report[1], watchPipe[0], watchPipe[1], errorFd})
      if (fd >= 0) ::close(fd);
    return result;
  }
  if (child == 0) {
    ::close(report[0]);
    if (watchPipe[0] >= 0) ::close(watchPipe[0]);
    runWatcher(report[1], watchPipe[1], errorFd, static_cast<long>(watch.count()), program->c_str(),
               args.data());
  }
  for (const int fd : {report[1], watchPipe[1], errorFd})
    if (fd >= 0) ::close(fd);
  if (watchPipe[0] < 0) {
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
  }
  // The pipe closes without a word when execve succeeded (close-on-exec); otherwise the
  // child or grandchild wrote its errno.
  int error = 0;
  ssize_t got;
  do {
    got = ::read(report[0], &error, sizeof error);
  } while (got < 0 && errno == EINTR);
  ::close(report[0]);
  auto watcher = watchPipe[0] >= 0 ? std::make_shared<StartWatch>(watchPipe[0], child) : nullptr;
  if (got == static_cast<ssize_t>(sizeof error)) {
    result.error = std::strerror(error);
    return result;  // the watcher goes with its watch
  }
  result.started = true;
  result.watch = std::move(watcher);
  return result;
}

}  // namespace varnook
