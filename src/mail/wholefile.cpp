#include "mail/wholefile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace varnook {

namespace {

bool writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

std::string message(const char* verb, const std::string& fileName, int error) {
  return std::string("Cannot ") + verb + " file \"" + fileName + "\". " + std::strerror(error);
}

}  // namespace

std::string writeWholeFile(const std::string& fileName, std::string_view bytes, FileAccess access) {
  const std::size_t slash = fileName.rfind('/');
  const std::string folder =
      slash == std::string::npos ? "." : (slash == 0 ? "/" : fileName.substr(0, slash));
  const std::string base = slash == std::string::npos ? fileName : fileName.substr(slash + 1);
  if (base.empty()) return message("create", fileName, EISDIR);
  std::string temporary = folder + "/." + base + ".XXXXXX";
  const int fd = ::mkstemp(temporary.data());
  if (fd < 0) return message("create", fileName, errno);

  mode_t mode = S_IRUSR | S_IWUSR;
  if (access == FileAccess::usual) {
    struct stat old {};
    if (::stat(fileName.c_str(), &old) == 0) {
      mode = old.st_mode & 07777;
    } else {
      const mode_t mask = ::umask(0);
      ::umask(mask);
      mode = 0666 & ~mask;
    }
  }
  int error = 0;
  if (::fchmod(fd, mode) != 0 || !writeAll(fd, bytes) || ::fsync(fd) != 0) error = errno;
  if (::close(fd) != 0 && error == 0) error = errno;
  if (error == 0 && ::rename(temporary.c_str(), fileName.c_str()) != 0) error = errno;
  if (error != 0) {
    ::unlink(temporary.c_str());
    return message("write", fileName, error);
  }
  return {};
}

}  // namespace varnook
