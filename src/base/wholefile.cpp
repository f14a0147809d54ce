#include "base/wholefile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace varnook {

namespace {

std::string message(const char* verb, const std::string& fileName, int error) {
  return std::string("Cannot ") + verb + " file \"" + fileName + "\". " + fileErrorText(error);
}

}  // namespace

SmallFileRead readSmallFile(const std::string& fileName, std::size_t maxSize) {
  SmallFileRead result;
  // O_NONBLOCK: opening a FIFO must not wait for a writer; it is refused below anyway.
  const int fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    if (errno == ENOENT || errno == ENOTDIR) return result;
    result.status = SmallFileRead::Status::Failed;
    result.error = std::strerror(errno);
    return result;
  }
  result.status = SmallFileRead::Status::Failed;
  struct stat info {};
  if (::fstat(fd, &info) != 0) {
    result.error = std::strerror(errno);
  } else if (!S_ISREG(info.st_mode)) {
    result.error = "not a regular file";
  } else if (static_cast<std::size_t>(info.st_size) > maxSize) {
    result.error = "file too large";
  } else {
    result.bytes.reserve(static_cast<std::size_t>(info.st_size));
    char buffer[16384];
    for (;;) {
      const ssize_t count = ::read(fd, buffer, sizeof buffer);
      if (count < 0 && errno == EINTR) continue;
      if (count < 0) {
        result.error = std::strerror(errno);
        break;
      }
      if (count == 0) {
        result.status = SmallFileRead::Status::Read;
        break;
      }
      result.bytes.append(buffer, static_cast<std::size_t>(count));
      if (result.bytes.size() > maxSize) {  // grew while we read
        result.error = "file too large";
        break;
      }
    }
  }
  ::close(fd);
  if (result.status != SmallFileRead::Status::Read) result.bytes.clear();
  return result;
}

std::optional<std::string> smallFileBytes(const std::string& fileName, std::size_t maxSize) {
  SmallFileRead file = readSmallFile(fileName, maxSize);
  if (file.status != SmallFileRead::Status::Read) return std::nullopt;
  return std::move(file.bytes);
}

std::string writeWholeFile(const std::string& fileName, std::string_view bytes, FileAccess access) {
  AtomicFile file(fileName, access);
  if (!file.ok()) return message("create", fileName, file.error());
  if (file.write(bytes) && file.commit()) return {};
  return message("write", fileName, file.error());
}

}  // namespace varnook
