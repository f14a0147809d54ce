#include "desktop/smallfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace varnook {

std::optional<std::string> readSmallFile(const std::string& fileName, std::size_t maxSize) {
  // O_NONBLOCK: a FIFO planted where a settings file should be must not hang us.
  const int fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return std::nullopt;
  std::optional<std::string> result;
  struct stat info {};
  if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
      static_cast<std::size_t>(info.st_size) <= maxSize) {
    std::string bytes;
    char buffer[8192];
    for (;;) {
      const ssize_t got = ::read(fd, buffer, sizeof buffer);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) break;
      if (got == 0) {
        result = std::move(bytes);
        break;
      }
      bytes.append(buffer, static_cast<std::size_t>(got));
      if (bytes.size() > maxSize) break;  // grew while we read
    }
  }
  ::close(fd);
  return result;
}

}  // namespace varnook
